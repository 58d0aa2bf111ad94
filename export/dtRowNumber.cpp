#include "export/dtRowNumber.h"

#include <algorithm>

std::optional<QString> formatRowNumber(const QString& p, qint64 value) {
    QString out;
    bool used = false;
    for (qsizetype i = 0; i < p.size(); ++i) {
        if (p[i] != QLatin1Char('%')) {
            out += p[i];
            continue;
        }
        if (++i >= p.size())
            return std::nullopt;
        if (p[i] == QLatin1Char('%')) {
            out += QLatin1Char('%');
            continue;
        }
        bool left = false, plus = false, space = false, zero = false;
        for (; i < p.size(); ++i) {
            const QChar c = p[i];
            if (c == QLatin1Char('-')) left = true;
            else if (c == QLatin1Char('+')) plus = true;
            else if (c == QLatin1Char(' ')) space = true;
            else if (c == QLatin1Char('0')) zero = true;
            else if (c == QLatin1Char('#')) {}
            else break;
        }
        int width = 0, prec = -1;
        for (; i < p.size() && p[i].isDigit(); ++i)
            width = std::min(width * 10 + p[i].digitValue(), 1000);
        if (i < p.size() && p[i] == QLatin1Char('.')) {
            prec = 0;
            for (++i; i < p.size() && p[i].isDigit(); ++i)
                prec = std::min(prec * 10 + p[i].digitValue(), 1000);
        }
        if (i >= p.size() || p[i] != QLatin1Char('d') || used)
            return std::nullopt; // another conversion, or a second one: the pattern is refused
        used = true;
        QString digits = QString::number(value < 0 ? -value : value);
        if (prec >= 0) {
            if (prec == 0 && value == 0)
                digits.clear();
            digits = digits.rightJustified(prec, QLatin1Char('0'));
        }
        const QString sign = value < 0 ? QStringLiteral("-") : plus ? QStringLiteral("+") : space ? QStringLiteral(" ") : QString();
        QString cell = sign + digits;
        if (cell.size() < width) {
            if (left)
                cell = cell.leftJustified(width, QLatin1Char(' '));
            else if (zero && prec < 0)
                cell = sign + digits.rightJustified(width - sign.size(), QLatin1Char('0'));
            else
                cell = cell.rightJustified(width, QLatin1Char(' '));
        }
        out += cell;
    }
    return used ? std::optional<QString>(out) : std::nullopt;
}
