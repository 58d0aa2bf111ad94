#include "acquisition/configtable.h"

#include "link/framecodec.h"

#include <cmath>
#include <limits>

namespace acq {

QList<FieldDef> configFields() {
    FieldDef key;
    key.name = QStringLiteral("Key");
    key.type = FieldType::String;
    key.size = 32;
    key.required = true;
    FieldDef value;
    value.name = QStringLiteral("Value");
    value.type = FieldType::String;
    value.size = 32;
    return {key, value};
}

Records builtInConfig() {
    Records t(configFields());
    static const char* const rows[][2] = {{"ComPort", "1"}, {"IntAq", "25"}, {"Coef1", "1"},
                                          {"Coef2", "1"},   {"Desl1", "0"},  {"Desl2", "0"},
                                          {"Debug", "0"}};
    for (const auto& r : rows)
        t.appendRow({QString::fromLatin1(r[0]), QString::fromLatin1(r[1])});
    return t;
}

std::optional<ConfigTable> ConfigTable::fromRecords(Records r) {
    if (r.fieldIndex(QStringLiteral("Key")) < 0 || r.fieldIndex(QStringLiteral("Value")) < 0)
        return std::nullopt;
    return ConfigTable(std::move(r));
}

std::optional<QString> ConfigTable::value(const QString& key) const {
    const qsizetype row = r_.find(r_.fieldIndex(QStringLiteral("Key")), key);
    if (row < 0)
        return std::nullopt;
    return r_.value(row, r_.fieldIndex(QStringLiteral("Value"))).toString();
}

void ConfigTable::setValue(const QString& key, const QString& value) {
    const int k = r_.fieldIndex(QStringLiteral("Key"));
    qsizetype row = r_.find(k, key);
    if (row < 0) {
        row = r_.appendRow();
        r_.value(row, k) = key;
    }
    r_.value(row, r_.fieldIndex(QStringLiteral("Value"))) = value;
}

namespace {

int hexValue(QChar c) { return lnk::hexDigitValue(c.unicode()); }

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

// Digits from `i` to the end in the given base, into an unsigned magnitude bounded by `max`.
std::optional<quint64> digits(const QString& s, qsizetype i, int base, quint64 max) {
    if (i >= s.size())
        return std::nullopt;
    quint64 v = 0;
    for (; i < s.size(); ++i) {
        const int d = hexValue(s[i]);
        if (d < 0 || d >= base)
            return std::nullopt;
        if (v > (max - static_cast<quint64>(d)) / static_cast<quint64>(base))
            return std::nullopt;
        v = v * static_cast<quint64>(base) + static_cast<quint64>(d);
    }
    return v;
}

// Length of a hexadecimal prefix at `i`, or 0.
qsizetype hexPrefix(const QString& s, qsizetype i, bool allowLoneX) {
    if (i < s.size() && s[i] == QLatin1Char('$'))
        return 1;
    if (i + 1 < s.size() && s[i] == QLatin1Char('0') &&
        (s[i + 1] == QLatin1Char('x') || s[i + 1] == QLatin1Char('X')))
        return 2;
    if (allowLoneX && i < s.size() && (s[i] == QLatin1Char('x') || s[i] == QLatin1Char('X')))
        return 1;
    return 0;
}

template <typename T>
std::optional<T> parseInteger(const QString& s, bool signBeforeHex, bool loneX) {
    qsizetype i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    bool neg = false, sign = false;
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) {
        neg = s[i] == QLatin1Char('-');
        sign = true;
        ++i;
    }
    const auto maxPos = static_cast<quint64>(std::numeric_limits<T>::max());
    const quint64 limit = neg ? maxPos + 1 : maxPos;
    std::optional<quint64> mag;
    const qsizetype pre = (!sign || signBeforeHex) ? hexPrefix(s, i, loneX) : 0;
    if (pre > 0)
        mag = digits(s, i + pre, 16, limit);
    else
        mag = digits(s, i, 10, limit);
    if (!mag)
        return std::nullopt;
    if (neg)
        return static_cast<T>(-static_cast<qint64>(*mag - 1) - 1);
    return static_cast<T>(*mag);
}

} // namespace

std::optional<qint32> parseComPort(const QString& text) {
    return parseInteger<qint32>(text, false, true);
}

std::optional<qint64> parseIntAq(const QString& text) {
    return parseInteger<qint64>(text, true, false);
}

std::optional<float> parseSingle(const QString& s) {
    qsizetype i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    const qsizetype start = i;
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        ++i;
    int mant = 0;
    while (i < s.size() && s[i].isDigit() && s[i].unicode() < 128) {
        ++i;
        ++mant;
    }
    if (i < s.size() && s[i] == QLatin1Char('.')) {
        ++i;
        while (i < s.size() && s[i].isDigit() && s[i].unicode() < 128) {
            ++i;
            ++mant;
        }
    }
    if (mant == 0)
        return std::nullopt;
    if (i < s.size() && (s[i] == QLatin1Char('e') || s[i] == QLatin1Char('E'))) {
        ++i;
        if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
            ++i;
        int exp = 0;
        while (i < s.size() && s[i].isDigit() && s[i].unicode() < 128) {
            ++i;
            ++exp;
        }
        if (exp == 0)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;
    bool ok = false;
    const double d = s.mid(start).toDouble(&ok);
    if (!ok || !std::isfinite(d) || std::fabs(d) > std::numeric_limits<float>::max())
        return std::nullopt;
    return static_cast<float>(d);
}

} // namespace acq
