#pragma once
// What the lab's balance says, in the three protocols balances speak on a serial line:
// Mettler Toledo MT-SICS, Sartorius SBI and A&D. Each answer is one line ended by CR LF, read
// into a mass in grams or the reason there is none; a weighing asks until the balance settles
// (or refuses), through BalancePort, the seam tests put a model balance behind.
#include "link/clock.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace lnk::balance {

enum class Protocol { MtSics, Sbi, Ad };

/// "mt-sics", "sbi", "ad" (any case), as config.xml's BalancaProtocolo and --protocol name them.
std::optional<Protocol> protocolNamed(const QString& name);
QString protocolName(Protocol p);

/// The maker, as a weighing's source names the balance: "Mettler Toledo", "Sartorius", "A&D".
QString makerName(Protocol p);

/// The request for one stable reading: MT-SICS "S", SBI "ESC P", A&D "S".
QByteArray stableRequest(Protocol p);
/// The request for the reading of now, settled or not: MT-SICS "SI", SBI "ESC P" (a reading
/// still moving comes without its unit), A&D "Q".
QByteArray immediateRequest(Protocol p);
/// The request for the balance's serial number (MT-SICS "I4"); empty where there is none.
QByteArray identityRequest(Protocol p);

struct Reading {
    /// Busy: the balance cannot weigh just now (MT-SICS "S I": taring, adjusting); asked again.
    enum class State { Stable, Unstable, Busy, Overload, Underload, Error, NotGrams, Garbage };
    State state = State::Garbage;
    double grams = 0;  ///< when Stable (and for Unstable, the value shown meanwhile)
    QString unit;      ///< as the balance wrote it
    QString raw;       ///< the line without its CR LF, as received
    QString reason;    ///< in Portuguese, when not Stable

    bool stable() const { return state == State::Stable; }
};

/// One answer line (with or without its CR LF) read as `p` writes it.
Reading readLine(Protocol p, const QByteArray& line);
/// The serial number in an identity answer (MT-SICS `I4 A "B123456789"`); nothing otherwise.
std::optional<QString> readIdentity(Protocol p, const QByteArray& line);
/// The model in an MT-SICS type answer (`I2 A "XPR205 220.0 g"`); nothing otherwise.
std::optional<QString> readModel(Protocol p, const QByteArray& line);

/// `value` in `unit` as grams: g, mg, kg, ct (0,2 g), lb and oz exactly; nothing for any other
/// unit (pieces, percent, a custom unit).
std::optional<double> inGrams(double value, const QString& unit);

/// How the balance's line is set. Balances leave the factory at 9600 baud, most 8N1, many
/// Sartorius 8O1, some 7E1; MT-SICS adds Xon/Xoff.
struct LineSettings {
    int baud = 9600;
    int dataBits = 8;
    char parity = 'N'; ///< 'N', 'E' or 'O'
    int stopBits = 1;
    bool xonXoff = false;
    bool operator==(const LineSettings&) const = default;
};
/// "9600 8N1", "9600,8O1", "2400 7E1 xon": nothing, with why, for anything else.
std::optional<LineSettings> lineNamed(const QString& text, QString* why);
QString lineName(const LineSettings& line);
/// The line a protocol's balances leave the factory with.
LineSettings defaultLine(Protocol p);

/// The balance's serial port: a COM name or a path. Tests put a model balance behind it.
class BalancePort {
public:
    virtual ~BalancePort() = default;
    virtual bool open(const QString& device, const LineSettings& line, QString* why) = 0;
    virtual void close() = 0;
    virtual bool write(const QByteArray& bytes) = 0;
    /// What arrives within `waitMs` (returned as soon as anything is there; may be empty).
    virtual QByteArray read(int waitMs) = 0;
    /// Drops what arrived unasked (a reading printed on its own, the rest of a late answer).
    virtual void discardInput() = 0;
};

/// The port on QSerialPort, the same on Linux and Windows; used from one thread only.
std::unique_ptr<BalancePort> serialBalancePort();

/// Who weighed: the maker by the protocol, the model and serial number where the balance says.
struct Identity {
    QString maker, model, serial;
};

/// One weighing: the stable mass in grams with the line it came in, or the refusal.
struct Weighing {
    bool ok = false;
    double grams = 0;
    QString raw;     ///< the balance's line of the mass, as received
    QString refusal; ///< in words, when not ok
    Reading::State state = Reading::State::Garbage; ///< of the last reading (Stable when ok)
    bool lineFailed = false; ///< the port did not open or the balance did not answer
    Identity identity;
    QString device;
    Protocol protocol = Protocol::MtSics;
    QDateTime atUtc;

    /// "balança Mettler Toledo B123456789, 10/12/2026 08:41" (local time); without a serial
    /// number, the device: "balança A&D em COM3, …".
    QString source() const;
};

/// A balance on a port already open: asks its identity once, then weighs.
class Balance {
public:
    /// How long a weighing waits for the balance to settle, and for any answer to a request.
    static constexpr int kStableLimitMs = 10000;
    static constexpr int kAnswerMs = 2000;
    /// Between two readings of a balance still moving.
    static constexpr int kPollMs = 250;

    Balance(BalancePort& port, Clock& clock, Protocol protocol, QString device);

    /// Waits for a stable reading up to `limitMs`. `seen` is told each reading on the way (the
    /// value shown while the balance settles) and returns false to give up.
    Weighing weigh(int limitMs = kStableLimitMs, const std::function<bool(const Reading&)>& seen = {});

private:
    /// One request's answer line; empty when none came within `waitMs`.
    QByteArray ask(const QByteArray& request, int waitMs);
    void identify(Weighing& w);

    BalancePort& port_;
    Clock& clock_;
    Protocol protocol_;
    QString device_;
    QByteArray pending_;
    std::optional<Identity> identity_;
};

/// Opens `device` with `line` and weighs once (the command line's weigh, the samples window).
Weighing weighOn(BalancePort& port, Clock& clock, const QString& device, Protocol protocol, const LineSettings& line,
                 const std::function<bool(const Reading&)>& seen = {}, int limitMs = Balance::kStableLimitMs);

} // namespace lnk::balance
