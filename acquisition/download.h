#pragma once
// The memory download: probe, header, then the memory block by block, as bytes. Frames are
// checked and their digits turned into bytes here, once; what the bytes mean is the
// decoder's. Tells the user nothing itself; the caller turns the result into its message.
#include "acquisition/memorydecoder.h"
#include "link/serialchannel.h"

#include <QByteArray>
#include <atomic>
#include <optional>

namespace acq {

enum class DownloadResult { Done, CommunicationError, InvalidContents, MemoryEmpty, Cancelled };

/// What the download shows while it runs. Called on the thread that reads.
class DownloadListener {
public:
    virtual ~DownloadListener() = default;
    virtual void progressStart(int maximum, int step) = 0;
    virtual void progressStep() = 0;
    virtual void progressEnd() = 0;
};

/// Why the line failed an exchange of the download: its last answer, after every try.
enum class LinkFault { NoAnswer, CutShort, BadAnswer, Disagreeing };

struct LinkFailure {
    enum class Stage { Probe, Header, Block };
    Stage stage = Stage::Probe;
    int firstRegister = 0; ///< the block's, for Stage::Block
    LinkFault fault = LinkFault::NoAnswer;
    int tries = 0;
    int characters = 0; ///< of the last answer
};

/// The memory as read, from address 0 to the end of the last block taken, and how the
/// reading ended. Empty when the header was not read.
struct MemoryRead {
    DownloadResult result = DownloadResult::Done;
    QByteArray bytes;
    std::optional<LinkFailure> linkFailure; ///< set when the reading ended on the line
};

/// Reads the whole memory on the channel's port. `cancel`, when set, stops the reading after
/// the block in progress; what was read is kept, as after a failure.
MemoryRead readMemory(lnk::SerialChannel& channel, DownloadListener& listener,
                      const std::atomic<bool>* cancel = nullptr);

/// The header (F and N), read as the download reads it: asked again while refused, an answer
/// after a refusal taken only when two agree. Nothing, with the failure, when the line fails.
std::optional<MemoryHeader> readHeader(lnk::SerialChannel& channel, LinkFailure& failure);
/// `count` registers from `start` as bytes (high byte first), read as the download reads a block.
std::optional<QByteArray> readRegisters(lnk::SerialChannel& channel, int start, int count, LinkFailure& failure);

/// The memory clear: ":41BF" sent whole, 100 ms, at most 255 characters; true when the
/// response passes the frame check.
bool clearMemory(lnk::SerialChannel& channel);

} // namespace acq
