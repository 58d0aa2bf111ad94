#include "link/clock.h"

#include <chrono>
#include <thread>

namespace lnk {

void SystemClock::pause(int ms) {
    if (ms <= 0)
        return;
    // A plain 1 ms sleep lasts about 1.12 ms here, and a block sends 15 paced characters: sleep
    // to just short of the deadline, then wait out the rest, so a pause is never shorter than
    // asked and not much longer.
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(ms);
    const auto margin = std::chrono::microseconds(200);
    if (std::chrono::milliseconds(ms) > margin)
        std::this_thread::sleep_until(deadline - margin);
    while (clock::now() < deadline)
        std::this_thread::yield();
}

} // namespace lnk

namespace lnk {

qint64 SystemClock::nowUs() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace lnk
