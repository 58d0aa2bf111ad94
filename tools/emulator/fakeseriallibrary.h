#pragma once
// An in-process serial library with the logger model behind it: what is sent is answered at
// once into the receive queue. Records every call so tests can check what reached the port.
#include "link/clock.h"
#include "link/seriallibrary.h"
#include "tools/emulator/loggermodel.h"

#include <QByteArray>
#include <QStringList>
#include <deque>
#include <map>
#include <set>

namespace emu {

class FakeSerialLibrary : public lnk::SerialLibrary {
public:
    explicit FakeSerialLibrary(LoggerModel* model = nullptr) : model_(model) {}

    void setModel(LoggerModel* model) { model_ = model; }
    /// With a clock, answers arrive at the pace of the line (10 bits a character at the port's
    /// speed, 19200 when none was set), after the model's hold; without one, all at once.
    void setClock(const lnk::Clock* clock) { clock_ = clock; }
    /// Port indices that open; the logger hangs on `loggerPort` (the model answers only there).
    std::set<int> openablePorts{0, 1, 2, 3};
    int loggerPort = 1;

    /// Characters that arrive without a request (line noise, a late answer).
    void inject(const QByteArray& bytes);
    QStringList calls;              ///< "reset(1,1024,1024)", "baud(1,19200)", …
    QList<QByteArray> requests;     ///< complete request frames, in order
    int baudOf(int port) const;
    bool isOpen(int port) const { return open_.count(port) != 0; }
    /// The logger's cable pulled out: the open handle goes dead and stays dead, and no port can
    /// be opened until `plugBack`; after it, only a handle opened anew talks to the logger.
    void unplug() { unplugged_ = dead_ = true; }
    void plugBack() { unplugged_ = false; }

    int reset(int port, int rxQueue, int txQueue) override;
    int baud(int port, int rate) override;
    int putc(int port, char c) override;
    int puts(int port, const QByteArray& text) override;
    int getc(int port) override;
    int rxClear(int port) override;
    int done(int port) override;

private:
    void feed(int port, const QByteArray& bytes);

    struct Pending { char c; qint64 atUs; };
    bool arrived(const Pending& p) const { return !clock_ || clock_->nowUs() >= p.atUs; }

    LoggerModel* model_;
    const lnk::Clock* clock_ = nullptr;
    std::set<int> open_;
    bool unplugged_ = false, dead_ = false;
    std::map<int, int> baud_;
    QByteArray tx_;
    std::deque<Pending> rx_;
};

} // namespace emu
