#include "acquisition/wholefile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

namespace acq {

QString writeFailureCause(const QString& path, qint64 bytes, const QString& fallback) {
    const QFileInfo target(path);
    if (target.isDir())
        return QStringLiteral("já existe uma pasta com esse nome");
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("a pasta não existe");
    const QStorageInfo storage(folder.absoluteFilePath());
    if (storage.isValid() && storage.isReadOnly())
        return QStringLiteral("o disco é somente leitura");
    if (!folder.isWritable() || (target.exists() && !target.isWritable()))
        return QStringLiteral("permissão negada");
    // A temporary file of the full size is needed beside the old one.
    if (storage.isValid() && storage.bytesAvailable() < bytes + 4096)
        return QStringLiteral("o disco está cheio");
    return fallback.isEmpty() ? QStringLiteral("erro de gravação") : QStringLiteral("erro de gravação (%1)").arg(fallback);
}

bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit())
        return true;
    if (error)
        *error = QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2")
                     .arg(QDir::toNativeSeparators(path), writeFailureCause(path, bytes.size(), f.errorString()));
    return false;
}

} // namespace acq
