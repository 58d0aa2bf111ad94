#include "acquisition/follow.h"

#include "link/log.h"

namespace acq {

std::optional<QByteArray> Follower::read(int start, int count, LinkFailure& failure) {
    QByteArray out;
    for (int b = start; b < start + count; b += kBlockRegisters) {
        const int c = std::min(kBlockRegisters, start + count - b);
        const auto bytes = readRegisters(channel_, b, c, failure);
        if (!bytes)
            return std::nullopt;
        registersRead_ += c;
        out += *bytes;
    }
    return out;
}

Follower::Poll Follower::poll() {
    Poll p;
    LinkFailure failure;
    const auto h = readHeader(channel_, failure);
    registersRead_ += 2;
    auto stay = [&](Poll::State s) {
        p.state = s;
        return p;
    };
    if (!h) {
        p.failure = failure;
        // A header refused on the line (no answer, a busy logger, noise) is asked again at the
        // next poll; only one answered whole that means nothing is invalid.
        return stay(failure.tries == 0 ? Poll::State::Invalid : Poll::State::LineFailed);
    }
    const int endRegister = h->flag == 0 ? 2 : h->end / 2;
    if (h->flag != 0 && (h->end < 4 || h->end > kMemoryBytes))
        return stay(Poll::State::Invalid);
    if (started_ && endRegister < taken_) {
        // Cleared before a test began (as a lab does before the next): waiting starts afresh.
        if (!followed_) {
            started_ = false;
            memory_.clear();
            taken_ = 0;
        } else {
            // Cleared under a test being followed.
            return stay(Poll::State::Invalid);
        }
    }
    if (!started_) {
        memory_ = QByteArray(4, '\0');
        taken_ = 2;
    }
    // Only what the logger wrote since: whole records up to N.
    if (endRegister > taken_) {
        const auto fresh = read(taken_, endRegister - taken_, failure);
        if (!fresh) {
            p.failure = failure;
            return stay(Poll::State::LineFailed);
        }
        QByteArray candidate = memory_ + *fresh;
        int upTo = endRegister;
        // The last record is read again a moment later: one caught half-written is left for the
        // next poll.
        clock_.pause(kConfirmMs);
        const int lastStart = std::max(taken_, endRegister - 2);
        const auto again = read(lastStart, endRegister - lastStart, failure);
        if (!again) {
            p.failure = failure;
            return stay(Poll::State::LineFailed);
        }
        if (*again != candidate.mid(2 * lastStart)) {
            qCInfo(lcDownload) << "follow: the last record changed between two reads; taken at the next poll";
            upTo = lastStart;
        }
        memory_ = candidate.left(2 * upTo);
        taken_ = upTo;
    }
    // The header as what was taken says it.
    const int n = 2 * taken_;
    memory_[0] = char(h->flag == 0 && taken_ == 2 ? 0 : 1);
    memory_[1] = char((n >> 8) & 0xFF);
    memory_[2] = char(n & 0xFF);
    memory_[3] = 0;
    decoded_ = decodeMemory(memory_);
    const int tests = int(decoded_.data.tests().size());
    if (!started_) {
        started_ = true;
        // The last test still open is the one being recorded; otherwise the next to begin.
        const bool open = tests > 0 && decoded_.lastEnded != tests - 1;
        testsBefore_ = open ? tests - 1 : tests;
    }
    if (!followed_ && tests > testsBefore_)
        followed_ = testsBefore_;
    // A test left open (an aborted one) is followed until a newer one begins: that one is recorded.
    if (followed_ && tests - 1 > *followed_ && decoded_.lastEnded != *followed_) {
        followed_ = tests - 1;
        rowsTaken_ = 0;
        p.switched = true;
    }
    if (!followed_)
        return stay(Poll::State::Waiting);
    const int rows = int(decoded_.data.tests()[*followed_].rows.size());
    p.newRows = rows - rowsTaken_;
    rowsTaken_ = rows;
    if (decoded_.lastEnded == *followed_)
        return stay(Poll::State::Ended);
    // No room for another record: the logger writes no more of this test.
    if (2 * taken_ + 4 > kMemoryBytes && taken_ == endRegister)
        return stay(Poll::State::MemoryFull);
    return stay(Poll::State::Following);
}

} // namespace acq
