#pragma once
// What the lab's balance says, in the three protocols balances speak on a serial line:
// Mettler Toledo MT-SICS, Sartorius SBI and A&D. Each answer is one line ended by CR LF; this
// reads one line into a mass in grams or the reason there is none. The line itself is the
// balance link's business.
#include <QByteArray>
#include <QString>
#include <optional>

namespace lnk::balance {

enum class Protocol { MtSics, Sbi, Ad };

/// "mt-sics", "sbi", "ad" (any case), as config.xml's BalancaProtocolo and --protocol name them.
std::optional<Protocol> protocolNamed(const QString& name);
QString protocolName(Protocol p);

/// The request for one stable reading: MT-SICS "S", SBI "ESC P", A&D "S".
QByteArray stableRequest(Protocol p);
/// The request for the balance's serial number (MT-SICS "I4"); empty where there is none.
QByteArray identityRequest(Protocol p);

struct Reading {
    enum class State { Stable, Unstable, Overload, Underload, Error, NotGrams, Garbage };
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

/// `value` in `unit` as grams: g, mg, kg, ct (0,2 g), lb and oz exactly; nothing for any other
/// unit (pieces, percent, a custom unit).
std::optional<double> inGrams(double value, const QString& unit);

} // namespace lnk::balance
