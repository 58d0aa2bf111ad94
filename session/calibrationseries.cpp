#include "session/calibrationseries.h"

#include "session/messages.h"
#include "session/recording.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <map>

namespace ses {

namespace {

// The series of `list` (one calorimeter's), with the runs each holds.
QList<CalibrationSeries> seriesOf(const QString& calorimeter, const QList<rec::Series>& series,
                                  const rec::CalibrationRule& rule) {
    QList<CalibrationSeries> out;
    for (const rec::Series& s : series)
        out << CalibrationSeries{calorimeter, s, rule, {}, {}};
    return out;
}

} // namespace

std::optional<QList<CalibrationSeries>> calibrationSeries(const rec::Store& store, const QString& calorimeter,
                                                         const std::optional<rec::CalibrationRule>& rule, QString* error) {
    QStringList names;
    if (!calorimeter.trimmed().isEmpty()) {
        names << calorimeter.trimmed();
    } else {
        const auto all = store.calorimeters(error);
        if (!all)
            return std::nullopt;
        names = *all;
    }
    rec::Filter f;
    f.kind = rec::Determination::Kind::Calibration;
    f.calorimeter = calorimeter.trimmed();
    f.status = rec::Filter::Status::Valid;
    const auto list = store.list(f, error);
    if (!list)
        return std::nullopt;
    QList<CalibrationSeries> out;
    for (const QString& name : names) {
        const auto series = store.series(name, error);
        const auto own = rule ? rule : store.calibrationRule(name, error);
        if (!series || !own)
            return std::nullopt;
        QList<CalibrationSeries> mine = seriesOf(name, *series, *own);
        // A test joins its series once, whatever was recorded before tests got one
        // determination each.
        QSet<QByteArray> tests;
        for (auto it = list->crbegin(); it != list->crend(); ++it) {
            if (it->calorimeter != name || !it->result.energyEquivalent || tests.contains(it->readingsSha256))
                continue;
            tests.insert(it->readingsSha256);
            const auto s = std::find_if(mine.begin(), mine.end(), [&](const CalibrationSeries& x) { return x.series.number == it->series; });
            if (s != mine.end())
                s->runs << rec::CalibrationRun{it->id, *it->result.energyEquivalent, it->testDate};
        }
        for (CalibrationSeries& s : mine)
            s.verdict = rec::judgeSeries(s.runs, s.rule);
        out << mine;
    }
    return out;
}

std::optional<CalibrationSeries> currentSeries(const rec::Store& store, const QString& calorimeter, QString* error) {
    const auto all = calibrationSeries(store, calorimeter, std::nullopt, error);
    if (!all)
        return std::nullopt;
    if (all->isEmpty()) {
        CalibrationSeries none{calorimeter.trimmed(), {}, {}, {}, rec::judgeSeries({}, {})};
        return none;
    }
    return all->last();
}

QJsonObject seriesJson(const CalibrationSeries& s) {
    QJsonObject o;
    o[QStringLiteral("calorimeter")] = s.calorimeter;
    o[QStringLiteral("series")] = s.series.number;
    o[QStringLiteral("started_utc")] = s.series.startedUtc.toString(Qt::ISODateWithMs);
    o[QStringLiteral("reason_started")] = s.series.reason;
    o[QStringLiteral("rule")] = s.rule.name();
    o[QStringLiteral("accepted")] = s.verdict.accepted;
    o[QStringLiteral("reason")] = s.verdict.reason;
    if (s.verdict.accepted)
        o[QStringLiteral("energy_equivalent")] = s.verdict.mean;
    o[QStringLiteral("n")] = s.verdict.n;
    o[QStringLiteral("mean")] = s.verdict.mean;
    o[QStringLiteral("s")] = s.verdict.s;
    o[QStringLiteral("rsd_percent")] = s.verdict.rsdPercent;
    if (s.verdict.discard)
        o[QStringLiteral("discard")] = *s.verdict.discard;
    QJsonArray checks;
    for (const rec::SeriesVerdict::Check& c : s.verdict.later)
        checks.append(QJsonObject{{QStringLiteral("id"), c.id},
                                  {QStringLiteral("sigmas"), c.sigmas},
                                  {QStringLiteral("outside"), c.outside()}});
    if (!checks.isEmpty())
        o[QStringLiteral("later_checks")] = checks;
    QJsonArray runs;
    for (const rec::CalibrationRun& r : s.runs)
        runs.append(QJsonObject{{QStringLiteral("id"), r.id},
                                {QStringLiteral("test_date"), r.testDate.toString(Qt::ISODate)},
                                {QStringLiteral("energy_equivalent"), r.w},
                                {QStringLiteral("used"), s.verdict.used.contains(r.id)}});
    o[QStringLiteral("runs")] = runs;
    return o;
}

namespace {
// Where a check lies against the series, as the control chart draws it.
QString checkLimitText(double sigmas) {
    const double a = std::abs(sigmas);
    return a > 3 ? QStringLiteral(" (além de ±3 s: fora de controle)")
         : a > 2 ? QStringLiteral(" (além de ±2 s: atenção)")
                 : QStringLiteral(" (dentro de ±2 s)");
}
} // namespace

QString seriesText(const CalibrationSeries& s) {
    const rec::SeriesVerdict& v = s.verdict;
    QString out = msg::SeriesHeading.arg(s.calorimeter)
                      .arg(s.series.number)
                      .arg(s.series.reason, s.rule.name(),
                           v.accepted ? QStringLiteral("aceita") : QStringLiteral("não aceita"), v.reason) +
                  QLatin1Char('\n');
    if (v.n > 0)
        out += QStringLiteral("  %1 = %2 J/K, n = %3, s = %4 J/K, DPR = %5 %\n")
                   .arg(v.accepted ? QStringLiteral("W") : QStringLiteral("média (ainda não é o W da série)"), fixed(v.mean, 1))
                   .arg(v.n)
                   .arg(fixed(v.s, 1), fixed(v.rsdPercent, 3));
    for (const rec::CalibrationRun& r : s.runs) {
        // Each run says whether the series' figures use it, and why not.
        const bool inMean = v.used.isEmpty() ? !v.accepted : v.used.contains(r.id);
        QString note = v.discard == r.id ? QStringLiteral("\tna média; descartar")
                       : !inMean         ? QStringLiteral("\tnão usada")
                       : v.accepted      ? QStringLiteral("\tusada no W")
                                         : QStringLiteral("\tna média");
        for (const rec::SeriesVerdict::Check& c : v.later)
            if (c.id == r.id)
                note = QStringLiteral("\tnão usada, verificação: %1 s%2").arg((c.sigmas >= 0 ? QStringLiteral("+") : QString()) + eval::decimal(c.sigmas, 1),
                                                                             checkLimitText(c.sigmas));
        out += QStringLiteral("  %1\t%2\t%3 J/K%4\n")
                   .arg(r.id)
                   .arg(r.testDate.toString(QStringLiteral("dd/MM/yyyy")), fixed(r.w, 1), note);
    }
    return out;
}

SeriesEnergyEquivalent seriesEnergyEquivalent(const CalibrationSeries& current) {
    SeriesEnergyEquivalent e;
    if (current.verdict.accepted) {
        e.w = current.verdict.mean;
        e.series = current.series.number;
        e.source = msg::EnergyEquivalentFromSeries.arg(current.series.number).arg(current.calorimeter);
    } else {
        e.warning = msg::NoAcceptedSeries.arg(current.calorimeter,
                                              current.series.number ? current.verdict.reason : msg::NoSeriesYet);
    }
    return e;
}

std::optional<double> checkStandardDeviation(const rec::Determination& d) {
    if (!d.checkCertified || !d.result.grossCalorificValue || !(*d.checkCertified > 0))
        return std::nullopt;
    return (*d.result.grossCalorificValue - *d.checkCertified) / *d.checkCertified * 100.0;
}

QString checkStandardText(const rec::Determination& d) {
    const auto dev = checkStandardDeviation(d);
    if (!dev)
        return {};
    const double tol = d.checkTolerancePercent.value_or(0.2);
    // Kept with the record as a warning: written alike by the window and the command line.
    return msg::CheckStandardLine.arg(eval::decimal(*d.result.grossCalorificValue, 1), eval::decimal(*d.checkCertified, 1),
                                      eval::decimal(*dev, 3), eval::decimal(tol, 2),
                                      std::abs(*dev) > tol ? msg::CheckOutside : msg::CheckWithin);
}

bool setCheckStandard(rec::Determination& d, double certified, double tolerancePercent, QString* why) {
    if (d.kind != rec::Determination::Kind::Sample || !d.result.grossCalorificValue) {
        *why = msg::CheckNeedsSample;
        return false;
    }
    if (!(std::isfinite(certified) && certified > 0)) {
        *why = msg::CheckCertifiedPositive;
        return false;
    }
    d.checkCertified = certified;
    d.checkTolerancePercent = tolerancePercent;
    if (std::abs(*checkStandardDeviation(d)) > tolerancePercent)
        d.result.warnings << checkStandardText(d) + QLatin1Char('.');
    return true;
}

std::optional<double> checkStandardW(const rec::Determination& d) {
    if (!d.checkCertified || !(d.result.riseCorrected > 0))
        return std::nullopt;
    const eval::Calorimetry& c = d.calorimetry;
    return (*d.checkCertified * c.mass + c.fuse + c.acid + c.sulfur + c.aid) / d.result.riseCorrected;
}

std::optional<ControlChart> controlChart(const rec::Store& store, const QString& calorimeter, QString* error) {
    const auto series = calibrationSeries(store, calorimeter, std::nullopt, error);
    rec::Filter f;
    f.kind = rec::Determination::Kind::Sample;
    f.calorimeter = calorimeter.trimmed();
    f.status = rec::Filter::Status::Valid;
    const auto samples = series ? store.list(f, error) : std::nullopt;
    if (!samples)
        return std::nullopt;
    ControlChart chart;
    chart.calorimeter = calorimeter.trimmed();
    for (const CalibrationSeries& s : *series) {
        ControlChart::Segment seg;
        seg.series = s.series.number;
        seg.reason = s.series.reason;
        if (s.verdict.accepted) {
            seg.centre = s.verdict.mean;
            seg.s = s.verdict.s;
        }
        // This series' points: its calibrations and the check standards recorded while it was
        // the current one, in the order recorded.
        QList<ControlChart::Point> points;
        for (const rec::CalibrationRun& r : s.runs)
            points << ControlChart::Point{r.id, r.testDate, r.w, false, 0};
        for (auto it = samples->crbegin(); it != samples->crend(); ++it) {
            const auto w = checkStandardW(*it);
            if (w && it->activeSeries == s.series.number)
                points << ControlChart::Point{it->id, it->testDate, *w, true, 0};
        }
        std::sort(points.begin(), points.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
        for (ControlChart::Point& p : points) {
            if (seg.centre && *seg.s > 0) {
                const double k = std::abs(p.w - *seg.centre) / *seg.s;
                p.zone = k > 3 ? 3 : k > 2 ? 2 : 0;
            }
        }
        seg.first = static_cast<int>(chart.points.size());
        seg.count = static_cast<int>(points.size());
        chart.points << points;
        chart.segments << seg;
    }
    return chart;
}

namespace {

// A stored field's name as a technician reads it.
QString fieldName(const QString& key) {
    static const std::map<QString, QString> names{
        {QStringLiteral("rejected_reason"), QStringLiteral("motivo da rejeição")},
        {QStringLiteral("rejected_utc"), QStringLiteral("rejeitada em")},
        {QStringLiteral("rule"), QStringLiteral("regra")},
        {QStringLiteral("min_runs"), QStringLiteral("corridas mín.")},
        {QStringLiteral("max_rsd"), QStringLiteral("DPR máx. (%)")},
        {QStringLiteral("reason"), QStringLiteral("motivo")},
        {QStringLiteral("gross_calorific_value"), QStringLiteral("poder calorífico superior (J/g)")},
        {QStringLiteral("energy_equivalent"), QStringLiteral("equivalente energético (J/K)")},
        {QStringLiteral("sample_code"), QStringLiteral("amostra")},
        {QStringLiteral("series"), QStringLiteral("série")},
        {QStringLiteral("mass_source"), QStringLiteral("massa")},
        {QStringLiteral("mass"), QStringLiteral("massa (g)")},
        {QStringLiteral("state"), QStringLiteral("situação")},
        {QStringLiteral("discarded_reason"), QStringLiteral("motivo do descarte")},
        {QStringLiteral("determination_id"), QStringLiteral("determinação")},
        {QStringLiteral("code"), QStringLiteral("amostra")},
        {QStringLiteral("balance_line"), QStringLiteral("linha da balança")},
        {QStringLiteral("weighed_utc"), QStringLiteral("pesada em")},
        {QStringLiteral("mass_typed"), QStringLiteral("massa digitada")},
        {QStringLiteral("meaning"), QStringLiteral("significado")},
        {QStringLiteral("full_name"), QStringLiteral("nome")},
        {QStringLiteral("comment"), QStringLiteral("comentário")},
    };
    const auto it = names.find(key);
    return it == names.end() ? key : it->second;
}

// A value as stored, shortened for reading; `brief` rounds a figure as the record shows it
// (a change keeps every digit, so that two values never read alike).
QString shownValue(const QJsonValue& v, bool brief = false) {
    if (v.isNull() || v.isUndefined())
        return QStringLiteral("—");
    const QString text = v.toVariant().toString();
    // A time kept in UTC is read in the PC's own time, as every other time the program shows.
    if (const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs); t.isValid() && text.endsWith(QLatin1Char('Z')))
        return localTime(t);
    bool number = false;
    const double x = text.toDouble(&number);
    if (!number || !text.contains(QLatin1Char('.')))
        return text;
    // As the record shows its figures: J/g and J/K to a tenth, smaller values to six digits.
    if (!brief)
        return shownNumber(QString::number(x, 'g', 10));
    return std::abs(x) >= 100 ? fixed(x, 1) : shownNumber(QString::number(x, 'g', 6));
}

} // namespace

QString historyText(const QList<rec::AuditEntry>& entries, HistoryHashes hashes) {
    QString out;
    for (const rec::AuditEntry& e : entries) {
        const QJsonObject before = QJsonDocument::fromJson(e.before.toUtf8()).object(),
                          after = QJsonDocument::fromJson(e.after.toUtf8()).object();
        // In words, as the lab says it: "Rejeitada por ana em 10/12/2026 10:36:05: massa trocada".
        QString action = msg::auditAction(e.action);
        if (!action.isEmpty())
            action[0] = action[0].toUpper();
        const bool rejection = e.action == QLatin1String("rejeicao");
        const QString reason = rejection ? after.value(QLatin1String("rejected_reason")).toString() : QString();
        out += QStringLiteral("%1. %2 por %3 em %4%5\n")
                   .arg(e.id)
                   .arg(action, e.user, localTime(e.atUtc), reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
        if (before.isEmpty()) {
            // What was written whole: the figures a technician checks first.
            QStringList shown;
            for (const char* key : {"sample_code", "code", "gross_calorific_value", "energy_equivalent", "series", "reason",
                                    "mass_source", "meaning", "full_name", "comment"})
                // A sample's series 0 is "no series": nothing to say.
                if (after.contains(QLatin1String(key)) && !after[QLatin1String(key)].isNull() &&
                    !(after[QLatin1String(key)].isString() && after[QLatin1String(key)].toString().isEmpty()) &&
                    !(QLatin1String(key) == QLatin1String("series") && after[QLatin1String(key)].toVariant().toInt() == 0))
                    shown << QStringLiteral("%1 %2").arg(fieldName(QString::fromLatin1(key)), shownValue(after[QLatin1String(key)], true));
            if (!shown.isEmpty())
                out += QStringLiteral("  %1\n").arg(shown.join(QStringLiteral("; ")));
        } else {
            for (auto it = after.begin(); it != after.end(); ++it)
                if (before.value(it.key()) != it.value() &&
                    !(rejection && (it.key() == QLatin1String("rejected_reason") || it.key() == QLatin1String("rejected_utc"))))
                    out += QStringLiteral("  %1: %2 → %3\n").arg(fieldName(it.key()), shownValue(before.value(it.key())),
                                                                 shownValue(it.value()));
        }
        if (hashes == HistoryHashes::Shown)
            out += QStringLiteral("  SHA-256 %1 (anterior %2)\n")
                   .arg(QString::fromLatin1(e.sha256.left(16)), QString::fromLatin1(e.prevSha256.left(16)));
    }
    return out;
}

QJsonArray historyJson(const QList<rec::AuditEntry>& entries) {
    QJsonArray out;
    for (const rec::AuditEntry& e : entries)
        out.append(QJsonObject{{QStringLiteral("entry"), e.id},
                               {QStringLiteral("at_utc"), e.atUtc.toString(Qt::ISODateWithMs)},
                               {QStringLiteral("user"), e.user},
                               {QStringLiteral("action"), e.action},
                               {QStringLiteral("before"), QJsonDocument::fromJson(e.before.toUtf8()).object()},
                               {QStringLiteral("after"), QJsonDocument::fromJson(e.after.toUtf8()).object()},
                               {QStringLiteral("prev_sha256"), QString::fromLatin1(e.prevSha256)},
                               {QStringLiteral("sha256"), QString::fromLatin1(e.sha256)}});
    return out;
}

QString trailText(const rec::TrailCheck& c) {
    if (c.intact)
        return msg::TrailIntact.arg(c.entries).arg(c.determinations).arg(QString::fromLatin1(c.head)) +
               (c.normalisedOnly.isEmpty() ? QString() : QLatin1Char('\n') + msg::TrailNormalisedOnly.arg(c.normalisedOnly.join(QStringLiteral(", "))));
    return msg::TrailBroken.arg(c.problem);
}

} // namespace ses
