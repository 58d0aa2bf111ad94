#include "records/store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace rec {

namespace {
const QString kDatabaseName = QStringLiteral("resultados.sqlite");

// A SQLite database with the files that may hold part of it.
QStringList withCompanions(const QString& path) {
    return {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")};
}
} // namespace

QString dataFolder() {
    // GenericDataLocation is $XDG_DATA_HOME (or ~/.local/share) on Linux, %LOCALAPPDATA% on
    // Windows: the same folder whatever program or command asks.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#ifdef Q_OS_WIN
    return QDir(base).filePath(QStringLiteral("Registrador"));
#else
    return QDir(base).filePath(QStringLiteral("registrador"));
#endif
}

QString defaultDatabasePath() { return QDir(dataFolder()).filePath(kDatabaseName); }

QStringList oldDefaultDatabases() {
    // Earlier versions took the folder from the program's name, which differed per program
    // and per command of registrador-cli.
    QStringList roots{QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)};
#ifdef Q_OS_WIN
    roots << qEnvironmentVariable("APPDATA");
#endif
    QStringList out;
    const QString current = QFileInfo(defaultDatabasePath()).absoluteFilePath();
    for (const QString& root : roots) {
        if (root.isEmpty())
            continue;
        QStringList names{QStringLiteral("Bomba Calorimétrica")};
        names << QDir(root).entryList({QStringLiteral("registrador-cli*")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& name : names) {
            const QFileInfo f(QDir(QDir(root).filePath(name)).filePath(kDatabaseName));
            if (f.isFile() && f.size() > 0 && f.absoluteFilePath() != current && !out.contains(f.absoluteFilePath()))
                out << f.absoluteFilePath();
        }
    }
    return out;
}

bool moveOldDatabase(const QString& from, QString* error) {
    const QString to = defaultDatabasePath();
    for (const QString& f : withCompanions(to))
        if (QFileInfo::exists(f)) {
            *error = QStringLiteral("Já há um banco de resultados em %1; nada foi movido.").arg(QDir::toNativeSeparators(to));
            return false;
        }
    if (!QDir().mkpath(dataFolder())) {
        *error = QStringLiteral("Não foi possível criar a pasta %1.").arg(QDir::toNativeSeparators(dataFolder()));
        return false;
    }
    // The journal files first, the database last: until the last rename the old place still
    // holds the whole database.
    const QStringList src = withCompanions(from), dst = withCompanions(to);
    for (int i = 2; i >= 0; --i) {
        if (!QFileInfo::exists(src[i]))
            continue;
        if (!QFile::rename(src[i], dst[i])) {
            for (int k = i + 1; k <= 2; ++k)
                QFile::rename(dst[k], src[k]);
            *error = QStringLiteral("Não foi possível mover %1 para %2.")
                         .arg(QDir::toNativeSeparators(src[i]), QDir::toNativeSeparators(dst[i]));
            return false;
        }
    }
    return true;
}

std::optional<Location> Location::parse(const QString& text, QString* error) {
    Location l;
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        l.path = defaultDatabasePath();
        l.isDefault = true;
        return l;
    }
    if (!t.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) &&
        !t.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive)) {
        l.path = t;
        return l;
    }
    static const QRegularExpression form(QStringLiteral("^postgres(?:ql)?://(?:([^@:/]+)@)?([^:/@]+)(?::(\\d{1,5}))?/([^/?#]+)(?:\\?connect_timeout=(\\d{1,4}))?$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = form.match(t);
    const int port = m.captured(3).isEmpty() ? 5432 : m.captured(3).toInt();
    // libpq takes no wait below 2 s.
    const int timeout = m.captured(5).isEmpty() ? kConnectTimeout : m.captured(5).toInt();
    if (!m.hasMatch() || port < 1 || port > 65535 || timeout < 2) {
        if (error)
            *error = QStringLiteral("Endereço do banco de resultados inválido: \"%1\" (use um caminho de arquivo ou "
                                    "postgresql://usuário@servidor:porta/banco[?connect_timeout=S], S de 2 s em diante; a senha não vai no "
                                    "endereço)")
                         .arg(t);
        return std::nullopt;
    }
    l.kind = Kind::PostgreSQL;
    l.user = m.captured(1);
    l.host = m.captured(2);
    l.port = port;
    l.database = m.captured(4);
    l.connectTimeout = timeout;
    return l;
}

} // namespace rec
