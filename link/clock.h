#pragma once
// The pauses of the protocol (1 ms per paced character, 100 ms or 700 ms after sending) go
// through this seam so that unit tests record them instead of sleeping.

namespace lnk {

class Clock {
public:
    virtual ~Clock() = default;
    virtual void pause(int ms) = 0;
};

class SystemClock : public Clock {
public:
    void pause(int ms) override;
};

} // namespace lnk
