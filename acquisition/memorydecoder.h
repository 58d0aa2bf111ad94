#pragma once
// The logger's memory decoded: a pure function of its bytes, read from address 0, into tests
// and their samples. No input or output here.
#include "acquisition/measurements.h"

#include <QByteArray>
#include <QStringList>
#include <optional>

namespace acq {

inline constexpr quint32 kStartMark = 0xFFFF;
inline constexpr quint32 kEndMark = 0xFCFC;
inline constexpr int kMemoryBytes = 32768;
inline constexpr int kMemoryRegisters = kMemoryBytes / 2;
inline constexpr int kBlockRegisters = 32;
inline constexpr int kFirstBlock = 2;

struct MemoryHeader {
    int flag = 0; ///< F: 0 when the memory holds nothing
    int end = 0;  ///< N: records occupy bytes 4 … N − 1
};

/// F and N from the memory's first three bytes; nothing when fewer than four were read.
std::optional<MemoryHeader> decodeHeader(const QByteArray& memory);

/// Registers of the block that starts at register `start`: 32, cut at the end of the data and
/// at the end of the memory; never negative.
int blockCount(int start, int end);
/// Whether another block follows the one that started at `start`.
bool moreBlocks(int start, int end);

/// An end mark among a test's samples: what follows it until the next mark cannot be read as
/// samples, and the test's maximum and minimum may be wrong.
struct StrayEndMark {
    int test = 0;        ///< its index in the list of tests
    int afterSample = 0; ///< the last sample read before it
};

struct DecodedMemory {
    enum class Status { Ok, Empty, InvalidHeader };
    Status status = Status::Ok;
    Measurements data; ///< every test started, in memory order, with its samples
    /// What the memory holds that the decoding had to pass over, one a test at most.
    QList<StrayEndMark> warnings;
    /// The last test read to its minimum (its index in the list), if any.
    std::optional<int> lastEnded;
};

/// Decodes the memory as read: the header, then each whole record up to N or to the last byte
/// read, whichever comes first. A memory read only in part gives the tests of that part.
DecodedMemory decodeMemory(const QByteArray& memory);

} // namespace acq
