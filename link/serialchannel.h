#pragma once
// The serial channel to the logger: the library's calls wrapped in the operations that the
// program uses, and Exchange, the one request/response operation (clear, send, wait, take).
#include "link/clock.h"
#include "link/seriallibrary.h"

#include <QByteArray>

namespace lnk {

enum class SendStyle { Paced, Whole };

/// How one exchange sends, how long it waits and how much it takes (0 = no limit).
/// `graceMs`: when the fixed wait ends in the middle of a frame (it began with ":" and has no
/// LF yet), characters are still taken as they arrive, up to this long after the wait; a
/// logger that answers in time never meets it.
struct ExchangeSpec {
    SendStyle style;
    int waitMs;
    int limit;
    int graceMs = 0;
    /// When nothing at all has arrived at the end of the wait, how long an answer is still
    /// listened for to begin (0: not at all).
    int slowStartMs = 0;
};

class SerialChannel {
public:
    static constexpr int kQueueSize = 1024;
    static constexpr int kStartupBaud = 19200;

    SerialChannel(SerialLibrary& library, Clock& clock) : lib_(library), clock_(clock) {}

    /// The port index in use; passed unchanged to every library call.
    int port() const { return port_; }
    void setPort(int index) { port_ = index; }

    /// True when the port opened (the library's result was not negative).
    bool openPort(int index);
    void setBaudRate(int index, int rate);
    void closePort(int index);
    void clearReceive(int index);
    void sendPaced(int index, const QByteArray& text);
    void sendWhole(int index, const QByteArray& text);
    /// Takes waiting characters until none is waiting or `limit` calls were made (0 = none).
    QByteArray receiveAvailable(int index, int limit);

    QByteArray exchange(int index, const QByteArray& request, const ExchangeSpec& opts);
    /// Before a request is sent again: lets the line fall quiet (no character for `quietMs`,
    /// at most `maxMs`) so that the rest of a late answer cannot mix with the next one.
    void settle(int index, int quietMs, int maxMs);
    /// Exchange on the port in use.
    QByteArray exchange(const QByteArray& request, const ExchangeSpec& opts) {
        return exchange(port_, request, opts);
    }

    SerialLibrary& library() { return lib_; }

private:
    /// Takes characters of a frame still arriving until its LF, the limit or the deadline.
    void completeFrame(int index, QByteArray& text, const ExchangeSpec& opts);

    SerialLibrary& lib_;
    Clock& clock_;
    int port_ = 1;
};

} // namespace lnk
