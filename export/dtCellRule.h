#pragma once
// The number grammars of the spreadsheet's cell rule: which cell texts are stored as a NUMBER
// or an INTEGER rather than a LABEL. Pure functions of the text, no locale.
#include <QString>
#include <optional>

namespace dtexcel {
/// Leading spaces, optional sign, digits with an optional "." part, optional exponent, nothing
/// after; "." or an exponent alone read as 0.
std::optional<double> decimalNumber(const QString& text);
/// The same, for the cell rule's loop: false when the text is not such a number.
bool decimalNumber(const QString& text, double& value);
/// Leading spaces, then "$", "x", "X", "0x" or "0X" and hexadecimal digits within 32 bits.
std::optional<quint32> hexInteger(const QString& text);
/// The row-number cell: the hexadecimal form, or a signed decimal within 32 bits.
std::optional<qint32> rowNumberInteger(const QString& text);
} // namespace dtexcel
