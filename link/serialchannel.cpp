#include "link/serialchannel.h"

#include "link/log.h"

namespace lnk {

bool SerialChannel::openPort(int index) {
    return lib_.reset(index, kQueueSize, kQueueSize) >= 0;
}

void SerialChannel::setBaudRate(int index, int rate) { lib_.baud(index, rate); }
void SerialChannel::closePort(int index) { lib_.done(index); }
void SerialChannel::clearReceive(int index) { lib_.rxClear(index); }

void SerialChannel::sendPaced(int index, const QByteArray& text) {
    for (char c : text) {
        lib_.putc(index, c);
        clock_.pause(1);
    }
}

void SerialChannel::sendWhole(int index, const QByteArray& text) { lib_.puts(index, text); }

QByteArray SerialChannel::receiveAvailable(int index, int limit) {
    QByteArray text;
    int count = 0;
    for (;;) {
        const int c = lib_.getc(index);
        if (c >= 0)
            text.append(static_cast<char>(c));
        ++count;
        if (c < 0 || (limit > 0 && count >= limit))
            break;
    }
    return text;
}

QByteArray SerialChannel::exchange(int index, const QByteArray& request, const ExchangeSpec& opts) {
    const qint64 start = clock_.nowUs();
    clearReceive(index);
    if (opts.style == SendStyle::Paced)
        sendPaced(index, request);
    else
        sendWhole(index, request);
    clock_.pause(opts.waitMs);
    QByteArray text = receiveAvailable(index, opts.limit);
    if (opts.graceMs > 0)
        completeFrame(index, text, opts);
    qCDebug(lcLink).noquote() << "port" << index << "->" << request.trimmed() << "<-"
                              << (text.isEmpty() ? QByteArray("(nothing)") : text.trimmed())
                              << QStringLiteral("(%1 characters, %2 ms)").arg(text.size()).arg((clock_.nowUs() - start) / 1000.0, 0, 'f', 1);
    return text;
}

void SerialChannel::completeFrame(int index, QByteArray& text, const ExchangeSpec& opts) {
    auto underLimit = [&] { return opts.limit <= 0 || text.size() < opts.limit; };
    // A slow logger: nothing at all when the fixed wait ends. Its answer is listened for a while
    // longer before the try counts as failed; once it begins, it is taken as a late frame.
    if (text.isEmpty() && opts.slowStartMs > 0) {
        const qint64 until = clock_.nowUs() + qint64(opts.slowStartMs) * 1000;
        for (int c = lib_.getc(index); text.isEmpty(); c = lib_.getc(index)) {
            if (c >= 0) {
                text.append(static_cast<char>(c));
                break;
            }
            if (clock_.nowUs() >= until)
                return;
            clock_.pause(1);
        }
    }
    if (!text.startsWith(':') || text.contains('\n') || !underLimit())
        return;
    const qint64 start = clock_.nowUs();
    const qint64 deadline = start + qint64(opts.graceMs) * 1000;
    while (!text.endsWith('\n') && underLimit()) {
        const int c = lib_.getc(index);
        if (c >= 0) {
            text.append(static_cast<char>(c));
            continue;
        }
        if (clock_.nowUs() >= deadline)
            break;
        clock_.pause(1);
    }
    qCDebug(lcLink) << "port" << index << "late frame: waited"
                    << (clock_.nowUs() - start) / 1000 << "ms more for" << text.size() << "characters";
}

void SerialChannel::settle(int index, int quietMs, int maxMs) {
    const qint64 start = clock_.nowUs();
    qint64 lastSeen = start;
    for (;;) {
        const qint64 now = clock_.nowUs();
        if (lib_.getc(index) >= 0) {
            lastSeen = now;
            continue;
        }
        if (now - lastSeen >= qint64(quietMs) * 1000 || now - start >= qint64(maxMs) * 1000)
            break;
        clock_.pause(1);
    }
    clearReceive(index);
}

} // namespace lnk
