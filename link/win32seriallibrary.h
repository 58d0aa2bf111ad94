#pragma once
// The serial library on plain Win32 calls, non-overlapped: CreateFile on \\.\COMn, SetCommState,
// SetCommTimeouts with ReadIntervalTimeout = MAXDWORD (so ReadFile returns at once with what has
// arrived), WriteFile, PurgeComm. The download's timing is its own (1 ms between characters,
// fixed waits), so the port needs no event loop and no background reader; what the driver holds
// is exactly what the logger has sent, and a clear of the input leaves nothing behind.
#include "link/portmap.h"
#include "link/seriallibrary.h"

#include <map>

namespace lnk {

class Win32SerialLibrary : public SerialLibrary {
public:
    explicit Win32SerialLibrary(PortMap map = {});
    ~Win32SerialLibrary() override;
    Win32SerialLibrary(const Win32SerialLibrary&) = delete;
    Win32SerialLibrary& operator=(const Win32SerialLibrary&) = delete;

    PortMap& portMap() { return map_; }
    /// Text of the last failure to open, for messages that name the reason.
    QString lastError() const { return lastError_; }

    /// "COM12" → "\\.\COM12", the form CreateFile needs for COM10 and above; other names as given.
    static QString win32Name(const QString& device);

    int reset(int port, int rxQueue, int txQueue) override;
    int baud(int port, int rate) override;
    int putc(int port, char c) override;
    int puts(int port, const QByteArray& text) override;
    int getc(int port) override;
    int rxClear(int port) override;
    int done(int port) override;

private:
    struct Port {
        void* handle = nullptr;
        QByteArray pending; // read from the driver, not yet taken by getc
        qsizetype next = 0;
    };
    Port* find(int port);
    int write(Port& p, const char* data, int size);

    PortMap map_;
    std::map<int, Port> ports_;
    QString lastError_;
};

} // namespace lnk
