#include "records/storeinternal.h"

#include <map>

#include <QCryptographicHash>
#include <QSqlRecord>
#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace rec {

namespace detail {

QString utcText(const QDateTime& t) { return t.toUTC().toString(Qt::ISODateWithMs); }

std::optional<QString> knownCause(const QSqlError& e) {
    const QString code = e.nativeErrorCode(), text = e.text();
    // SQLite's result codes (an extended code keeps the primary one in its low byte); a
    // PostgreSQL SQLSTATE has five characters.
    bool numeric = false;
    const int n = code.toInt(&numeric);
    if (numeric && code.size() <= 4) {
        static const std::map<int, QString> lite = {
            {13, QStringLiteral("o disco está cheio")},
            {8, QStringLiteral("o arquivo do banco (ou a sua pasta) está somente para leitura")},
            {11, QStringLiteral("o arquivo do banco está danificado")},
            {26, QStringLiteral("o arquivo não é um banco de resultados")},
            {10, QStringLiteral("o disco falhou ao ler ou gravar o arquivo do banco")},
            {14, QStringLiteral("o arquivo do banco não pôde ser aberto")},
            {5, QStringLiteral("outro programa está gravando no banco há mais de 5 s")},
        };
        if (const auto it = lite.find(n & 0xff); it != lite.end())
            return it->second;
        return std::nullopt;
    }
    // PostgreSQL's SQLSTATE; a connection lost has none, only libpq's words.
    if (code == QLatin1String("57014"))
        return QStringLiteral("o servidor não respondeu em %1 s").arg(kStatementTimeout);
    if (code == QLatin1String("53100"))
        return QStringLiteral("o disco do servidor está cheio");
    if (code == QLatin1String("42501"))
        return QStringLiteral("o seu usuário não tem permissão para isso no servidor");
    if (code.startsWith(QLatin1String("57P")) || code.startsWith(QLatin1String("08")) ||
        text.contains(QLatin1String("server closed the connection"), Qt::CaseInsensitive) ||
        text.contains(QLatin1String("no connection to the server"), Qt::CaseInsensitive) ||
        text.contains(QLatin1String("could not receive data"), Qt::CaseInsensitive) ||
        text.contains(QLatin1String("could not send data"), Qt::CaseInsensitive))
        return QStringLiteral("a ligação com o servidor caiu (o servidor foi desligado ou a rede falhou)");
    return std::nullopt;
}

QString failed(const QString& what, const QSqlError& e) {
    const QString driver = (e.databaseText().isEmpty() ? e.text() : e.databaseText()).trimmed();
    if (const auto cause = knownCause(e))
        return QStringLiteral("%1: %2.%3%4").arg(what, *cause, kDetailsMarker, driver.simplified());
    return QStringLiteral("%1: %2").arg(what, driver);
}

QString writeFailed(const QString& what, const QSqlError& e) {
    return failed(knownCause(e) ? kWriteFailed : what, e);
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

QDateTime fromUtcText(const QString& s) {
    QDateTime t = QDateTime::fromString(s, Qt::ISODateWithMs);
    t.setTimeSpec(Qt::UTC);
    return t;
}

// A text as the schema wants it: never null, empty when there is none.
QString text(const QString& s) { return s.isNull() ? QStringLiteral("") : s; }

QVariant optionalNumber(const std::optional<double>& v) { return v ? QVariant(*v) : QVariant(QMetaType::fromType<double>()); }
std::optional<double> numberOrNothing(const QVariant& v) { return v.isNull() ? std::nullopt : std::optional(v.toDouble()); }

} // namespace detail

using namespace detail;

namespace {

// A calorimeter's number by name, or 0 when it was never named.
std::optional<qint64> calorimeterId(QSqlDatabase db, const QString& name, QString* why) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT id FROM calorimeters WHERE name = ?"));
    q.addBindValue(cleanText(name));
    if (!q.exec()) {
        *why = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    return q.next() ? q.value(0).toLongLong() : 0;
}
QString ruleKey(CalibrationRule::Preset p) {
    using P = CalibrationRule::Preset;
    return p == P::AstmD240 ? QStringLiteral("astm") : p == P::Laboratorio ? QStringLiteral("lab") : QStringLiteral("din");
}

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
QString cleanText(const QString& text) {
    QString out;
    out.reserve(text.size());
    // Invisible format characters (a byte-order mark pasted from another program, zero-width and
    // direction marks) carry nothing the lab typed.
    for (const QChar c : text.normalized(QString::NormalizationForm_C))
        if (c.category() != QChar::Other_Format)
            out += c;
    return out.trimmed();
}

std::optional<QString> controlCharacterIn(const QList<std::pair<QString, QString>>& fields) {
    for (const auto& [name, value] : fields)
        for (const QChar c : value)
            if (c.category() == QChar::Other_Control)
                return QStringLiteral("%1 tem um caractere de controle (código %2); digite-o de novo.")
                    .arg(name)
                    .arg(c.unicode());
    return std::nullopt;
}

std::optional<qint64> Store::record(const Determination& given, QString* error) {
    // What is stored, and so what the trail hashes, is the text as the lab means it.
    Determination d = given;
    for (QString* f : {&d.sampleCode, &d.description, &d.operatorName, &d.calorimeter, &d.replaceReason})
        *f = cleanText(*f);
    if (const auto bad = controlCharacterIn({{QStringLiteral("O código da amostra"), d.sampleCode},
                                             {QStringLiteral("A descrição"), d.description},
                                             {QStringLiteral("O operador"), d.operatorName},
                                             {QStringLiteral("O calorímetro"), d.calorimeter},
                                             {QStringLiteral("O motivo"), d.replaceReason}})) {
        if (error)
            *error = *bad;
        return std::nullopt;
    }
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
            why = writeFailed(QStringLiteral("Calorímetro \"%1\" recusado").arg(d.calorimeter), q.lastError());
            return false;
        }
        const bool added = q.numRowsAffected() == 1;
        q.prepare(QStringLiteral("SELECT id FROM calorimeters WHERE name = ?"));
        q.addBindValue(text(d.calorimeter));
        if (!q.exec() || !q.next()) {
            why = writeFailed(QStringLiteral("Calorímetro \"%1\" recusado").arg(d.calorimeter), q.lastError());
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
        q.prepare(insertStatement());
        for (const QVariant& v : insertValues(d, Written{calorimeter, utcText(QDateTime::currentDateTimeUtc()), digest, series, active}))
            q.addBindValue(v);
        if (!q.exec() || !q.next()) {
            why = writeFailed(QStringLiteral("Determinação recusada pelo banco de resultados"), q.lastError());
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
                why = writeFailed(QStringLiteral("Leitura %1 recusada pelo banco de resultados").arg(s.subReg), q.lastError());
                return false;
            }
        }
        if (!audit(db, user_, QStringLiteral("registro"), determinationTarget(id), id, d.calorimeter, {}, &why))
            return false;
        if (d.sampleEntry && !takeSample(db, user_, d, id, &why))
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
                  .arg(selectList()));
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
    QList<Determination> one{d};
    if (!loadSignatures(one, error))
        return std::nullopt;
    return one.front();
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
        values << cleanText(f.sample);
    }
    if (f.kind) {
        where << QStringLiteral("d.kind = ?");
        values << (*f.kind == Determination::Kind::Calibration ? kCalibrationKind : kSampleKind);
    }
    if (!f.calorimeter.isEmpty()) {
        where << QStringLiteral("c.name = ?");
        values << cleanText(f.calorimeter);
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
                  .arg(selectList(),
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
    if (!loadSignatures(out, error))
        return std::nullopt;
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

bool Store::rejectIn(QSqlDatabase& db, qint64 id, const QString& typed, QString* why, bool signedRejection) {
    const QString reason = cleanText(typed);
    if (const auto bad = controlCharacterIn({{QStringLiteral("O motivo"), reason}})) {
        *why = *bad;
        return false;
    }
    if (reason.isEmpty()) {
        *why = QStringLiteral("Informe o motivo da rejeição.");
        return false;
    }
    if (!mayReview(QStringLiteral("rejeitar uma determinação"), why) || !determination(id, why))
        return false;
    // An approved record is locked: only a reviewer's signed rejection changes it.
    if (!signedRejection) {
        QSqlQuery approved(db);
        approved.prepare(QStringLiteral("SELECT 1 FROM signatures WHERE determination_id = ? AND meaning = 'aprovado'"));
        approved.addBindValue(id);
        if (!approved.exec()) {
            *why = failed(QStringLiteral("Erro no banco de resultados"), approved.lastError());
            return false;
        }
        if (approved.next()) {
            *why = QStringLiteral("A determinação %1 foi aprovada e está travada: só um revisor a rejeita, com a sua "
                                  "assinatura e o motivo.")
                       .arg(id);
            return false;
        }
    }
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
std::optional<CalibrationRule> Store::calibrationRule(const QString& calorimeter, QString* error) const {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT rule, min_runs, max_rsd FROM calorimeters WHERE name = ?"));
    q.addBindValue(cleanText(calorimeter));
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
    q.addBindValue(cleanText(calorimeter));
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

std::optional<int> Store::newSeries(const QString& typedCalorimeter, const QString& typedReason, QString* error) {
    const QString calorimeter = cleanText(typedCalorimeter), reason = cleanText(typedReason);
    if (const auto bad = controlCharacterIn({{QStringLiteral("O motivo"), reason}})) {
        if (error)
            *error = *bad;
        return std::nullopt;
    }
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

} // namespace rec
