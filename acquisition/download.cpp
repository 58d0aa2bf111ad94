#include "acquisition/download.h"

#include "acquisition/memorydecoder.h"
#include "link/commands.h"
#include "link/framecodec.h"
#include "link/log.h"

#include <optional>

namespace acq {

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

QString refusalText(const QByteArray& resp) {
    return resp.isEmpty() ? QStringLiteral("no answer")
         : !resp.endsWith('\n') ? QStringLiteral("cut short at %1 characters").arg(resp.size())
         : QStringLiteral("%1 characters, bad frame, length or check value").arg(resp.size());
}

// Whether an accepted answer must be confirmed by a second, equal one before it is taken.
enum class Confirm { No, AfterRefusal };

// One download exchange, asked again while its answer is refused: every download request only
// reads, so asking twice changes nothing in the logger. After a refusal the answer owed may
// still come, so the line is let fall quiet before anything else is sent; and a read answer
// without an address is taken after a refusal only when two answers in a row agree, so that a
// late answer to an earlier request can never pass for this one. Nothing when refused
// kDownloadTries times.
template <typename Accept>
std::optional<QByteArray> askWithTries(lnk::SerialChannel& channel, const QByteArray& request,
                                       const lnk::ExchangeSpec& how, Accept accept, const char* what,
                                       Confirm confirm, LinkFailure& failure) {
    using namespace lnk::cmd;
    int refusals = 0;
    std::optional<QByteArray> candidate; // accepted after a refusal, waiting for its equal
    for (;;) {
        const QByteArray resp = channel.exchange(request, how);
        if (accept(resp)) {
            if (refusals == 0 || confirm == Confirm::No || (candidate && *candidate == resp)) {
                if (refusals > 0) {
                    qCInfo(lcDownload) << what << "answered after" << refusals << "refused tries";
                    // Each try asked for an answer: the one owed for the last try may still be
                    // on its way and must not meet the next request.
                    channel.settle(channel.port(), kSettleQuietMs, kSettleMaxMs);
                }
                return resp;
            }
            if (!candidate) {
                candidate = resp;
                qCInfo(lcDownload) << what << "accepted after a refusal: read once more to confirm";
                continue;
            }
            qCInfo(lcDownload) << what << "two answers in a row disagree";
        } else {
            qCInfo(lcDownload).noquote() << what << "refused (" << refusalText(resp) << ")";
        }
        ++refusals;
        channel.settle(channel.port(), kSettleQuietMs, kSettleMaxMs);
        if (refusals >= kDownloadTries) {
            qCInfo(lcDownload) << what << "refused" << refusals << "times";
            failure.tries = refusals;
            failure.characters = int(resp.size());
            failure.fault = resp.isEmpty()          ? LinkFault::NoAnswer
                          : !resp.endsWith('\n')    ? LinkFault::CutShort
                          : accept(resp)            ? LinkFault::Disagreeing
                                                    : LinkFault::BadAnswer;
            return std::nullopt;
        }
        // A disagreeing answer may itself be the true one: it waits for its equal.
        candidate = accept(resp) ? std::optional<QByteArray>(resp) : std::nullopt;
    }
}

} // namespace

DownloadResult runDownload(lnk::SerialChannel& channel, MeasurementTable& table,
                           DownloadListener& listener, DownloadReport* report) {
    using namespace lnk;
    if (report)
        *report = {};
    LinkFailure failure;
    auto lineFailed = [&](LinkFailure::Stage stage, int firstRegister) {
        failure.stage = stage;
        failure.firstRegister = firstRegister;
        if (report)
            report->linkFailure = failure;
        return DownloadResult::CommunicationError;
    };
    const auto probe = askWithTries(channel, cmd::kDiagnosticsFrame, cmd::kDownloadProbe,
                                    [](const QByteArray& r) { return VerifyMessage(r); }, "probe", Confirm::No,
                                    failure);
    if (!probe) {
        qCInfo(lcDownload) << "download ended: the probe got no valid answer";
        return lineFailed(LinkFailure::Stage::Probe, 0);
    }
    const auto answer = askWithTries(channel, cmd::kHeaderRequest, cmd::kDownloadHeader,
                                     cmd::headerResponseOk, "header", Confirm::AfterRefusal, failure);
    if (!answer) {
        qCInfo(lcDownload) << "download ended: the header got no valid answer";
        return lineFailed(LinkFailure::Stage::Header, 0);
    }
    const QByteArray header = *answer;
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
    // Whatever way the loop ends, the report holds what was decoded up to there.
    struct Keep {
        const MemoryDecoder& d;
        DownloadReport* r;
        ~Keep() {
            if (r) {
                r->tests = d.tests();
                r->warnings = d.warnings();
            }
        }
    } keep{decoder, report};
    int b = kFirstBlock;
    for (;;) {
        const int c = blockCount(b, h->end);
        const QByteArray what = "block at register " + QByteArray::number(b);
        const auto answer = askWithTries(
            channel, cmd::readRequest(b, c), cmd::kDownloadBlock,
            [c](const QByteArray& r) { return cmd::blockResponseOk(r, c); }, what.constData(),
            Confirm::AfterRefusal, failure);
        if (!answer) {
            qCInfo(lcDownload) << "download ended:" << what.constData() << "got no valid answer";
            listener.progressEnd();
            return lineFailed(LinkFailure::Stage::Block, b);
        }
        const QByteArray& resp = *answer;
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
    if (lnk::VerifyMessage(channel.exchange(lnk::cmd::kClearFrame, lnk::cmd::kMemoryClear)))
        return true;
    // The echo owed may still come; it must not pass for the answer to whatever is sent next.
    channel.settle(channel.port(), lnk::cmd::kSettleQuietMs, lnk::cmd::kSettleMaxMs);
    return false;
}

} // namespace acq
