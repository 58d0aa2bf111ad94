// The results database opened and its schema brought up to date, step by step.
#include "records/storeinternal.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QUrl>
#include <atomic>

namespace rec {

using namespace detail;

namespace {

// The schema, step by step: step k brings a database of version k − 1 to version k. Written
// once for both engines; %ID% and %REAL% are their spellings of a row number and a double.
// The audit trail keeps whole rows of determinations, series and calorimeters: a later step
// that adds a column to one of them changes every row's state: it must write, for each row, an
// entry of an action of its own that verify lets add just those columns, or verify will name
// every row.
const QStringList& migration(int version) {
    static const QList<QStringList> steps = {
        {
            QStringLiteral("CREATE TABLE calorimeters (id %ID%, name TEXT NOT NULL UNIQUE CHECK (name <> ''))"),
            QStringLiteral(
                "CREATE TABLE determinations ("
                " id %ID%,"
                " kind TEXT NOT NULL CHECK (kind IN ('amostra', 'calibracao')),"
                " sample_code TEXT NOT NULL CHECK (sample_code <> ''),"
                " description TEXT NOT NULL DEFAULT '',"
                " operator TEXT NOT NULL CHECK (operator <> ''),"
                " calorimeter_id BIGINT NOT NULL REFERENCES calorimeters (id),"
                " test_date TEXT NOT NULL CHECK (length(test_date) = 10),"
                " recorded_utc TEXT NOT NULL,"
                " data_file TEXT NOT NULL DEFAULT '',"
                " test_number BIGINT NOT NULL,"
                " test_occurrence INTEGER NOT NULL CHECK (test_occurrence >= 1),"
                " readings_sha256 TEXT NOT NULL CHECK (length(readings_sha256) = 64),"
                " method TEXT NOT NULL CHECK (method IN ('regnault-pfaundler', 'dickinson')),"
                " periods_automatic INTEGER NOT NULL CHECK (periods_automatic IN (0, 1)),"
                " period_a %REAL% NOT NULL, period_b %REAL% NOT NULL, period_c %REAL% NOT NULL,"
                " period_d %REAL% NOT NULL,"
                " theta_a %REAL% NOT NULL, theta_c %REAL% NOT NULL,"
                " drift_fore %REAL% NOT NULL, drift_after %REAL% NOT NULL,"
                " mean_fore %REAL% NOT NULL, mean_after %REAL% NOT NULL,"
                " rise_observed %REAL% NOT NULL, rise_corrected %REAL% NOT NULL, b %REAL%,"
                " count_fore INTEGER NOT NULL, count_main INTEGER NOT NULL, count_after INTEGER NOT NULL,"
                " mode TEXT NOT NULL CHECK (mode IN ('nenhum', 'amostra', 'calibracao')),"
                " mass %REAL% NOT NULL, energy_equivalent_given %REAL% NOT NULL,"
                " heat_of_combustion %REAL% NOT NULL,"
                " fuse %REAL% NOT NULL, acid %REAL% NOT NULL, sulfur %REAL% NOT NULL,"
                " energy_equivalent %REAL%, gross_calorific_value %REAL%,"
                " warnings TEXT NOT NULL DEFAULT '',"
                " rejected_reason TEXT, rejected_utc TEXT,"
                " CHECK ((rejected_reason IS NULL) = (rejected_utc IS NULL)),"
                " CHECK (rejected_reason IS NULL OR rejected_reason <> ''))"),
            QStringLiteral("CREATE TABLE readings ("
                           " determination_id BIGINT NOT NULL REFERENCES determinations (id),"
                           " sub_reg INTEGER NOT NULL, tempo %REAL% NOT NULL, tint %REAL% NOT NULL,"
                           " text_temp %REAL% NOT NULL,"
                           " PRIMARY KEY (determination_id, sub_reg))"),
        },
        {
            QStringLiteral("ALTER TABLE determinations ADD COLUMN moisture %REAL%"),
            QStringLiteral("ALTER TABLE determinations ADD COLUMN hydrogen_dry %REAL%"),
            QStringLiteral("ALTER TABLE determinations ADD COLUMN oxygen_nitrogen_dry %REAL%"),
            QStringLiteral("ALTER TABLE determinations ADD COLUMN net_calorific_value %REAL%"),
            QStringLiteral("ALTER TABLE determinations ADD COLUMN inputs_given TEXT NOT NULL DEFAULT '{}'"),
        },
        {
            QStringLiteral("ALTER TABLE determinations ADD COLUMN aid %REAL% NOT NULL DEFAULT 0"),
            QStringLiteral("ALTER TABLE determinations ADD COLUMN energy_equivalent_source TEXT NOT NULL DEFAULT ''"),
            // The times of θa and θc; a record of before has the main period's limits.
            QStringLiteral("ALTER TABLE determinations ADD COLUMN ta %REAL%"),
            QStringLiteral("ALTER TABLE determinations ADD COLUMN tc %REAL%"),
            // A lab's list is looked through by sample, by calorimeter and by date.
            QStringLiteral("CREATE INDEX determinations_by_sample ON determinations (sample_code)"),
            QStringLiteral("CREATE INDEX determinations_by_calorimeter ON determinations (calorimeter_id, test_date)"),
        },
        {
            // Each calorimeter's acceptance rule for its calibration series.
            QStringLiteral("ALTER TABLE calorimeters ADD COLUMN rule TEXT NOT NULL DEFAULT 'din' CHECK (rule IN ('din', 'astm', 'lab'))"),
            QStringLiteral("ALTER TABLE calorimeters ADD COLUMN min_runs INTEGER NOT NULL DEFAULT 10 CHECK (min_runs >= 2)"),
            QStringLiteral("ALTER TABLE calorimeters ADD COLUMN max_rsd %REAL% NOT NULL DEFAULT 0.1 CHECK (max_rsd > 0)"),
            QStringLiteral("CREATE TABLE series ("
                           " calorimeter_id BIGINT NOT NULL REFERENCES calorimeters (id),"
                           " number INTEGER NOT NULL CHECK (number >= 1),"
                           " started_utc TEXT NOT NULL, reason TEXT NOT NULL CHECK (reason <> ''),"
                           " PRIMARY KEY (calorimeter_id, number))"),
            // The calibrations of before make every calorimeter's first series.
            QStringLiteral("INSERT INTO series (calorimeter_id, number, started_utc, reason)"
                           " SELECT c.id, 1, COALESCE((SELECT MIN(d.recorded_utc) FROM determinations d"
                           " WHERE d.calorimeter_id = c.id), '%NOW%'), '%FIRST%' FROM calorimeters c"),
            QStringLiteral("ALTER TABLE determinations ADD COLUMN series INTEGER NOT NULL DEFAULT 0"),
            QStringLiteral("UPDATE determinations SET series = 1 WHERE kind = 'calibracao'"),
            QStringLiteral("ALTER TABLE determinations ADD COLUMN check_certified %REAL%"),
            QStringLiteral("ALTER TABLE determinations ADD COLUMN check_tolerance %REAL%"),
            // The calorimeter's series when the determination was recorded: a check standard's
            // place on the control chart.
            QStringLiteral("ALTER TABLE determinations ADD COLUMN active_series INTEGER NOT NULL DEFAULT 0"),
            QStringLiteral("UPDATE determinations SET active_series = 1"),
            QStringLiteral("CREATE TABLE audit_trail ("
                           " id %ID%, at_utc TEXT NOT NULL, user_name TEXT NOT NULL, action TEXT NOT NULL,"
                           " target TEXT NOT NULL, determination_id BIGINT, subject TEXT NOT NULL DEFAULT '',"
                           " before_state TEXT NOT NULL DEFAULT '', after_state TEXT NOT NULL DEFAULT '',"
                           " prev_sha256 TEXT NOT NULL CHECK (length(prev_sha256) = 64),"
                           " sha256 TEXT NOT NULL CHECK (length(sha256) = 64))"),
            QStringLiteral("CREATE INDEX audit_trail_by_determination ON audit_trail (determination_id)"),
            QStringLiteral("CREATE INDEX audit_trail_by_target ON audit_trail (target)"),
            // The trail is only ever added to. Whoever owns the database can still drop these:
            // the chain of hashes is what shows a change made that way.
            QStringLiteral("LITE:CREATE TRIGGER audit_trail_no_update BEFORE UPDATE ON audit_trail"
                           " BEGIN SELECT RAISE(ABORT, 'a trilha de auditoria não se altera'); END"),
            QStringLiteral("LITE:CREATE TRIGGER audit_trail_no_delete BEFORE DELETE ON audit_trail"
                           " BEGIN SELECT RAISE(ABORT, 'a trilha de auditoria não se altera'); END"),
            // On the lab's server the user of an entry is the role the server authenticated,
            // whatever a client sends.
            QStringLiteral("PG:CREATE FUNCTION audit_trail_user() RETURNS trigger LANGUAGE plpgsql AS"
                           " $$ BEGIN NEW.user_name := session_user;"
                           " IF abs(extract(epoch FROM clock_timestamp() - NEW.at_utc::timestamptz)) > 60 THEN"
                           " RAISE EXCEPTION 'hora da entrada (%) longe da hora do servidor', NEW.at_utc; END IF;"
                           " RETURN NEW; END $$"),
            QStringLiteral("PG:CREATE TRIGGER audit_trail_user BEFORE INSERT ON audit_trail"
                           " FOR EACH ROW EXECUTE FUNCTION audit_trail_user()"),
            QStringLiteral("PG:CREATE FUNCTION audit_trail_frozen() RETURNS trigger LANGUAGE plpgsql AS"
                           " $$ BEGIN RAISE EXCEPTION 'a trilha de auditoria não se altera'; END $$"),
            QStringLiteral("PG:CREATE TRIGGER audit_trail_frozen BEFORE UPDATE OR DELETE OR TRUNCATE ON audit_trail"
                           " FOR EACH STATEMENT EXECUTE FUNCTION audit_trail_frozen()"),
        },
        {
            // One test, one determination: a test is found by its readings' digest, and a
            // record that replaces another names it.
            QStringLiteral("ALTER TABLE determinations ADD COLUMN replaces BIGINT"),
            QStringLiteral("CREATE INDEX determinations_by_readings ON determinations (readings_sha256)"),
        },
        {
            // What the lab's server can hold whatever a client sends: a record's and a
            // rejection's times are near the server's clock (none is dated back), and a
            // determination's readings enter with it, in its own transaction, never later.
            QStringLiteral("PG:CREATE OR REPLACE FUNCTION determinations_server_time() RETURNS trigger LANGUAGE plpgsql AS"
                           " $$ BEGIN"
                           " IF TG_OP = 'INSERT' AND abs(extract(epoch FROM clock_timestamp() - NEW.recorded_utc::timestamptz)) > 60 THEN"
                           " RAISE EXCEPTION 'hora do registro (%) longe da hora do servidor', NEW.recorded_utc; END IF;"
                           " IF NEW.rejected_utc IS NOT NULL AND (TG_OP = 'INSERT' OR OLD.rejected_utc IS NULL) AND"
                           " abs(extract(epoch FROM clock_timestamp() - NEW.rejected_utc::timestamptz)) > 60 THEN"
                           " RAISE EXCEPTION 'hora da rejeição (%) longe da hora do servidor', NEW.rejected_utc; END IF;"
                           " RETURN NEW; END $$"),
            QStringLiteral("PG:CREATE TRIGGER determinations_server_time BEFORE INSERT OR UPDATE ON determinations"
                           " FOR EACH ROW EXECUTE FUNCTION determinations_server_time()"),
            QStringLiteral("PG:CREATE OR REPLACE FUNCTION readings_with_their_determination() RETURNS trigger LANGUAGE plpgsql AS"
                           " $$ BEGIN IF NOT EXISTS (SELECT 1 FROM determinations WHERE id = NEW.determination_id"
                           " AND xmin = pg_current_xact_id()::xid) THEN"
                           " RAISE EXCEPTION 'as leituras da determinação % só entram junto com ela', NEW.determination_id;"
                           " END IF; RETURN NEW; END $$"),
            QStringLiteral("PG:CREATE TRIGGER readings_with_their_determination BEFORE INSERT ON readings"
                           " FOR EACH ROW EXECUTE FUNCTION readings_with_their_determination()"),
        },
        {
            // The day's samples, weighed before their tests; a record names the one it took.
            QStringLiteral("CREATE TABLE samples ("
                           " id %ID%, day TEXT NOT NULL CHECK (length(day) = 10),"
                           " code TEXT NOT NULL CHECK (code <> ''), description TEXT NOT NULL DEFAULT '',"
                           " kind TEXT NOT NULL CHECK (kind IN ('amostra', 'calibracao', 'padrao')),"
                           " certified %REAL%, calorimeter TEXT NOT NULL CHECK (calorimeter <> ''), aid_mass %REAL%,"
                           " mass %REAL% CHECK (mass IS NULL OR mass > 0),"
                           " mass_typed INTEGER NOT NULL DEFAULT 0 CHECK (mass_typed IN (0, 1)),"
                           " mass_source TEXT NOT NULL DEFAULT '', balance_line TEXT NOT NULL DEFAULT '', weighed_utc TEXT,"
                           " state TEXT NOT NULL CHECK (state IN ('a-pesar', 'pesada', 'registrada', 'descartada')),"
                           " determination_id BIGINT REFERENCES determinations (id),"
                           " discarded_reason TEXT CHECK (discarded_reason IS NULL OR discarded_reason <> ''),"
                           " added_utc TEXT NOT NULL, added_by TEXT NOT NULL,"
                           " CHECK (state <> 'a-pesar' OR mass IS NULL),"
                           " CHECK (state NOT IN ('pesada', 'registrada') OR mass IS NOT NULL),"
                           " CHECK ((state = 'registrada') = (determination_id IS NOT NULL)),"
                           " CHECK ((state = 'descartada') = (discarded_reason IS NOT NULL)))"),
            QStringLiteral("CREATE INDEX samples_by_day ON samples (day)"),
            QStringLiteral("ALTER TABLE determinations ADD COLUMN sample_entry BIGINT"),
            QStringLiteral("ALTER TABLE determinations ADD COLUMN mass_source TEXT"),
        },
        {
            // Electronic signatures: review, approval, and the rejection of an approved record.
            QStringLiteral("CREATE TABLE signatures ("
                           " id %ID%, determination_id BIGINT NOT NULL REFERENCES determinations (id),"
                           " meaning TEXT NOT NULL CHECK (meaning IN ('revisado', 'aprovado', 'rejeitado')),"
                           " user_name TEXT NOT NULL CHECK (user_name <> ''), full_name TEXT NOT NULL CHECK (full_name <> ''),"
                           " signed_utc TEXT NOT NULL, comment TEXT NOT NULL DEFAULT '')"),
            QStringLiteral("CREATE INDEX signatures_by_determination ON signatures (determination_id)"),
            // A SQLite file's signers: a salted PBKDF2 key of each password, never the password.
            QStringLiteral("CREATE TABLE signing_users ("
                           " name TEXT PRIMARY KEY CHECK (name <> ''), full_name TEXT NOT NULL CHECK (full_name <> ''),"
                           " reviewer INTEGER NOT NULL CHECK (reviewer IN (0, 1)),"
                           " administrator INTEGER NOT NULL CHECK (administrator IN (0, 1)),"
                           " salt TEXT NOT NULL, iterations INTEGER NOT NULL CHECK (iterations >= 100000),"
                           " key TEXT NOT NULL, created_utc TEXT NOT NULL)"),
            // On the server a signature is written by the signer's own role, at the server's time.
            QStringLiteral("PG:CREATE OR REPLACE FUNCTION signatures_signer() RETURNS trigger LANGUAGE plpgsql AS"
                           " $$ BEGIN IF NEW.user_name <> session_user THEN"
                           " RAISE EXCEPTION 'a assinatura de % só pode ser escrita por ele', NEW.user_name; END IF;"
                           " IF abs(extract(epoch FROM clock_timestamp() - NEW.signed_utc::timestamptz)) > 60 THEN"
                           " RAISE EXCEPTION 'hora da assinatura (%) longe da hora do servidor', NEW.signed_utc; END IF;"
                           " RETURN NEW; END $$"),
            QStringLiteral("PG:CREATE TRIGGER signatures_signer BEFORE INSERT ON signatures"
                           " FOR EACH ROW EXECUTE FUNCTION signatures_signer()"),
            QStringLiteral("PG:CREATE OR REPLACE FUNCTION signatures_frozen() RETURNS trigger LANGUAGE plpgsql AS"
                           " $$ BEGIN RAISE EXCEPTION 'uma assinatura não se altera'; END $$"),
            QStringLiteral("PG:CREATE TRIGGER signatures_frozen BEFORE UPDATE OR DELETE OR TRUNCATE ON signatures"
                           " FOR EACH STATEMENT EXECUTE FUNCTION signatures_frozen()"),
            // Every list and record reads them: the technicians' roles too.
            QStringLiteral("PG:GRANT SELECT ON signatures TO PUBLIC"),
        },
    };
    return steps[version - 1];
}

// A statement for both engines, or for one ("PG:", "LITE:"); empty when not for this one.
QString spelled(const QSqlDatabase& db, QString sql) {
    const bool pg = isPostgres(db);
    if (sql.startsWith(QLatin1String("PG:")) || sql.startsWith(QLatin1String("LITE:"))) {
        if (sql.startsWith(QLatin1String("PG:")) != pg)
            return {};
        sql.remove(0, sql.indexOf(QLatin1Char(':')) + 1);
    }
    sql.replace(QStringLiteral("%NOW%"), utcText(QDateTime::currentDateTimeUtc()))
        .replace(QStringLiteral("%FIRST%"), kFirstSeries);
    return sql.replace(QStringLiteral("%ID%"), pg ? QStringLiteral("BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY")
                                                  : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"))
        .replace(QStringLiteral("%REAL%"), pg ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("REAL"));
}

std::atomic<int> connections{0};

// Changes of the schema one at a time among the lab's PCs, until the end of the transaction
// (SQLite's BEGIN IMMEDIATE does as much for a file).
const QString kSchemaLock = QStringLiteral("SELECT pg_advisory_xact_lock(7163042)");
} // namespace

void loadDrivers() {
    for (const QString& driver : QSqlDatabase::drivers()) {
        const QString name = QStringLiteral("carga-") + driver;
        QSqlDatabase::addDatabase(driver, name);
        QSqlDatabase::removeDatabase(name);
    }
}

namespace {
// A SQLite file this user may not change, or whose folder it may not write (where SQLite keeps
// its journals): it can only be read.
bool onlyReadable(const QString& path) {
    const QFileInfo file(path), folder(QFileInfo(path).absolutePath());
    return file.exists() && (!file.isWritable() || !folder.isWritable());
}
} // namespace

std::unique_ptr<Store> Store::open(const Location& where, QString* error, Access access) {
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return nullptr;
    };
    const bool pg = where.kind == Location::Kind::PostgreSQL;
    const QString driver = pg ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (!QSqlDatabase::isDriverAvailable(driver))
        return fail(QStringLiteral("O programa não tem o acesso a bancos %1 instalado.")
                        .arg(pg ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite")));
    if (!pg) {
        // The program's own data folder is made when first needed; a folder named in config.xml
        // or on the command line that does not exist is a mistake (a drive not mounted, a name
        // mistyped), never made in its place.
        const QString folder = QFileInfo(where.path).absolutePath();
        if (!where.isDefault && !QFileInfo(folder).isDir())
            return fail(QStringLiteral("A pasta do banco de resultados \"%1\" não existe.").arg(QDir::toNativeSeparators(folder)));
        if (!QDir().mkpath(folder))
            return fail(QStringLiteral("Não foi possível criar a pasta do banco de resultados \"%1\".")
                            .arg(QDir::toNativeSeparators(folder)));
    }
    std::unique_ptr<Store> s(new Store(QStringLiteral("resultados-%1").arg(++connections)));
    s->user_ = systemUser().isEmpty() ? QStringLiteral("desconhecido") : systemUser();
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, s->connection_);
    if (pg) {
        db.setHostName(where.host);
        db.setPort(where.port);
        db.setDatabaseName(where.database);
        db.setUserName(where.user);
        if (!where.password.isEmpty())
            db.setPassword(where.password);
        // Never a wait without end: a server that takes the connection and never answers, or
        // one gone away, is given up after the connection's timeout; the keepalives find a
        // server that vanished during a session.
        db.setConnectOptions(QStringLiteral("connect_timeout=%1;keepalives=1;keepalives_idle=5;keepalives_interval=2;"
                                            "keepalives_count=3;tcp_user_timeout=%2")
                                 .arg(where.connectTimeout)
                                 .arg(where.connectTimeout * 2000));
    } else if (access == Access::Read && onlyReadable(where.path)) {
        // Read as it is: without its journals SQLite can open a file in a read-only folder only
        // as unchanging, which it is when no write-ahead log holds part of it.
        s->readOnly_ = true;
        const QFileInfo wal(where.path + QStringLiteral("-wal"));
        const bool walFree = !wal.exists() || wal.size() == 0;
        QUrl url = QUrl::fromLocalFile(QFileInfo(where.path).absoluteFilePath());
        url.setQuery(walFree && !QFileInfo(QFileInfo(where.path).absolutePath()).isWritable() ? QStringLiteral("immutable=1")
                                                                                            : QStringLiteral("mode=ro"));
        db.setDatabaseName(url.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
    } else {
        db.setDatabaseName(where.path);
        // Another program writing at the same moment is waited for, not failed on.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    const QString shown = pg ? QStringLiteral("%1/%2").arg(where.host, where.database)
                             : QDir::toNativeSeparators(QFileInfo(where.path).absoluteFilePath());
    s->where_ = shown;
    s->location_ = where;
    if (!db.open()) {
        const QString cause = db.lastError().text();
        if (pg && cause.contains(QLatin1String("timeout expired"), Qt::CaseInsensitive))
            return fail(QStringLiteral("Não foi possível abrir o banco de resultados %1: o servidor não respondeu em %2 s.")
                            .arg(shown)
                            .arg(where.connectTimeout));
        return fail(failed(QStringLiteral("Não foi possível abrir o banco de resultados %1").arg(shown), db.lastError()));
    }
    QString why;
    if (!pg && !run(db, QStringLiteral("PRAGMA foreign_keys = ON"), &why))
        return fail(why);
    // Numbers with all their digits whatever the server's or the role's setting: the audit
    // trail compares rows as text.
    if (pg && !run(db, QStringLiteral("SET extra_float_digits = 3"), &why))
        return fail(why);
    // No statement waits without end on a server that stopped answering mid-session.
    if (pg && !run(db, QStringLiteral("SET statement_timeout = '%1s'").arg(kStatementTimeout), &why))
        return fail(why);
    if (s->readOnly_) {
        const int version = s->schemaVersion();
        if (version != kSchemaVersion)
            return fail(version < 0 ? QStringLiteral("O banco de resultados %1 não tem uma versão de esquema legível.").arg(shown)
                                    : QStringLiteral("O banco de resultados %1 só pode ser lido aqui (a pasta ou o arquivo não "
                                                     "aceita gravação) e é do esquema %2; abra-o uma vez com permissão de "
                                                     "gravação para atualizá-lo ao esquema %3.")
                                          .arg(shown)
                                          .arg(version)
                                          .arg(kSchemaVersion));
        return s;
    }
    // Nothing is written into a file with damaged pages: a record would land beside data
    // SQLite can no longer read, and the damage would grow.
    if (!pg && access == Access::Write && QFileInfo(where.path).size() > 0) {
        QSqlQuery check(db);
        if (!check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next())
            return fail(failed(QStringLiteral("Não foi possível conferir o banco de resultados %1").arg(shown), check.lastError()));
        if (check.value(0).toString() != QLatin1String("ok"))
            return fail(QStringLiteral("O banco de resultados %1 está danificado; nada foi gravado. Restaure a cópia de "
                                       "segurança ou consulte o suporte.%2%3")
                            .arg(shown, kDetailsMarker, check.value(0).toString()));
    }
    // Turning a new file to WAL needs it alone for a moment; another program opening it at the
    // same time is waited for here (SQLite answers "locked" without its busy wait).
    for (int tries = 0; !pg && !run(db, QStringLiteral("PRAGMA journal_mode = WAL"), &why); ++tries) {
        if (tries == 50 || !why.contains(QLatin1String("locked")))
            return fail(why);
        QThread::msleep(100);
    }
    // The version, created with the database (by one of two programs opening it at once).
    if (!db.tables().contains(QStringLiteral("schema_version")) &&
        !inTransaction(db, &why, [&] {
            return (!pg || run(db, kSchemaLock, &why)) &&
                   run(db, QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"), &why) &&
                   run(db, QStringLiteral("INSERT INTO schema_version (version) SELECT 0"
                                          " WHERE NOT EXISTS (SELECT 1 FROM schema_version)"), &why);
        }))
        return fail(why);
    const int version = s->schemaVersion();
    if (version < 0)
        return fail(QStringLiteral("O banco de resultados %1 não tem uma versão de esquema legível.").arg(shown));
    if (version > kSchemaVersion)
        return fail(QStringLiteral("O banco de resultados %1 é de uma versão mais nova do programa (esquema %2; este "
                                   "programa conhece até o %3). Atualize o programa.")
                        .arg(shown)
                        .arg(version)
                        .arg(kSchemaVersion));
    for (int v = version + 1; v <= kSchemaVersion; ++v) {
        const bool ok = inTransaction(db, &why, [&] {
            // Another program may have taken this step meanwhile: the version is read again
            // under the lock that keeps the steps one at a time.
            if (pg && !run(db, kSchemaLock, &why))
                return false;
            if (s->schemaVersion() >= v)
                return true;
            for (const QString& sql : migration(v)) {
                const QString statement = spelled(db, sql);
                if (!statement.isEmpty() && !run(db, statement, &why))
                    return false;
            }
            if (v == 4 && !s->adoptIntoTrail(&why))
                return false;
            if ((v == 5 || v == 7) && !s->trailNewColumns(&why))
                return false;
            return run(db, QStringLiteral("UPDATE schema_version SET version = %1").arg(v), &why);
        });
        if (!ok)
            return fail(QStringLiteral("Não foi possível atualizar o banco de resultados %1 para o esquema %2: %3")
                            .arg(shown)
                            .arg(v)
                            .arg(why));
    }
    return s;
}

int Store::schemaVersion() const {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (!q.exec(QStringLiteral("SELECT version FROM schema_version")) || !q.next())
        return -1;
    return q.value(0).toInt();
}

} // namespace rec
