#include "link/balance.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
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
        return refused(r, State::Busy, QStringLiteral("a balança não pode pesar agora (S I): está ocupada ou sem estabilizar"));
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
    // Some models write a digit where the others leave the space after the sign.
    const QString sign = line.left(1), value = line.mid(1, 9).trimmed(), unit = line.mid(11, 3).trimmed();
    if (line.at(10) != QLatin1Char(' '))
        return garbage(r);
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

QString makerName(Protocol p) {
    switch (p) {
    case Protocol::MtSics: return QStringLiteral("Mettler Toledo");
    case Protocol::Sbi: return QStringLiteral("Sartorius");
    case Protocol::Ad: return QStringLiteral("A&D");
    }
    return {};
}

QByteArray immediateRequest(Protocol p) {
    switch (p) {
    case Protocol::MtSics: return QByteArray("SI\r\n");
    case Protocol::Sbi: return QByteArray("\x1bP\r\n");
    case Protocol::Ad: return QByteArray("Q\r\n");
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

std::optional<QString> readModel(Protocol p, const QByteArray& line) {
    if (p != Protocol::MtSics)
        return std::nullopt;
    static const QRegularExpression form(QStringLiteral("^I2 A \"([^\"]+)\"\\s*$"));
    const auto m = form.match(QString::fromLatin1(line));
    if (!m.hasMatch())
        return std::nullopt;
    // "XPR205 220.0 g": the type, then the capacity.
    return m.captured(1).section(QLatin1Char(' '), 0, 0);
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

// ---- the line -------------------------------------------------------------------------------------

std::optional<LineSettings> lineNamed(const QString& text, QString* why) {
    static const QRegularExpression form(QStringLiteral("^(\\d+)[ ,;]+([78])([NEOneo])([12])(?:[ ,;]+(xon|xon/xoff))?$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = form.match(text.trimmed());
    static const int speeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    const int baud = m.hasMatch() ? m.captured(1).toInt() : 0;
    if (!m.hasMatch() || std::find(std::begin(speeds), std::end(speeds), baud) == std::end(speeds)) {
        if (why)
            *why = QStringLiteral("linha da balança \"%1\" não entendida: escreva a velocidade e o formato, como "
                                  "\"9600 8N1\" (bits de dados 7 ou 8, paridade N, E ou O, 1 ou 2 bits de parada, "
                                  "\"xon\" para Xon/Xoff; velocidades de 1200 a 115200)")
                       .arg(text.trimmed());
        return std::nullopt;
    }
    LineSettings l;
    l.baud = baud;
    l.dataBits = m.captured(2).toInt();
    l.parity = m.captured(3).toUpper().at(0).toLatin1();
    l.stopBits = m.captured(4).toInt();
    l.xonXoff = !m.captured(5).isEmpty();
    return l;
}

QString lineName(const LineSettings& l) {
    return QStringLiteral("%1 %2%3%4%5")
        .arg(l.baud)
        .arg(l.dataBits)
        .arg(QLatin1Char(l.parity))
        .arg(l.stopBits)
        .arg(l.xonXoff ? QStringLiteral(" xon") : QString());
}

LineSettings defaultLine(Protocol p) {
    LineSettings l;
    if (p == Protocol::Sbi)
        l.parity = 'O';
    // Mettler Toledo's factory handshake.
    l.xonXoff = p == Protocol::MtSics;
    return l;
}

// ---- a weighing ----------------------------------------------------------------------------------

QString Weighing::source() const {
    QString who = QStringLiteral("balança ") + identity.maker;
    if (!identity.model.isEmpty())
        who += QLatin1Char(' ') + identity.model;
    who += identity.serial.isEmpty() ? QStringLiteral(" em ") + device : QLatin1Char(' ') + identity.serial;
    return QStringLiteral("%1, %2").arg(who, atUtc.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm")));
}

Balance::Balance(BalancePort& port, Clock& clock, Protocol protocol, QString device)
    : port_(port), clock_(clock), protocol_(protocol), device_(std::move(device)) {}

QByteArray Balance::ask(const QByteArray& request, int waitMs) {
    port_.discardInput();
    pending_.clear();
    if (!port_.write(request))
        return {};
    const qint64 end = clock_.nowUs() + qint64(waitMs) * 1000;
    for (;;) {
        const int nl = int(pending_.indexOf('\n'));
        if (nl >= 0) {
            const QByteArray line = pending_.left(nl + 1);
            pending_.remove(0, nl + 1);
            return line;
        }
        const qint64 left = (end - clock_.nowUs()) / 1000;
        if (left <= 0)
            return {};
        pending_ += port_.read(int(left));
        // Noise without a line end never grows without bound.
        if (pending_.size() > 256)
            pending_ = pending_.right(64);
    }
}

void Balance::identify(Weighing& w) {
    if (!identity_) {
        Identity id{makerName(protocol_), {}, {}};
        const QByteArray request = identityRequest(protocol_);
        if (!request.isEmpty()) {
            // A balance that does not know the request (ES) is weighed all the same.
            if (const auto serial = readIdentity(protocol_, ask(request, kAnswerMs)))
                id.serial = *serial;
            if (const auto model = readModel(protocol_, ask(QByteArray("I2\r\n"), kAnswerMs)))
                id.model = *model;
        }
        identity_ = id;
    }
    w.identity = *identity_;
}

Weighing Balance::weigh(int limitMs, const std::function<bool(const Reading&)>& seen) {
    Weighing w;
    w.device = device_;
    w.protocol = protocol_;
    const qint64 start = clock_.nowUs();
    auto refuse = [&](Reading::State state, const QString& why) {
        w.state = state;
        w.refusal = why;
        w.atUtc = QDateTime::currentDateTimeUtc();
        return w;
    };
    for (;;) {
        const QByteArray line = ask(immediateRequest(protocol_), kAnswerMs);
        if (line.isEmpty()) {
            w.lineFailed = true;
            return refuse(Reading::State::Garbage,
                          QStringLiteral("a balança não respondeu em %1 s: confira se está ligada, o cabo, a porta %2 e a "
                                         "linha (velocidade, paridade) no menu da balança")
                              .arg(kAnswerMs / 1000)
                              .arg(device_));
        }
        const Reading r = readLine(protocol_, line);
        if (seen && !seen(r))
            return refuse(r.state, QStringLiteral("pesagem cancelada"));
        if (r.stable()) {
            identify(w);
            w.ok = true;
            w.state = r.state;
            w.grams = r.grams;
            w.raw = r.raw;
            w.atUtc = QDateTime::currentDateTimeUtc();
            return w;
        }
        if (r.state != Reading::State::Unstable && r.state != Reading::State::Busy)
            return refuse(r.state, r.reason);
        if ((clock_.nowUs() - start) / 1000 >= limitMs)
            return refuse(Reading::State::Unstable,
                          r.state == Reading::State::Busy
                              ? QStringLiteral("a balança ficou ocupada por %1 s sem pesar (S I)").arg(limitMs / 1000)
                              : QStringLiteral("o peso não estabilizou em %1 s (último valor: %2 g); feche as portas da "
                                               "balança e evite correntes de ar e vibração")
                                    .arg(limitMs / 1000)
                                    .arg(QString::number(r.grams, 'f', 5).replace(QLatin1Char('.'), QLatin1Char(','))));
        clock_.pause(kPollMs);
    }
}

Weighing weighOn(BalancePort& port, Clock& clock, const QString& device, Protocol protocol, const LineSettings& line,
                 const std::function<bool(const Reading&)>& seen, int limitMs) {
    QString why;
    if (!port.open(device, line, &why)) {
        Weighing w;
        w.device = device;
        w.protocol = protocol;
        w.refusal = why;
        w.lineFailed = true;
        w.atUtc = QDateTime::currentDateTimeUtc();
        return w;
    }
    Balance balance(port, clock, protocol, device);
    Weighing w = balance.weigh(limitMs, seen);
    port.close();
    return w;
}

} // namespace lnk::balance
