#pragma once
// A lab balance as its serial line shows it, in each of the three protocols: a weight on the
// pan, readings that move before they settle, overload, underload, silence, a line it needs.
// Backs the balance emulator and the tests' fake port.
#include "link/balance.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace emu {

class BalanceModel {
public:
    enum class Fault { None, Overload, Underload, Silent, Garbage };

    explicit BalanceModel(lnk::balance::Protocol protocol) : protocol(protocol) {}

    lnk::balance::Protocol protocol;
    double grams = 0.81234;
    QString unit = QStringLiteral("g"); ///< the unit the balance weighs in: g, mg, kg, or PCS (pieces)
    /// Readings that move before each weight settles.
    int unstableFirst = 0;
    Fault fault = Fault::None;
    QString serial = QStringLiteral("B123456789"), model = QStringLiteral("XPR205");
    /// The 22-character SBI line, with its identifier in front.
    bool sbiLong = false;
    /// Answers only at this speed (0: any); at another a client reads noise, as on a real line.
    /// (A pseudo-terminal carries the speed a client sets, not its parity nor its data bits.)
    int requiredBaud = 0;

    /// A new weight on the pan: it moves for `unstableFirst` readings, then settles.
    void place(double newGrams);
    /// The answer to one request line at the speed the client set (empty: silence).
    QByteArray respond(const QByteArray& request, int baud = 0);
    /// One command of the emulator's standard input: a weight ("0.81234", "812.3 mg"),
    /// "instavel N", "sobrecarga", "subcarga", "silencio", "lixo", "normal". False with why.
    bool command(const QString& text, QString* why);

private:
    QByteArray reading(bool stable) const;
    int moving_ = 0;
};

} // namespace emu
