#include "tools/cli/csv.h"

namespace {

QString quoted(QString s) {
    if (!s.contains(QLatin1Char(';')) && !s.contains(QLatin1Char('"')) && !s.contains(QLatin1Char('\n')) &&
        !s.contains(QLatin1Char('\r')))
        return s;
    s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

bool isNumber(acq::FieldType t) {
    return t == acq::FieldType::Float || t == acq::FieldType::Integer || t == acq::FieldType::LargeInt ||
           t == acq::FieldType::AutoInc;
}

} // namespace

QByteArray testCsv(acq::Table& table) {
    QStringList lines;
    QStringList captions;
    for (const acq::FieldDef& f : table.fields())
        captions << quoted(f.displayName());
    lines << captions.join(QLatin1Char(';'));
    for (table.first(); !table.eof(); table.next()) {
        QStringList cells;
        for (int i = 0; i < table.fieldCount(); ++i) {
            QString text = table.displayText(i);
            if (isNumber(table.fields()[i].type))
                text.replace(QLatin1Char('.'), QLatin1Char(','));
            cells << quoted(text);
        }
        lines << cells.join(QLatin1Char(';'));
    }
    return QByteArray("\xEF\xBB\xBF") + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}
