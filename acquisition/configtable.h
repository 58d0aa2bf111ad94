#pragma once
// The configuration table (Key/Value rows of "config.xml") and the syntax of its values.
#include "acquisition/records.h"

#include <QString>
#include <optional>

namespace acq {

/// Key and Value, strings of up to 32 characters, Key required.
QList<FieldDef> configFields();
/// The built-in content: ComPort 1, IntAq 25, Coef1 1, Coef2 1, Desl1 0, Desl2 0, Debug 0.
Records builtInConfig();

/// config.xml as keys and values: a file's rows, its other fields kept as they are.
class ConfigTable {
public:
    /// The rows of a file; nothing when it lacks Key or Value.
    static std::optional<ConfigTable> fromRecords(Records r);
    const Records& records() const { return r_; }
    /// The value of the first row whose Key equals `key` ignoring case.
    std::optional<QString> value(const QString& key) const;
    /// Sets it (a row added at the end when absent); the other rows stay as they were.
    void setValue(const QString& key, const QString& value);

private:
    explicit ConfigTable(Records r) : r_(std::move(r)) {}
    Records r_;
};

// Value parsers. Leading blanks are allowed; an empty text, or any other character anywhere
// (trailing blanks included), is invalid, and so is a value beyond the type's range.
/// Sign + decimal digits, or (no sign) "$", "x", "X", "0x", "0X" + hexadecimal digits.
std::optional<qint32> parseComPort(const QString& text);
/// Sign, then decimal digits or "$", "0x", "0X" + hexadecimal digits (a lone "x" is no prefix).
std::optional<qint64> parseIntAq(const QString& text);
/// Sign, digits with an optional "." and fraction, optional exponent; "." only.
std::optional<float> parseSingle(const QString& text);

} // namespace acq
