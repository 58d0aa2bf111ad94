// Electronic signatures: the signer's password checked at each one, the lab's rules, and the
// signature written with its entry in the trail. A SQLite file's signers and their keys.
#include "records/storeinternal.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QSqlRecord>
#include <map>

namespace rec {

using namespace detail;

namespace {

using M = Signature::Meaning;

constexpr int kIterations = 120000;

// PBKDF2 with HMAC-SHA-256 (RFC 8018), one 32-byte block: Qt's own HMAC, no other library.
QByteArray pbkdf2(const QByteArray& password, const QByteArray& salt, int iterations) {
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, password);
    mac.addData(salt + QByteArray::fromHex("00000001"));
    QByteArray u = mac.result(), t = u;
    for (int i = 1; i < iterations; ++i) {
        mac.reset();
        mac.addData(u);
        u = mac.result();
        for (int k = 0; k < t.size(); ++k)
            t[k] = char(t[k] ^ u[k]);
    }
    return t;
}

// Compares without leaving the time it takes as a clue.
bool sameKey(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size())
        return false;
    char d = 0;
    for (int i = 0; i < a.size(); ++i)
        d = char(d | (a[i] ^ b[i]));
    return d == 0;
}

M meaningFromKey(const QString& k) {
    return k == QLatin1String("aprovado") ? M::Approved : k == QLatin1String("rejeitado") ? M::Rejected : M::Reviewed;
}

const QString kWrongPassword = QStringLiteral("Usuário ou senha de assinatura incorretos.");

} // namespace

QString meaningText(M m) {
    return m == M::Approved ? QStringLiteral("Aprovado") : m == M::Rejected ? QStringLiteral("Rejeitado") : QStringLiteral("Revisado");
}
QString meaningKey(M m) {
    return m == M::Approved ? QStringLiteral("aprovado") : m == M::Rejected ? QStringLiteral("rejeitado") : QStringLiteral("revisado");
}

QString Determination::signedState() const {
    if (lastSigned(M::Approved))
        return QStringLiteral("aprovada");
    if (lastSigned(M::Reviewed))
        return QStringLiteral("revisada");
    return QStringLiteral("registrada");
}

const Signature* Determination::lastSigned(M m) const {
    for (auto it = signatures.crbegin(); it != signatures.crend(); ++it)
        if (it->meaning == m)
            return &*it;
    return nullptr;
}

bool Store::loadSignatures(QList<Determination>& list, QString* error) const {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT id, determination_id, meaning, user_name, full_name, signed_utc, comment"
                               " FROM signatures ORDER BY id"))) {
        if (error)
            *error = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return false;
    }
    std::map<qint64, QList<Signature>> by;
    while (q.next())
        by[q.value(1).toLongLong()] << Signature{q.value(0).toLongLong(), q.value(1).toLongLong(),
                                                 meaningFromKey(q.value(2).toString()), q.value(3).toString(),
                                                 q.value(4).toString(), fromUtcText(q.value(5).toString()),
                                                 q.value(6).toString()};
    for (Determination& d : list)
        if (const auto it = by.find(d.id); it != by.end())
            d.signatures = it->second;
    return true;
}

