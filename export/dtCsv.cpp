#include "export/dtCsv.h"

#include <QStringList>

namespace {

QString quoted(QString s) {
    if (!s.contains(QLatin1Char(';')) && !s.contains(QLatin1Char('"')) && !s.contains(QLatin1Char('\n')) &&
        !s.contains(QLatin1Char('\r')))
        return s;
    s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

} // namespace

QByteArray recordsCsv(const acq::RowSource& rows) {
    const QList<acq::FieldDef>& fields = rows.fieldList();
    QStringList lines;
    QStringList captions;
    for (const acq::FieldDef& f : fields)
        captions << quoted(f.displayName());
    lines << captions.join(QLatin1Char(';'));
    for (qsizetype r = 0; r < rows.rows(); ++r) {
        QStringList cells;
        for (int i = 0; i < fields.size(); ++i) {
            QString text = rows.displayTextAt(r, i);
            if (acq::isNumeric(fields[i].type))
                text.replace(QLatin1Char('.'), QLatin1Char(','));
            cells << quoted(text);
        }
        lines << cells.join(QLatin1Char(';'));
    }
    return QByteArray("\xEF\xBB\xBF") + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}
