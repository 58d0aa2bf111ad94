#pragma once
// The memory download: probe, header, then the memory block by block into the measurement
// table. Tells the user nothing itself; the caller turns the result into its message.
#include "acquisition/measurementtable.h"
#include "link/serialchannel.h"

#include <optional>

namespace acq {

enum class DownloadResult { Done, CommunicationError, InvalidContents, MemoryEmpty };

/// What the download shows while it runs: the test list and the progress window.
class DownloadListener {
public:
    virtual ~DownloadListener() = default;
    virtual void clearTests() = 0;
    virtual void testStarted(int number) = 0;
    virtual void progressStart(int maximum, int step) = 0;
    virtual void progressStep() = 0;
    virtual void progressEnd() = 0;
    /// Each accepted read response (the header at register 0, then every block), as received.
    virtual void responseRead(int /*startRegister*/, const QByteArray& /*response*/) {}
};

/// What a download found besides its rows: every test it listed, and what it passed over.
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

struct DownloadReport {
    QList<TestRun> tests;
    QStringList warnings;
    std::optional<LinkFailure> linkFailure; ///< set when the download ended on the line
};

/// Runs the whole download on the channel's port. On failure the table keeps what was read.
DownloadResult runDownload(lnk::SerialChannel& channel, MeasurementTable& table,
                           DownloadListener& listener, DownloadReport* report = nullptr);

/// The memory clear: ":41BF" sent whole, 100 ms, at most 255 characters; true when the
/// response passes the frame check.
bool clearMemory(lnk::SerialChannel& channel);

} // namespace acq
