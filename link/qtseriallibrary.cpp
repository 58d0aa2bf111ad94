#include "link/qtseriallibrary.h"

#include <QSerialPort>

namespace lnk {

QtSerialLibrary::QtSerialLibrary(PortMap map) : map_(std::move(map)) {}
QtSerialLibrary::~QtSerialLibrary() = default;

void QtSerialLibrary::useFromThread(QThread* thread) {
    // A port's notifiers belong to the thread that owns it; only that thread may use it.
    for (auto& [index, port] : ports_)
        port->moveToThread(thread);
}

QSerialPort* QtSerialLibrary::find(int port) const {
    auto it = ports_.find(port);
    return it == ports_.end() ? nullptr : it->second.get();
}

int QtSerialLibrary::reset(int port, int rxQueue, int /*txQueue*/) {
    done(port);
    const QString device = map_.device(port);
    if (device.isEmpty()) {
        lastError_ = QStringLiteral("no device for port index %1").arg(port);
        return -1;
    }
    auto p = std::make_unique<QSerialPort>();
    p->setPortName(device);
    if (!p->open(QIODevice::ReadWrite)) {
        lastError_ = QStringLiteral("%1: %2").arg(device, p->errorString());
        return -1;
    }
    p->setReadBufferSize(rxQueue > 0 ? rxQueue : 0);
    p->setDataBits(QSerialPort::Data8);
    p->setParity(QSerialPort::NoParity);
    p->setStopBits(QSerialPort::OneStop);
    p->setFlowControl(QSerialPort::NoFlowControl);
    p->clearError();
    ports_[port] = std::move(p);
    lastError_.clear();
    return 0;
}

int QtSerialLibrary::baud(int port, int rate) {
    QSerialPort* p = find(port);
    if (!p)
        return -1;
    return p->setBaudRate(rate) ? 0 : -1;
}

void QtSerialLibrary::flush(QSerialPort& p) {
    p.flush();
    if (p.bytesToWrite() > 0)
        p.waitForBytesWritten(50);
    p.clearError();
}

int QtSerialLibrary::putc(int port, char c) {
    QSerialPort* p = find(port);
    if (!p)
        return -1;
    const qint64 n = p->write(&c, 1);
    flush(*p);
    return n == 1 ? 0 : -1;
}

int QtSerialLibrary::puts(int port, const QByteArray& text) {
    QSerialPort* p = find(port);
    if (!p)
        return -1;
    const qint64 n = p->write(text);
    flush(*p);
    return n < 0 ? -1 : static_cast<int>(n);
}

int QtSerialLibrary::getc(int port) {
    QSerialPort* p = find(port);
    if (!p)
        return -1;
    if (p->bytesAvailable() == 0) {
        // A timed-out wait only means "nothing waiting"; it is not a port failure.
        p->waitForReadyRead(0);
        p->clearError();
    }
    char c = 0;
    if (p->bytesAvailable() == 0 || p->read(&c, 1) != 1)
        return -1;
    return static_cast<unsigned char>(c);
}

int QtSerialLibrary::rxClear(int port) {
    QSerialPort* p = find(port);
    if (!p)
        return -1;
    p->waitForReadyRead(0);
    p->readAll();
    p->clear(QSerialPort::Input);
    p->clearError();
    return 0;
}

int QtSerialLibrary::done(int port) {
    auto it = ports_.find(port);
    if (it == ports_.end())
        return -1;
    it->second->close();
    ports_.erase(it);
    return 0;
}

} // namespace lnk
