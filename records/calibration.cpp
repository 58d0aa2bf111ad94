#include "records/calibration.h"

#include "evaluation/evaluation.h"

#include <QSet>
#include <algorithm>
#include <cmath>

namespace rec {

namespace {

// Percentages as a Brazilian reader writes them: "0,52".
QString percent(double v, int decimals = 2) { return eval::decimal(v, decimals); }

QList<double> valuesOf(const QList<CalibrationRun>& runs) {
    QList<double> v;
    for (const CalibrationRun& r : runs)
        v << r.w;
    return v;
}

SeriesVerdict withFigures(const QList<CalibrationRun>& runs) {
    SeriesVerdict v;
    const Spread sp = spreadOf(valuesOf(runs));
    v.n = static_cast<int>(runs.size());
    v.mean = sp.mean;
    v.s = sp.s;
    v.rsdPercent = sp.rsdPercent;
    for (const CalibrationRun& r : runs)
        v.used << r.id;
    return v;
}

double rangePercent(const QList<CalibrationRun>& runs) {
    const QList<double> v = valuesOf(runs);
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    return (*hi - *lo) / spreadOf(v).mean * 100.0;
}

SeriesVerdict din51900(const QList<CalibrationRun>& runs) {
    if (runs.size() < 5) {
        SeriesVerdict v = withFigures(runs);
        v.used.clear();
        v.reason = QStringLiteral("%1 de 5 corridas").arg(runs.size());
        return v;
    }
    const QList<CalibrationRun> five = runs.mid(0, 5);
    const double range = rangePercent(five);
    if (range <= 0.4) {
        SeriesVerdict v = withFigures(five);
        v.accepted = true;
        v.reason = QStringLiteral("5 corridas, amplitude %1 % ≤ 0,4 %").arg(percent(range));
        return v;
    }
    // The run farthest from the five's mean goes; a sixth must lie near the other four. Two
    // runs equally far leave the choice open: the series is accepted only if it would be
    // whichever of them went.
    const double mean = spreadOf(valuesOf(five)).mean;
    const double far = std::abs(std::max_element(five.begin(), five.end(), [&](const CalibrationRun& a, const CalibrationRun& b) {
                                    return std::abs(a.w - mean) < std::abs(b.w - mean);
                                })->w - mean);
    QList<qint64> farthest;
    for (const CalibrationRun& r : five)
        if (std::abs(std::abs(r.w - mean) - far) <= 1e-9 * std::abs(mean))
            farthest << r.id;
    const qint64 first = farthest.front();
    if (runs.size() < 6) {
        SeriesVerdict v = withFigures(five);
        v.used.clear();
        v.discard = first;
        v.reason = farthest.size() > 1
                       ? QStringLiteral("amplitude %1 % > 0,4 %: as corridas %2 e %3 estão igualmente longe da média; faça mais uma")
                             .arg(percent(range))
                             .arg(farthest[0])
                             .arg(farthest[1])
                       : QStringLiteral("amplitude %1 % > 0,4 %: descarte a corrida %2 e faça mais uma").arg(percent(range)).arg(first);
        return v;
    }
    const CalibrationRun& sixth = runs[5];
    // The sixth against the other four, for each run that may go; the five kept must also lie
    // within the 0,4 % that five runs are held to.
    struct Choice {
        qint64 discarded;
        QList<CalibrationRun> kept;
        double off, range;
    };
    QList<Choice> choices;
    for (const qint64 id : farthest) {
        QList<CalibrationRun> four;
        for (const CalibrationRun& r : five)
            if (r.id != id)
                four << r;
        const double fourMean = spreadOf(valuesOf(four)).mean;
        const QList<CalibrationRun> kept = four + QList<CalibrationRun>{sixth};
        choices << Choice{id, kept, std::abs(sixth.w - fourMean) / fourMean * 100.0, rangePercent(kept)};
    }
    for (const Choice& c : choices) {
        if (c.off <= 0.2 && c.range <= 0.4)
            continue;
        SeriesVerdict v = withFigures(c.kept);
        v.used.clear();
        v.discard = c.discarded;
        v.reason = c.off > 0.2 ? QStringLiteral("a sexta corrida (%1) está a %2 % da média das outras quatro > 0,2 %: comece uma nova série")
                                     .arg(sixth.id)
                                     .arg(percent(c.off))
                               : QStringLiteral("sem a corrida %1, as cinco corridas restantes têm amplitude %2 % > 0,4 %: comece uma nova série")
                                     .arg(c.discarded)
                                     .arg(percent(c.range));
        return v;
    }
    SeriesVerdict v = withFigures(choices.front().kept);
    v.accepted = true;
    v.discard = first;
    v.reason = QStringLiteral("corrida %1 descartada; a sexta (%2) a %3 % da média das outras quatro ≤ 0,2 %")
                   .arg(first)
                   .arg(sixth.id)
                   .arg(percent(choices.front().off));
    return v;
}

SeriesVerdict astmD240(const QList<CalibrationRun>& runs, const CalibrationRule& rule) {
    SeriesVerdict v = withFigures(runs);
    QSet<QDate> days;
    for (const CalibrationRun& r : runs)
        days << r.testDate;
    if (runs.size() < 6)
        v.reason = QStringLiteral("%1 de 6 corridas").arg(runs.size());
    else if (days.size() < 3)
        v.reason = QStringLiteral("corridas em %1 de 3 dias").arg(days.size());
    else if (v.rsdPercent > rule.maxRsdPercent)
        v.reason = QStringLiteral("%1 corridas em %2 dias, DPR %3 % > %4 %")
                       .arg(runs.size())
                       .arg(days.size())
                       .arg(percent(v.rsdPercent, 3), percent(rule.maxRsdPercent, 3));
    else {
        v.accepted = true;
        v.reason = QStringLiteral("%1 corridas em %2 dias, DPR %3 % ≤ %4 %")
                       .arg(runs.size())
                       .arg(days.size())
                       .arg(percent(v.rsdPercent, 3), percent(rule.maxRsdPercent, 3));
    }
    if (!v.accepted)
        v.used.clear();
    return v;
}

SeriesVerdict laboratorio(const QList<CalibrationRun>& runs, const CalibrationRule& rule) {
    SeriesVerdict v = withFigures(runs);
    if (runs.size() < rule.minRuns)
        v.reason = QStringLiteral("%1 de %2 corridas").arg(runs.size()).arg(rule.minRuns);
    else if (v.rsdPercent > rule.maxRsdPercent)
        v.reason = QStringLiteral("DPR %1 % > %2 %").arg(percent(v.rsdPercent, 3), percent(rule.maxRsdPercent, 3));
    else {
        v.accepted = true;
        v.reason = QStringLiteral("%1 corridas, DPR %2 % ≤ %3 %")
                       .arg(runs.size())
                       .arg(percent(v.rsdPercent, 3), percent(rule.maxRsdPercent, 3));
    }
    if (!v.accepted)
        v.used.clear();
    return v;
}

} // namespace

QString CalibrationRule::name() const {
    switch (preset) {
    case Preset::Din51900: return QStringLiteral("DIN 51900");
    case Preset::AstmD240: return QStringLiteral("ASTM D240");
    case Preset::Laboratorio: return QStringLiteral("Laboratório");
    }
    return {};
}

std::optional<CalibrationRule::Preset> CalibrationRule::presetFromName(const QString& name) {
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("din 51900") || n == QLatin1String("din"))
        return Preset::Din51900;
    if (n == QLatin1String("astm d240") || n == QLatin1String("astm"))
        return Preset::AstmD240;
    if (n == QStringLiteral("laboratório") || n == QLatin1String("laboratorio") || n == QLatin1String("lab"))
        return Preset::Laboratorio;
    return std::nullopt;
}

