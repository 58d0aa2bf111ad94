#include "acquisition/memorydecoder.h"

#include "link/framecodec.h"

namespace acq {

std::optional<MemoryHeader> decodeHeader(const QByteArray& response) {
    const auto f = lnk::decodeField(response, 6, 2);
    const auto n = lnk::decodeField(response, 8, 4);
    if (!f || !n)
        return std::nullopt;
    return MemoryHeader{static_cast<int>(*f), static_cast<int>(*n)};
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

MemoryDecoder::Status MemoryDecoder::feedBlock(const QByteArray& response, int count) {
    for (int k = 0; k < count / 2; ++k)
        if (record(response, 6 + 8 * k) != Status::Ok)
            return Status::InvalidContents;
    return Status::Ok;
}

void MemoryDecoder::closeTest(quint32 rawMin) {
    open_ = false;
    // The test is found by its own number and its max/min go onto the row remembered as its
    // first sample, so tests numbered out of order or twice cannot overwrite each other.
    table_.setFilter(testFilter(number_));
    table_.setFiltered(true);
    if (firstRow_ >= 0 && table_.gotoBookmark(firstRow_) && table_.edit()) {
        table_.setValue(field::TMax, rawToCelsius(rawMax_));
        table_.setValue(field::TMin, rawToCelsius(rawMin));
        table_.post();
    }
}

MemoryDecoder::Status MemoryDecoder::record(const QByteArray& r, int pos) {
    // R1
    const auto w1 = lnk::decodeField(r, pos, 4);
    const auto low = lnk::decodeField(r, pos + 6, 2);
    if (!w1 || !low)
        return Status::InvalidContents;
    // R2
    if (*w1 == kStartMark) {
        number_ = static_cast<int>(*low);
        open_ = true;
        skipNext_ = true;
        maxSeen_ = false;
        sample_ = 1;
        firstRow_ = -1;
        strayReported_ = false;
        ++tests_;
        int occurrence = 1;
        for (const TestRun& t : runs_)
            occurrence += t.number == number_ ? 1 : 0;
        runs_ << TestRun{number_, occurrence, -1, -1, 0};
        if (onTestStarted_)
            onTestStarted_(number_);
    }
    const auto w2 = [&] { return lnk::decodeField(r, pos + 4, 4); };
    // R3
    if (open_ && maxSeen_) {
        const auto v = w2();
        if (!v)
            return Status::InvalidContents;
        if (*v == kEndMark) {
            closeTest(*w1);
        } else if (!strayReported_) {
            // Between the maximum and the minimum there is nothing in a sound memory: the
            // "maximum" was an end mark among the samples, and what follows it until the next
            // mark cannot be read as samples.
            strayReported_ = true;
            warnings_ << QStringLiteral("%1: marca de fim no meio do ensaio, depois da amostra %2; as "
                                        "amostras seguintes não foram lidas, e a máxima e a mínima "
                                        "podem estar erradas.")
                             .arg(runs_.isEmpty() ? QStringLiteral("Ensaio %1").arg(number_) : runs_.back().caption())
                             .arg(sample_ - 1);
        }
    }
    // R4
    if (open_ && !maxSeen_) {
        const auto v = w2();
        if (!v)
            return Status::InvalidContents;
        if (*v == kEndMark) {
            rawMax_ = *w1;
            maxSeen_ = true;
        }
    }
    // R5
    if (open_ && !maxSeen_) {
        if (skipNext_) {
            skipNext_ = false;
        } else {
            const auto v = w2();
            if (!v)
                return Status::InvalidContents;
            table_.append();
            table_.setValue(field::Tint, rawToCelsius(*w1));
            table_.setValue(field::Text, rawToCelsius(*v));
            table_.setValue(field::Ensaio, number_);
            table_.setValue(field::SubReg, sample_);
            table_.setValue(field::Tempo, sampleMinutes(sample_));
            table_.setValue(field::TMax, 0.0);
            table_.setValue(field::TMin, 0.0);
            table_.post();
            if (sample_ == 1)
                firstRow_ = table_.bookmark();
            if (!runs_.isEmpty()) {
                TestRun& run = runs_.back();
                if (run.first < 0)
                    run.first = table_.bookmark();
                run.last = table_.bookmark();
                ++run.rows;
            }
            ++sample_;
            table_.setSaved(false);
        }
    }
    return Status::Ok;
}

} // namespace acq
