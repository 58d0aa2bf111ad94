#pragma once
// A PostgreSQL server of the tests' own: initdb and pg_ctl from Debian's postgresql, as the
// postgres user when the tests run as root, in a temporary folder, on 127.0.0.1 at a free port,
// trust authentication; stopped when the tests end. Empty `why` when it runs.
#include <QString>
#include <QStringList>

class PostgresServer {
public:
    /// The server of this test program, started the first time it is asked for.
    static PostgresServer& instance();
    int port() const { return port_; }
    QString why() const { return why_; }
    /// A new, empty database on the server; its postgresql:// address, or empty with `why`.
    QString createDatabase(const QString& name, QString* why);
    void stop();
    /// Runs one statement as the server's superuser on `database` (roles, grants); false with why.
    bool admin(const QString& database, const QString& sql, QString* why);

private:
    PostgresServer();
    QString pgBin(const char* name) const { return bin_ + QLatin1String(name); }
    bool run(QStringList args);

    QString bin_, dir_, why_;
    int port_ = 0;
    bool asRoot_ = false;
};
