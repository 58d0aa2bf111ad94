#pragma once
// Following a test while the logger records it: the header polled, only the registers the
// logger wrote since the last poll read, and a record taken only when it is whole (N past it)
// and, for the last one, when a second read a moment later agrees. The bytes read are the
// memory as a download would read it, from address 0, so nothing is read twice.
#include "acquisition/download.h"
#include "acquisition/memorydecoder.h"
#include "link/clock.h"

#include <QByteArray>
#include <optional>

namespace acq {

class Follower {
public:
    /// How long after reading the last record it is read again to confirm it.
    static constexpr int kConfirmMs = 400;

    Follower(lnk::SerialChannel& channel, lnk::Clock& clock) : channel_(channel), clock_(clock) {}

    struct Poll {
        enum class State {
            Waiting,    ///< no open test yet: the memory is empty or holds only closed tests
            Following,  ///< the test is being recorded
            Ended,      ///< the logger closed it (its minimum record written)
            MemoryFull, ///< the memory is full and the test still open: the logger writes no more
            LineFailed, ///< the logger did not answer; what was read is kept
            Invalid,    ///< the header makes no sense (or the memory was cleared meanwhile)
        };
        State state = State::Waiting;
        int newRows = 0; ///< rows of the followed test this poll took
        /// The followed test is another than before (a newer one began): its rows start again.
        bool switched = false;
        std::optional<LinkFailure> failure;
    };

    /// One poll of the logger.
    Poll poll();

    /// The memory read so far, from address 0 (its header saying N = what was taken).
    const QByteArray& memory() const { return memory_; }
    /// The decoded memory, and the followed test's index in its tests (when one is followed).
    const DecodedMemory& decoded() const { return decoded_; }
    std::optional<int> followed() const { return followed_; }
    /// Registers exchanged with the logger so far (the line's share of the time is judged by them).
    int registersRead() const { return registersRead_; }

private:
    std::optional<QByteArray> read(int start, int count, LinkFailure& failure);

    lnk::SerialChannel& channel_;
    lnk::Clock& clock_;
    QByteArray memory_;       ///< bytes 0 … 2·taken − 1
    int taken_ = 0;           ///< registers taken (header included)
    bool started_ = false;
    int testsBefore_ = 0;     ///< closed tests at the start: the followed one comes after them
    std::optional<int> followed_;
    int rowsTaken_ = 0;
    DecodedMemory decoded_;
    int registersRead_ = 0;
};

} // namespace acq
