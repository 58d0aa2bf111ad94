#pragma once
// Files are written whole or not at all: through a sibling temporary file that replaces the
// target only when everything was written. A failure names its cause in Portuguese.
#include <QByteArray>
#include <QString>

namespace acq {

/// Writes `bytes` to `path`; on failure leaves any existing file as it was and sets `error`
/// to "Não foi possível gravar o arquivo "…": <cause>".
bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error);

/// Why writing `bytes` bytes to `path` failed, as the user should read it; `fallback` is the
/// platform's own text, used when no better cause is found.
QString writeFailureCause(const QString& path, qint64 bytes, const QString& fallback);

} // namespace acq
