#include "session/approval.h"

#include "acquisition/wholefile.h"
#include "session/recordservice.h"
#include "session/recording.h"
#include "session/messages.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>

namespace ses {

std::optional<QString> approvalDoubts(const rec::Store& store, const rec::Determination& d, double repeatability,
                                      QString* error) {
    QStringList doubts;
    if (d.kind == rec::Determination::Kind::Sample && !d.checkCertified) {
        rec::Filter f;
        f.sample = d.sampleCode;
        const auto verdicts = duplicateVerdicts(store, f, repeatability, error);
        if (!verdicts)
            return std::nullopt;
        if (const auto it = verdicts->find(d.sampleCode);
            it != verdicts->end() && it->second.state == rec::DuplicateVerdict::State::Repeat)
            doubts << QStringLiteral("as duplicatas da amostra \"%1\" não concordam (%2)")
                          .arg(d.sampleCode, duplicateText(it->second));
    }
    QList<rec::Determination> one{d};
    if (!markSeriesChanges(store, one, error))
        return std::nullopt;
    if (!one.front().seriesChanged.isEmpty())
        doubts << one.front().seriesChanged;
    return doubts.join(QStringLiteral("; "));
}

QString signedStateText(const rec::Determination& d) {
    if (d.rejected())
        return msg::Rejected.arg(d.rejectedReason);
    for (const auto m : {rec::Signature::Meaning::Approved, rec::Signature::Meaning::Reviewed})
        if (const rec::Signature* s = d.lastSigned(m))
            return QStringLiteral("%1 por %2 em %3")
                .arg(m == rec::Signature::Meaning::Approved ? QStringLiteral("aprovada") : QStringLiteral("revisada"), s->user,
                     s->signedUtc.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm")));
    return QStringLiteral("registrada");
}

std::optional<LimsForm> limsFormNamed(const QString& name) {
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("csv"))
        return LimsForm::Csv;
    if (n == QLatin1String("json"))
        return LimsForm::Json;
    if (n == QLatin1String("senaite-csv"))
        return LimsForm::SenaiteCsv;
    return std::nullopt;
}

std::optional<QList<rec::Determination>> approvedResults(const rec::Store& store, const QDate& since, QString* error) {
    rec::Filter f;
    f.status = rec::Filter::Status::Valid;
    f.since = since;
    const auto list = store.list(f, error);
    if (!list)
        return std::nullopt;
    QList<rec::Determination> out;
    // A sample's results: neither a calibration's W nor a check standard's run.
    for (auto it = list->crbegin(); it != list->crend(); ++it)
        if (it->lastSigned(rec::Signature::Meaning::Approved) && it->kind == rec::Determination::Kind::Sample &&
            !it->checkCertified)
            out << *it;
    return out;
}

namespace {

QString number(const std::optional<double>& v, QChar decimal) {
    if (!v)
        return {};
    QString t = QString::number(*v, 'f', 1);
    if (decimal != QLatin1Char('.'))
        t.replace(QLatin1Char('.'), decimal);
    return t;
}

// A CSV cell: quoted when it holds the separator, a quote or a line end.
QString cell(const QString& v, QChar sep) {
    if (!v.contains(sep) && !v.contains(QLatin1Char('"')) && !v.contains(QLatin1Char('\n')) && !v.contains(QLatin1Char('\r')))
        return v;
    return QLatin1Char('"') + QString(v).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString approvedAt(const rec::Determination& d) {
    const rec::Signature* a = d.lastSigned(rec::Signature::Meaning::Approved);
    return a ? a->signedUtc.toUTC().toString(Qt::ISODate) : QString();
}

} // namespace

QByteArray limsFile(const QList<rec::Determination>& approved, LimsForm form, const Settings& s, double repeatability,
                    QStringList* leftOut) {
    const QChar sep = s.limsDecimal == QLatin1Char(',') ? QLatin1Char(';') : QLatin1Char(',');
    if (form == LimsForm::Json) {
        QJsonArray rows;
        for (const rec::Determination& d : approved) {
            QJsonObject o{{QStringLiteral("sample"), d.sampleCode},
                          {QStringLiteral("determination"), d.id},
                          {QStringLiteral("test_date"), d.testDate.toString(Qt::ISODate)},
                          {QStringLiteral("unit"), QStringLiteral("J/g")},
                          {QStringLiteral("state"), d.signedState()},
                          {QStringLiteral("approver"), d.lastSigned(rec::Signature::Meaning::Approved)->user},
                          {QStringLiteral("approved_at"), approvedAt(d)}};
            if (d.result.grossCalorificValue)
                o[QStringLiteral("gross_calorific_value")] = *d.result.grossCalorificValue;
            if (const auto dry = grossDry(d))
                o[QStringLiteral("gross_calorific_value_dry")] = *dry;
            if (d.netCalorificValue)
                o[QStringLiteral("net_calorific_value")] = *d.netCalorificValue;
            rows << o;
        }
        return QJsonDocument(QJsonObject{{QStringLiteral("layout"), QStringLiteral("registrador-lims")},
                                         {QStringLiteral("version"), kLimsLayoutVersion},
                                         {QStringLiteral("results"), rows}})
            .toJson(QJsonDocument::Indented);
    }
    QStringList lines;
    if (form == LimsForm::Csv) {
        lines << QStringList{QStringLiteral("versao"), QStringLiteral("amostra"), QStringLiteral("determinacao"),
                             QStringLiteral("data_ensaio"), QStringLiteral("pcs"), QStringLiteral("pcs_seco"), QStringLiteral("pci"),
                             QStringLiteral("unidade"), QStringLiteral("situacao"), QStringLiteral("aprovador"),
                             QStringLiteral("aprovada_em")}
                     .join(sep);
        for (const rec::Determination& d : approved)
            lines << QStringList{QString::number(kLimsLayoutVersion), cell(d.sampleCode, sep), QString::number(d.id),
                                 d.testDate.toString(Qt::ISODate), number(d.result.grossCalorificValue, s.limsDecimal),
                                 number(grossDry(d), s.limsDecimal), number(d.netCalorificValue, s.limsDecimal),
                                 QStringLiteral("J/g"), d.signedState(),
                                 cell(d.lastSigned(rec::Signature::Meaning::Approved)->user, sep), approvedAt(d)}
                         .join(sep);
        return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
    }
    // SENAITE: an empty first cell, then the analyses' keywords; a row a sample; "end".
    std::map<QString, QList<const rec::Determination*>> bySample;
    QStringList order;
    for (const rec::Determination& d : approved) {
        if (!bySample.count(d.sampleCode))
            order << d.sampleCode;
        bySample[d.sampleCode] << &d;
    }
    lines << QStringList{QString(), cell(s.limsGrossKey, sep), cell(s.limsNetKey, sep)}.join(sep);
    for (const QString& code : order) {
        const auto& ds = bySample[code];
        QList<double> gross, net;
        for (const rec::Determination* d : ds) {
            if (d->result.grossCalorificValue)
                gross << *d->result.grossCalorificValue;
            if (d->netCalorificValue)
                net << *d->netCalorificValue;
        }
        auto value = [&](const QList<double>& v) -> std::optional<double> {
            if (v.isEmpty())
                return std::nullopt;
            const rec::DuplicateVerdict verdict = rec::duplicates(v, repeatability);
            if (verdict.state == rec::DuplicateVerdict::State::Single)
                return v.front();
            if (verdict.state == rec::DuplicateVerdict::State::Agree)
                return verdict.reported;
            return std::nullopt;
        };
        const auto g = value(gross);
        if (gross.size() > 1 && !g) {
            if (leftOut)
                *leftOut << code;
            continue;
        }
        lines << QStringList{cell(code, sep), number(g, s.limsDecimal), number(value(net), s.limsDecimal)}.join(sep);
    }
    lines << QStringLiteral("end");
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

namespace {
LimsForm dropForm(const Settings& s) { return s.limsForm; }
QString dropName(const rec::Determination& d, const Settings& s) {
    return QStringLiteral("determinacao-%1.%2").arg(d.id).arg(dropForm(s) == LimsForm::Json ? QStringLiteral("json") : QStringLiteral("csv"));
}
} // namespace

bool dropInLimsFolder(const rec::Determination& d, const Settings& s, QString* why) {
    // Only samples' results go to the LIMS.
    if (s.limsFolder.isEmpty() || d.kind != rec::Determination::Kind::Sample || d.checkCertified)
        return true;
    const QString path = QDir(s.limsFolder).filePath(dropName(d, s));
    if (QFileInfo::exists(path))
        return true; // sent once, never rewritten
    if (!QFileInfo(s.limsFolder).isDir()) {
        *why = QStringLiteral("A pasta do LIMS \"%1\" (config.xml, PastaLIMS) não existe.").arg(QDir::toNativeSeparators(s.limsFolder));
        return false;
    }
    return acq::writeWholeFile(path, limsFile({d}, dropForm(s), s, 0), why);
}

std::optional<int> dropPending(const rec::Store& store, const Settings& s, QString* why) {
    const auto approved = approvedResults(store, {}, why);
    if (!approved)
        return std::nullopt;
    int written = 0;
    for (const rec::Determination& d : *approved) {
        if (QFileInfo::exists(QDir(s.limsFolder).filePath(dropName(d, s))))
            continue;
        if (!dropInLimsFolder(d, s, why))
            return std::nullopt;
        ++written;
    }
    return written;
}

} // namespace ses
