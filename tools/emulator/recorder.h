#pragma once
// The logger recording a test into its memory as time passes: the start record, a sample record
// every 5 s, then the maximum and minimum records; N moved after each whole record. With faults
// on demand: a record left half-written for a moment, silence while it records.
#include "tools/emulator/loggermodel.h"

#include <QString>
#include <optional>

namespace emu {

class Recorder {
public:
    static constexpr double kSampleSeconds = 5.0;

    /// Records `run` after what the memory holds (from its start when it is empty).
    Recorder(LoggerModel& model, TestRecords run);

    /// Writes every record due by `seconds` of the test: the start at 0, sample k at 5·k s, the
    /// end records 5 s after the last sample.
    void advanceTo(double seconds);
    bool done() const { return next_ >= records_.size(); }
    /// Records written so far (the start record included).
    int written() const { return int(next_); }
    /// The time of the test at which record `i` is written.
    static double timeOf(int record, int samples);

    /// Sample k (0-based) is written in two steps: N moves past it with its second word not
    /// yet there, completed `halfWrittenSeconds` later (of the test's time).
    std::optional<int> halfWrittenSample;
    double halfWrittenSeconds = 0.2;

private:
    void moveEnd();
    LoggerModel& model_;
    QList<std::pair<quint16, quint16>> records_;
    int samples_ = 0;
    qsizetype next_ = 0;
    int firstRegister_ = 2;
    std::optional<int> pendingSecondWord_; ///< the register still to be written, its value and when
    quint16 pendingValue_ = 0;
    double pendingUntil_ = 0;
};

/// A run with a firing, as the logger reads it (raw values): 5 min of fore period drifting
/// slowly, the rise and the cooling, 24 min in all; `number` is the test's.
TestRecords syntheticRun(int number);

/// The run of test `test` of a data file, as raw values; nothing, with why, when it cannot.
std::optional<TestRecords> runOfFile(const QString& path, qint64 test, QString* why);

} // namespace emu
