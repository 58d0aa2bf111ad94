#include "records/store.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlRecord>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>
#include <QVariant>
#include <atomic>
#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace rec {

namespace {

const QString kSampleKind = QStringLiteral("amostra");
const QString kCalibrationKind = QStringLiteral("calibracao");

bool isPostgres(const QSqlDatabase& db) { return db.driverName() == QLatin1String("QPSQL"); }

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
    };
    return steps[version - 1];
}

const QString kFirstSeries = QStringLiteral("primeira série");

QString utcText(const QDateTime& t) { return t.toUTC().toString(Qt::ISODateWithMs); }

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

QString failed(const QString& what, const QSqlError& e) {
    const QString why = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    return QStringLiteral("%1: %2").arg(what, why.trimmed());
}

// Runs one statement; false with the reason.
bool run(QSqlDatabase& db, const QString& sql, QString* error) {
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    if (error)
        *error = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
    return false;
}

// Everything a change writes, in one transaction: committed when `body` succeeds, rolled back
// otherwise.
// On SQLite the transaction takes the write lock at once (BEGIN IMMEDIATE): one that began
// by reading could not wait for another writer to finish, and would fail "database is locked"
// whatever the busy timeout.
// On PostgreSQL every write transaction first takes the lock on the audit trail's head: the
// lab's PCs then write one at a time, as SQLite's writers do, so the trail stays one chain and
// a series is numbered and joined in one order.
template <typename Body>
bool inTransaction(QSqlDatabase& db, QString* error, Body body) {
    const bool pg = isPostgres(db);
    QSqlQuery begin(db);
    // Another PC's write is waited for as long as on a SQLite file, then told (a PC cut off
    // mid-write would otherwise hold every other one until the server drops it).
    const bool pgBegun = pg && db.transaction();
    if (pg ? !pgBegun || !begin.exec(QStringLiteral("SET LOCAL lock_timeout = '5s'")) ||
                 !begin.exec(QStringLiteral("SELECT pg_advisory_xact_lock(7163043)"))
           : !begin.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        const QSqlError e = pg && !pgBegun ? db.lastError() : begin.lastError();
        if (pgBegun)
            db.rollback();
        if (error)
            *error = e.nativeErrorCode() == QLatin1String("55P03")
                         ? QStringLiteral("O banco de resultados está ocupado por outro computador há mais de 5 s; tente de novo.")
                         : failed(QStringLiteral("Não foi possível iniciar a gravação no banco de resultados"), e);
        return false;
    }
    QSqlQuery end(db);
    if (body() && (pg ? db.commit() : end.exec(QStringLiteral("COMMIT"))))
        return true;
    if (error && error->isEmpty())
        *error = failed(QStringLiteral("Não foi possível gravar no banco de resultados"), pg ? db.lastError() : end.lastError());
    if (pg)
        db.rollback();
    else
        end.exec(QStringLiteral("ROLLBACK"));
    return false;
}

QDateTime fromUtcText(const QString& s) {
    QDateTime t = QDateTime::fromString(s, Qt::ISODateWithMs);
    t.setTimeSpec(Qt::UTC);
    return t;
}

// A text as the schema wants it: never null, empty when there is none.
QString text(const QString& s) { return s.isNull() ? QStringLiteral("") : s; }

QVariant optionalNumber(const std::optional<double>& v) { return v ? QVariant(*v) : QVariant(QMetaType::fromType<double>()); }
std::optional<double> numberOrNothing(const QVariant& v) { return v.isNull() ? std::nullopt : std::optional(v.toDouble()); }

QString modeKey(eval::Calorimetry::Mode m) {
    using M = eval::Calorimetry::Mode;
    return m == M::Sample ? kSampleKind : m == M::Calibration ? kCalibrationKind : QStringLiteral("nenhum");
}

eval::Calorimetry::Mode modeFromKey(const QString& k) {
    using M = eval::Calorimetry::Mode;
    return k == kSampleKind ? M::Sample : k == kCalibrationKind ? M::Calibration : M::None;
}

const char* const kColumns =
    "d.id, d.kind, d.sample_code, d.description, d.operator, c.name, d.test_date, d.recorded_utc, d.data_file,"
    " d.test_number, d.test_occurrence, d.readings_sha256, d.method, d.periods_automatic, d.period_a, d.period_b,"
    " d.period_c, d.period_d, d.theta_a, d.theta_c, d.drift_fore, d.drift_after, d.mean_fore, d.mean_after,"
    " d.rise_observed, d.rise_corrected, d.b, d.count_fore, d.count_main, d.count_after, d.mode, d.mass, d.energy_equivalent_given, d.heat_of_combustion,"
    " d.fuse, d.acid, d.sulfur, d.energy_equivalent, d.gross_calorific_value, d.warnings, d.rejected_reason,"
    " d.rejected_utc, d.moisture, d.hydrogen_dry, d.oxygen_nitrogen_dry, d.net_calorific_value, d.inputs_given,"
    " d.aid, d.energy_equivalent_source, d.ta, d.tc, d.series, d.check_certified, d.check_tolerance, d.active_series,"
    " d.replaces";

