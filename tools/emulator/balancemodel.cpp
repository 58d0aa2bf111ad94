#include "tools/emulator/balancemodel.h"

#include <QRegularExpression>
#include <QStringList>
#include <cmath>

namespace emu {

using lnk::balance::Protocol;

void BalanceModel::place(double newGrams) {
    grams = newGrams;
    moving_ = unstableFirst;
}

namespace {

// The weight in the balance's unit with the digits a 0,01 mg balance shows.
QString shown(double grams, const QString& unit, int gramDecimals) {
    if (unit == QLatin1String("mg"))
        return QString::number(grams * 1000, 'f', std::max(0, gramDecimals - 3));
    if (unit == QLatin1String("kg"))
        return QString::number(grams / 1000, 'f', gramDecimals + 3);
    return QString::number(grams, 'f', gramDecimals);
}

} // namespace

QByteArray BalanceModel::reading(bool stable) const {
    // A moving reading is a little off the weight it settles at.
    const double g = stable ? grams : grams + 0.00037 * (moving_ + 1);
    switch (protocol) {
    case Protocol::MtSics:
        return QStringLiteral("S %1 %2 %3\r\n")
            .arg(stable ? QLatin1Char('S') : QLatin1Char('D'))
            .arg(shown(g, unit, 5), 12)
            .arg(unit)
            .toLatin1();
    case Protocol::Sbi: {
        const QString value = shown(std::abs(g), unit, 4);
        QString line = QStringLiteral("%1 %2 %3")
                           .arg(g < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                           .arg(value, 8)
                           .arg(stable ? unit.leftJustified(3) : QStringLiteral("   "));
        if (sbiLong)
            line.prepend(QStringLiteral("N     "));
        return (line + QStringLiteral("\r\n")).toLatin1();
    }
    case Protocol::Ad: {
        const QString value = shown(std::abs(g), unit, 4);
        return QStringLiteral("%1,%2%3%4\r\n")
            .arg(stable ? QStringLiteral("ST") : QStringLiteral("US"))
            .arg(g < 0 ? QLatin1Char('-') : QLatin1Char('+'))
            .arg(value, 8, QLatin1Char('0'))
            .arg(unit, 3)
            .toLatin1();
    }
    }
    return {};
}

QByteArray BalanceModel::respond(const QByteArray& request, int baud) {
    if (fault == Fault::Silent)
        return {};
    if (requiredBaud && baud && baud != requiredBaud)
        return QByteArray("\xfe\x80\x1f\xe0\r\n");
    if (fault == Fault::Garbage)
        return QByteArray("#?x,,9\r\n");
    const QByteArray r = request.trimmed();
    const bool mt = protocol == Protocol::MtSics, sbi = protocol == Protocol::Sbi;
    if (mt && r == "I4")
        return QStringLiteral("I4 A \"%1\"\r\n").arg(serial).toLatin1();
    if (mt && r == "I2")
        return QStringLiteral("I2 A \"%1 220.0 g\"\r\n").arg(model).toLatin1();
    const bool immediate = (mt && r == "SI") || (sbi && r == "\x1bP") || (protocol == Protocol::Ad && r == "Q");
    const bool settled = (mt && r == "S") || (protocol == Protocol::Ad && r == "S");
    if (!immediate && !settled)
        return mt ? QByteArray("ES\r\n") : QByteArray();
    if (fault == Fault::Overload || fault == Fault::Underload) {
        const bool over = fault == Fault::Overload;
        switch (protocol) {
        case Protocol::MtSics: return over ? QByteArray("S +\r\n") : QByteArray("S -\r\n");
        case Protocol::Sbi: return over ? QByteArray("+        H    \r\n") : QByteArray("+        L    \r\n");
        case Protocol::Ad: return over ? QByteArray("OL,+9999999  g\r\n") : QByteArray("OL,-9999999  g\r\n");
        }
    }
    // A request for a settled weight waits for it (the emulator answers once it has).
    if (settled)
        moving_ = 0;
    if (moving_ > 0) {
        const QByteArray moving = reading(false);
        --moving_;
        return moving;
    }
    return reading(true);
}

bool BalanceModel::command(const QString& text, QString* why) {
    const QStringList w = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (w.isEmpty())
        return true;
    const QString& c = w[0];
    if (c == QLatin1String("sobrecarga"))
        fault = Fault::Overload;
    else if (c == QLatin1String("subcarga"))
        fault = Fault::Underload;
    else if (c == QLatin1String("silencio"))
        fault = Fault::Silent;
    else if (c == QLatin1String("lixo"))
        fault = Fault::Garbage;
    else if (c == QLatin1String("normal"))
        fault = Fault::None;
    else if (c == QLatin1String("instavel") && w.size() == 2 && w[1].toInt() >= 0)
        unstableFirst = w[1].toInt();
    else {
        bool ok = false;
        const double v = QString(c).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        const auto g = ok ? lnk::balance::inGrams(v, w.value(1, QStringLiteral("g"))) : std::nullopt;
        if (!g || w.size() > 2) {
            if (why)
                *why = QStringLiteral("comando não entendido: \"%1\" (um peso como 0.81234 ou 812.3 mg; instavel N; "
                                      "sobrecarga; subcarga; silencio; lixo; normal)")
                           .arg(text.trimmed());
            return false;
        }
        fault = Fault::None;
        place(*g);
    }
    return true;
}

} // namespace emu
