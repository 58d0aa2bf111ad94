// The day's samples: added, weighed, discarded, and taken by a record, each change in the trail.
#include "records/storeinternal.h"

#include <QSqlRecord>
#include <cmath>

namespace rec {

using namespace detail;

namespace {

using K = QueuedSample::Kind;
using S = QueuedSample::State;

QString stateKey(S s) {
    switch (s) {
    case S::ToWeigh: return QStringLiteral("a-pesar");
    case S::Weighed: return QStringLiteral("pesada");
    case S::Recorded: return QStringLiteral("registrada");
    case S::Discarded: return QStringLiteral("descartada");
    }
    return {};
}

S stateFromKey(const QString& k) {
    return k == QLatin1String("pesada")       ? S::Weighed
           : k == QLatin1String("registrada") ? S::Recorded
           : k == QLatin1String("descartada") ? S::Discarded
                                              : S::ToWeigh;
}

QueuedSample sampleFromRow(const QSqlQuery& q) {
    const QSqlRecord r = q.record();
    auto v = [&](const char* name) { return q.value(r.indexOf(QLatin1String(name))); };
    QueuedSample s;
    s.id = v("id").toLongLong();
    s.day = QDate::fromString(v("day").toString(), Qt::ISODate);
    s.code = v("code").toString();
    s.description = v("description").toString();
    s.kind = kindFromKey(v("kind").toString()).value_or(K::Sample);
    s.certified = numberOrNothing(v("certified"));
    s.calorimeter = v("calorimeter").toString();
    s.aidMass = numberOrNothing(v("aid_mass"));
    s.mass = numberOrNothing(v("mass"));
    s.massTyped = v("mass_typed").toInt() != 0;
    s.massSource = v("mass_source").toString();
    s.balanceLine = v("balance_line").toString();
    s.weighedUtc = v("weighed_utc").isNull() ? QDateTime() : fromUtcText(v("weighed_utc").toString());
    s.state = stateFromKey(v("state").toString());
    s.determination = v("determination_id").toLongLong();
    s.discardedReason = v("discarded_reason").toString();
    s.addedUtc = fromUtcText(v("added_utc").toString());
    s.addedBy = v("added_by").toString();
    return s;
}

// The entry as the trail last gave it, or why it cannot be changed.
std::optional<QueuedSample> current(QSqlDatabase& db, qint64 id, QString* why) {
    QSqlQuery q(db);
    q.prepare(QLatin1String(kSampleState) + QStringLiteral(" WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec()) {
        *why = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    if (!q.next()) {
        *why = QStringLiteral("A amostra %1 não está na lista.").arg(id);
        return std::nullopt;
    }
    return sampleFromRow(q);
}

QString stateRefusal(const QueuedSample& s) {
    return s.state == S::Recorded ? QStringLiteral("A amostra \"%1\" já foi registrada (determinação %2).").arg(s.code).arg(s.determination)
                                  : QStringLiteral("A amostra \"%1\" foi descartada: %2").arg(s.code, s.discardedReason);
}

} // namespace

QString kindText(K k) {
    return k == K::Calibration ? QStringLiteral("calibração") : k == K::Check ? QStringLiteral("padrão") : QStringLiteral("amostra");
}
QString kindKey(K k) {
    return k == K::Calibration ? kCalibrationKind : k == K::Check ? QStringLiteral("padrao") : kSampleKind;
}
std::optional<K> kindFromKey(const QString& key) {
    const QString k = key.trimmed().toLower();
    if (k == kSampleKind || k == QLatin1String("sample"))
        return K::Sample;
    if (k == kCalibrationKind || k == QLatin1String("calibration"))
        return K::Calibration;
    if (k == QLatin1String("padrao") || k == QLatin1String("check"))
        return K::Check;
    return std::nullopt;
}
QString stateText(S s) {
    return s == S::ToWeigh ? QStringLiteral("a pesar") : stateKey(s);
}

std::optional<qint64> Store::addSample(const QueuedSample& given, QString* error) {
    QueuedSample s = given;
    for (QString* f : {&s.code, &s.description, &s.calorimeter})
        *f = cleanText(*f);
    auto refuse = [&](const QString& why) -> std::optional<qint64> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (const auto bad = controlCharacterIn({{QStringLiteral("O código da amostra"), s.code},
                                             {QStringLiteral("A descrição"), s.description},
                                             {QStringLiteral("O calorímetro"), s.calorimeter}}))
        return refuse(*bad);
    if (s.code.isEmpty())
        return refuse(QStringLiteral("Informe o código da amostra."));
    if (s.calorimeter.isEmpty())
        return refuse(QStringLiteral("Informe o calorímetro da amostra."));
    if (s.kind != K::Sample && !(s.certified && *s.certified > 0))
        return refuse(s.kind == K::Calibration ? QStringLiteral("Uma calibração precisa do calor de combustão certificado (J/g).")
                                               : QStringLiteral("Um padrão de verificação precisa do valor do certificado (J/g)."));
    if (s.aidMass && !(*s.aidMass > 0))
        return refuse(QStringLiteral("A massa do auxiliar de combustão deve ser maior que zero."));
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QString why;
    qint64 id = 0;
    const bool ok = inTransaction(db, &why, [&] {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO samples (day, code, description, kind, certified, calorimeter, aid_mass,"
                                 " state, added_utc, added_by) VALUES (?, ?, ?, ?, ?, ?, ?, 'a-pesar', ?, ?) RETURNING id"));
        for (const QVariant& v :
             QVariantList{(s.day.isValid() ? s.day : QDate::currentDate()).toString(Qt::ISODate), s.code, text(s.description),
                          kindKey(s.kind), s.kind == K::Sample ? QVariant(QMetaType::fromType<double>()) : optionalNumber(s.certified),
                          s.calorimeter, optionalNumber(s.aidMass), utcText(QDateTime::currentDateTimeUtc()), user_})
            q.addBindValue(v);
        if (!q.exec() || !q.next()) {
            why = writeFailed(QStringLiteral("Amostra recusada pelo banco de resultados"), q.lastError());
            return false;
        }
        id = q.value(0).toLongLong();
        return audit(db, user_, QStringLiteral("amostra"), sampleTarget(id), 0, s.code, {}, &why);
    });
    if (!ok)
        return refuse(why);
    return id;
}

namespace {

// Changes a sample still to weigh or weighed, in one transaction, with its entry in the trail.
bool changePending(QSqlDatabase& db, const QString& user, qint64 id, const QString& action, const QString& sql,
                   const QVariantList& values, const QString& refused, QString* error) {
    QString why;
    const bool ok = inTransaction(db, &why, [&] {
        const auto s = current(db, id, &why);
        if (!s)
            return false;
        if (!s->pending()) {
            why = stateRefusal(*s);
            return false;
        }
        const auto before = trailedState(db, sampleTarget(id), QStringLiteral("A amostra %1").arg(id), &why);
        if (!before)
            return false;
        QSqlQuery q(db);
        q.prepare(sql);
        for (const QVariant& v : values)
            q.addBindValue(v);
        q.addBindValue(id);
        if (!q.exec()) {
            why = writeFailed(refused, q.lastError());
            return false;
        }
        return audit(db, user, action, sampleTarget(id), 0, s->code, *before, &why);
    });
    if (!ok && error)
        *error = why;
    return ok;
}

} // namespace

bool Store::weighSample(qint64 id, double grams, bool typed, const QString& source, const QString& line, QString* error) {
    if (!(grams > 0) || !std::isfinite(grams)) {
        if (error)
            *error = QStringLiteral("A massa da amostra deve ser maior que zero.");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    return changePending(db, user_, id, QStringLiteral("pesagem"),
                         QStringLiteral("UPDATE samples SET mass = ?, mass_typed = ?, mass_source = ?, balance_line = ?,"
                                        " weighed_utc = ?, state = 'pesada' WHERE id = ?"),
                         {grams, typed ? 1 : 0, cleanText(source), text(line), utcText(QDateTime::currentDateTimeUtc())},
                         QStringLiteral("Pesagem recusada pelo banco de resultados"), error);
}

bool Store::discardSample(qint64 id, const QString& typed, QString* error) {
    const QString reason = cleanText(typed);
    if (reason.isEmpty()) {
        if (error)
            *error = QStringLiteral("Informe o motivo do descarte.");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    return changePending(db, user_, id, QStringLiteral("descarte"),
                         QStringLiteral("UPDATE samples SET state = 'descartada', discarded_reason = ? WHERE id = ?"), {reason},
                         QStringLiteral("Descarte recusado pelo banco de resultados"), error);
}

std::optional<QList<QueuedSample>> Store::samples(const QDate& day, QString* error) const {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QLatin1String(kSampleState) +
              QStringLiteral(" WHERE day = ? OR (day < ? AND state IN ('a-pesar', 'pesada')) ORDER BY id"));
    q.addBindValue(day.toString(Qt::ISODate));
    q.addBindValue(day.toString(Qt::ISODate));
    if (!q.exec()) {
        if (error)
            *error = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    QList<QueuedSample> out;
    while (q.next())
        out << sampleFromRow(q);
    return out;
}

std::optional<QueuedSample> Store::sample(qint64 id, QString* error) const {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QString why;
    auto s = current(db, id, &why);
    if (!s && error)
        *error = why;
    return s;
}

namespace detail {

bool takeSample(QSqlDatabase& db, const QString& user, const Determination& d, qint64 id, QString* why) {
    const auto s = current(db, d.sampleEntry, why);
    if (!s)
        return false;
    // A test is matched to one sample, and a sample to one valid record: only the record that
    // replaces its own takes a recorded sample again.
    bool again = s->state == S::Recorded && d.replaces && s->determination == d.replaces;
    if (s->state == S::Recorded && !again) {
        // Its record rejected, the same test recorded again takes it again.
        QSqlQuery old(db);
        old.prepare(QStringLiteral("SELECT rejected_reason IS NOT NULL, readings_sha256 FROM determinations WHERE id = ?"));
        old.addBindValue(s->determination);
        if (!old.exec()) {
            *why = failed(QStringLiteral("Erro no banco de resultados"), old.lastError());
            return false;
        }
        again = old.next() && old.value(0).toBool() &&
                old.value(1).toString() == QString::fromLatin1(readingsDigest(d.readings));
    }
    if (s->state != S::Weighed && !again) {
        *why = s->state == S::ToWeigh ? QStringLiteral("A amostra \"%1\" ainda não foi pesada.").arg(s->code) : stateRefusal(*s);
        return false;
    }
    if (s->code != d.sampleCode.trimmed() || !s->mass || std::abs(*s->mass - d.calorimetry.mass) > 1e-12) {
        *why = QStringLiteral("A determinação não é a da amostra \"%1\" da lista (código ou massa diferentes).").arg(s->code);
        return false;
    }
    const auto before = trailedState(db, sampleTarget(s->id), QStringLiteral("A amostra %1").arg(s->id), why);
    if (!before)
        return false;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE samples SET state = 'registrada', determination_id = ? WHERE id = ?"));
    q.addBindValue(id);
    q.addBindValue(s->id);
    if (!q.exec()) {
        *why = writeFailed(QStringLiteral("Amostra da lista recusada pelo banco de resultados"), q.lastError());
        return false;
    }
    return audit(db, user, QStringLiteral("amostra-registrada"), sampleTarget(s->id), 0, s->code, *before, why);
}

} // namespace detail

} // namespace rec
