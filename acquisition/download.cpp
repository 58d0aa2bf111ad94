#include "acquisition/download.h"

#include "acquisition/memorydecoder.h"
#include "link/commands.h"
#include "link/framecodec.h"

namespace acq {

QString downloadMessage(DownloadResult r) {
    switch (r) {
    case DownloadResult::Done: return {};
    case DownloadResult::CommunicationError: return QStringLiteral("Erro de comunicação!");
    case DownloadResult::InvalidContents: return QStringLiteral("Conteúdo da memória inválido!");
    case DownloadResult::MemoryEmpty: return QStringLiteral("Memória está vazia!");
    }
    return {};
}

namespace {

// Keeps the attached views still while rows are added, and always lets them go again.
class ControlsFrozen {
public:
    explicit ControlsFrozen(Table& t) : t_(t) { t_.disableControls(); }
    ~ControlsFrozen() { t_.enableControls(); }
    ControlsFrozen(const ControlsFrozen&) = delete;
    ControlsFrozen& operator=(const ControlsFrozen&) = delete;

private:
    Table& t_;
};

} // namespace

DownloadResult runDownload(lnk::SerialChannel& channel, MeasurementTable& table,
                           DownloadListener& listener) {
    using namespace lnk;
    if (!VerifyMessage(channel.exchange(cmd::kDiagnosticsFrame, cmd::kDownloadProbe)))
        return DownloadResult::CommunicationError;
    const QByteArray header = channel.exchange(cmd::kHeaderRequest, cmd::kDownloadHeader);
    if (!cmd::headerResponseOk(header))
        return DownloadResult::CommunicationError;
    const auto h = decodeHeader(header);
    // A memory that claims data but has no room for a record is refused before anything of
    // the table is touched: a block with a negative count can never be asked for.
    if (!h || (h->flag != 0 && h->end < 4))
        return DownloadResult::InvalidContents;

    ControlsFrozen frozen(table);
    table.recreate();
    listener.clearTests();
    table.setFiltered(false);
    table.setSaved(true);
    if (h->flag == 0)
        return DownloadResult::MemoryEmpty;

    listener.progressStart(h->end, 64);
    table.setIndexFieldNames(field::SubReg);
    MemoryDecoder decoder(table, [&](int n) { listener.testStarted(n); });
    int b = kFirstBlock;
    for (;;) {
        const int c = blockCount(b, h->end);
        const QByteArray resp = channel.exchange(cmd::readRequest(b, c), cmd::kDownloadBlock);
        if (!cmd::blockResponseOk(resp, c)) {
            listener.progressEnd();
            return DownloadResult::CommunicationError;
        }
        if (decoder.feedBlock(resp, c) != MemoryDecoder::Status::Ok) {
            listener.progressEnd();
            return DownloadResult::InvalidContents;
        }
        listener.progressStep();
        if (!moreBlocks(b, h->end))
            break;
        b += kBlockRegisters;
    }
    listener.progressEnd();
    return DownloadResult::Done;
}

bool clearMemory(lnk::SerialChannel& channel) {
    return lnk::VerifyMessage(channel.exchange(lnk::cmd::kClearFrame, lnk::cmd::kMemoryClear));
}

} // namespace acq
