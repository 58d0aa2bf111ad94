// The audit trail: every change entered with the state it left, in one chain of hashes, and
// the walk that checks the chain, each entry against its action, and each row against the trail.
#include "records/storeinternal.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlRecord>
#include <map>

namespace rec {

namespace detail {

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

// The SHA-256 of a state, and of the same state with every text as the database keeps texts
// now: earlier versions could keep a text cleaned and enter it in the trail as typed (a
// byte-order mark, a space at an end), which is no change of the record.
QByteArray stateHash(const QString& state) { return QCryptographicHash::hash(state.toUtf8(), QCryptographicHash::Sha256); }
QByteArray normalisedStateHash(const QString& state) {
    QJsonObject o = QJsonDocument::fromJson(state.toUtf8()).object();
    for (auto it = o.begin(); it != o.end(); ++it)
        if (it.value().isString())
            it.value() = cleanText(it.value().toString());
    return stateHash(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
}

// What is audited, each by the key its entries carry.
QString determinationTarget(qint64 id) { return QStringLiteral("determinacao:%1").arg(id); }
QString seriesTarget(qint64 calorimeter, int number) { return QStringLiteral("serie:%1:%2").arg(calorimeter).arg(number); }
QString calorimeterTarget(qint64 calorimeter) { return QStringLiteral("calorimetro:%1").arg(calorimeter); }
QString sampleTarget(qint64 sample) { return QStringLiteral("amostra:%1").arg(sample); }
QString signatureTarget(qint64 signature) { return QStringLiteral("assinatura:%1").arg(signature); }
QString signerTarget(const QString& name) { return QStringLiteral("assinante:") + name; }
const char* const kSignerState = "SELECT * FROM signing_users";
const char* const kSignatureState = "SELECT * FROM signatures";
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
    } else if (k[0] == QLatin1String("assinante")) {
        q.prepare(QLatin1String(kSignerState) + QStringLiteral(" WHERE name = ?"));
        q.addBindValue(target.section(QLatin1Char(':'), 1));
    } else if (k[0] == QLatin1String("assinatura")) {
        q.prepare(QLatin1String(kSignatureState) + QStringLiteral(" WHERE id = ?"));
        q.addBindValue(k.value(1).toLongLong());
    } else if (k[0] == QLatin1String("amostra")) {
        q.prepare(QLatin1String(kSampleState) + QStringLiteral(" WHERE id = ?"));
        q.addBindValue(k.value(1).toLongLong());
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
    if (!q.next() || (q.value(0).toString() != *state &&
                      normalisedStateHash(q.value(0).toString()) != normalisedStateHash(*state))) {
        *why = QStringLiteral("%1 não está como a trilha de auditoria a registrou: foi %2 fora do programa. "
                              "Nada foi gravado; confira com registrador-cli results verify.")
                   .arg(described, target.startsWith(QLatin1String("determinacao:")) ? QStringLiteral("alterada")
                                                                                       : QStringLiteral("alterado"));
        return std::nullopt;
    }
    return state;
}

} // namespace detail

using namespace detail;

namespace {

// What each action of the trail may do: make a row that the trail has not seen, or change one
// from the state the trail last gave it, in the fields it names only.
struct AuditAction {
    QString key;
    bool creates = false;
    QStringList mayChange;    ///< the fields a change may change
    QString setOnce;          ///< a field the change sets and no change may unset or set again
    bool addsEmptyFields = false; ///< a schema step's new columns, empty
    /// The states ("state") the change may start from ("" when it creates) and the one it leaves;
    /// empty: any.
    QStringList fromStates = {};
    QString toState = {};
};

const AuditAction* auditAction(const QString& key) {
    static const QList<AuditAction> all = {
        {QStringLiteral("registro"), true, {}, {}, false},
        {QStringLiteral("calorimetro"), true, {}, {}, false},
        {QStringLiteral("nova-serie"), true, {}, {}, false},
        // The records of a database of before the trail, entered first.
        {QStringLiteral("adocao"), true, {}, {}, false},
        {QStringLiteral("rejeicao"), false, {QStringLiteral("rejected_reason"), QStringLiteral("rejected_utc")},
         QStringLiteral("rejected_reason"), false},
        {QStringLiteral("regra"), false, {QStringLiteral("rule"), QStringLiteral("min_runs"), QStringLiteral("max_rsd")}, {}, false},
        {QStringLiteral("esquema"), false, {}, {}, true},
        // The day's samples: added, weighed (again, until recorded), discarded, recorded.
        {QStringLiteral("amostra"), true, {}, {}, false, {QString()}, QStringLiteral("a-pesar")},
        {QStringLiteral("pesagem"), false,
         {QStringLiteral("mass"), QStringLiteral("mass_typed"), QStringLiteral("mass_source"), QStringLiteral("balance_line"),
          QStringLiteral("weighed_utc"), QStringLiteral("state")},
         {}, false, {QStringLiteral("a-pesar"), QStringLiteral("pesada")}, QStringLiteral("pesada")},
        {QStringLiteral("descarte"), false, {QStringLiteral("state"), QStringLiteral("discarded_reason")},
         QStringLiteral("discarded_reason"), false, {QStringLiteral("a-pesar"), QStringLiteral("pesada")},
         QStringLiteral("descartada")},
        {QStringLiteral("amostra-registrada"), false, {QStringLiteral("state"), QStringLiteral("determination_id")}, {}, false,
         {QStringLiteral("pesada"), QStringLiteral("registrada")}, QStringLiteral("registrada")},
        // A signature is written once and never changed.
        {QStringLiteral("assinatura"), true, {}, {}, false},
        // A SQLite file's signers: added, and their keys changed with a new password.
        {QStringLiteral("assinante"), true, {}, {}, false},
        {QStringLiteral("senha"), false, {QStringLiteral("salt"), QStringLiteral("iterations"), QStringLiteral("key")}, {}, false},
    };
    for (const AuditAction& a : all)
        if (a.key == key)
            return &a;
    return nullptr;
}

QString describedTarget(const QString& target, const QString& subject) {
    const QStringList k = target.split(QLatin1Char(':'));
    if (k[0] == QLatin1String("determinacao"))
        return QStringLiteral("a determinação %1").arg(k.value(1));
    if (k[0] == QLatin1String("serie"))
        return QStringLiteral("a série %1 do calorímetro \"%2\"").arg(k.value(2), subject);
    if (k[0] == QLatin1String("amostra"))
        return QStringLiteral("a amostra %1 da lista (\"%2\")").arg(k.value(1), subject);
    if (k[0] == QLatin1String("assinatura"))
        return QStringLiteral("a assinatura %1").arg(k.value(1));
    if (k[0] == QLatin1String("assinante"))
        return QStringLiteral("o assinante \"%1\"").arg(target.section(QLatin1Char(':'), 1));
    return QStringLiteral("o calorímetro \"%1\"").arg(subject);
}

} // namespace

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
        QByteArray stateHash, normalisedHash;
    };
    // The same state, or one that differs only in how its texts are written (noted).
    auto sameState = [&](const QString& target, const QString& state, const Last& l) {
        if (stateHash(state) == l.stateHash)
            return true;
        if (normalisedStateHash(state) != l.normalisedHash)
            return false;
        const QString described = describedTarget(target, l.subject);
        if (!check.normalisedOnly.contains(described))
            check.normalisedOnly << described;
        return true;
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
        // A signature's entry names the determination it signs.
        const bool aboutDetermination = target.startsWith(QLatin1String("determinacao:"));
        const bool aboutSignature = target.startsWith(QLatin1String("assinatura:"));
        const qint64 named = aboutSignature ? QJsonDocument::fromJson(after.toUtf8()).object().value(QLatin1String("determination_id"))
                                                  .toVariant().toLongLong()
                                            : target.section(QLatin1Char(':'), 1).toLongLong();
        if (determination.isNull() == (aboutDetermination || aboutSignature) ||
            ((aboutDetermination || aboutSignature) && determination.toLongLong() != named))
            wrong = QStringLiteral("a entrada %1 não fala da determinação do que ela muda").arg(entry);
        else if (action == QLatin1String("adocao") && !onlyAdoptions)
            wrong = QStringLiteral("a entrada %1 inclui na trilha, depois de começada, um registro como se fosse anterior a ela")
                        .arg(entry);
        else if (const AuditAction* act = auditAction(action); !act)
            wrong = QStringLiteral("a entrada %1 tem uma ação desconhecida (\"%2\")").arg(entry).arg(action);
        else if (act->creates) {
            if (known != last.end())
                wrong = QStringLiteral("a entrada %1 cria o que a trilha já tinha").arg(entry);
            else if (!before.isEmpty() || after.isEmpty())
                wrong = QStringLiteral("a entrada %1 não traz o estado que cria").arg(entry);
        } else if (known == last.end() || !sameState(target, before, known->second)) {
            wrong = QStringLiteral("a entrada %1 parte de um estado que a trilha não registrou").arg(entry);
        } else {
            const QJsonObject b = QJsonDocument::fromJson(before.toUtf8()).object(),
                              a = QJsonDocument::fromJson(after.toUtf8()).object();
            // Every field as it was but those the action changes, and no field added but the
            // empty ones a schema step adds.
            bool others = false;
            for (auto it = b.begin(); !others && it != b.end(); ++it)
                others = !a.contains(it.key()) || (a.value(it.key()) != it.value() && !act->mayChange.contains(it.key()));
            for (auto it = a.begin(); !others && it != a.end(); ++it)
                others = !b.contains(it.key()) && !(act->addsEmptyFields && it.value().isNull());
            if (others)
                wrong = QStringLiteral("a entrada %1 muda mais do que a sua ação permite").arg(entry);
            // A field set once is never unset nor rewritten (a rejection is never undone).
            else if (!act->setOnce.isEmpty() && (!b.value(act->setOnce).isNull() || a.value(act->setOnce).isNull()))
                wrong = QStringLiteral("a entrada %1 desfaz ou reescreve uma rejeição ou um descarte").arg(entry);
        }
        // A sample moves only along its states: weighed while pending, recorded once weighed.
        if (wrong.isEmpty())
            if (const AuditAction* act = auditAction(action); act && !act->toState.isEmpty()) {
                const QString from = QJsonDocument::fromJson(before.toUtf8()).object().value(QLatin1String("state")).toString();
                const QJsonObject a = QJsonDocument::fromJson(after.toUtf8()).object();
                if (!act->fromStates.contains(from) || a.value(QLatin1String("state")).toString() != act->toState ||
                    (act->toState == QLatin1String("registrada") && a.value(QLatin1String("determination_id")).isNull()) ||
                    (act->toState == QLatin1String("a-pesar") && !a.value(QLatin1String("mass")).isNull()))
                    wrong = QStringLiteral("a entrada %1 leva a amostra de um estado a outro que a sua ação não permite").arg(entry);
            }
        if (check.intact && !wrong.isEmpty()) {
            check.intact = false;
            check.brokenEntry = entry;
            check.problem = wrong;
        }
        onlyAdoptions = onlyAdoptions && action == QLatin1String("adocao");
        if (!after.isEmpty())
            last[target] = Last{entry, q.value(6).toString(), stateHash(after), normalisedStateHash(after)};
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
        } else if (!sameState(target, stateOf(row), l->second)) {
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
    if (!q.exec(QLatin1String(kSignatureState) + QStringLiteral(" ORDER BY id")))
        return fail();
    while (q.next())
        compare(signatureTarget(q.value(QStringLiteral("id")).toLongLong()), q.record(), {});
    if (!q.exec(QLatin1String(kSignerState) + QStringLiteral(" ORDER BY name")))
        return fail();
    while (q.next())
        compare(signerTarget(q.value(QStringLiteral("name")).toString()), q.record(), {});
    if (!q.exec(QLatin1String(kSampleState) + QStringLiteral(" ORDER BY id")))
        return fail();
    while (q.next())
        compare(sampleTarget(q.value(QStringLiteral("id")).toLongLong()), q.record(), q.value(QStringLiteral("code")).toString());
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
    // Each determination's signatures in an order the program signs in: one review and one
    // approval at most, by two people when both are there; an approved record rejected only
    // with a reviewer's signed rejection.
    if (!q.exec(QStringLiteral("SELECT d.id, d.rejected_reason IS NOT NULL, s.meaning, s.user_name FROM signatures s"
                               " JOIN determinations d ON d.id = s.determination_id ORDER BY d.id, s.id")))
        return fail();
    {
        qint64 current = 0;
        bool rejected = false;
        QStringList meanings, users;
        auto settle = [&] {
            if (!current || !check.intact)
                return;
            const int reviews = int(meanings.count(QStringLiteral("revisado"))),
                      approvals = int(meanings.count(QStringLiteral("aprovado"))),
                      rejections = int(meanings.count(QStringLiteral("rejeitado")));
            const qsizetype review = meanings.indexOf(QStringLiteral("revisado")),
                            approval = meanings.indexOf(QStringLiteral("aprovado"));
            QString wrong;
            if (reviews > 1 || approvals > 1 || rejections > 1)
                wrong = QStringLiteral("tem mais de uma assinatura de mesmo significado");
            else if (review >= 0 && approval >= 0 && (approval < review || users[review] == users[approval]))
                wrong = QStringLiteral("foi aprovada antes da revisão ou pela mesma pessoa que a revisou");
            else if (approvals && rejected && !rejections)
                wrong = QStringLiteral("foi aprovada e depois rejeitada sem a assinatura de um revisor");
            if (!wrong.isEmpty()) {
                check.intact = false;
                check.brokenDetermination = current;
                check.problem = QStringLiteral("a determinação %1 %2").arg(current).arg(wrong);
            }
        };
        while (q.next()) {
            if (q.value(0).toLongLong() != current) {
                settle();
                current = q.value(0).toLongLong();
                rejected = q.value(1).toBool();
                meanings.clear();
                users.clear();
            }
            meanings << q.value(2).toString();
            users << q.value(3).toString();
        }
        settle();
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