Determination fromRow(const QSqlQuery& q) {
    Determination d;
    int i = 0;
    auto next = [&] { return q.value(i++); };
    d.id = next().toLongLong();
    d.kind = next().toString() == kCalibrationKind ? Determination::Kind::Calibration : Determination::Kind::Sample;
    d.sampleCode = next().toString();
    d.description = next().toString();
    d.operatorName = next().toString();
    d.calorimeter = next().toString();
    d.testDate = QDate::fromString(next().toString(), Qt::ISODate);
    d.recordedUtc = fromUtcText(next().toString());
    d.dataFile = next().toString();
    d.testNumber = next().toLongLong();
    d.testOccurrence = next().toInt();
    d.readingsSha256 = next().toString().toLatin1();
    eval::Result& r = d.result;
    r.method = eval::methodFromKey(next().toString()).value_or(eval::Method::RegnaultPfaundler);
    r.automatic = next().toInt() != 0;
    r.periods.a = next().toDouble();
    r.periods.b = next().toDouble();
    r.periods.c = next().toDouble();
    r.periods.d = next().toDouble();
    r.thetaA = next().toDouble();
    r.thetaC = next().toDouble();
    r.driftFore = next().toDouble();
    r.driftAfter = next().toDouble();
    r.meanFore = next().toDouble();
    r.meanAfter = next().toDouble();
    r.riseObserved = next().toDouble();
    r.riseCorrected = next().toDouble();
    r.b = numberOrNothing(next());
    r.countFore = next().toInt();
    r.countMain = next().toInt();
    r.countAfter = next().toInt();
    eval::Calorimetry& c = d.calorimetry;
    c.mode = modeFromKey(next().toString());
    c.mass = next().toDouble();
    c.energyEquivalent = next().toDouble();
    c.heatOfCombustion = next().toDouble();
    c.fuse = next().toDouble();
    c.acid = next().toDouble();
    c.sulfur = next().toDouble();
    r.energyEquivalent = numberOrNothing(next());
    r.grossCalorificValue = numberOrNothing(next());
    const QString warnings = next().toString();
    r.warnings = warnings.isEmpty() ? QStringList() : warnings.split(QLatin1Char('\n'));
    const QVariant reason = next(), when = next();
    if (!reason.isNull()) {
        d.rejectedReason = reason.toString();
        d.rejectedUtc = fromUtcText(when.toString());
    }
    d.moisture = numberOrNothing(next());
    d.hydrogenDry = numberOrNothing(next());
    d.oxygenNitrogenDry = numberOrNothing(next());
    d.netCalorificValue = numberOrNothing(next());
    d.inputsGiven = next().toString();
    c.aid = next().toDouble();
    d.energyEquivalentSource = next().toString();
    r.ta = numberOrNothing(next()).value_or(r.periods.b);
    r.tc = numberOrNothing(next()).value_or(r.periods.c);
    d.series = next().toInt();
    d.checkCertified = numberOrNothing(next());
    d.checkTolerancePercent = numberOrNothing(next());
    d.activeSeries = next().toInt();
    d.replaces = next().toLongLong();
    return d;
}

std::atomic<int> connections{0};

// ---- the audit trail ----------------------------------------------------------------------------

const QByteArray kGenesis(64, '0');

