#include "evaluation/evaluation.h"

#include "evaluation/fit.h"
#include "evaluation/readingchecks.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <vector>

namespace eval {

namespace {

using detail::fitLine;
using detail::Line;
using detail::Range;
using detail::rangeOf;

QString checkSamples(std::span<const Sample> s) {
    if (s.empty())
        return QStringLiteral("Não há amostras para avaliar.");
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (!std::isfinite(s[i].t) || !std::isfinite(s[i].theta))
            return QStringLiteral("Há amostras com tempo ou temperatura inválidos.");
        if (i > 0 && !(s[i].t > s[i - 1].t))
            return QStringLiteral("Os tempos das amostras devem ser crescentes.");
    }
    return {};
}

QString tooFew(const char* period, int need, int have) {
    return QStringLiteral("O período %1 precisa de pelo menos %2 amostras (tem %3).")
        .arg(QLatin1String(period))
        .arg(need)
        .arg(have);
}

// Where the curve first reaches `level` inside the main period, linear between the readings
// around it; the first reading's time when it starts there, nothing when it never does.
std::optional<double> levelTime(std::span<const Sample> s, Range main, double level) {
    for (std::size_t i = main.first; i <= main.last; ++i) {
        if (s[i].theta >= level) {
            if (i == main.first)
                return s[i].t;
            return s[i - 1].t +
                   (level - s[i - 1].theta) / (s[i].theta - s[i - 1].theta) * (s[i].t - s[i - 1].t);
        }
    }
    return std::nullopt;
}

QString minutes(double v) {
    return decimal(v, 2);
}

// The standards' procedures read each drift over 5 min; a shorter side period is warned of.
constexpr double kRecommendedSide = kRecommendedSideMinutes;
// The halves of the after period may differ in drift by this many standard uncertainties of
// the difference before the temperature counts as still settling; each half's uncertainty is
// the standard error of its slope and one logger step over the half (see slopeUncertainty).
constexpr double kUnsettledSigmas = 4.0;
// The main period should last this many release times, the release time being from 5 % to
// 60 % of the observed rise (a reading of where the heat comes out, not moved by a firing
// limit set early).
constexpr double kReleaseTimes = 4.0;
// The readings' scatter may leave this much of the rise uncertain (one standard uncertainty);
// beyond it the result is no longer good to the 0.5 % an evaluation is held to.
constexpr double kUncertain = 0.005;
// Heat still to come at the end of the main period counts about twice against the corrected
// rise (missing from θc, and taken for drift in the after period); the automatic end leaves
// 0.05 %.
constexpr double kLeftOver = 0.003;
// A given firing limit this far into the rise costs more than a result may be off.
constexpr double kLateRefused = 0.01;

// The standard uncertainty of a drift line's slope over `span` minutes: the standard error the
// scatter gives and, as the readings are whole logger steps, one step over the span (a slow
// drift read in steps is a staircase, whose scatter alone belies how little its slope is
// known).
double slopeUncertainty(const Line& l, double span) {
    return std::hypot(l.slopeError, kResolution / (span * std::sqrt(3.0)));
}

// How the corrected rise depends on what was measured: minutes by which each drift is
// multiplied, and the scatter of the readings about each drift line.
struct Sensitivity {
    double foreMinutes = 0, afterMinutes = 0;
    Line fore, after;
    /// Dickinson: the Regnault-Pfaundler rise of the same periods, to judge it by.
    std::optional<double> otherRise;
};

QStringList plausibility(std::span<const Sample> s, Range fore, Range main, Range after,
                         Result& r, const Sensitivity& k) {
    QStringList w;
    const double foreSpan = s[fore.last].t - s[fore.first].t;
    const double afterSpan = s[after.last].t - s[after.first].t;
    // What each drift's uncertainty puts into the corrected rise (K).
    const double foreTerm = k.foreMinutes * slopeUncertainty(k.fore, foreSpan);
    const double afterTerm = k.afterMinutes * slopeUncertainty(k.after, afterSpan);
    // A period lasts as many reading intervals as it has readings: 60 readings 5 s apart are
    // the 5 min the standards ask for. A shorter one is told of when its drift is known too
    // poorly to leave the result within its target (half of it from that drift alone).
    const auto lasting = [](double span, int count) { return count > 1 ? span * count / (count - 1) : 0.0; };
    const double sideLimit = 0.5 * kUncertain * r.riseCorrected;
    if (lasting(foreSpan, fore.count()) < kRecommendedSide - 1e-6 && foreTerm > sideLimit)
        w << QStringLiteral("O período inicial tem só %1 min; o recomendado é pelo menos 5 min.")
                 .arg(minutes(lasting(foreSpan, fore.count())));
    if (lasting(afterSpan, after.count()) < kRecommendedSide - 1e-6 && afterTerm > sideLimit)
        w << QStringLiteral("O período final tem só %1 min; o recomendado é pelo menos 5 min.")
                 .arg(minutes(lasting(afterSpan, after.count())));

    const double mid = 0.5 * (s[after.first].t + s[after.last].t);
    const Range first = rangeOf(s, s[after.first].t, mid);
    Range second = rangeOf(s, mid, s[after.last].t);
    if (second.first <= first.last)
        second.first = first.last + 1;
    if (first.count() >= 3 && second.count() >= 3) {
        const Line l1 = fitLine(s, first), l2 = fitLine(s, second);
        const double limit = kUnsettledSigmas *
                             std::hypot(slopeUncertainty(l1, s[first.last].t - s[first.first].t),
                                        slopeUncertainty(l2, s[second.last].t - s[second.first].t));
        if (std::abs(l2.slope - l1.slope) > limit)
            w << QStringLiteral("A deriva do período final não está estável: %1 K/min na primeira "
                                "metade e %2 K/min na segunda (diferença acima de %3 K/min); a "
                                "temperatura pode ainda não ter se estabilizado.")
                     .arg(decimal(l1.slope, 4))
                     .arg(decimal(l2.slope, 4))
                     .arg(decimal(limit, 4));
    }

    // The standard uncertainty of the corrected rise from the scatter of the readings: θa and
    // θc are single readings, and each drift carries the uncertainty of its slope. Dickinson's
    // assumption (the exchange splits at the 60 % point) adds what it differs from
    // Regnault-Pfaundler, which follows the exchange reading by reading.
    const double assumption = r.method == Method::Dickinson && k.otherRise ? r.riseCorrected - *k.otherRise : 0.0;
    const double u = std::sqrt(std::pow(k.fore.rms, 2) + std::pow(k.after.rms, 2) + std::pow(foreTerm, 2) +
                               std::pow(afterTerm, 2) + std::pow(assumption, 2));
    r.uncertainty = u;
    // Told once, by what dominates it: Dickinson's assumption, or the readings.
    if (std::abs(assumption) > kUncertain * r.riseCorrected)
        w << QStringLiteral("A correção de troca de calor de Dickinson (%1 K) leva a uma elevação %2 % "
                            "diferente da de Regnault-Pfaundler; acima de 0,5 % a suposição de Dickinson "
                            "sobre a troca de calor não vale para este ensaio e o método de "
                            "Regnault-Pfaundler é preferível.")
                 .arg(decimal(r.riseObserved - r.riseCorrected, 4))
                 .arg(decimal(100 * std::abs(assumption) / r.riseCorrected, 2));
    else if (u > kUncertain * r.riseCorrected)
        w << QStringLiteral("A incerteza estimada da elevação corrigida é de %1 % (%2 K), pelo "
                            "ruído das leituras e das derivas; acima de 0,5 % o resultado não "
                            "tem a exatidão esperada.")
                 .arg(decimal(100 * u / r.riseCorrected, 2))
                 .arg(decimal(u, 4));

    const detail::Release rel = detail::traceRelease(s, main.first, k.fore, k.after, after);
    if (rel.status == detail::Release::Status::Ok) {
        const double left = rel.leftAt(r.tc);
        if (left > kLeftOver)
            w << QStringLiteral("Cerca de %1 % do calor da combustão ainda não tinha sido "
                                "liberado no fim do período principal (%2 min); acima de 0,3 % "
                                "a elevação corrigida sai baixa e o período principal deve "
                                "terminar mais tarde.")
                     .arg(decimal(100 * left, left < 0.1 ? 2 : 0))
                     .arg(minutes(r.tc));
    }

    const double observed = r.thetaC - r.thetaA;
    const auto t05 = levelTime(s, main, r.thetaA + 0.05 * observed);
    const auto t60 = levelTime(s, main, r.thetaA + 0.6 * observed);
    if (observed > 0 && t05 && t60) {
        const double release = *t60 - *t05, length = r.tc - r.ta;
        if (length < kReleaseTimes * release)
            w << QStringLiteral("O período principal tem só %1 min, menos que 4 vezes o tempo de "
                                "liberação do calor (%2 min, de 5 % a 60 % da elevação); a "
                                "combustão pode não ter terminado no fim dele.")
                     .arg(minutes(length), minutes(release));
    }
    return w;
}

// A firing limit set inside the rise: the share of the rise already reached at it, above the
// line of the fore period without its last minute (which may itself be rising); nothing when
// the fore period is too short to tell.
std::optional<double> lateFiring(std::span<const Sample> s, Range fore, const Result& r) {
    Range early = rangeOf(s, s[fore.first].t, s[fore.last].t - 1.0);
    if (early.count() < 3 && fore.count() >= 5)
        early = Range{fore.first, fore.last - 2};
    if (early.count() < 3)
        return std::nullopt;
    const Line line = fitLine(s, early);
    const double band = std::max(2 * kResolution, 4 * line.rms);
    const double excess = s[fore.last].theta - line.at(s[fore.last].t);
    if (!(excess > band))
        return std::nullopt;
    return excess / r.riseCorrected;
}

} // namespace

