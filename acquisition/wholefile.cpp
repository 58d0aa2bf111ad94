#include "acquisition/wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStorageInfo>
#include <algorithm>
#include <filesystem>

namespace acq {

namespace {

// Windows opens these names as devices, in any folder and with any extension ("C:\\x\\nul.dat");
// reading "COM1" as a data file would wait on a serial line.
bool isWindowsDeviceName(const QString& path) {
#ifdef Q_OS_WIN
    if (path.startsWith(QLatin1String("\\\\.\\")) || path.startsWith(QLatin1String("//./")))
        return true;
    static const QRegularExpression device(QStringLiteral("^(CON|PRN|AUX|NUL|CONIN\\$|CONOUT\\$|COM[0-9]|LPT[0-9])$"),
                                           QRegularExpression::CaseInsensitiveOption);
    return device.match(QFileInfo(path).fileName().section(QLatin1Char('.'), 0, 0).trimmed()).hasMatch();
#else
    (void)path;
    return false;
#endif
}

} // namespace

std::optional<QByteArray> readWholeFile(const QString& path, qint64 limit, ReadFailure* failure,
                                        QString* error) {
    auto fail = [&](ReadFailure f, const QString& text) -> std::optional<QByteArray> {
        if (failure)
            *failure = f;
        if (error)
            *error = text;
        return std::nullopt;
    };
    // Checked before opening: opening a FIFO without a writer would wait for ever.
    std::error_code ec;
    const auto st = std::filesystem::status(std::filesystem::path(path.toStdU16String()), ec);
    if ((!ec && std::filesystem::exists(st) && !std::filesystem::is_regular_file(st)) || isWindowsDeviceName(path))
        return fail(ReadFailure::NotRegular, QStringLiteral("não é um arquivo comum"));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fail(ReadFailure::Open, f.errorString());
    if (f.size() > limit)
        return fail(ReadFailure::TooLarge, {});
    QByteArray bytes(static_cast<qsizetype>(std::max<qint64>(f.size(), 0)) + 1, Qt::Uninitialized);
    qint64 got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (got > limit)
                return fail(ReadFailure::TooLarge, {});
            bytes.resize(std::min<qint64>(limit + 1, std::max<qint64>(2 * got, 4096)));
        }
        const qint64 n = f.read(bytes.data() + got, bytes.size() - got);
        if (n < 0)
            return fail(ReadFailure::Read, f.errorString());
        if (n == 0)
            break;
        got += n;
    }
    if (got > limit)
        return fail(ReadFailure::TooLarge, {});
    bytes.resize(static_cast<qsizetype>(got));
    return bytes;
}

QString writeFailureCause(const QString& path, qint64 bytes, const QString& fallback) {
    const QFileInfo target(path);
    if (target.isDir())
        return QStringLiteral("já existe uma pasta com esse nome");
    if (target.isSymLink() && !target.exists())
        return QStringLiteral("o nome é um link para \"%1\", que não existe").arg(QDir::toNativeSeparators(target.symLinkTarget()));
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
    // Qt's text for "no error" tells the user nothing.
    const bool says = !fallback.isEmpty() && fallback != QLatin1String("No error") && fallback != QLatin1String("Unknown error");
    return says ? QStringLiteral("erro de gravação (%1)").arg(fallback) : QStringLiteral("erro de gravação");
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
