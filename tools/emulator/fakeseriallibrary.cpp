#include "tools/emulator/fakeseriallibrary.h"

#include <algorithm>

namespace emu {

void FakeSerialLibrary::inject(const QByteArray& bytes) {
    for (char c : bytes)
        rx_.push_back({c, 0});
}

int FakeSerialLibrary::baudOf(int port) const {
    auto it = baud_.find(port);
    return it == baud_.end() ? 0 : it->second;
}

int FakeSerialLibrary::reset(int port, int rxQueue, int txQueue) {
    calls << QStringLiteral("reset(%1,%2,%3)").arg(port).arg(rxQueue).arg(txQueue);
    if (!openablePorts.count(port) || unplugged_)
        return -1;
    open_.insert(port);
    dead_ = false;
    return 0;
}

int FakeSerialLibrary::baud(int port, int rate) {
    calls << QStringLiteral("baud(%1,%2)").arg(port).arg(rate);
    baud_[port] = rate;
    return open_.count(port) ? 0 : -1;
}

void FakeSerialLibrary::feed(int port, const QByteArray& bytes) {
    if (!open_.count(port) || dead_)
        return;
    tx_ += bytes;
    int nl;
    while ((nl = static_cast<int>(tx_.indexOf('\n'))) >= 0) {
        const QByteArray frame = tx_.left(nl + 1);
        tx_.remove(0, nl + 1);
        requests << frame;
        if (!model_ || port != loggerPort)
            continue;
        const QByteArray answer = model_->respond(frame, baudOf(port));
        if (!clock_) {
            inject(answer);
            continue;
        }
        const int baud = baudOf(port) > 0 ? baudOf(port) : 19200;
        const qint64 charUs = 10'000'000 / baud;
        // Like the logger, a request is taken up only once the answer before it has been sent,
        // and its hold counts from there.
        qint64 t = clock_->nowUs();
        if (!rx_.empty())
            t = std::max(t, rx_.back().atUs);
        t += qint64(model_->holdOfLastAnswer()) * 1000;
        for (char c : answer) {
            t += charUs;
            rx_.push_back({c, t});
        }
    }
}

int FakeSerialLibrary::putc(int port, char c) {
    feed(port, QByteArray(1, c));
    return 0;
}

int FakeSerialLibrary::puts(int port, const QByteArray& text) {
    calls << QStringLiteral("puts(%1,%2)").arg(port).arg(text.size());
    feed(port, text);
    return static_cast<int>(text.size());
}

int FakeSerialLibrary::getc(int port) {
    if (!open_.count(port) || dead_ || rx_.empty() || !arrived(rx_.front()))
        return -1;
    const char c = rx_.front().c;
    rx_.pop_front();
    return static_cast<unsigned char>(c);
}

int FakeSerialLibrary::rxClear(int port) {
    // Only what has arrived is cleared; the rest of an answer still on the line comes later.
    while (!rx_.empty() && arrived(rx_.front()))
        rx_.pop_front();
    return open_.count(port) ? 0 : -1;
}

int FakeSerialLibrary::done(int port) {
    calls << QStringLiteral("done(%1)").arg(port);
    return open_.erase(port) ? 0 : -1;
}

} // namespace emu
