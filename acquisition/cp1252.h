#pragma once
// Windows-1252, the code page of the older program's files and of spreadsheet texts.
#include <QByteArray>
#include <QString>

namespace acq {

QString fromCp1252(const QByteArray& bytes);
/// The same characters as fromCp1252, as UTF-8 bytes.
QByteArray cp1252ToUtf8(const QByteArray& bytes);
/// Characters outside Windows-1252 become "?".
QByteArray toCp1252(const QString& text);

} // namespace acq