std::optional<Store::Checked> Store::checkSigner(const Signer& s, QString* why) const {
    const QString user = s.user.trimmed();
    if (user.isEmpty() || s.password.isEmpty()) {
        *why = QStringLiteral("Informe o usuário e a senha de quem assina.");
        return std::nullopt;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    Checked c;
    c.user = user;
    if (isPostgres(db)) {
        // The server itself checks the password: a connection as that role, which then signs.
        Location as = location_;
        as.user = user;
        as.password = s.password;
        QString cause;
        c.asSigner = Store::open(as, &cause);
        if (!c.asSigner) {
            *why = cause.contains(QLatin1String("password"), Qt::CaseInsensitive) ||
                           cause.contains(QLatin1String("senha"), Qt::CaseInsensitive) ||
                           cause.contains(QLatin1String("authentication"), Qt::CaseInsensitive) ||
                           cause.contains(QLatin1String("autentica"), Qt::CaseInsensitive)
                       ? kWrongPassword
                       : cause;
            return std::nullopt;
        }
        // A server that lets the role in whatever its password (trust, ident) proves nothing:
        // the same role with a wrong password must be refused.
        Location wrong = as;
        wrong.password = s.password + QStringLiteral("\x01errada");
        QString ignored;
        if (Store::open(wrong, &ignored)) {
            *why = QStringLiteral("O servidor não confere a senha do papel \"%1\" (pg_hba.conf aceita-o sem senha): uma "
                                  "assinatura não pode ser feita assim. Configure a autenticação por senha "
                                  "(scram-sha-256) para os assinantes.")
                       .arg(user);
            return std::nullopt;
        }
        c.asSigner->setReviewerRole(reviewerRole_);
        QSqlQuery q(QSqlDatabase::database(c.asSigner->connection_, false));
        // The full name is the role's comment (COMMENT ON ROLE), or its name.
        q.prepare(QStringLiteral("SELECT COALESCE(NULLIF(shobj_description(oid, 'pg_authid'), ''), rolname),"
                                 " CASE WHEN ? = '' THEN true ELSE pg_has_role(session_user, ?, 'MEMBER') END"
                                 " FROM pg_roles WHERE rolname = session_user"));
        q.addBindValue(reviewerRole_);
        q.addBindValue(reviewerRole_.isEmpty() ? QStringLiteral("public") : reviewerRole_);
        if (!q.exec() || !q.next()) {
            *why = failed(QStringLiteral("Não foi possível conferir quem assina"), q.lastError());
            return std::nullopt;
        }
        c.fullName = q.value(0).toString();
        c.reviewer = q.value(1).toBool();
        return c;
    }
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT full_name, reviewer, salt, iterations, key FROM signing_users WHERE name = ?"));
    q.addBindValue(user);
    if (!q.exec()) {
        *why = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    // An unknown user costs the same time as a wrong password.
    const bool known = q.next();
    const QByteArray key = pbkdf2(s.password.toUtf8(), known ? QByteArray::fromHex(q.value(2).toByteArray()) : QByteArray(16, 'x'),
                                  known ? q.value(3).toInt() : kIterations);
    if (!known || !sameKey(key, QByteArray::fromHex(q.value(4).toByteArray()))) {
        *why = kWrongPassword;
        return std::nullopt;
    }
    c.fullName = q.value(0).toString();
    c.reviewer = q.value(1).toInt() != 0;
    return c;
}

bool Store::signIn(QSqlDatabase& db, const QString& auditUser, qint64 id, M m, const Checked& who, const QString& comment,
                   QString* why) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO signatures (determination_id, meaning, user_name, full_name, signed_utc, comment)"
                             " VALUES (?, ?, ?, ?, ?, ?) RETURNING id"));
    for (const QVariant& v : QVariantList{id, meaningKey(m), who.user, who.fullName, utcText(QDateTime::currentDateTimeUtc()),
                                          cleanText(comment)})
        q.addBindValue(v);
    if (!q.exec() || !q.next()) {
        *why = writeFailed(QStringLiteral("Assinatura recusada pelo banco de resultados"), q.lastError());
        return false;
    }
    return audit(db, auditUser, QStringLiteral("assinatura"), signatureTarget(q.value(0).toLongLong()), id, {}, {}, why);
}

