#pragma once
// What the files of the results store share, and nothing outside them sees: the engines'
// differences, transactions, the audit trail's writing and the determinations' columns.
#include "records/store.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <optional>

namespace rec::detail {

inline const QString kSampleKind = QStringLiteral("amostra");
inline const QString kCalibrationKind = QStringLiteral("calibracao");
/// The reason of a calorimeter's first series.
inline const QString kFirstSeries = QStringLiteral("primeira série");

inline bool isPostgres(const QSqlDatabase& db) { return db.driverName() == QLatin1String("QPSQL"); }

QString utcText(const QDateTime& t);
QDateTime fromUtcText(const QString& s);
/// A text as the schema wants it: never null, empty when there is none.
QString text(const QString& s);
QVariant optionalNumber(const std::optional<double>& v);
std::optional<double> numberOrNothing(const QVariant& v);

/// How long one statement may take on the lab's server (s): a server that stops answering in
/// the middle of a session is given up, not waited for.
inline constexpr int kStatementTimeout = 60;
/// The prefix of a failed write.
inline const QString kWriteFailed = QStringLiteral("Não foi possível gravar no banco de resultados");
/// The cause of a failure in Portuguese, when it is one the user can act on (a disk full, a
/// read-only file, a server gone).
std::optional<QString> knownCause(const QSqlError& e);
/// "what: cause." with the database's words under "Detalhes:", or "what: the database's words".
QString failed(const QString& what, const QSqlError& e);
/// The same for a step of a write: a cause such as a full disk is said as the write's failure.
QString writeFailed(const QString& what, const QSqlError& e);
/// Runs one statement; false with the reason.
bool run(QSqlDatabase& db, const QString& sql, QString* error);

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
        *error = failed(kWriteFailed, pg ? db.lastError() : end.lastError());
    if (pg)
        db.rollback();
    else
        end.exec(QStringLiteral("ROLLBACK"));
    return false;
}

// ---- the determinations' columns (columns.cpp) ------------------------------------------------

/// What a record writes beside the determination itself.
struct Written {
    qint64 calorimeter = 0;
    QString recordedUtc, digest;
    int series = 0, active = 0;
};
/// The SELECT list that `fromRow` reads (determinations d joined with calorimeters c).
const QString& selectList();
/// The INSERT of one determination, and the values it binds, in the same order.
const QString& insertStatement();
QVariantList insertValues(const Determination& d, const Written& w);
/// A determination from a row of `selectList()`, without its readings.
Determination fromRow(const QSqlQuery& q);

// ---- the audit trail (audit.cpp) ----------------------------------------------------------------

/// What is audited, each by the key its entries carry.
QString determinationTarget(qint64 id);
QString seriesTarget(qint64 calorimeter, int number);
QString calorimeterTarget(qint64 calorimeter);
QString sampleTarget(qint64 sample);
QString signatureTarget(qint64 signature);
QString signerTarget(const QString& name);
/// PBKDF2-HMAC-SHA-256 of one 32-byte block, as the signers' keys are made.
QByteArray pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int iterations);
/// The sample entry's state as the trail keeps it.
inline const char* const kSampleState = "SELECT * FROM samples";
/// Marks the queued sample `d.sampleEntry` recorded by determination `id`, in the caller's
/// transaction, after checking it is the one the record weighed.
bool takeSample(QSqlDatabase& db, const QString& user, const Determination& d, qint64 id, QString* why);
/// Audits a change of `target` made just before, in the same transaction.
bool audit(QSqlDatabase& db, const QString& user, const QString& action, const QString& target, qint64 determination,
           const QString& subject, const QString& before, QString* why);
/// The state a change starts from, when it is the one the trail last gave the row: a change
/// made behind the program is never taken over by the next change made through it.
std::optional<QString> trailedState(QSqlDatabase& db, const QString& target, const QString& described, QString* why);

} // namespace rec::detail
