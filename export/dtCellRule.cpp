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

bool decimalNumber(const QString& s, double& value) {
    const QChar* p = s.constData();
    const qsizetype size = s.size();
    qsizetype i = skipSpaces(s);
    const qsizetype start = i;
    bool neg = false;
    if (i < size && (p[i] == QLatin1Char('+') || p[i] == QLatin1Char('-'))) {
        neg = p[i] == QLatin1Char('-');
        ++i;
    }
    if (i >= size)
        return false;
    const qsizetype mantStart = i;
    // The digits as an integer and a power of ten, kept while they stay exact.
    quint64 mant = 0;
    qsizetype significant = 0, digits = 0, fraction = 0;
    auto digit = [&](int d) {
        if (mant != 0 || d != 0)
            ++significant;
        if (significant <= 19)
            mant = mant * 10 + static_cast<quint64>(d);
        ++digits;
    };
    while (i < size && ascii(p[i]))
        digit(p[i++].unicode() - '0');
    if (i < size && p[i] == QLatin1Char('.')) {
        ++i;
        while (i < size && ascii(p[i])) {
            digit(p[i++].unicode() - '0');
            ++fraction;
        }
    }
    qsizetype exponent = 0;
    if (i < size && (p[i] == QLatin1Char('e') || p[i] == QLatin1Char('E'))) {
        ++i;
        bool expNeg = false;
        if (i < size && (p[i] == QLatin1Char('+') || p[i] == QLatin1Char('-')))
            expNeg = p[i++] == QLatin1Char('-');
        qsizetype expDigits = 0;
        while (i < size && ascii(p[i])) {
            if (exponent < 100000)
                exponent = exponent * 10 + (p[i].unicode() - '0');
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
        exponent = expNeg ? -exponent : exponent;
    }
    if (i != size)
        return false;
    if (digits == 0) {
        value = 0.0; // "." alone, or an exponent alone, reads as 0
        return true;
    }
    // Up to 2^53 times or over a power of ten up to 10^22, both exact in a double: the one
    // rounding of the product or quotient is the correctly rounded value of the text, as the
    // library parser below gives it, and it costs a fraction of it.
    constexpr qsizetype kShortText = 128; // read from a stack buffer below
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const qsizetype power = exponent - fraction;
    if (significant <= 19 && mant <= (quint64(1) << 53) && power >= -22 && power <= 22 &&
        size - mantStart < kShortText) {
        const double m = static_cast<double>(mant);
        const double v = power >= 0 ? m * kPow10[power] : m / kPow10[-power];
        value = neg ? -v : v;
        return true;
    }
    // Checked ASCII from here on: convert without the locale and without Qt's slower parser.
    char buf[kShortText];
    qsizetype n = 0;
    for (qsizetype k = mantStart; k < s.size(); ++k) {
        if (n + 1 >= kShortText) {
            value = QStringView(s).mid(start).toDouble(); // very long: the library's parser
            return true;
        }
        buf[n++] = static_cast<char>(s[k].unicode());
    }
    double v = 0;
    const auto res = std::from_chars(buf, buf + n, v);
    if (res.ec == std::errc::result_out_of_range)
        v = QStringView(s).mid(mantStart).toDouble();
    value = neg ? -v : v;
    return true;
}

std::optional<double> decimalNumber(const QString& s) {
    double v = 0;
    return decimalNumber(s, v) ? std::optional<double>(v) : std::nullopt;
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
