#include "tools/emulator/recorder.h"

#include "acquisition/measurements.h"
#include "tools/emulator/demoimage.h"

#include <algorithm>

namespace emu {

Recorder::Recorder(LoggerModel& model, TestRecords run) : model_(model) {
    const QList<quint16> w = run.words();
    for (qsizetype i = 0; i + 1 < w.size(); i += 2)
        records_ << std::pair{w[i], w[i + 1]};
    samples_ = int(run.samples.size());
    // After what the memory holds; an empty memory is written from its start.
    const quint16 r0 = model_.reg(0), r1 = model_.reg(1);
    const int flag = r0 >> 8, end = ((r0 & 0xFF) << 8) | (r1 >> 8);
    firstRegister_ = flag == 0 || end < 4 ? 2 : end / 2;
    if (flag == 0)
        model_.setReg(0, quint16(0x0100 | (model_.reg(0) & 0xFF)));
    moveEnd();
}

double Recorder::timeOf(int record, int samples) {
    if (record == 0)
        return 0;
    if (record <= samples)
        return (record - 1) * kSampleSeconds;
    return samples * kSampleSeconds; // the end records, once the last sample is in
}

void Recorder::moveEnd() {
    const int n = 2 * (firstRegister_ + 2 * int(next_));
    model_.setReg(0, quint16((model_.reg(0) & 0xFF00) | ((n >> 8) & 0xFF)));
    model_.setReg(1, quint16((n & 0xFF) << 8));
}

void Recorder::advanceTo(double seconds) {
    // A record left half-written is completed when its time comes; nothing is written meanwhile.
    if (pendingSecondWord_) {
        if (seconds < pendingUntil_)
            return;
        model_.setReg(*pendingSecondWord_, pendingValue_);
        pendingSecondWord_.reset();
    }
    while (!done() && timeOf(int(next_), samples_) <= seconds) {
        const int reg = firstRegister_ + 2 * int(next_);
        if (reg + 1 >= LoggerModel::kRegisters)
            return; // the memory is full: the logger stops writing
        const auto [first, second] = records_[next_];
        model_.setReg(reg, first);
        const bool half = halfWrittenSample && next_ == *halfWrittenSample + 1;
        if (half) {
            pendingSecondWord_ = reg + 1;
            pendingValue_ = second;
            pendingUntil_ = timeOf(int(next_), samples_) + halfWrittenSeconds;
            halfWrittenSample.reset();
        } else {
            model_.setReg(reg + 1, second);
        }
        ++next_;
        moveEnd();
        if (half)
            return;
    }
}

// 5 min of fore period and more than 5 min of after period once the heat is out: a run the
// evaluation takes whole.
TestRecords syntheticRun(int number) { return demoTest(number, 22.10, 2.05, 21.80, 11u, 60, 288); }

std::optional<TestRecords> runOfFile(const QString& path, qint64 test, QString* why) {
    bool table = false;
    const auto m = acq::Measurements::load(path, why, &table);
    if (!m)
        return std::nullopt;
    for (const acq::TestRun& t : m->tests())
        if (t.number == test) {
            TestRecords r;
            r.number = int(test);
            quint16 lo = 0xFFFF, hi = 0;
            for (const int i : t.rows) {
                const acq::Row& row = m->rows()[size_t(i)];
                const quint16 in = rawFromCelsius(row.tint);
                lo = std::min(lo, in);
                hi = std::max(hi, in);
                r.samples << std::pair{in, rawFromCelsius(row.text)};
            }
            r.max = hi;
            r.min = lo;
            return r;
        }
    if (why)
        *why = QStringLiteral("%1 não tem o ensaio %2").arg(path).arg(test);
    return std::nullopt;
}

} // namespace emu
