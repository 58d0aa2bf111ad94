#pragma once
// The serial library on QSerialPort. Works without an event loop: incoming data is pulled
// into the port's buffer with a zero-time waitForReadyRead when the buffer runs dry.
#include "link/portmap.h"
#include "link/seriallibrary.h"

#include <map>
#include <memory>

class QSerialPort;

namespace lnk {

class QtSerialLibrary : public SerialLibrary {
public:
    explicit QtSerialLibrary(PortMap map = {});
    ~QtSerialLibrary() override;

    PortMap& portMap() { return map_; }
    /// Text of the last failure to open, for messages that name the reason.
    QString lastError() const { return lastError_; }

    int reset(int port, int rxQueue, int txQueue) override;
    int baud(int port, int rate) override;
    int putc(int port, char c) override;
    int puts(int port, const QByteArray& text) override;
    int getc(int port) override;
    int rxClear(int port) override;
    int done(int port) override;
    void useFromThread(QThread* thread) override;

private:
    QSerialPort* find(int port) const;
    static void flush(QSerialPort& p);

    PortMap map_;
    std::map<int, std::unique_ptr<QSerialPort>> ports_;
    QString lastError_;
};

} // namespace lnk
