#include "tests/pgserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

PostgresServer* started = nullptr;

// The server goes with the last test, whatever the outcome.
class PostgresEnvironment : public testing::Environment {
public:
    void TearDown() override {
        if (started)
            started->stop();
    }
};
[[maybe_unused]] testing::Environment* const postgresEnvironment =
    testing::AddGlobalTestEnvironment(new PostgresEnvironment);

} // namespace

PostgresServer& PostgresServer::instance() {
    static PostgresServer s;
    started = &s;
    return s;
}

void PostgresServer::stop() {
    if (port_ > 0)
        run({pgBin("pg_ctl"), "-D", dir_ + "/data", "-m", "immediate", "stop"});
    port_ = 0;
    if (!dir_.isEmpty())
        QDir(dir_).removeRecursively();
    dir_.clear();
}

bool PostgresServer::admin(const QString& database, const QString& sql, QString* why) {
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "pgserver-admin");
        db.setHostName("127.0.0.1");
        db.setPort(port_);
        db.setUserName("postgres");
        db.setDatabaseName(database);
        QSqlQuery q(db);
        ok = db.open() && q.exec(sql);
        if (!ok)
            *why = db.isOpen() ? q.lastError().text() : db.lastError().text();
    }
    QSqlDatabase::removeDatabase("pgserver-admin");
    return ok;
}

QString PostgresServer::createDatabase(const QString& name, QString* why) {
    if (port_ <= 0) {
        *why = why_;
        return {};
    }
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "pgserver-admin");
        db.setHostName("127.0.0.1");
        db.setPort(port_);
        db.setUserName("postgres");
        db.setDatabaseName("postgres");
        QSqlQuery q(db);
        ok = db.open() && q.exec("CREATE DATABASE " + name);
        if (!ok)
            *why = db.isOpen() ? q.lastError().text() : db.lastError().text();
    }
    QSqlDatabase::removeDatabase("pgserver-admin");
    return ok ? QStringLiteral("postgresql://postgres@127.0.0.1:%1/%2").arg(port_).arg(name) : QString();
}

PostgresServer::PostgresServer() {
    const QStringList found = QDir("/usr/lib/postgresql").entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    if (found.isEmpty()) {
        why_ = "Debian's postgresql is not installed";
        return;
    }
    bin_ = "/usr/lib/postgresql/" + found.last() + "/bin/";
    dir_ = QDir::temp().filePath(QStringLiteral("registrador-pg-%1").arg(QCoreApplication::applicationPid()));
    QDir(dir_).removeRecursively();
    QDir().mkpath(dir_);
    QFile::setPermissions(dir_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                    QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
#ifdef Q_OS_UNIX
    // The server refuses to run as root: it runs as postgres in a folder of its own.
    asRoot_ = ::geteuid() == 0;
    if (asRoot_) {
        const passwd* pw = ::getpwnam("postgres");
        if (!pw || ::chown(QFile::encodeName(dir_).constData(), pw->pw_uid, pw->pw_gid) != 0) {
            why_ = "no postgres user to run the server as";
            return;
        }
    }
#endif
    if (!run({pgBin("initdb"), "-D", dir_ + "/data", "-A", "trust", "-U", "postgres", "--no-sync", "-E", "UTF8"}))
        return;
    // The members of "assinantes" (the tests' signers) give their passwords, as on a lab's server;
    // every other role is trusted.
    {
        QFile hba(dir_ + "/data/pg_hba.conf");
        if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            why_ = "pg_hba.conf: " + hba.errorString();
            return;
        }
        hba.write("local all all trust\n"
                  "host all +assinantes 127.0.0.1/32 scram-sha-256\n"
                  "host all all 127.0.0.1/32 trust\n"
                  "host all all ::1/128 trust\n");
    }
    // A port of its own: tried from one the process id picks, the next when it is taken.
    const int first = 20000 + static_cast<int>(QCoreApplication::applicationPid() % 20000);
    for (int port = first; port < first + 20; ++port)
        if (run({pgBin("pg_ctl"), "-D", dir_ + "/data", "-w", "-l", dir_ + "/log", "-o",
                 QStringLiteral("-p %1 -k %2 -h 127.0.0.1 -c fsync=off").arg(port).arg(dir_), "start"})) {
            port_ = port;
            why_.clear();
            QString why;
            if (!admin("postgres", "CREATE ROLE assinantes NOLOGIN", &why))
                why_ = why;
            return;
        }
    if (why_.isEmpty())
        why_ = "the server did not start";
}

bool PostgresServer::run(QStringList args) {
    QProcess p;
    const QString program = asRoot_ ? QStringLiteral("runuser") : args.takeFirst();
    if (asRoot_)
        args = QStringList{"-u", "postgres", "--"} + args;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        why_ = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        return false;
    }
    return true;
}
