#include "acquisition/download.h"

#include "acquisition/memorydecoder.h"
#include "link/commands.h"
#include "link/framecodec.h"
#include "link/log.h"

#include <optional>

namespace acq {

namespace {

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

namespace {

// The registers of an accepted read answer (":03", the byte count, four digits a register)
// as bytes, high byte first. The frame check has passed, so every digit is hexadecimal.
QByteArray registerBytes(const QByteArray& answer, int count) {
    QByteArray out(2 * count, '\0');
    for (int i = 0; i < count; ++i) {
        const quint32 w = lnk::decodeField(answer, 6 + 4 * i, 4).value_or(0);
        out[2 * i] = static_cast<char>(w >> 8);
        out[2 * i + 1] = static_cast<char>(w & 0xFF);
    }
    return out;
}

} // namespace

MemoryRead readMemory(lnk::SerialChannel& channel, DownloadListener& listener, const std::atomic<bool>* cancel) {
    using namespace lnk;
    MemoryRead read;
    LinkFailure failure;
    auto lineFailed = [&](LinkFailure::Stage stage, int firstRegister) {
        failure.stage = stage;
        failure.firstRegister = firstRegister;
        read.linkFailure = failure;
        read.result = DownloadResult::CommunicationError;
        return read;
    };
    const auto probe = askWithTries(channel, cmd::kDiagnosticsFrame, cmd::kDownloadProbe,
                                    [](const QByteArray& r) { return VerifyMessage(r); }, "probe", Confirm::No,
                                    failure);
    if (!probe) {
        qCInfo(lcDownload) << "download ended: the probe got no valid answer";
        return lineFailed(LinkFailure::Stage::Probe, 0);
    }
    const auto header = askWithTries(channel, cmd::kHeaderRequest, cmd::kDownloadHeader,
                                     cmd::headerResponseOk, "header", Confirm::AfterRefusal, failure);
    if (!header) {
        qCInfo(lcDownload) << "download ended: the header got no valid answer";
        return lineFailed(LinkFailure::Stage::Header, 0);
    }
    read.bytes = registerBytes(*header, 2);
    const auto h = decodeHeader(read.bytes);
    // A memory that claims data but has no room for a record: a block with a negative count
    // can never be asked for.
    if (!h || (h->flag != 0 && h->end < 4)) {
        qCInfo(lcDownload) << "download ended: header" << header->trimmed() << "is not valid";
        read.result = DownloadResult::InvalidContents;
        return read;
    }
    if (h->flag == 0) {
        read.result = DownloadResult::MemoryEmpty;
        return read;
    }

    listener.progressStart(h->end, 64);
    int b = kFirstBlock;
    for (;;) {
        if (cancel && cancel->load()) {
            qCInfo(lcDownload) << "download cancelled before the block at register" << b;
            listener.progressEnd();
            read.result = DownloadResult::Cancelled;
            return read;
        }
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
        read.bytes += registerBytes(*answer, c);
        listener.progressStep();
        if (!moreBlocks(b, h->end))
            break;
        b += kBlockRegisters;
    }
    listener.progressEnd();
    qCInfo(lcDownload) << "download done: N =" << h->end;
    return read;
}

std::optional<MemoryHeader> readHeader(lnk::SerialChannel& channel, LinkFailure& failure) {
    using namespace lnk;
    failure.stage = LinkFailure::Stage::Header;
    const auto header = askWithTries(channel, cmd::kHeaderRequest, cmd::kDownloadHeader, cmd::headerResponseOk, "header",
                                     Confirm::AfterRefusal, failure);
    if (!header)
        return std::nullopt;
    const auto h = decodeHeader(registerBytes(*header, 2));
    if (!h) {
        // Answered, but no header: no try failed on the line.
        failure.fault = LinkFault::BadAnswer;
        failure.tries = 0;
    }
    return h;
}

std::optional<QByteArray> readRegisters(lnk::SerialChannel& channel, int start, int count, LinkFailure& failure) {
    using namespace lnk;
    failure.stage = LinkFailure::Stage::Block;
    failure.firstRegister = start;
    const QByteArray what = "registers from " + QByteArray::number(start);
    const auto answer = askWithTries(
        channel, cmd::readRequest(start, count), cmd::kDownloadBlock,
        [count](const QByteArray& r) { return cmd::blockResponseOk(r, count); }, what.constData(), Confirm::AfterRefusal,
        failure);
    return answer ? std::optional(registerBytes(*answer, count)) : std::nullopt;
}

bool clearMemory(lnk::SerialChannel& channel) {
    if (lnk::VerifyMessage(channel.exchange(lnk::cmd::kClearFrame, lnk::cmd::kMemoryClear)))
        return true;
    // The echo owed may still come; it must not pass for the answer to whatever is sent next.
    channel.settle(channel.port(), lnk::cmd::kSettleQuietMs, lnk::cmd::kSettleMaxMs);
    return false;
}

} // namespace acq
