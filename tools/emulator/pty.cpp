#include "tools/emulator/pty.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace emu {

Pty::~Pty() {
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
}

bool Pty::open() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const char* name = ::ptsname(master_);
    if (!name) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    termios tio{};
    if (::tcgetattr(slave_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B9600);
        ::cfsetospeed(&tio, B9600);
        ::tcsetattr(slave_, TCSANOW, &tio);
    }
    return true;
}

int Pty::lineBaud() const {
    termios tio{};
    if (::tcgetattr(master_, &tio) != 0)
        return 0;
    switch (::cfgetospeed(&tio)) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
    }
}

QByteArray Pty::read(int timeoutMs) {
    pollfd p{master_, POLLIN, 0};
    const int r = ::poll(&p, 1, timeoutMs);
    if (r <= 0 || !(p.revents & POLLIN))
        return {};
    char buf[512];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    return n > 0 ? QByteArray(buf, static_cast<int>(n)) : QByteArray();
}

void Pty::writePaced(const QByteArray& bytes) {
    using clock = std::chrono::steady_clock;
    const int baud = lineBaud() > 0 ? lineBaud() : 19200;
    const auto charTime = std::chrono::nanoseconds(10'000'000'000LL / baud);
    const auto start = clock::now();
    for (int i = 0; i < bytes.size(); ++i) {
        std::this_thread::sleep_until(start + charTime * (i + 1));
        const char c = bytes[i];
        while (::write(master_, &c, 1) < 0 && errno == EINTR) {
        }
    }
}

} // namespace emu
