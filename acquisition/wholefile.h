#pragma once
// Files are written whole or not at all: through a sibling temporary file that replaces the
// target only when everything was written. A failure names its cause in Portuguese.
#include <QByteArray>
#include <QString>

#include <optional>

namespace acq {

/// Why a file could not be read whole.
enum class ReadFailure { NotRegular, Open, TooLarge, Read };

/// Reads a regular file of at most `limit` bytes, never more than `limit` + 1 of it, so that a
/// device, a FIFO or a file that grows while it is read can neither hang the caller nor fill
/// its memory. On failure says which, with the platform's text in `error` where there is one.
std::optional<QByteArray> readWholeFile(const QString& path, qint64 limit, ReadFailure* failure,
                                        QString* error);

/// Writes `bytes` to `path`; on failure leaves any existing file as it was and sets `error`
/// to "Não foi possível gravar o arquivo "…": <cause>".
bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error);

/// Why writing `bytes` bytes to `path` failed, as the user should read it; `fallback` is the
/// platform's own text, used when no better cause is found.
QString writeFailureCause(const QString& path, qint64 bytes, const QString& fallback);

} // namespace acq