bool Store::sign(qint64 id, M meaning, const Signer& signer, const QString& comment, const SigningRules& rules,
                 const QString& doubts, QString* error) {
    QString why;
    auto refuse = [&](const QString& w) {
        if (error)
            *error = w;
        return false;
    };
    if (meaning == M::Rejected)
        return refuse(QStringLiteral("Uma rejeição assinada se faz com o motivo (rejeitar)."));
    if (const auto bad = controlCharacterIn({{QStringLiteral("O comentário"), cleanText(comment)}}))
        return refuse(*bad);
    const auto who = checkSigner(signer, &why);
    if (!who)
        return refuse(why);
    auto d = determination(id, &why);
    if (!d)
        return refuse(why);
    QList<Determination> one{*d};
    if (!loadSignatures(one, &why))
        return refuse(why);
    d = one.front();
    if (d->rejected())
        return refuse(QStringLiteral("A determinação %1 foi rejeitada: não se assina.").arg(id));
    if (d->lastSigned(M::Approved))
        return refuse(QStringLiteral("A determinação %1 já foi aprovada.").arg(id));
    const Signature* reviewed = d->lastSigned(M::Reviewed);
    if (meaning == M::Reviewed && reviewed)
        return refuse(QStringLiteral("A determinação %1 já foi revisada por %2.").arg(id).arg(reviewed->fullName));
    if (meaning == M::Approved) {
        if (!who->reviewer)
            return refuse(QStringLiteral("%1 não é revisor: só um revisor aprova.").arg(who->user));
        if (!reviewed && !rules.oneStep)
            return refuse(QStringLiteral("A determinação %1 ainda não foi revisada: a aprovação vem depois da revisão.").arg(id));
        if (reviewed && reviewed->user.compare(who->user, Qt::CaseInsensitive) == 0)
            return refuse(QStringLiteral("Quem revisou (%1) não aprova a mesma determinação: a aprovação é de outra pessoa.")
                              .arg(reviewed->user));
        if (!rules.recorderMayApprove) {
            // Whoever recorded it: the operator named, and the user the trail entered it as.
            QStringList recorders{d->operatorName.trimmed()};
            const auto trail = history(id, &why);
            if (!trail)
                return refuse(why);
            for (const AuditEntry& e : *trail)
                if (e.action == QLatin1String("registro"))
                    recorders << e.user;
            for (const QString& r : recorders)
                if (r.compare(who->user, Qt::CaseInsensitive) == 0 || r.compare(who->fullName, Qt::CaseInsensitive) == 0)
                    return refuse(QStringLiteral("Quem registrou a determinação %1 (%2) não a aprova.").arg(id).arg(who->user));
        }
        if (!doubts.isEmpty() && cleanText(comment).isEmpty())
            return refuse(QStringLiteral("Aprovação recusada: %1. Para aprovar mesmo assim, diga por que no comentário.").arg(doubts));
    }
    // On the lab's server the signer's own connection writes it, so the trail names the signer.
    Store& writer = who->asSigner ? *who->asSigner : *this;
    QSqlDatabase db = QSqlDatabase::database(writer.connection_, false);
    const int seen = int(d->signatures.size());
    const bool ok = inTransaction(db, &why, [&] {
        // Under the write lock: nothing signed nor rejected meanwhile by another PC.
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT (SELECT COUNT(*) FROM signatures WHERE determination_id = ?),"
                                 " (SELECT rejected_reason IS NOT NULL FROM determinations WHERE id = ?)"));
        q.addBindValue(id);
        q.addBindValue(id);
        if (!q.exec() || !q.next()) {
            why = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
            return false;
        }
        if (q.value(0).toInt() != seen || q.value(1).toBool()) {
            why = QStringLiteral("A determinação %1 mudou enquanto era assinada (outra assinatura ou uma rejeição): "
                                 "abra-a de novo.")
                      .arg(id);
            return false;
        }
        return signIn(db, who->asSigner ? writer.user_ : who->user, id, meaning, *who, comment, &why);
    });
    return ok || refuse(why);
}

bool Store::rejectSigned(qint64 id, const QString& reason, const Signer& signer, QString* error) {
    QString why;
    auto refuse = [&](const QString& w) {
        if (error)
            *error = w;
        return false;
    };
    if (cleanText(reason).isEmpty())
        return refuse(QStringLiteral("Informe o motivo da rejeição."));
    const auto who = checkSigner(signer, &why);
    if (!who)
        return refuse(why);
    if (!who->reviewer)
        return refuse(QStringLiteral("%1 não é revisor: só um revisor rejeita uma determinação aprovada.").arg(who->user));
    Store& writer = who->asSigner ? *who->asSigner : *this;
    QSqlDatabase db = QSqlDatabase::database(writer.connection_, false);
    const bool ok = inTransaction(db, &why, [&] {
        return signIn(db, who->asSigner ? writer.user_ : who->user, id, M::Rejected, *who, reason, &why) &&
               writer.rejectIn(db, id, reason, &why, true);
    });
    return ok || refuse(why);
}

