#include "export/dtCellRule.h"

#include "link/framecodec.h"

#include <charconv>
#include <cstdint>

namespace dtexcel {

namespace {
qsizetype skipSpaces(const QString& s) {
    qsizetype i = 0;
    while (i < s.size() && s[i] == QLatin1Char(' '))
        ++i;
    return i;
}
bool ascii(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }
} // namespace

std::optional<double> decimalNumber(const QString& s) {
    qsizetype i = skipSpaces(s);
    const qsizetype start = i;
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        ++i;
    if (i >= s.size())
        return std::nullopt;
    const qsizetype mantStart = i;
    qsizetype digits = 0;
    while (i < s.size() && ascii(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == QLatin1Char('.')) {
        ++i;
        while (i < s.size() && ascii(s[i])) {
            ++i;
            ++digits;
        }
    }
    if (i < s.size() && (s[i] == QLatin1Char('e') || s[i] == QLatin1Char('E'))) {
        ++i;
        if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
            ++i;
        qsizetype expDigits = 0;
        while (i < s.size() && ascii(s[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;
    if (digits == 0)
        return 0.0; // "." alone, or an exponent alone, reads as 0
    // Checked ASCII from here on: convert without the locale and without Qt's slower parser.
    char buf[128];
    qsizetype n = 0;
    bool neg = false;
    for (qsizetype k = start; k < s.size(); ++k) {
        const char c = static_cast<char>(s[k].unicode());
        if (k == start && (c == '+' || c == '-')) {
            neg = c == '-';
            continue;
        }
        if (n + 1 >= static_cast<qsizetype>(sizeof buf))
            return QStringView(s).mid(start).toDouble(); // very long: the library's parser
        buf[n++] = c;
    }
    double v = 0;
    const auto res = std::from_chars(buf, buf + n, v);
    if (res.ec == std::errc::result_out_of_range)
        v = QStringView(s).mid(mantStart).toDouble();
    v = neg ? -v : v;
    return v;
}

std::optional<quint32> hexInteger(const QString& s) {
    qsizetype i = skipSpaces(s);
    if (i < s.size() && s[i] == QLatin1Char('$'))
        i += 1;
    else if (i + 1 < s.size() && s[i] == QLatin1Char('0') && (s[i + 1] == QLatin1Char('x') || s[i + 1] == QLatin1Char('X')))
        i += 2;
    else if (i < s.size() && (s[i] == QLatin1Char('x') || s[i] == QLatin1Char('X')))
        i += 1;
    else
        return std::nullopt;
    if (i >= s.size())
        return std::nullopt;
    quint64 v = 0;
    for (; i < s.size(); ++i) {
        const int d = lnk::hexDigitValue(s[i].unicode());
        if (d < 0)
            return std::nullopt;
        v = v * 16 + static_cast<quint64>(d);
        if (v > 0xFFFFFFFFull)
            return std::nullopt;
    }
    return static_cast<quint32>(v);
}

std::optional<qint32> rowNumberInteger(const QString& s) {
    if (const auto h = hexInteger(s))
        return static_cast<qint32>(*h);
    qsizetype i = skipSpaces(s);
    bool neg = false;
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) {
        neg = s[i] == QLatin1Char('-');
        ++i;
    }
    if (i >= s.size())
        return std::nullopt;
    qint64 v = 0;
    for (; i < s.size(); ++i) {
        if (!ascii(s[i]))
            return std::nullopt;
        v = v * 10 + s[i].digitValue();
        if (v > 2147483648LL)
            return std::nullopt;
    }
    v = neg ? -v : v;
    if (v > INT32_MAX)
        return std::nullopt;
    return static_cast<qint32>(v);
}

} // namespace dtexcel
