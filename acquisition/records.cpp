#include "acquisition/records.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <charconv>

namespace acq {

namespace {

// Decimals of a display format such as "0.000" (3); -1 without a point.
int formatDecimals(const QString& fmt) {
    const auto dot = fmt.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return -1;
    int n = 0;
    for (auto i = dot + 1; i < fmt.size() && (fmt[i] == QLatin1Char('0') || fmt[i] == QLatin1Char('#')); ++i)
        ++n;
    return n;
}

} // namespace

bool isNumeric(FieldType t) {
    return t == FieldType::Float || t == FieldType::Integer || t == FieldType::LargeInt || t == FieldType::AutoInc;
}

QString displayNumber(const FieldDef& d, double v) {
    const int dec = formatDecimals(d.displayFormat);
    if (dec >= 0 && dec <= 30) {
        // Locale-free and fast: grids and exports format thousands of these.
        char buf[400];
        const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, dec);
        if (r.ec == std::errc())
            return QString::fromLatin1(buf, static_cast<qsizetype>(r.ptr - buf));
        return QString::number(v, 'f', dec);
    }
    return QString::number(v, 'g', 15);
}

QString displayText(const FieldDef& d, const QVariant& v) {
    if (v.isNull())
        return {};
    switch (d.type) {
    case FieldType::Float: return displayNumber(d, v.toDouble());
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::AutoInc: return QString::number(v.toLongLong());
    case FieldType::Boolean: return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Date: return v.toDate().toString(QStringLiteral("d/M/yyyy"));
    case FieldType::Time: return v.toTime().toString(QStringLiteral("hh:mm:ss"));
    case FieldType::DateTime: return v.toDateTime().toString(QStringLiteral("d/M/yyyy hh:mm:ss"));
    case FieldType::Binary: return QStringLiteral("(binário)");
    case FieldType::String: break;
    }
    return v.toString();
}

qsizetype Records::appendRow() {
    cells.resize(cells.size() + static_cast<size_t>(width()));
    return rowCount() - 1;
}

void Records::appendRow(const QList<QVariant>& values) {
    const qsizetype r = appendRow();
    for (int f = 0; f < width() && f < values.size(); ++f)
        value(r, f) = values[f];
}

QList<QVariant> Records::row(qsizetype r) const {
    QList<QVariant> out;
    out.reserve(width());
    for (int f = 0; f < width(); ++f)
        out << value(r, f);
    return out;
}

void Records::removeRow(qsizetype r) {
    const auto at = cells.begin() + static_cast<std::ptrdiff_t>(r * width());
    cells.erase(at, at + width());
}

int Records::fieldIndex(const QString& name) const {
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

qsizetype Records::find(int field, const QString& text) const {
    if (field < 0 || field >= width())
        return -1;
    for (qsizetype r = 0; r < rowCount(); ++r) {
        const QVariant& v = value(r, field);
        if (!v.isNull() && v.toString().compare(text, Qt::CaseInsensitive) == 0)
            return r;
    }
    return -1;
}

} // namespace acq