Spread spreadOf(const QList<double>& values) {
    Spread sp;
    if (values.isEmpty())
        return sp;
    double sum = 0;
    for (const double v : values)
        sum += v;
    sp.mean = sum / values.size();
    if (values.size() > 1) {
        double sq = 0;
        for (const double v : values)
            sq += (v - sp.mean) * (v - sp.mean);
        sp.s = std::sqrt(sq / (values.size() - 1));
    }
    sp.rsdPercent = sp.mean != 0 ? sp.s / sp.mean * 100.0 : 0;
    return sp;
}

SeriesVerdict judgeSeries(const QList<CalibrationRun>& runs, const CalibrationRule& rule) {
    SeriesVerdict v;
    switch (rule.preset) {
    case CalibrationRule::Preset::Din51900: v = din51900(runs); break;
    case CalibrationRule::Preset::AstmD240: v = astmD240(runs, rule); break;
    case CalibrationRule::Preset::Laboratorio: v = laboratorio(runs, rule); break;
    }
    // Every run after those the accepted series uses is a check against it, never left out
    // without a word.
    if (v.accepted && !v.used.isEmpty()) {
        qsizetype last = 0;
        for (qsizetype i = 0; i < runs.size(); ++i)
            if (v.used.contains(runs[i].id))
                last = i;
        for (qsizetype i = last + 1; i < runs.size(); ++i)
            v.later << SeriesVerdict::Check{runs[i].id, v.s > 0 ? (runs[i].w - v.mean) / v.s : 0.0};
    }
    return v;
}

} // namespace rec
