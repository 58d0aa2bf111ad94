#pragma once
// A model of the data logger: a 32 768-byte memory image and the response frame it gives to
// each request, with faults injected on demand.
#include <QByteArray>
#include <QList>
#include <random>
#include <utility>

namespace emu {

struct Faults {
    bool silent = false;   ///< never answer
    int badLrcBlock = 0;   ///< 1-based block read whose response carries a wrong LRC (0 = none)
    int cutBlock = 0;      ///< 1-based block read whose response is cut short (0 = none)
    int cutLength = -1;    ///< characters kept of the cut response (-1: all but the CR LF)
    int lastingBadLrcBlock = 0; ///< block K of the memory (by address) always gets a wrong LRC
    int lastingCutBlock = 0;    ///< block K of the memory (by address) is always cut short
    int holdBlock = 0;     ///< 1-based block read whose answer is held back `holdMs` (0 = none)
    int holdMs = 0;
    int delayMs = 0;       ///< every answer begins this long after its request
    int jitterMs = 0;      ///< plus a random 0 … jitterMs on each answer (seeded: repeatable)
    unsigned jitterSeed = 1;
    int requiredBaud = 0;  ///< answer only when the line runs at this speed (0 = any)
    /// Answer every request with an exception frame of this code (the function code with its
    /// high bit set, then the code: ":8806" + LRC for a busy logger); 0 = never.
    int exceptionCode = 0;
};

class LoggerModel {
public:
    static constexpr int kMemorySize = 32768;
    static constexpr int kRegisters = kMemorySize / 2;

    explicit LoggerModel(QByteArray image = {});

    /// The response to one request frame (CR LF included); empty when the logger stays silent.
    QByteArray respond(const QByteArray& request, int lineBaud = 0);

    const QByteArray& memory() const { return memory_; }
    void setMemory(QByteArray image);
    quint16 reg(int index) const;
    void setReg(int index, quint16 value);

    Faults faults;
    int blockReads() const { return blockReads_; }
    /// How long the answer that `respond` just gave is to be held back before it is sent.
    int holdOfLastAnswer() const { return hold_; }

private:
    QByteArray readResponse(int start, int count);

    QByteArray memory_;
    int blockReads_ = 0;
    int hold_ = 0;
    std::mt19937 jitter_{1};
    unsigned jitterSeed_ = 1;
};

/// The record words of one test as the logger writes it: a start record with its number, one
/// record per sample (internal, external raw value), then, when `withEnd`, the maximum and the
/// minimum records.
struct TestRecords {
    int number = 1;
    QList<std::pair<quint16, quint16>> samples;
    bool withEnd = true;
    quint16 max = 0x300;
    quint16 min = 0x100;
    QList<quint16> words() const;
};

/// A memory image whose header says F = `flag` and N = `end`, with the given record words.
QByteArray buildImage(const QList<quint16>& recordWords, int flag = 1, int end = -1);

} // namespace emu
