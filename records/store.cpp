#include "records/store.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>
#include <QVariant>
#include <atomic>

namespace rec {

namespace {

const QString kSampleKind = QStringLiteral("amostra");
const QString kCalibrationKind = QStringLiteral("calibracao");

bool isPostgres(const QSqlDatabase& db) { return db.driverName() == QLatin1String("QPSQL"); }

// The schema, step by step: step k brings a database of version k − 1 to version k. Written
// once for both engines; %ID% and %REAL% are their spellings of a row number and a double.
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
    };
    return steps[version - 1];
}

QString spelled(const QSqlDatabase& db, QString sql) {
    const bool pg = isPostgres(db);
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
template <typename Body>
bool inTransaction(QSqlDatabase& db, QString* error, Body body) {
    const bool pg = isPostgres(db);
    QSqlQuery begin(db);
    if (pg ? !db.transaction() : !begin.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        if (error)
            *error = failed(QStringLiteral("Não foi possível iniciar a gravação no banco de resultados"),
                            pg ? db.lastError() : begin.lastError());
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

QString utcText(const QDateTime& t) { return t.toUTC().toString(Qt::ISODateWithMs); }
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
    " d.aid, d.energy_equivalent_source, d.ta, d.tc";

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
    return d;
}

std::atomic<int> connections{0};

// Changes of the schema one at a time among the lab's PCs, until the end of the transaction
// (SQLite's BEGIN IMMEDIATE does as much for a file).
const QString kSchemaLock = QStringLiteral("SELECT pg_advisory_xact_lock(7163042)");

} // namespace

std::optional<Location> Location::parse(const QString& text, QString* error) {
    Location l;
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        l.path = QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("resultados.sqlite"));
        return l;
    }
    if (!t.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) &&
        !t.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive)) {
        l.path = t;
        return l;
    }
    static const QRegularExpression form(QStringLiteral("^postgres(?:ql)?://(?:([^@:/]+)@)?([^:/@]+)(?::(\\d{1,5}))?/([^/?#]+)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = form.match(t);
    const int port = m.captured(3).isEmpty() ? 5432 : m.captured(3).toInt();
    if (!m.hasMatch() || port < 1 || port > 65535) {
        if (error)
            *error = QStringLiteral("Endereço do banco de resultados inválido: \"%1\" (use um caminho de arquivo ou "
                                    "postgresql://usuário@servidor:porta/banco; a senha não vai no endereço)")
                         .arg(t);
        return std::nullopt;
    }
    l.kind = Kind::PostgreSQL;
    l.user = m.captured(1);
    l.host = m.captured(2);
    l.port = port;
    l.database = m.captured(4);
    return l;
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
    const QString shown = pg ? QStringLiteral("%1/%2").arg(where.host, where.database) : QDir::toNativeSeparators(where.path);
    if (!db.open())
        return fail(failed(QStringLiteral("Não foi possível abrir o banco de resultados %1").arg(shown), db.lastError()));
    QString why;
    if (!pg && !run(db, QStringLiteral("PRAGMA foreign_keys = ON"), &why))
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
            for (const QString& sql : migration(v))
                if (!run(db, spelled(db, sql), &why))
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
        q.prepare(QStringLiteral("SELECT id FROM calorimeters WHERE name = ?"));
        q.addBindValue(text(d.calorimeter));
        if (!q.exec() || !q.next()) {
            why = failed(QStringLiteral("Calorímetro \"%1\" recusado").arg(d.calorimeter), q.lastError());
            return false;
        }
        const qint64 calorimeter = q.value(0).toLongLong();
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
            " energy_equivalent_source, ta, tc)"
            " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
            " ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"));
        for (const QVariant& v : QList<QVariant>{
                 d.kind == Determination::Kind::Calibration ? kCalibrationKind : kSampleKind, text(d.sampleCode.trimmed()),
                 text(d.description), text(d.operatorName.trimmed()), calorimeter,
                 d.testDate.isValid() ? d.testDate.toString(Qt::ISODate) : QString(),
                 utcText(QDateTime::currentDateTimeUtc()), text(d.dataFile), d.testNumber, d.testOccurrence,
                 QString::fromLatin1(readingsDigest(d.readings)), eval::methodKey(r.method), r.automatic ? 1 : 0,
                 r.periods.a, r.periods.b, r.periods.c, r.periods.d, r.thetaA, r.thetaC, r.driftFore, r.driftAfter,
                 r.meanFore, r.meanAfter, r.riseObserved, r.riseCorrected, optionalNumber(r.b), r.countFore, r.countMain,
                 r.countAfter, modeKey(c.mode), c.mass,
                 c.energyEquivalent, c.heatOfCombustion, c.fuse, c.acid, c.sulfur, optionalNumber(r.energyEquivalent),
                 optionalNumber(r.grossCalorificValue), text(r.warnings.join(QLatin1Char('\n'))),
                 optionalNumber(d.moisture), optionalNumber(d.hydrogenDry), optionalNumber(d.oxygenNitrogenDry),
                 optionalNumber(d.netCalorificValue), d.inputsGiven.isEmpty() ? QStringLiteral("{}") : d.inputsGiven,
                 c.aid, text(d.energyEquivalentSource), r.ta, r.tc})
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
        return true;
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
    if (reason.trimmed().isEmpty()) {
        if (error)
            *error = QStringLiteral("Informe o motivo da rejeição.");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QString why;
    const bool ok = inTransaction(db, &why, [&] {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE determinations SET rejected_reason = ?, rejected_utc = ?"
                                 " WHERE id = ? AND rejected_reason IS NULL"));
        q.addBindValue(reason.trimmed());
        q.addBindValue(utcText(QDateTime::currentDateTimeUtc()));
        q.addBindValue(id);
        if (!q.exec())
            return false;
        if (q.numRowsAffected() != 1) {
            why = QStringLiteral("A determinação número %1 não existe ou já foi rejeitada.").arg(id);
            return false;
        }
        return true;
    });
    if (!ok && error)
        *error = why;
    return ok;
}

} // namespace rec
