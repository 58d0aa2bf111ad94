#include "link/balance.h"

#include <QRegularExpression>
#include <QStringList>
#include <cmath>

namespace lnk::balance {

namespace {

using State = Reading::State;

Reading refused(Reading r, State s, const QString& reason) {
    r.state = s;
    r.reason = reason;
    return r;
}

Reading garbage(const Reading& r) {
    return refused(r, State::Garbage, QStringLiteral("a balança respondeu algo que não é um peso: \"%1\"").arg(r.raw));
}
Reading overload(const Reading& r) {
    return refused(r, State::Overload, QStringLiteral("sobrecarga: o peso passa da capacidade da balança"));
}
Reading underload(const Reading& r) {
    return refused(r, State::Underload, QStringLiteral("peso abaixo do mínimo da balança (prato fora do lugar?)"));
}

// A value as the balance writes it: an optional sign, digits and one point, spaces between the
// sign and the digits (SBI right-aligns the digits after the sign).
std::optional<double> numberIn(QString text) {
    text.remove(QLatin1Char(' '));
    static const QRegularExpression form(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && std::isfinite(v) ? std::optional(v) : std::nullopt;
}

// A value with its unit: grams, or why not.
Reading withValue(Reading r, const QString& value, const QString& unit, State state) {
    const auto v = numberIn(value);
    if (!v)
        return garbage(r);
    r.unit = unit;
    const auto g = inGrams(*v, unit);
    if (!g)
        return refused(r, State::NotGrams,
                       QStringLiteral("a balança pesa em \"%1\", que não se converte em gramas: ajuste a unidade da balança para g")
                           .arg(unit));
    r.grams = *g;
    if (state != State::Stable)
        return refused(r, state, QStringLiteral("o peso não estabilizou"));
    r.state = State::Stable;
    return r;
}

Reading mtSics(Reading r) {
    const QStringList t = r.raw.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (t.size() == 1 && (t[0] == QLatin1String("ES") || t[0] == QLatin1String("ET") || t[0] == QLatin1String("EL")))
        return refused(r, State::Error,
                       t[0] == QLatin1String("ES")   ? QStringLiteral("a balança não reconheceu o comando (ES)")
                       : t[0] == QLatin1String("ET") ? QStringLiteral("a balança recebeu um caractere com erro de transmissão (ET)")
                                                     : QStringLiteral("a balança não entendeu o comando (EL)"));
    if (t.size() < 2 || (t[0] != QLatin1String("S") && t[0] != QLatin1String("SI")))
        return garbage(r);
    const QString status = t[1];
    if (status == QLatin1String("I"))
        return refused(r, State::Error, QStringLiteral("a balança não pode pesar agora (S I): está ocupada ou sem estabilizar"));
    if (status == QLatin1String("+"))
        return overload(r);
    if (status == QLatin1String("-"))
        return underload(r);
    if ((status != QLatin1String("S") && status != QLatin1String("D")) || t.size() != 4)
        return garbage(r);
    return withValue(r, t[2], t[3], status == QLatin1String("S") ? State::Stable : State::Unstable);
}

Reading sbi(Reading r) {
    QString line = r.raw;
    if (line.startsWith(QLatin1String("Stat")))
        return refused(r, State::Error, QStringLiteral("a balança informa um estado: \"%1\"").arg(line.simplified()));
    // The 22-character form puts a 6-character identifier in front.
    if (line.size() == 20)
        line = line.mid(6);
    if (line.size() != 14)
        return garbage(r);
    const QString sign = line.left(1), value = line.mid(2, 8).trimmed(), unit = line.mid(11, 3).trimmed();
    if (value == QLatin1String("H") || value.startsWith(QLatin1String("High")))
        return overload(r);
    if (value == QLatin1String("L") || value.startsWith(QLatin1String("Low")))
        return underload(r);
    if (sign != QLatin1String("+") && sign != QLatin1String("-") && sign != QLatin1String(" "))
        return garbage(r);
    // A reading still moving is printed without its unit.
    if (unit.isEmpty()) {
        Reading moving = withValue(r, sign.trimmed() + value, QStringLiteral("g"), State::Unstable);
        moving.unit.clear();
        return moving;
    }
    return withValue(r, sign.trimmed() + value, unit, State::Stable);
}

Reading ad(Reading r) {
    const QString& line = r.raw;
    if (line.size() < 13 || line[2] != QLatin1Char(','))
        return garbage(r);
    const QString header = line.left(2), value = line.mid(3, 9), unit = line.mid(12).trimmed();
    if (header == QLatin1String("OL"))
        return value.trimmed().startsWith(QLatin1Char('-'))
                   ? underload(r)
                   : overload(r);
    if (header != QLatin1String("ST") && header != QLatin1String("US") && header != QLatin1String("QT"))
        return garbage(r);
    return withValue(r, value, unit, header == QLatin1String("US") ? State::Unstable : State::Stable);
}

} // namespace

std::optional<Protocol> protocolNamed(const QString& name) {
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("mt-sics"))
        return Protocol::MtSics;
    if (n == QLatin1String("sbi"))
        return Protocol::Sbi;
    if (n == QLatin1String("ad"))
        return Protocol::Ad;
    return std::nullopt;
}

QString protocolName(Protocol p) {
    switch (p) {
    case Protocol::MtSics: return QStringLiteral("mt-sics");
    case Protocol::Sbi: return QStringLiteral("sbi");
    case Protocol::Ad: return QStringLiteral("ad");
    }
    return {};
}

QByteArray stableRequest(Protocol p) { return p == Protocol::Sbi ? QByteArray("\x1bP\r\n") : QByteArray("S\r\n"); }

QByteArray identityRequest(Protocol p) { return p == Protocol::MtSics ? QByteArray("I4\r\n") : QByteArray(); }

Reading readLine(Protocol p, const QByteArray& line) {
    Reading r;
    QByteArray text = line;
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    r.raw = QString::fromLatin1(text);
    // A line with control characters or bytes a balance never sends is noise on the line.
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e)
            return refused(r, State::Garbage, QStringLiteral("a balança respondeu algo que não é um peso (caracteres inválidos)"));
    switch (p) {
    case Protocol::MtSics: return mtSics(r);
    case Protocol::Sbi: return sbi(r);
    case Protocol::Ad: return ad(r);
    }
    return r;
}

std::optional<QString> readIdentity(Protocol p, const QByteArray& line) {
    if (p != Protocol::MtSics)
        return std::nullopt;
    static const QRegularExpression form(QStringLiteral("^I4 A \"([^\"]+)\"\\s*$"));
    const auto m = form.match(QString::fromLatin1(line));
    return m.hasMatch() ? std::optional(m.captured(1)) : std::nullopt;
}

std::optional<double> inGrams(double value, const QString& unit) {
    static const std::pair<const char*, double> units[] = {
        {"g", 1.0}, {"mg", 1e-3}, {"kg", 1e3}, {"ct", 0.2}, {"lb", 453.59237}, {"oz", 28.349523125},
    };
    for (const auto& [name, factor] : units)
        if (unit == QLatin1String(name))
            return value * factor;
    return std::nullopt;
}

} // namespace lnk::balance