// A row as canonical JSON: every column by name, numbers with all their digits, as text, so
// the state written to the trail and the one read back later compare as text.
QString stateOf(const QSqlRecord& row) {
    QJsonObject o;
    for (int i = 0; i < row.count(); ++i) {
        const QVariant v = row.value(i);
        o[row.fieldName(i)] = v.isNull() ? QJsonValue()
                                         : QJsonValue(v.typeId() == QMetaType::Double ? QString::number(v.toDouble(), 'g', 17)
                                                                                     : v.toString());
    }
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

// What is audited, each by the key its entries carry.
QString determinationTarget(qint64 id) { return QStringLiteral("determinacao:%1").arg(id); }
QString seriesTarget(qint64 calorimeter, int number) { return QStringLiteral("serie:%1:%2").arg(calorimeter).arg(number); }
QString calorimeterTarget(qint64 calorimeter) { return QStringLiteral("calorimetro:%1").arg(calorimeter); }
const char* const kSeriesState = "SELECT s.calorimeter_id, c.name AS calorimeter, s.number, s.started_utc, s.reason"
                                 " FROM series s JOIN calorimeters c ON c.id = s.calorimeter_id";
const char* const kCalorimeterState = "SELECT id, name, rule, min_runs, max_rsd FROM calorimeters";

// The state of one audited row, or "" when there is none.
std::optional<QString> currentState(QSqlDatabase& db, const QString& target, QString* why) {
    const QStringList k = target.split(QLatin1Char(':'));
    QSqlQuery q(db);
    if (k[0] == QLatin1String("determinacao")) {
        q.prepare(QStringLiteral("SELECT * FROM determinations WHERE id = ?"));
        q.addBindValue(k.value(1).toLongLong());
    } else if (k[0] == QLatin1String("serie")) {
        q.prepare(QLatin1String(kSeriesState) + QStringLiteral(" WHERE s.calorimeter_id = ? AND s.number = ?"));
        q.addBindValue(k.value(1).toLongLong());
        q.addBindValue(k.value(2).toInt());
    } else {
        q.prepare(QLatin1String(kCalorimeterState) + QStringLiteral(" WHERE id = ?"));
        q.addBindValue(k.value(1).toLongLong());
    }
    if (!q.exec()) {
        *why = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    return q.next() ? stateOf(q.record()) : QString();
}

QByteArray chainHash(const QString& at, const QString& user, const QString& action, const QString& target,
                     const QVariant& determination, const QString& subject, const QString& before, const QString& after,
                     const QString& prev) {
    const QJsonArray fields{at, user, action, target,
                            determination.isNull() ? QJsonValue() : QJsonValue(determination.toString()),
                            subject, before, after, prev};
    return QCryptographicHash::hash(QJsonDocument(fields).toJson(QJsonDocument::Compact), QCryptographicHash::Sha256).toHex();
}

struct Change {
    QString action, target;
    qint64 determination = 0;
    QString subject, before, after;
};

// Adds one entry after the trail's last, in the caller's transaction.
bool appendAudit(QSqlDatabase& db, const QString& user, Change c, QString* why) {
    for (QString* field : {&c.subject, &c.before, &c.after})
        *field = text(*field);
    QSqlQuery q(db);
    QString at = utcText(QDateTime::currentDateTimeUtc()), who = user;
    auto fail = [&] {
        *why = failed(QStringLiteral("Não foi possível escrever na trilha de auditoria"), q.lastError());
        return false;
    };
    if (isPostgres(db)) {
        // The server's own role and clock: what the trigger puts in the row, and one clock for
        // the lab's PCs.
        if (!q.exec(QStringLiteral("SELECT session_user, to_char(clock_timestamp() AT TIME ZONE 'UTC',"
                                   " 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')")) ||
            !q.next())
            return fail();
        who = q.value(0).toString();
        at = q.value(1).toString();
    }
    if (!q.exec(QStringLiteral("SELECT sha256 FROM audit_trail ORDER BY id DESC LIMIT 1")))
        return fail();
    const QString prev = q.next() ? q.value(0).toString() : QString::fromLatin1(kGenesis);
    const QVariant determination = c.determination ? QVariant(c.determination) : QVariant(QMetaType::fromType<qlonglong>());
    q.prepare(QStringLiteral("INSERT INTO audit_trail (at_utc, user_name, action, target, determination_id, subject,"
                             " before_state, after_state, prev_sha256, sha256) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant& v : QVariantList{at, who, c.action, c.target, determination, c.subject, c.before, c.after, prev,
                                          QString::fromLatin1(chainHash(at, who, c.action, c.target, determination,
                                                                        c.subject, c.before, c.after, prev))})
        q.addBindValue(v);
    return q.exec() || fail();
}

// Audits a change of `target` made just before, in the same transaction.
bool audit(QSqlDatabase& db, const QString& user, const QString& action, const QString& target, qint64 determination,
           const QString& subject, const QString& before, QString* why) {
    const auto after = currentState(db, target, why);
    return after && appendAudit(db, user, Change{action, target, determination, subject, before, *after}, why);
}

// The state a change starts from, when it is the one the trail last gave the row: a change
// made behind the program is never taken over by the next change made through it.
std::optional<QString> trailedState(QSqlDatabase& db, const QString& target, const QString& described, QString* why) {
    const auto state = currentState(db, target, why);
    if (!state)
        return std::nullopt;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT after_state FROM audit_trail WHERE target = ? ORDER BY id DESC LIMIT 1"));
    q.addBindValue(target);
    if (!q.exec()) {
        *why = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    if (!q.next() || q.value(0).toString() != *state) {
        *why = QStringLiteral("%1 não está como a trilha de auditoria a registrou: foi %2 fora do programa. "
                              "Nada foi gravado; confira com registrador-cli results verify.")
                   .arg(described, target.startsWith(QLatin1String("determinacao:")) ? QStringLiteral("alterada")
                                                                                       : QStringLiteral("alterado"));
        return std::nullopt;
    }
    return state;
}

// A calorimeter's number by name, or 0 when it was never named.
std::optional<qint64> calorimeterId(QSqlDatabase db, const QString& name, QString* why) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT id FROM calorimeters WHERE name = ?"));
    q.addBindValue(name.trimmed());
    if (!q.exec()) {
        *why = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    return q.next() ? q.value(0).toLongLong() : 0;
}

// Changes of the schema one at a time among the lab's PCs, until the end of the transaction
// (SQLite's BEGIN IMMEDIATE does as much for a file).
const QString kSchemaLock = QStringLiteral("SELECT pg_advisory_xact_lock(7163042)");

} // namespace

QString systemUser() {
    QString u = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME")).trimmed();
#ifdef Q_OS_UNIX
    // A service or a container may leave USER unset; the account is still known.
    if (u.isEmpty())
        if (const passwd* pw = getpwuid(geteuid()))
            u = QString::fromLocal8Bit(pw->pw_name);
#endif
    return u;
}

QByteArray readingsDigest(const std::vector<Determination::Reading>& readings) {
    QCryptographicHash h(QCryptographicHash::Sha256);
    for (const Determination::Reading& r : readings)
        h.addData(QByteArray::number(r.subReg) + ';' + QByteArray::number(r.tempo, 'g', 17) + ';' +
                  QByteArray::number(r.tint, 'g', 17) + ';' + QByteArray::number(r.text, 'g', 17) + '\n');
    return h.result().toHex();
}

Store::Store(QString connection) : connection_(std::move(connection)) {}

Store::~Store() {
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

std::unique_ptr<Store> Store::open(const Location& where, QString* error) {
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
        if (!QDir().mkpath(QFileInfo(where.path).absolutePath()))
            return fail(QStringLiteral("Não foi possível criar a pasta do banco de resultados \"%1\".")
                            .arg(QDir::toNativeSeparators(QFileInfo(where.path).absolutePath())));
    }
    std::unique_ptr<Store> s(new Store(QStringLiteral("resultados-%1").arg(++connections)));
    s->user_ = systemUser().isEmpty() ? QStringLiteral("desconhecido") : systemUser();
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, s->connection_);
    if (pg) {
        db.setHostName(where.host);
        db.setPort(where.port);
        db.setDatabaseName(where.database);
        db.setUserName(where.user);
    } else {
        db.setDatabaseName(where.path);
        // Another program writing at the same moment is waited for, not failed on.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    const QString shown = pg ? QStringLiteral("%1/%2").arg(where.host, where.database)
                             : QDir::toNativeSeparators(QFileInfo(where.path).absoluteFilePath());
    s->where_ = shown;
    if (!db.open())
        return fail(failed(QStringLiteral("Não foi possível abrir o banco de resultados %1").arg(shown), db.lastError()));
    QString why;
    if (!pg && !run(db, QStringLiteral("PRAGMA foreign_keys = ON"), &why))
        return fail(why);
    // Numbers with all their digits whatever the server's or the role's setting: the audit
    // trail compares rows as text.
    if (pg && !run(db, QStringLiteral("SET extra_float_digits = 3"), &why))
        return fail(why);
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
            if (v == 5 && !s->trailNewColumns(&why))
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

std::optional<qint64> Store::record(const Determination& d, QString* error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QString why;
    qint64 id = 0;
    const bool ok = inTransaction(db, &why, [&] {
        QSqlQuery q(db);
        // The calorimeter by its name, added the first time it is named; two PCs naming a new
        // one at once both find the one row.
        q.prepare(QStringLiteral("INSERT INTO calorimeters (name) VALUES (?) ON CONFLICT (name) DO NOTHING"));
        q.addBindValue(text(d.calorimeter));
        if (!q.exec()) {
            why = failed(QStringLiteral("Calorímetro \"%1\" recusado").arg(d.calorimeter), q.lastError());
            return false;
        }
        const bool added = q.numRowsAffected() == 1;
        q.prepare(QStringLiteral("SELECT id FROM calorimeters WHERE name = ?"));
        q.addBindValue(text(d.calorimeter));
        if (!q.exec() || !q.next()) {
            why = failed(QStringLiteral("Calorímetro \"%1\" recusado").arg(d.calorimeter), q.lastError());
            return false;
        }
        const qint64 calorimeter = q.value(0).toLongLong();
        // A new calorimeter begins with its settings and its first series, both in the trail.
        if (added && (!audit(db, user_, QStringLiteral("calorimetro"), calorimeterTarget(calorimeter), 0, d.calorimeter, {}, &why) ||
                      !startSeries(calorimeter, d.calorimeter, kFirstSeries, &why)))
            return false;
        q.prepare(QStringLiteral("SELECT MAX(number) FROM series WHERE calorimeter_id = ?"));
        q.addBindValue(calorimeter);
        if (!q.exec() || !q.next()) {
            why = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
            return false;
        }
        const int active = q.value(0).toInt();
        // A sample's W from a series that another PC has just replaced is not this series' W.
        if (d.kind == Determination::Kind::Sample && d.series && d.series != active) {
            why = QStringLiteral("A série %1 do calorímetro \"%2\" foi substituída pela série %3 enquanto o resultado era "
                                 "registrado: registre de novo para usar a série atual.")
                      .arg(d.series)
                      .arg(d.calorimeter)
                      .arg(active);
            return false;
        }
        const int series = d.kind == Determination::Kind::Calibration ? active : d.series;
        // One test, one determination: inside the transaction, so two PCs recording the same
        // test at once cannot both succeed.
        const QString digest = QString::fromLatin1(readingsDigest(d.readings));
        q.prepare(QStringLiteral("SELECT id FROM determinations WHERE readings_sha256 = ? AND rejected_reason IS NULL"
                                 " ORDER BY id"));
        q.addBindValue(digest);
        if (!q.exec()) {
            why = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
            return false;
        }
        while (q.next())
            if (q.value(0).toLongLong() != d.replaces) {
                why = QStringLiteral("Este ensaio já foi registrado: determinação %1").arg(q.value(0).toLongLong());
                return false;
            }
        const eval::Result& r = d.result;
        const eval::Calorimetry& c = d.calorimetry;
        q.prepare(QStringLiteral(
            "INSERT INTO determinations (kind, sample_code, description, operator, calorimeter_id, test_date,"
            " recorded_utc, data_file, test_number, test_occurrence, readings_sha256, method, periods_automatic,"
            " period_a, period_b, period_c, period_d, theta_a, theta_c, drift_fore, drift_after, mean_fore,"
            " mean_after, rise_observed, rise_corrected, b, count_fore, count_main, count_after, mode, mass,"
            " energy_equivalent_given,"
            " heat_of_combustion, fuse, acid, sulfur, energy_equivalent, gross_calorific_value, warnings,"
            " moisture, hydrogen_dry, oxygen_nitrogen_dry, net_calorific_value, inputs_given, aid,"
            " energy_equivalent_source, ta, tc, series, check_certified, check_tolerance, active_series, replaces)"
            " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
            " ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"));
        for (const QVariant& v : QList<QVariant>{
                 d.kind == Determination::Kind::Calibration ? kCalibrationKind : kSampleKind, text(d.sampleCode.trimmed()),
                 text(d.description), text(d.operatorName.trimmed()), calorimeter,
                 d.testDate.isValid() ? d.testDate.toString(Qt::ISODate) : QString(),
                 utcText(QDateTime::currentDateTimeUtc()), text(d.dataFile), d.testNumber, d.testOccurrence,
                 digest, eval::methodKey(r.method), r.automatic ? 1 : 0,
                 r.periods.a, r.periods.b, r.periods.c, r.periods.d, r.thetaA, r.thetaC, r.driftFore, r.driftAfter,
                 r.meanFore, r.meanAfter, r.riseObserved, r.riseCorrected, optionalNumber(r.b), r.countFore, r.countMain,
                 r.countAfter, modeKey(c.mode), c.mass,
                 c.energyEquivalent, c.heatOfCombustion, c.fuse, c.acid, c.sulfur, optionalNumber(r.energyEquivalent),
                 optionalNumber(r.grossCalorificValue), text(r.warnings.join(QLatin1Char('\n'))),
                 optionalNumber(d.moisture), optionalNumber(d.hydrogenDry), optionalNumber(d.oxygenNitrogenDry),
                 optionalNumber(d.netCalorificValue), d.inputsGiven.isEmpty() ? QStringLiteral("{}") : d.inputsGiven,
                 c.aid, text(d.energyEquivalentSource), r.ta, r.tc, series, optionalNumber(d.checkCertified),
                 optionalNumber(d.checkTolerancePercent), active,
                 d.replaces ? QVariant(d.replaces) : QVariant(QMetaType::fromType<qlonglong>())})
            q.addBindValue(v);
        if (!q.exec() || !q.next()) {
            why = failed(QStringLiteral("Determinação recusada pelo banco de resultados"), q.lastError());
            return false;
        }
        id = q.value(0).toLongLong();
        q.prepare(QStringLiteral("INSERT INTO readings (determination_id, sub_reg, tempo, tint, text_temp)"
                                 " VALUES (?, ?, ?, ?, ?)"));
        for (const Determination::Reading& s : d.readings) {
            q.addBindValue(id);
            q.addBindValue(s.subReg);
            q.addBindValue(s.tempo);
            q.addBindValue(s.tint);
            q.addBindValue(s.text);
            if (!q.exec()) {
                why = failed(QStringLiteral("Leitura %1 recusada pelo banco de resultados").arg(s.subReg), q.lastError());
                return false;
            }
        }
        if (!audit(db, user_, QStringLiteral("registro"), determinationTarget(id), id, d.calorimeter, {}, &why))
            return false;
        return !d.replaces ||
               rejectIn(db, d.replaces, QStringLiteral("%1 (substituída pela determinação %2)").arg(d.replaceReason.trimmed()).arg(id), &why);
    });
    if (!ok) {
        if (error)
            *error = why;
        return std::nullopt;
    }
    return id;
}

std::optional<Determination> Store::determination(qint64 id, QString* error) const {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT %1 FROM determinations d JOIN calorimeters c ON c.id = d.calorimeter_id"
                             " WHERE d.id = ?")
                  .arg(QLatin1String(kColumns)));
    q.addBindValue(id);
    if (!q.exec() || !q.next()) {
        if (error)
            *error = q.lastError().isValid() ? failed(QStringLiteral("Erro no banco de resultados"), q.lastError())
                                             : QStringLiteral("Não há determinação número %1.").arg(id);
        return std::nullopt;
    }
    Determination d = fromRow(q);
    q.prepare(QStringLiteral("SELECT sub_reg, tempo, tint, text_temp FROM readings WHERE determination_id = ?"
                             " ORDER BY sub_reg"));
    q.addBindValue(id);
    if (!q.exec()) {
        if (error)
            *error = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    while (q.next())
        d.readings.push_back({q.value(0).toInt(), q.value(1).toDouble(), q.value(2).toDouble(), q.value(3).toDouble()});
    return d;
}

std::optional<QList<Determination>> Store::list(const Filter& f, QString* error) const {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    QStringList where;
    QVariantList values;
    if (!f.sample.isEmpty() && f.samplePart) {
        QString pattern = f.sample.toLower();
        pattern.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('%'), QStringLiteral("\\%"))
            .replace(QLatin1Char('_'), QStringLiteral("\\_"));
        where << QStringLiteral("LOWER(d.sample_code) LIKE ? ESCAPE '\\'");
        values << QStringLiteral("%%1%").arg(pattern);
    } else if (!f.sample.isEmpty()) {
        where << QStringLiteral("d.sample_code = ?");
        values << f.sample.trimmed();
    }
    if (f.kind) {
        where << QStringLiteral("d.kind = ?");
        values << (*f.kind == Determination::Kind::Calibration ? kCalibrationKind : kSampleKind);
    }
    if (!f.calorimeter.isEmpty()) {
        where << QStringLiteral("c.name = ?");
        values << f.calorimeter.trimmed();
    }
    // ISO dates compare as text.
    if (f.since.isValid()) {
        where << QStringLiteral("d.test_date >= ?");
        values << f.since.toString(Qt::ISODate);
    }
    if (f.until.isValid()) {
        where << QStringLiteral("d.test_date <= ?");
        values << f.until.toString(Qt::ISODate);
    }
    if (f.status != Filter::Status::Any)
        where << (f.status == Filter::Status::Valid ? QStringLiteral("d.rejected_reason IS NULL")
                                                    : QStringLiteral("d.rejected_reason IS NOT NULL"));
    q.prepare(QStringLiteral("SELECT %1 FROM determinations d JOIN calorimeters c ON c.id = d.calorimeter_id%2"
                             " ORDER BY d.id DESC")
                  .arg(QLatin1String(kColumns),
                       where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "))));
    for (const QVariant& v : values)
        q.addBindValue(v);
    q.setForwardOnly(true);
    if (!q.exec()) {
        if (error)
            *error = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    QList<Determination> out;
    while (q.next())
        out << fromRow(q);
    return out;
}

std::optional<QStringList> Store::calorimeters(QString* error) const {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (!q.exec(QStringLiteral("SELECT name FROM calorimeters ORDER BY name"))) {
        if (error)
            *error = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    QStringList out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}

bool Store::reject(qint64 id, const QString& reason, QString* error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QString why;
    const bool ok = inTransaction(db, &why, [&] { return rejectIn(db, id, reason, &why); });
    if (!ok && error)
        *error = why;
    return ok;
}

bool Store::rejectIn(QSqlDatabase& db, qint64 id, const QString& reason, QString* why) {
    if (reason.trimmed().isEmpty()) {
        *why = QStringLiteral("Informe o motivo da rejeição.");
        return false;
    }
    if (!mayReview(QStringLiteral("rejeitar uma determinação"), why) || !determination(id, why))
        return false;
    const auto before = trailedState(db, determinationTarget(id), QStringLiteral("A determinação %1").arg(id), why);
    if (!before)
        return false;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE determinations SET rejected_reason = ?, rejected_utc = ?"
                             " WHERE id = ? AND rejected_reason IS NULL"));
    q.addBindValue(reason.trimmed());
    q.addBindValue(utcText(QDateTime::currentDateTimeUtc()));
    q.addBindValue(id);
    if (!q.exec()) {
        *why = failed(QStringLiteral("Rejeição recusada pelo banco de resultados"), q.lastError());
        return false;
    }
    if (q.numRowsAffected() != 1) {
        *why = QStringLiteral("A determinação número %1 não existe ou já foi rejeitada.").arg(id);
        return false;
    }
    return audit(db, user_, QStringLiteral("rejeicao"), determinationTarget(id), id, {}, *before, why);
}

std::optional<qint64> Store::validByDigest(const QByteArray& digest, QString* error) const {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT MIN(id) FROM determinations WHERE readings_sha256 = ? AND rejected_reason IS NULL"));
    q.addBindValue(QString::fromLatin1(digest));
    if (!q.exec() || !q.next()) {
        if (error)
            *error = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    return q.value(0).isNull() ? 0 : q.value(0).toLongLong();
}

bool Store::trailNewColumns(QString* why) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QList<std::pair<qint64, QString>> rows; // each determination with the state the trail last gave it
    if (!q.exec(QStringLiteral("SELECT a.determination_id, a.after_state FROM audit_trail a WHERE a.id IN"
                               " (SELECT MAX(id) FROM audit_trail WHERE target LIKE 'determinacao:%' GROUP BY target)"
                               " ORDER BY a.determination_id"))) {
        *why = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return false;
    }
    while (q.next())
        rows << std::pair{q.value(0).toLongLong(), q.value(1).toString()};
    // The entry starts from the trail's state, not the row's: a row changed behind the program
    // still shows as changed.
    for (const auto& [id, before] : rows)
        if (!audit(db, user_, QStringLiteral("esquema"), determinationTarget(id), id, {}, before, why))
            return false;
    return true;
}

namespace {

QString ruleKey(CalibrationRule::Preset p) {
    using P = CalibrationRule::Preset;
    return p == P::AstmD240 ? QStringLiteral("astm") : p == P::Laboratorio ? QStringLiteral("lab") : QStringLiteral("din");
}

QString describedTarget(const QString& target, const QString& subject) {
    const QStringList k = target.split(QLatin1Char(':'));
    if (k[0] == QLatin1String("determinacao"))
        return QStringLiteral("a determinação %1").arg(k.value(1));
    if (k[0] == QLatin1String("serie"))
        return QStringLiteral("a série %1 do calorímetro \"%2\"").arg(k.value(2), subject);
    return QStringLiteral("o calorímetro \"%1\"").arg(subject);
}

} // namespace

bool Store::mayReview(const QString& what, QString* why) const {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (reviewerRole_.isEmpty() || !isPostgres(db))
        return true;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT pg_has_role(session_user, ?, 'MEMBER')"));
    q.addBindValue(reviewerRole_);
    if (!q.exec() || !q.next()) {
        *why = failed(QStringLiteral("O papel de revisor \"%1\" (config.xml, PapelRevisor) não pôde ser conferido")
                          .arg(reviewerRole_),
                      q.lastError());
        return false;
    }
    if (q.value(0).toBool())
        return true;
    *why = QStringLiteral("Só um membro do papel \"%1\" pode %2.").arg(reviewerRole_, what);
    return false;
}

std::optional<int> Store::startSeries(qint64 calorimeter, const QString& name, const QString& reason, QString* why) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT COALESCE(MAX(number), 0) + 1 FROM series WHERE calorimeter_id = ?"));
    q.addBindValue(calorimeter);
    if (!q.exec() || !q.next()) {
        *why = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    const int number = q.value(0).toInt();
    q.prepare(QStringLiteral("INSERT INTO series (calorimeter_id, number, started_utc, reason) VALUES (?, ?, ?, ?)"));
    for (const QVariant& v : QVariantList{calorimeter, number, utcText(QDateTime::currentDateTimeUtc()), reason.trimmed()})
        q.addBindValue(v);
    if (!q.exec()) {
        *why = failed(QStringLiteral("Série recusada pelo banco de resultados"), q.lastError());
        return std::nullopt;
    }
    if (!audit(db, user_, QStringLiteral("nova-serie"), seriesTarget(calorimeter, number), 0, name, {}, why))
        return std::nullopt;
    return number;
}

bool Store::adoptIntoTrail(QString* why) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QList<std::pair<QString, QString>> targets; // target, subject
    if (!q.exec(QStringLiteral("SELECT id, name FROM calorimeters ORDER BY id"))) {
        *why = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return false;
    }
    while (q.next()) {
        targets << std::pair{calorimeterTarget(q.value(0).toLongLong()), q.value(1).toString()};
        targets << std::pair{seriesTarget(q.value(0).toLongLong(), 1), q.value(1).toString()};
    }
    QList<qint64> ids;
    if (!q.exec(QStringLiteral("SELECT id FROM determinations ORDER BY id"))) {
        *why = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return false;
    }
    while (q.next())
        ids << q.value(0).toLongLong();
    for (const auto& [target, subject] : targets)
        if (!audit(db, user_, QStringLiteral("adocao"), target, 0, subject, {}, why))
            return false;
    for (const qint64 id : ids)
        if (!audit(db, user_, QStringLiteral("adocao"), determinationTarget(id), id, {}, {}, why))
            return false;
    return true;
}

std::optional<CalibrationRule> Store::calibrationRule(const QString& calorimeter, QString* error) const {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT rule, min_runs, max_rsd FROM calorimeters WHERE name = ?"));
    q.addBindValue(calorimeter.trimmed());
    if (!q.exec()) {
        if (error)
            *error = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    CalibrationRule rule;
    if (q.next()) {
        rule.preset = CalibrationRule::presetFromName(q.value(0).toString()).value_or(CalibrationRule::Preset::Din51900);
        rule.minRuns = q.value(1).toInt();
        rule.maxRsdPercent = q.value(2).toDouble();
    }
    return rule;
}

bool Store::setCalibrationRule(const QString& calorimeter, const CalibrationRule& rule, QString* error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QString why;
    const bool ok = mayReview(QStringLiteral("mudar a regra das séries"), &why) && inTransaction(db, &why, [&] {
        const auto id = calorimeterId(db, calorimeter, &why);
        if (!id)
            return false;
        if (*id == 0) {
            why = QStringLiteral("O calorímetro \"%1\" não consta do banco de resultados.").arg(calorimeter.trimmed());
            return false;
        }
        const auto before = trailedState(db, calorimeterTarget(*id),
                                         QStringLiteral("O calorímetro \"%1\"").arg(calorimeter.trimmed()), &why);
        if (!before)
            return false;
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE calorimeters SET rule = ?, min_runs = ?, max_rsd = ? WHERE id = ?"));
        for (const QVariant& v : QVariantList{ruleKey(rule.preset), rule.minRuns, rule.maxRsdPercent, *id})
            q.addBindValue(v);
        if (!q.exec()) {
            why = failed(QStringLiteral("Regra recusada pelo banco de resultados"), q.lastError());
            return false;
        }
        return audit(db, user_, QStringLiteral("regra"), calorimeterTarget(*id), 0, calorimeter.trimmed(), *before, &why);
    });
    if (!ok && error)
        *error = why;
    return ok;
}

std::optional<QList<Series>> Store::series(const QString& calorimeter, QString* error) const {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT s.number, s.started_utc, s.reason FROM series s JOIN calorimeters c"
                             " ON c.id = s.calorimeter_id WHERE c.name = ? ORDER BY s.number"));
    q.addBindValue(calorimeter.trimmed());
    if (!q.exec()) {
        if (error)
            *error = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    QList<Series> out;
    while (q.next())
        out << Series{q.value(0).toInt(), fromUtcText(q.value(1).toString()), q.value(2).toString()};
    return out;
}

std::optional<int> Store::newSeries(const QString& calorimeter, const QString& reason, QString* error) {
    QString why;
    std::optional<int> number;
    if (reason.trimmed().isEmpty())
        why = QStringLiteral("Informe o motivo da nova série (por exemplo, \"troca de peça\").");
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    const bool ok = why.isEmpty() && mayReview(QStringLiteral("iniciar uma série"), &why) && inTransaction(db, &why, [&] {
        const auto id = calorimeterId(db, calorimeter, &why);
        if (id && *id == 0)
            why = QStringLiteral("O calorímetro \"%1\" não consta do banco de resultados.").arg(calorimeter.trimmed());
        if (!id || *id == 0)
            return false;
        number = startSeries(*id, calorimeter.trimmed(), reason, &why);
        return number.has_value();
    });
    if (!ok) {
        if (error)
            *error = why;
        return std::nullopt;
    }
    return number;
}

std::optional<QList<AuditEntry>> Store::history(qint64 determination, QString* error) const {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT id, at_utc, user_name, action, determination_id, subject, before_state, after_state,"
                             " prev_sha256, sha256 FROM audit_trail%1 ORDER BY id")
                  .arg(determination ? QStringLiteral(" WHERE determination_id = ?") : QString()));
    if (determination)
        q.addBindValue(determination);
    q.setForwardOnly(true);
    if (!q.exec()) {
        if (error)
            *error = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    QList<AuditEntry> out;
    while (q.next())
        out << AuditEntry{q.value(0).toLongLong(), fromUtcText(q.value(1).toString()), q.value(2).toString(),
                          q.value(3).toString(), q.value(4).toLongLong(), q.value(5).toString(), q.value(6).toString(),
                          q.value(7).toString(), q.value(8).toString().toLatin1(), q.value(9).toString().toLatin1()};
    return out;
}

std::optional<TrailCheck> Store::verify(QString* error) const {
    // One snapshot for the whole walk: a record another PC commits meanwhile is either wholly
    // in it (its row, readings and entry) or not at all.
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery snapshot(db);
    if (!snapshot.exec(isPostgres(db) ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")
                                      : QStringLiteral("BEGIN"))) {
        if (error)
            *error = failed(QStringLiteral("Erro no banco de resultados"), snapshot.lastError());
        return std::nullopt;
    }
    auto check = walkTrail(error);
    snapshot.exec(QStringLiteral("ROLLBACK"));
    return check;
}

std::optional<TrailCheck> Store::walkTrail(QString* error) const {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    auto fail = [&]() -> std::optional<TrailCheck> {
        if (error)
            *error = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    };
    TrailCheck check;
    // The chain: each entry's own hash, and its link to the one before.
    struct Last {
        qint64 entry;
        QString subject;
        QByteArray stateHash;
    };
    std::map<QString, Last> last; // the last state the trail gives each audited row
    if (!q.exec(QStringLiteral("SELECT id, at_utc, user_name, action, target, determination_id, subject, before_state,"
                               " after_state, prev_sha256, sha256 FROM audit_trail ORDER BY id")))
        return fail();
    QString prev = QString::fromLatin1(kGenesis);
    qint64 previousEntry = 0;
    bool onlyAdoptions = true; // the migration's entries come first, or not at all
    while (q.next()) {
        const qint64 entry = q.value(0).toLongLong();
        ++check.entries;
        const QVariant determination = q.value(5).isNull() ? QVariant(QMetaType::fromType<qlonglong>()) : QVariant(q.value(5).toLongLong());
        const QString own = q.value(10).toString();
        if (check.intact && q.value(9).toString() != prev) {
            check.intact = false;
            check.brokenEntry = entry;
            check.problem = previousEntry
                                ? QStringLiteral("a entrada %1 não segue a entrada %2: há uma entrada removida, inserida ou "
                                                 "fora de ordem entre elas")
                                      .arg(entry)
                                      .arg(previousEntry)
                                : QStringLiteral("a entrada %1 não é o começo da trilha: há entradas removidas antes dela").arg(entry);
        }
        if (check.intact && QString::fromLatin1(chainHash(q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
                                                          q.value(4).toString(), determination, q.value(6).toString(),
                                                          q.value(7).toString(), q.value(8).toString(), q.value(9).toString())) != own) {
            check.intact = false;
            check.brokenEntry = entry;
            check.problem = QStringLiteral("a entrada %1 foi alterada depois de escrita").arg(entry);
        }
        // What each action may do: make a row that the trail has not seen, or change one from the
        // state the trail last gave it, and only in the fields that action changes.
        const QString action = q.value(3).toString(), target = q.value(4).toString();
        const QString before = q.value(7).toString(), after = q.value(8).toString();
        const auto known = last.find(target);
        QString wrong;
        // An entry about a determination names it, and only such an entry does.
        const bool aboutDetermination = target.startsWith(QLatin1String("determinacao:"));
        if (determination.isNull() == aboutDetermination ||
            (aboutDetermination && determination.toLongLong() != target.section(QLatin1Char(':'), 1).toLongLong()))
            wrong = QStringLiteral("a entrada %1 não fala da determinação do que ela muda").arg(entry);
        else if (action == QLatin1String("adocao") && !onlyAdoptions)
            wrong = QStringLiteral("a entrada %1 inclui na trilha, depois de começada, um registro como se fosse anterior a ela")
                        .arg(entry);
        else if (QStringList{QStringLiteral("registro"), QStringLiteral("calorimetro"), QStringLiteral("nova-serie"),
                        QStringLiteral("adocao")}
                .contains(action)) {
            if (known != last.end())
                wrong = QStringLiteral("a entrada %1 cria o que a trilha já tinha").arg(entry);
            else if (!before.isEmpty() || after.isEmpty())
                wrong = QStringLiteral("a entrada %1 não traz o estado que cria").arg(entry);
        } else if (action == QLatin1String("rejeicao") || action == QLatin1String("regra")) {
            const QStringList mayChange = action == QLatin1String("rejeicao")
                                              ? QStringList{QStringLiteral("rejected_reason"), QStringLiteral("rejected_utc")}
                                              : QStringList{QStringLiteral("rule"), QStringLiteral("min_runs"), QStringLiteral("max_rsd")};
            const QJsonObject b = QJsonDocument::fromJson(before.toUtf8()).object(),
                              a = QJsonDocument::fromJson(after.toUtf8()).object();
            bool others = b.keys() != a.keys();
            for (auto it = a.begin(); !others && it != a.end(); ++it)
                others = b.value(it.key()) != it.value() && !mayChange.contains(it.key());
            if (known == last.end() ||
                QCryptographicHash::hash(before.toUtf8(), QCryptographicHash::Sha256) != known->second.stateHash)
                wrong = QStringLiteral("a entrada %1 parte de um estado que a trilha não registrou").arg(entry);
            else if (others)
                wrong = QStringLiteral("a entrada %1 muda mais do que a sua ação permite").arg(entry);
            // A rejection rejects a valid record: it is never undone nor rewritten.
            else if (action == QLatin1String("rejeicao") &&
                     (!b.value(QStringLiteral("rejected_reason")).isNull() || a.value(QStringLiteral("rejected_reason")).isNull()))
                wrong = QStringLiteral("a entrada %1 desfaz ou reescreve uma rejeição").arg(entry);
        } else if (action == QLatin1String("esquema")) {
            // A schema step's new columns: every field as it was, and new ones empty.
            const QJsonObject b = QJsonDocument::fromJson(before.toUtf8()).object(),
                              a = QJsonDocument::fromJson(after.toUtf8()).object();
            bool others = false;
            for (auto it = b.begin(); !others && it != b.end(); ++it)
                others = a.value(it.key()) != it.value();
            for (auto it = a.begin(); !others && it != a.end(); ++it)
                others = !b.contains(it.key()) && !it.value().isNull();
            if (known == last.end() ||
                QCryptographicHash::hash(before.toUtf8(), QCryptographicHash::Sha256) != known->second.stateHash)
                wrong = QStringLiteral("a entrada %1 parte de um estado que a trilha não registrou").arg(entry);
            else if (others)
                wrong = QStringLiteral("a entrada %1 muda mais do que a sua ação permite").arg(entry);
        } else {
            wrong = QStringLiteral("a entrada %1 tem uma ação desconhecida (\"%2\")").arg(entry).arg(action);
        }
        if (check.intact && !wrong.isEmpty()) {
            check.intact = false;
            check.brokenEntry = entry;
            check.problem = wrong;
        }
        onlyAdoptions = onlyAdoptions && action == QLatin1String("adocao");
        if (!after.isEmpty())
            last[target] = Last{entry, q.value(6).toString(), QCryptographicHash::hash(after.toUtf8(), QCryptographicHash::Sha256)};
        prev = own;
        previousEntry = entry;
    }
    check.head = prev.toLatin1();
    if (!check.intact)
        return check;
    // Every audited row as the trail last left it.
    std::map<QString, bool> seen;
    auto compare = [&](const QString& target, const QSqlRecord& row, const QString& subject) {
        seen[target] = true;
        if (!check.intact)
            return;
        const auto l = last.find(target);
        if (l == last.end()) {
            check.intact = false;
            check.problem = QStringLiteral("%1 não consta da trilha de auditoria").arg(describedTarget(target, subject));
        } else if (QCryptographicHash::hash(stateOf(row).toUtf8(), QCryptographicHash::Sha256) != l->second.stateHash) {
            check.intact = false;
            check.problem = QStringLiteral("%1 difere do que a entrada %2 da trilha registrou")
                                .arg(describedTarget(target, subject))
                                .arg(l->second.entry);
        }
        if (!check.intact && target.startsWith(QLatin1String("determinacao:")))
            check.brokenDetermination = target.section(QLatin1Char(':'), 1).toLongLong();
    };
    if (!q.exec(QLatin1String(kCalorimeterState) + QStringLiteral(" ORDER BY id")))
        return fail();
    while (q.next())
        compare(calorimeterTarget(q.value(0).toLongLong()), q.record(), q.value(1).toString());
    if (!q.exec(QLatin1String(kSeriesState) + QStringLiteral(" ORDER BY s.calorimeter_id, s.number")))
        return fail();
    while (q.next())
        compare(seriesTarget(q.value(0).toLongLong(), q.value(2).toInt()), q.record(), q.value(1).toString());
    if (!q.exec(QStringLiteral("SELECT * FROM determinations ORDER BY id")))
        return fail();
    std::map<qint64, QByteArray> digests;
    while (q.next()) {
        ++check.determinations;
        const qint64 id = q.value(QStringLiteral("id")).toLongLong();
        digests[id] = q.value(QStringLiteral("readings_sha256")).toString().toLatin1();
        compare(determinationTarget(id), q.record(), {});
    }
    for (const auto& [target, l] : last)
        if (check.intact && !seen.count(target)) {
            check.intact = false;
            check.problem = QStringLiteral("%1, da entrada %2 da trilha, não está mais no banco")
                                .arg(describedTarget(target, l.subject))
                                .arg(l.entry);
            if (target.startsWith(QLatin1String("determinacao:")))
                check.brokenDetermination = target.section(QLatin1Char(':'), 1).toLongLong();
        }
    if (!check.intact)
        return check;
    // Each determination's readings against the digest kept with it.
    if (!q.exec(QStringLiteral("SELECT determination_id, sub_reg, tempo, tint, text_temp FROM readings"
                               " ORDER BY determination_id, sub_reg")))
        return fail();
    qint64 current = -1;
    std::vector<Determination::Reading> rows;
    std::map<qint64, bool> read;
    auto settle = [&] {
        if (current >= 0)
            read[current] = true;
        if (current >= 0 && check.intact && digests[current] != readingsDigest(rows)) {
            check.intact = false;
            check.brokenDetermination = current;
            check.problem = QStringLiteral("as leituras da determinação %1 não são as que foram registradas").arg(current);
        }
        rows.clear();
    };
    while (q.next()) {
        const qint64 id = q.value(0).toLongLong();
        if (id != current) {
            settle();
            current = id;
        }
        rows.push_back({q.value(1).toInt(), q.value(2).toDouble(), q.value(3).toDouble(), q.value(4).toDouble()});
    }
    settle();
    // A determination whose readings were all removed.
    for (const auto& [id, digest] : digests)
        if (!read.count(id)) {
            current = id;
            settle();
        }
    return check;
}

} // namespace rec