bool Store::addUser(const SigningUser& given, const QString& password, const Signer& administrator, QString* error) {
    QString why;
    auto refuse = [&](const QString& w) {
        if (error)
            *error = w;
        return false;
    };
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (isPostgres(db))
        return refuse(QStringLiteral("No servidor do laboratório os assinantes são os papéis do servidor (CREATE ROLE … "
                                     "LOGIN PASSWORD, COMMENT ON ROLE com o nome completo)."));
    SigningUser u = given;
    u.name = cleanText(u.name);
    u.fullName = cleanText(u.fullName);
    if (u.name.isEmpty() || u.fullName.isEmpty())
        return refuse(QStringLiteral("Informe o usuário e o nome completo."));
    if (password.size() < 8)
        return refuse(QStringLiteral("A senha de assinatura precisa de pelo menos 8 caracteres."));
    const auto existing = users(&why);
    if (!existing)
        return refuse(why);
    const bool first = existing->isEmpty();
    if (!first) {
        const auto admin = checkSigner(administrator, &why);
        if (!admin)
            return refuse(why);
        bool isAdmin = false;
        for (const SigningUser& e : *existing)
            isAdmin = isAdmin || (e.name == admin->user && e.administrator);
        if (!isAdmin)
            return refuse(QStringLiteral("Só o administrador (%1) inclui assinantes.").arg(existing->front().name));
    }
    QByteArray salt(16, 0);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), 4);
    const bool ok = inTransaction(db, &why, [&] {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO signing_users (name, full_name, reviewer, administrator, salt, iterations, key,"
                                 " created_utc) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const QVariant& v : QVariantList{u.name, u.fullName, u.reviewer || first ? 1 : 0, first ? 1 : 0,
                                              QString::fromLatin1(salt.toHex()), kIterations,
                                              QString::fromLatin1(pbkdf2(password.toUtf8(), salt, kIterations).toHex()),
                                              utcText(QDateTime::currentDateTimeUtc())})
            q.addBindValue(v);
        if (!q.exec()) {
            why = q.lastError().nativeErrorCode() == QLatin1String("1555") || q.lastError().nativeErrorCode() == QLatin1String("2067")
                      ? QStringLiteral("Já existe o assinante \"%1\".").arg(u.name)
                      : writeFailed(QStringLiteral("Assinante recusado pelo banco de resultados"), q.lastError());
            return false;
        }
        // In the trail, by whoever added it.
        return audit(db, first ? u.name : administrator.user.trimmed(), QStringLiteral("assinante"), signerTarget(u.name), 0,
                     u.name, {}, &why);
    });
    return ok || refuse(why);
}

std::optional<QList<SigningUser>> Store::users(QString* error) const {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (!q.exec(QStringLiteral("SELECT name, full_name, reviewer, administrator, created_utc FROM signing_users"
                               " ORDER BY created_utc, name"))) {
        if (error)
            *error = failed(QStringLiteral("Erro no banco de resultados"), q.lastError());
        return std::nullopt;
    }
    QList<SigningUser> out;
    while (q.next())
        out << SigningUser{q.value(0).toString(), q.value(1).toString(), q.value(2).toInt() != 0, q.value(3).toInt() != 0,
                           fromUtcText(q.value(4).toString())};
    return out;
}

bool Store::setUserPassword(const QString& name, const QString& password, const Signer& authority, QString* error) {
    QString why;
    auto refuse = [&](const QString& w) {
        if (error)
            *error = w;
        return false;
    };
    if (password.size() < 8)
        return refuse(QStringLiteral("A senha de assinatura precisa de pelo menos 8 caracteres."));
    const auto who = checkSigner(authority, &why);
    if (!who)
        return refuse(why);
    const auto all = users(&why);
    if (!all)
        return refuse(why);
    bool allowed = who->user == cleanText(name), exists = false;
    for (const SigningUser& u : *all) {
        allowed = allowed || (u.name == who->user && u.administrator);
        exists = exists || u.name == cleanText(name);
    }
    if (!exists)
        return refuse(QStringLiteral("Não há o assinante \"%1\".").arg(name));
    if (!allowed)
        return refuse(QStringLiteral("Só o próprio assinante ou o administrador troca a senha."));
    QByteArray salt(16, 0);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), 4);
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    const bool ok = inTransaction(db, &why, [&] {
        const auto before = trailedState(db, signerTarget(cleanText(name)), QStringLiteral("O assinante %1").arg(name), &why);
        if (!before)
            return false;
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE signing_users SET salt = ?, iterations = ?, key = ? WHERE name = ?"));
        for (const QVariant& v : QVariantList{QString::fromLatin1(salt.toHex()), kIterations,
                                              QString::fromLatin1(pbkdf2(password.toUtf8(), salt, kIterations).toHex()),
                                              cleanText(name)})
            q.addBindValue(v);
        if (!q.exec()) {
            why = writeFailed(QStringLiteral("Senha recusada pelo banco de resultados"), q.lastError());
            return false;
        }
        return audit(db, who->user, QStringLiteral("senha"), signerTarget(cleanText(name)), 0, cleanText(name), *before, &why);
    });
    return ok || refuse(why);
}

namespace detail {
QByteArray pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int iterations) {
    return pbkdf2(password, salt, iterations);
}
} // namespace detail

} // namespace rec