QString methodKey(Method m) {
    switch (m) {
    case Method::RegnaultPfaundler:
        return QStringLiteral("regnault-pfaundler");
    case Method::Dickinson:
        return QStringLiteral("dickinson");
    }
    return {};
}

std::optional<Method> methodFromKey(QStringView key) {
    for (Method m : {Method::RegnaultPfaundler, Method::Dickinson})
        if (key == methodKey(m))
            return m;
    return std::nullopt;
}

std::optional<Periods> detectPeriods(std::span<const Sample> samples, QString* why) {
    if (const QString bad = checkSamples(samples); !bad.isEmpty()) {
        if (why)
            *why = bad;
        return std::nullopt;
    }
    return detail::detectChecked(samples, why);
}

std::optional<double> parseDecimal(QStringView text) {
    static const QRegularExpression form(
        QStringLiteral("^[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)([eE][+-]?\\d+)?$"));
    QString t = text.trimmed().toString();
    if (!form.match(t).hasMatch())
        return std::nullopt;
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

Outcome evaluate(std::span<const Sample> s, Method method, std::optional<Periods> given,
                 const Calorimetry& cal, bool loggerScale) {
    const auto refuse = [](const QString& text) { return Outcome{std::nullopt, text}; };
    if (const QString bad = checkSamples(s); !bad.isEmpty())
        return refuse(bad);

    Result r;
    r.method = method;
    r.automatic = !given;
    const std::vector<detail::OddReading> odd = detail::oddReadings(s, loggerScale);
    // Readings that are no temperatures make no firing: a reading dropped to 20 °C would rise
    // back like one.
    std::vector<Sample> kept;
    kept.reserve(s.size());
    for (std::size_t i = 0, k = 0; i < s.size(); ++i) {
        while (k < odd.size() && odd[k].index < i)
            ++k;
        if (k == odd.size() || odd[k].index != i || odd[k].kind == detail::OddReading::Kind::HighEnd)
            kept.push_back(s[i]);
    }
    const std::vector<double> firings = detail::firingTimes(kept);
    if (!given && firings.size() >= 2) {
        QStringList times;
        for (const double f : firings)
            times << minutes(f);
        return refuse(QStringLiteral("O ensaio mostra mais de uma queima (subidas a partir de %1 min); os períodos "
                                     "automáticos juntariam as duas. Dê os períodos de uma delas (A a D) para avaliá-la.")
                          .arg(times.join(QStringLiteral(", "))));
    }
    if (given) {
        const Periods& p = *given;
        if (!(std::isfinite(p.a) && std::isfinite(p.b) && std::isfinite(p.c) &&
              std::isfinite(p.d) && p.a < p.b && p.b < p.c && p.c < p.d))
            return refuse(QStringLiteral(
                "Os tempos dos períodos devem ser números válidos em ordem crescente "
                "(A < B < C < D)."));
        r.periods = p;
    } else {
        QString why;
        // Found on the readings that are temperatures; those that are not are judged below by
        // where they fall.
        const auto found = detail::detectChecked(kept, &why);
        // Readings that are no temperatures are the cause, when there are any.
        if (!found)
            return refuse(odd.empty() ? why : detail::describe(s, odd.front(), {}));
        r.periods = *found;
    }

    const Range fore = rangeOf(s, r.periods.a, r.periods.b);
    const Range main = rangeOf(s, r.periods.b, r.periods.c);
    const Range after = rangeOf(s, r.periods.c, r.periods.d);
    r.countFore = fore.count();
    r.countMain = main.count();
    r.countAfter = after.count();
    if (r.countFore < 3)
        return refuse(tooFew("inicial", 3, r.countFore));
    if (r.countMain < 2)
        return refuse(tooFew("principal", 2, r.countMain));
    if (r.countAfter < 3)
        return refuse(tooFew("final", 3, r.countAfter));

    // A reading that is not a temperature inside the periods would be taken as one; outside
    // them it only says the run is worth a look.
    QStringList oddOutside;
    for (const detail::OddReading& o : odd) {
        const QString where = o.index >= fore.first && o.index <= fore.last   ? QStringLiteral(" no período inicial")
                              : o.index >= main.first && o.index <= main.last ? QStringLiteral(" no período principal")
                              : o.index >= after.first && o.index <= after.last ? QStringLiteral(" no período final")
                                                                               : QString();
        if (!where.isEmpty())
            return refuse(detail::describe(s, o, where));
        if (oddOutside.isEmpty())
            oddOutside << detail::describe(s, o, QStringLiteral(" fora dos períodos usados"));
    }
    // Another firing inside the periods given would be taken for drift or for this one's heat.
    for (const double f : firings)
        if (f >= r.periods.a - kPeriodTolerance && f <= r.periods.d + kPeriodTolerance &&
            (f < r.periods.b - 1.5 || f > r.periods.c))
            return refuse(QStringLiteral("Há outra queima aos %1 min dentro dos períodos dados (%2 a %3 min), fora do "
                                         "período principal; dê períodos que terminem antes dela ou comecem depois.")
                              .arg(minutes(f),
                                   minutes(r.periods.a),
                                   minutes(r.periods.d)));

    const Line foreLine = fitLine(s, fore);
    const Line afterLine = fitLine(s, after);
    r.driftFore = foreLine.slope;
    r.meanFore = foreLine.thetaMean;
    r.driftAfter = afterLine.slope;
    r.meanAfter = afterLine.thetaMean;
    r.ta = s[main.first].t;
    r.thetaA = s[main.first].theta;
    r.tc = s[main.last].t;
    r.thetaC = s[main.last].theta;
    r.riseObserved = r.thetaC - r.thetaA;
    const double length = r.tc - r.ta;
    Sensitivity sens{0, 0, foreLine, afterLine, std::nullopt};

    // Regnault-Pfaundler: the minutes of the main period spent, by temperature, at the after
    // period's drift; nothing when the two side periods sit at one temperature (below this
    // the drifts cannot be told apart by temperature).
    const auto minutesAtAfter = [&]() -> std::optional<double> {
        const double spread = r.meanAfter - r.meanFore;
        if (std::abs(spread) < 1e-9)
            return std::nullopt;
        double integral = 0;
        for (std::size_t i = main.first + 1; i <= main.last; ++i)
            integral += 0.5 * (s[i].theta + s[i - 1].theta) * (s[i].t - s[i - 1].t);
        return (integral - length * r.meanFore) / spread;
    };
    const auto pfaundlerRise = [&](double atAfter) {
        return r.riseObserved - (length * r.driftFore + (r.driftAfter - r.driftFore) * atAfter);
    };
    switch (method) {
    case Method::RegnaultPfaundler: {
        const auto atAfter = minutesAtAfter();
        if (!atAfter)
            return refuse(QStringLiteral(
                "As temperaturas médias dos períodos inicial e final são iguais; o método de "
                "Regnault-Pfaundler não se aplica."));
        sens.foreMinutes = length - *atAfter;
        sens.afterMinutes = *atAfter;
        r.riseCorrected = pfaundlerRise(*atAfter);
        break;
    }
    case Method::Dickinson: {
        // A rounding above θc leaves no reading at the level: the last one.
        const double b = levelTime(s, main, r.thetaA + 0.6 * (r.thetaC - r.thetaA)).value_or(r.tc);
        r.b = b;
        r.riseCorrected = r.riseObserved - r.driftFore * (b - r.ta) - r.driftAfter * (r.tc - b);
        sens.foreMinutes = b - r.ta;
        sens.afterMinutes = r.tc - b;
        if (const auto atAfter = minutesAtAfter())
            sens.otherRise = pfaundlerRise(*atAfter);
        break;
    }
    }

    if (!std::isfinite(r.riseCorrected) || !std::isfinite(r.driftFore) ||
        !std::isfinite(r.driftAfter))
        return refuse(QStringLiteral("A elevação corrigida de temperatura não é um número finito; "
                                     "os dados do ensaio não permitem avaliá-lo."));
    if (!(r.riseCorrected > 0))
        return refuse(QStringLiteral("A elevação corrigida de temperatura não é positiva; "
                                     "o ensaio não pode ser avaliado."));
    // Less than this is no firing: a few logger steps of drift or noise.
    if (r.riseCorrected < 20 * kResolution)
        return refuse(QStringLiteral("A elevação corrigida de temperatura (%1 K) é menor que 20 "
                                     "passos do registrador (%2 K); o ensaio não mostra uma "
                                     "queima clara.")
                          .arg(decimal(r.riseCorrected, 4))
                          .arg(decimal(20 * kResolution, 4)));
    r.warnings = plausibility(s, fore, main, after, r, sens);
    if (given) {
        const auto late = lateFiring(s, fore, r);
        if (late && *late > kLateRefused)
            return refuse(QStringLiteral("O limite da queima dado (B = %1 min) está dentro da subida: a temperatura já "
                                         "tinha subido cerca de %2 % da elevação acima da linha do período inicial, "
                                         "calor que o resultado perderia. Dê um B antes da subida.")
                              .arg(minutes(r.periods.b))
                              .arg(decimal(100 * *late, 1)));
        if (late && *late > kLeftOver)
            r.warnings << QStringLiteral("O limite da queima dado (B = %1 min) parece estar no começo da subida: cerca de "
                                         "%2 % da elevação já tinha ocorrido; o resultado pode sair baixo nessa medida.")
                              .arg(minutes(r.periods.b))
                              .arg(decimal(100 * *late, 1));
    }
    r.warnings << oddOutside;
    if (cal.mode == Calorimetry::Mode::None)
        return {r, {}};
    if (!(std::isfinite(cal.mass) && cal.mass > 0))
        return refuse(QStringLiteral("A massa deve ser um número positivo."));
    if (!(std::isfinite(cal.fuse) && std::isfinite(cal.acid) && std::isfinite(cal.sulfur) && std::isfinite(cal.aid)))
        return refuse(QStringLiteral(
            "As correções do fio, do ácido, do enxofre e do auxiliar de combustão devem ser números válidos."));
    const double corrections = cal.fuse + cal.acid + cal.sulfur + cal.aid;
    if (cal.mode == Calorimetry::Mode::Calibration) {
        if (!(std::isfinite(cal.heatOfCombustion) && cal.heatOfCombustion > 0))
            return refuse(
                QStringLiteral("O calor de combustão do padrão deve ser um número positivo."));
        r.energyEquivalent = (cal.mass * cal.heatOfCombustion + corrections) / r.riseCorrected;
        if (!(std::isfinite(*r.energyEquivalent) && *r.energyEquivalent > 0))
            return refuse(
                QStringLiteral("O equivalente energético calculado (%1 J/K) não é um número "
                               "positivo; confira a massa, o calor de combustão e as correções.")
                    .arg(*r.energyEquivalent, 0, 'g', 6));
    } else {
        if (!(std::isfinite(cal.energyEquivalent) && cal.energyEquivalent > 0))
            return refuse(QStringLiteral("O equivalente energético deve ser um número positivo."));
        r.energyEquivalent = cal.energyEquivalent;
        r.grossCalorificValue = (cal.energyEquivalent * r.riseCorrected - corrections) / cal.mass;
        if (!std::isfinite(*r.grossCalorificValue))
            return refuse(
                QStringLiteral("O poder calorífico não é um número finito; confira a massa, "
                               "o equivalente energético e as correções."));
    }
    return {r, {}};
}

} // namespace eval
