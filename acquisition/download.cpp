#include "acquisition/download.h"

#include "acquisition/memorydecoder.h"
#include "link/commands.h"
#include "link/framecodec.h"
#include "link/log.h"

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

// One download exchange, asked again (after the line has fallen quiet) while its response is
// refused: every download request only reads, so asking twice changes nothing in the logger.
template <typename Accept>
QByteArray askWithTries(lnk::SerialChannel& channel, const QByteArray& request,
                        const lnk::ExchangeSpec& how, Accept accept, const char* what) {
    QByteArray resp;
    for (int attempt = 1; attempt <= lnk::cmd::kDownloadTries; ++attempt) {
        if (attempt > 1)
            channel.settle(channel.port(), 30, lnk::cmd::kLateFrameMs);
        resp = channel.exchange(request, how);
        if (accept(resp)) {
            if (attempt > 1)
                qCInfo(lcDownload) << what << "answered on try" << attempt;
            return resp;
        }
        qCInfo(lcDownload).noquote()
            << what << "refused on try" << attempt << "of" << lnk::cmd::kDownloadTries << "("
            << (resp.isEmpty() ? QStringLiteral("no answer")
                : !resp.endsWith('\n') ? QStringLiteral("cut short at %1 characters").arg(resp.size())
                : QStringLiteral("%1 characters, bad frame or check value").arg(resp.size()))
            << ")";
    }
    return resp;
}

} // namespace

DownloadResult runDownload(lnk::SerialChannel& channel, MeasurementTable& table,
                           DownloadListener& listener) {
    using namespace lnk;
    const QByteArray probe = askWithTries(channel, cmd::kDiagnosticsFrame, cmd::kDownloadProbe,
                                          [](const QByteArray& r) { return VerifyMessage(r); }, "probe");
    if (!VerifyMessage(probe)) {
        qCInfo(lcDownload) << "download ended: the probe got no valid answer";
        return DownloadResult::CommunicationError;
    }
    const QByteArray header = askWithTries(channel, cmd::kHeaderRequest, cmd::kDownloadHeader,
                                           cmd::headerResponseOk, "header");
    if (!cmd::headerResponseOk(header)) {
        qCInfo(lcDownload) << "download ended: the header got no valid answer";
        return DownloadResult::CommunicationError;
    }
    listener.responseRead(0, header);
    const auto h = decodeHeader(header);
    // A memory that claims data but has no room for a record is refused before anything of
    // the table is touched: a block with a negative count can never be asked for.
    if (!h || (h->flag != 0 && h->end < 4)) {
        qCInfo(lcDownload) << "download ended: header" << header.trimmed() << "is not valid";
        return DownloadResult::InvalidContents;
    }

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
        const QByteArray what = "block at register " + QByteArray::number(b);
        const QByteArray resp = askWithTries(
            channel, cmd::readRequest(b, c), cmd::kDownloadBlock,
            [c](const QByteArray& r) { return cmd::blockResponseOk(r, c); }, what.constData());
        if (!cmd::blockResponseOk(resp, c)) {
            qCInfo(lcDownload) << "download ended:" << what.constData() << "refused"
                               << lnk::cmd::kDownloadTries << "times";
            listener.progressEnd();
            return DownloadResult::CommunicationError;
        }
        listener.responseRead(b, resp);
        if (decoder.feedBlock(resp, c) != MemoryDecoder::Status::Ok) {
            qCInfo(lcDownload) << "download ended:" << what.constData() << "holds a record that is not hexadecimal";
            listener.progressEnd();
            return DownloadResult::InvalidContents;
        }
        listener.progressStep();
        if (!moreBlocks(b, h->end))
            break;
        b += kBlockRegisters;
    }
    listener.progressEnd();
    qCInfo(lcDownload) << "download done: N =" << h->end;
    return DownloadResult::Done;
}

bool clearMemory(lnk::SerialChannel& channel) {
    return lnk::VerifyMessage(channel.exchange(lnk::cmd::kClearFrame, lnk::cmd::kMemoryClear));
}

} // namespace acq
