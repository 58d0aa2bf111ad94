#include "link/serialchannel.h"

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
    clearReceive(index);
    if (opts.style == SendStyle::Paced)
        sendPaced(index, request);
    else
        sendWhole(index, request);
    clock_.pause(opts.waitMs);
    return receiveAvailable(index, opts.limit);
}

} // namespace lnk
