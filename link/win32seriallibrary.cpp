#include "link/win32seriallibrary.h"

#include <QRegularExpression>

#include <windows.h>

namespace lnk {

QString Win32SerialLibrary::win32Name(const QString& device) {
    static const QRegularExpression com(QStringLiteral("^COM\\d+$"), QRegularExpression::CaseInsensitiveOption);
    return com.match(device).hasMatch() ? QStringLiteral("\\\\.\\") + device : device;
}

Win32SerialLibrary::Win32SerialLibrary(PortMap map) : map_(std::move(map)) {}

Win32SerialLibrary::~Win32SerialLibrary() {
    while (!ports_.empty())
        done(ports_.begin()->first);
}

Win32SerialLibrary::Port* Win32SerialLibrary::find(int port) {
    auto it = ports_.find(port);
    return it == ports_.end() ? nullptr : &it->second;
}

namespace {

QString systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString s = n ? QString::fromWCharArray(text, int(n)).trimmed() : QStringLiteral("erro %1").arg(code);
    if (text)
        LocalFree(text);
    return s;
}

} // namespace

int Win32SerialLibrary::reset(int port, int rxQueue, int txQueue) {
    done(port);
    const QString device = map_.device(port);
    if (device.isEmpty()) {
        lastError_ = QStringLiteral("no device for port index %1").arg(port);
        return -1;
    }
    const QString name = win32Name(device);
    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(name.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        lastError_ = QStringLiteral("%1: %2").arg(device, systemMessage(GetLastError()));
        return -1;
    }
    SetupComm(h, DWORD(rxQueue > 0 ? rxQueue : 4096), DWORD(txQueue > 0 ? txQueue : 4096));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(h, &dcb);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD; // ReadFile returns at once with what is there
    timeouts.WriteTotalTimeoutConstant = 1000;
    if (!SetCommState(h, &dcb) || !SetCommTimeouts(h, &timeouts)) {
        lastError_ = QStringLiteral("%1: %2").arg(device, systemMessage(GetLastError()));
        CloseHandle(h);
        return -1;
    }
    PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    ports_[port] = Port{h, {}, 0};
    lastError_.clear();
    return 0;
}

int Win32SerialLibrary::baud(int port, int rate) {
    Port* p = find(port);
    if (!p || rate <= 0)
        return -1;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(p->handle, &dcb))
        return -1;
    dcb.BaudRate = DWORD(rate);
    return SetCommState(p->handle, &dcb) ? 0 : -1;
}

int Win32SerialLibrary::write(Port& p, const char* data, int size) {
    int total = 0;
    while (total < size) {
        DWORD n = 0;
        if (!WriteFile(p.handle, data + total, DWORD(size - total), &n, nullptr) || n == 0)
            return total > 0 ? total : -1;
        total += int(n);
    }
    return total;
}

int Win32SerialLibrary::putc(int port, char c) {
    Port* p = find(port);
    return p && write(*p, &c, 1) == 1 ? 0 : -1;
}

int Win32SerialLibrary::puts(int port, const QByteArray& text) {
    Port* p = find(port);
    if (!p)
        return -1;
    return text.isEmpty() ? 0 : write(*p, text.constData(), int(text.size()));
}

int Win32SerialLibrary::getc(int port) {
    Port* p = find(port);
    if (!p)
        return -1;
    if (p->next >= p->pending.size()) {
        p->pending.resize(4096);
        p->next = 0;
        DWORD n = 0;
        if (!ReadFile(p->handle, p->pending.data(), DWORD(p->pending.size()), &n, nullptr))
            n = 0;
        p->pending.resize(qsizetype(n));
        if (n == 0)
            return -1;
    }
    return static_cast<unsigned char>(p->pending.at(p->next++));
}

int Win32SerialLibrary::rxClear(int port) {
    Port* p = find(port);
    if (!p)
        return -1;
    p->pending.clear();
    p->next = 0;
    return PurgeComm(p->handle, PURGE_RXCLEAR) ? 0 : -1;
}

int Win32SerialLibrary::done(int port) {
    auto it = ports_.find(port);
    if (it == ports_.end())
        return -1;
    CloseHandle(it->second.handle);
    ports_.erase(it);
    return 0;
}


} // namespace lnk
