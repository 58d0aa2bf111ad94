#pragma once
// A pseudo-terminal whose slave side plays the logger's serial port.
#include <QByteArray>
#include <QString>

namespace emu {

class Pty {
public:
    Pty() = default;
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    /// Opens the master, unlocks the slave and keeps a slave descriptor so the line stays up
    /// while the client closes and re-opens it. False with `error()` set on failure.
    bool open();
    QString slavePath() const { return slavePath_; }
    QString error() const { return error_; }

    /// The line speed that the client set on the slave side, in baud (0 when unknown).
    int lineBaud() const;
    /// Waits up to `timeoutMs` for input; returns what arrived (possibly nothing).
    QByteArray read(int timeoutMs);
    /// Sends at the pace of the line: one character every 10 bit times.
    void writePaced(const QByteArray& bytes);

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    QString error_;
};

} // namespace emu
