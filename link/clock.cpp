#include "link/clock.h"

#include <chrono>
#include <thread>

namespace lnk {

void SystemClock::pause(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace lnk
