#pragma once
// Decoding of the logger's memory, a pure function of the read responses: records of two
// words become tests and sample rows of the measurement table. No input or output here.
#include "acquisition/measurementtable.h"

#include <QByteArray>
#include <QStringList>
#include <functional>
#include <optional>

namespace acq {

inline constexpr quint32 kStartMark = 0xFFFF;
inline constexpr quint32 kEndMark = 0xFCFC;
inline constexpr int kMemoryRegisters = 16384;
inline constexpr int kBlockRegisters = 32;
inline constexpr int kFirstBlock = 2;

struct MemoryHeader {
    int flag = 0; ///< F: 0 when the memory holds nothing
    int end = 0;  ///< N: records occupy bytes 4 … N − 1
};

/// F and N from the header response (characters 6–7 and 8–11); nothing when not hexadecimal.
std::optional<MemoryHeader> decodeHeader(const QByteArray& response);

/// Registers of the block that starts at register `start`: 32, cut at the end of the data and
/// at the end of the memory; never negative.
int blockCount(int start, int end);
/// Whether another block follows the one that started at `start`.
bool moreBlocks(int start, int end);

class MemoryDecoder {
public:
    enum class Status { Ok, InvalidContents };
    using TestStarted = std::function<void(int number)>;

    MemoryDecoder(MeasurementTable& table, TestStarted onTestStarted)
        : table_(table), onTestStarted_(std::move(onTestStarted)) {}

    /// Processes the records of one block response for `count` registers, in order.
    Status feedBlock(const QByteArray& response, int count);
    int testsStarted() const { return tests_; }
    /// Every test started, in memory order, with the rows it got (none for a test without
    /// samples); tests that share a number are kept apart.
    const QList<TestRun>& tests() const { return runs_; }
    /// What the memory holds that the decoding had to pass over, naming the test.
    const QStringList& warnings() const { return warnings_; }

private:
    Status record(const QByteArray& r, int pos);
    void closeTest(quint32 rawMin);

    MeasurementTable& table_;
    TestStarted onTestStarted_;
    bool open_ = false;
    bool skipNext_ = false;
    bool maxSeen_ = false;
    int sample_ = 1;
    quint32 rawMax_ = 0;
    int number_ = 0;
    int tests_ = 0;
    Table::Bookmark firstRow_ = -1; ///< the current test's first sample row
    QList<TestRun> runs_;
    QStringList warnings_;
    bool strayReported_ = false;
};

} // namespace acq
