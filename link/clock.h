#pragma once
// The pauses of the protocol (1 ms per paced character, 100 ms or 700 ms after sending) and
// the time a late answer is given go through this seam, so that unit tests record them
// instead of sleeping.
#include <QtGlobal>

namespace lnk {

class Clock {
public:
    virtual ~Clock() = default;
    virtual void pause(int ms) = 0;
    /// A monotonic time in microseconds; only differences mean anything.
    virtual qint64 nowUs() const = 0;
};

class SystemClock : public Clock {
public:
    void pause(int ms) override;
    qint64 nowUs() const override;
};

} // namespace lnk
