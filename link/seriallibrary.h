#pragma once
// The seven calls of the serial-port library that the program relies on. Everything that
// talks to the logger goes through this interface, so tests can put a scripted logger behind it.
#include <QByteArray>

class QThread;

namespace lnk {

class SerialLibrary {
public:
    virtual ~SerialLibrary() = default;
    /// Opens the port with the given queue sizes; negative when it did not open.
    virtual int reset(int port, int rxQueue, int txQueue) = 0;
    virtual int baud(int port, int rate) = 0;
    virtual int putc(int port, char c) = 0;
    virtual int puts(int port, const QByteArray& text) = 0;
    /// The next waiting character (0 … 255), or a negative value when none is waiting.
    virtual int getc(int port) = 0;
    virtual int rxClear(int port) = 0;
    virtual int done(int port) = 0;
    /// Hands the library's ports to `thread`, which uses them from now on (the download runs
    /// on a thread of its own). Called on the thread that uses them now.
    virtual void useFromThread(QThread* /*thread*/) {}
};

} // namespace lnk
