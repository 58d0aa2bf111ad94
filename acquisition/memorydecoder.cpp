#include "acquisition/memorydecoder.h"

namespace acq {

namespace {

quint32 word(const QByteArray& m, qsizetype at) {
    return static_cast<quint32>(static_cast<unsigned char>(m[at])) << 8 | static_cast<unsigned char>(m[at + 1]);
}

// The state of the walk through the records, kept from one record to the next.
class Walk {
public:
    explicit Walk(DecodedMemory& out) : out_(out) {}
    void record(quint32 w1, quint32 w2);

private:
    void endTest(quint32 rawMin);

    DecodedMemory& out_;
    bool open_ = false;
    bool skipNext_ = false;
    bool maxSeen_ = false;
    int sample_ = 1;
    quint32 rawMax_ = 0;
    int number_ = 0;
    int firstRow_ = -1; ///< the current test's first sample, which carries its max and min
    bool strayReported_ = false;
};

void Walk::endTest(quint32 rawMin) {
    open_ = false;
    out_.lastEnded = static_cast<int>(out_.data.tests().size()) - 1;
    // A test without samples has no row to carry them: nothing is written.
    if (firstRow_ < 0)
        return;
    out_.data.setExtremes(firstRow_, rawToCelsius(rawMax_), rawToCelsius(rawMin));
}

// The steps run in this order on every record, each seeing what the earlier ones did.
void Walk::record(quint32 w1, quint32 w2) {
    // A start mark begins a test, even inside another; the start record itself is passed
    // over by the sample step below.
    if (w1 == kStartMark) {
        number_ = static_cast<int>(w2 & 0xFF);
        open_ = true;
        skipNext_ = true;
        maxSeen_ = false;
        sample_ = 1;
        firstRow_ = -1;
        strayReported_ = false;
        out_.data.startTest(number_);
    }
    // After the maximum the next end mark is the minimum, which ends the test.
    if (open_ && maxSeen_) {
        if (w2 == kEndMark) {
            endTest(w1);
        } else if (!strayReported_) {
            // Between the maximum and the minimum there is nothing in a sound memory: the
            // "maximum" was an end mark among the samples, and what follows it until the next
            // mark cannot be read as samples.
            strayReported_ = true;
            out_.warnings << StrayEndMark{static_cast<int>(out_.data.tests().size()) - 1, sample_ - 1};
        }
    }
    // The first end mark of a test carries its maximum.
    if (open_ && !maxSeen_ && w2 == kEndMark) {
        rawMax_ = w1;
        maxSeen_ = true;
    }
    // Any other record of an open test is a sample, 5 s after the one before.
    if (open_ && !maxSeen_) {
        if (skipNext_) {
            skipNext_ = false;
            return;
        }
        Row r;
        r.ensaio = number_;
        r.subReg = sample_;
        r.tempo = sampleMinutes(sample_);
        r.tint = rawToCelsius(w1);
        r.text = rawToCelsius(w2);
        const int index = out_.data.addSample(r);
        if (sample_ == 1)
            firstRow_ = index;
        ++sample_;
        out_.data.setSaved(false);
    }
}

} // namespace

std::optional<MemoryHeader> decodeHeader(const QByteArray& memory) {
    if (memory.size() < 4)
        return std::nullopt;
    return MemoryHeader{static_cast<unsigned char>(memory[0]), static_cast<int>(word(memory, 1))};
}

int blockCount(int start, int end) {
    int c = kBlockRegisters;
    if (2 * (start + c) > end)
        c = end / 2 - start;
    if (2 * (start + c) > 2 * kMemoryRegisters)
        c = kMemoryRegisters - start;
    return std::max(c, 0);
}

bool moreBlocks(int start, int end) {
    const int next = start + kBlockRegisters;
    return 2 * next < end && next < kMemoryRegisters;
}

DecodedMemory decodeMemory(const QByteArray& memory) {
    DecodedMemory out;
    const auto h = decodeHeader(memory);
    // A memory that claims data but has no room for a record cannot be read.
    if (!h || (h->flag != 0 && h->end < 4)) {
        out.status = DecodedMemory::Status::InvalidHeader;
        return out;
    }
    if (h->flag == 0) {
        out.status = DecodedMemory::Status::Empty;
        return out;
    }
    // Registers are read in whole blocks up to N div 2 and never past the memory's end; a
    // record is taken only when both its words were read.
    const qsizetype end = std::min<qsizetype>({memory.size(), 2 * (h->end / 2), kMemoryBytes});
    Walk walk(out);
    for (qsizetype at = 4; at + 4 <= end; at += 4)
        walk.record(word(memory, at), word(memory, at + 2));
    return out;
}

} // namespace acq
