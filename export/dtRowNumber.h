#pragma once
// The row-number cell's text.
#include <QString>
#include <optional>

/// printf-like formatting of one integer, done by us: literal text, "%%" and one "%d" with
/// optional flags, width and precision. Nothing for any other pattern.
std::optional<QString> formatRowNumber(const QString& pattern, qint64 value);
