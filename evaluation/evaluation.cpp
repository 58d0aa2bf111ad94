#include "evaluation/evaluation.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <vector>

namespace eval {

namespace {

const QString kNoMainPeriod =
    QStringLiteral("Não foi possível identificar o período principal do ensaio.");

// Index range [first, last] of the samples in [lo, hi]; empty when last < first.
struct Range {
    std::size_t first = 0, last = 0;
    int count() const { return last >= first ? int(last - first + 1) : 0; }
};

Range rangeOf(std::span<const Sample> s, double lo, double hi) {
    const auto begin = std::lower_bound(s.begin(), s.end(), lo - kPeriodTolerance,
                                        [](const Sample& x, double v) { return x.t < v; });
    const auto end = std::upper_bound(s.begin(), s.end(), hi + kPeriodTolerance,
                                      [](double v, const Sample& x) { return v < x.t; });
    if (end <= begin)
        return {1, 0};
    return {std::size_t(begin - s.begin()), std::size_t(end - s.begin()) - 1};
}

// Least-squares line of θ on t; two passes about the means so that late times (hundreds of
// minutes) cost no precision.
struct Line {
    double slope = 0, tMean = 0, thetaMean = 0;
    double at(double t) const { return thetaMean + slope * (t - tMean); }
};

Line fitLine(std::span<const Sample> s, Range r) {
    Line l;
    const double n = r.count();
    for (std::size_t i = r.first; i <= r.last; ++i) {
        l.tMean += s[i].t;
        l.thetaMean += s[i].theta;
    }
    l.tMean /= n;
    l.thetaMean /= n;
    double stt = 0, stq = 0;
    for (std::size_t i = r.first; i <= r.last; ++i) {
        const double dt = s[i].t - l.tMean;
        stt += dt * dt;
        stq += dt * (s[i].theta - l.thetaMean);
    }
    l.slope = stt > 0 ? stq / stt : 0.0;
    return l;
}

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

// Time at which the sample curve first comes down to `level` of the remaining rise, searching
// forward from `from`; linear between the samples around the crossing.
template <typename Remaining>
std::optional<double> firstCrossing(std::span<const Sample> s, std::size_t from, double level,
                                    Remaining remaining) {
    double prev = remaining(from);
    if (prev <= level)
        return s[from].t;
    for (std::size_t i = from + 1; i < s.size(); ++i) {
        const double cur = remaining(i);
        if (cur <= level)
            return s[i - 1].t + (prev - level) / (prev - cur) * (s[i].t - s[i - 1].t);
        prev = cur;
    }
    return std::nullopt;
}

std::optional<Periods> detectChecked(std::span<const Sample> s, QString* why) {
    const auto refuse = [why](const QString& text) -> std::optional<Periods> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    const std::size_t n = s.size();
    if (n < 8)
        return refuse(kNoMainPeriod);

    // 1. The steepest minute. A clear rise stands well above the run's typical minute, so a
    //    steady drift, however fast, is not taken for one.
    std::vector<double> rise(n);
    std::size_t steep = 0;
    for (std::size_t i = 0, j = 0; i < n; ++i) {
        while (j + 1 < n && s[j + 1].t <= s[i].t + 1.0 + kPeriodTolerance)
            ++j;
        rise[i] = s[j].theta - s[i].theta;
        if (rise[i] > rise[steep])
            steep = i;
    }
    const double steepest = rise[steep];
    std::nth_element(rise.begin(), rise.begin() + n / 2, rise.end());
    const double typical = rise[n / 2];
    if (!(steepest - typical >= 20 * kResolution))
        return refuse(kNoMainPeriod);

    // 2. The firing. The curve departs from the fore period's drift line where, going back
    //    from the steepest minute, it first comes within a few resolution steps of it; a
    //    rise that sets in gently has already begun there, so the firing is the last sample
    //    before that still within one step of the line. The line is fitted again up to the
    //    firing found, in case the fit window reached into the rise.
    const double tSteep = s[steep].t;
    Range fore = rangeOf(s, tSteep - 6.0, tSteep - 1.0);
    if (fore.count() < 3)
        fore = steep >= 3 ? Range{steep >= 12 ? steep - 12 : 0, steep - 1} : Range{1, 0};
    if (fore.count() < 3)
        return refuse(QStringLiteral("Não há amostras suficientes antes da queima."));
    Line foreLine = fitLine(s, fore);
    std::size_t iB = 0;
    for (int pass = 0;; ++pass) {
        const auto above = [&](std::size_t j) { return s[j].theta - foreLine.at(s[j].t); };
        std::size_t departed = fore.first;
        for (std::size_t j = steep + 1; j-- > fore.first;) {
            if (above(j) <= 3 * kResolution) {
                departed = j;
                break;
            }
        }
        iB = departed;
        for (std::size_t j = departed + 1; j-- > fore.first;) {
            if (above(j) <= kResolution) {
                iB = j;
                break;
            }
        }
        const Range refit = rangeOf(s, s[iB].t - 5.0, s[iB].t);
        if (pass == 1 || refit.count() < 3)
            break;
        foreLine = fitLine(s, refit);
    }
    if (rangeOf(s, s[0].t, s[iB].t).count() < 3)
        return refuse(QStringLiteral("Não há amostras suficientes antes da queima."));

    // 3. The end of the main period. The release of heat dies away geometrically; its decay
    //    rate, read between 30 % and 10 % of the rise left (far above the logger's
    //    resolution), tells when what is left falls to 0.05 %, which the resolution could not
    //    show directly. What is left then counts about twice against the corrected rise
    //    (missing from θc, and taken for drift in the after period), hence so little. The
    //    remaining rise is measured against the after period's drift line: first fitted on
    //    the end of the run, then on the after period found, until the end stays put.
    const double tLast = s[n - 1].t;
    Range tail = rangeOf(s, std::max(tSteep + 0.5 * (tLast - tSteep), tLast - 5.0), tLast);
    std::optional<std::size_t> iC;
    const QString endsEarly =
        QStringLiteral("O ensaio termina antes de a temperatura se estabilizar após a queima.");
    for (int pass = 0; pass < 4; ++pass) {
        if (tail.count() < 3)
            return refuse(endsEarly);
        const Line after = fitLine(s, tail);
        const double total = after.at(tSteep) - foreLine.at(tSteep);
        if (!(total >= 20 * kResolution))
            return refuse(kNoMainPeriod);
        const auto remaining = [&](std::size_t i) {
            return (after.at(s[i].t) - s[i].theta) / total;
        };
        const auto t30 = firstCrossing(s, iB, 0.3, remaining);
        const auto t10 = firstCrossing(s, iB, 0.1, remaining);
        if (!t30 || !t10)
            return refuse(endsEarly);
        const double decay = (*t10 - *t30) / std::log(3.0);
        const double settled = *t10 + decay * std::log(0.1 / 0.0005);
        std::size_t c = rangeOf(s, settled, tLast).first;
        if (settled > tLast + kPeriodTolerance || c + 3 > n)
            return refuse(endsEarly);
        c = std::max(c, iB + 1);
        if (iC && *iC == c)
            break;
        iC = c;
        tail = rangeOf(s, s[c].t, s[c].t + 5.0);
    }

    return Periods{std::max(s[0].t, s[iB].t - 5.0), s[iB].t, s[*iC].t,
                   std::min(tLast, s[*iC].t + 5.0)};
}

} // namespace

QString methodKey(Method m) {
    switch (m) {
    case Method::RegnaultPfaundler: return QStringLiteral("regnault-pfaundler");
    case Method::Dickinson: return QStringLiteral("dickinson");
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
    return detectChecked(samples, why);
}

std::optional<double> parseDecimal(QStringView text) {
    static const QRegularExpression form(QStringLiteral("^[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)([eE][+-]?\\d+)?$"));
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
                 const Calorimetry& cal) {
    const auto refuse = [](const QString& text) { return Outcome{std::nullopt, text}; };
    if (const QString bad = checkSamples(s); !bad.isEmpty())
        return refuse(bad);

    Result r;
    r.method = method;
    r.automatic = !given;
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
        const auto found = detectChecked(s, &why);
        if (!found)
            return refuse(why);
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

    switch (method) {
    case Method::RegnaultPfaundler: {
        const double spread = r.meanAfter - r.meanFore;
        // Below this the drifts cannot be told apart by temperature.
        if (std::abs(spread) < 1e-9)
            return refuse(QStringLiteral(
                "As temperaturas médias dos períodos inicial e final são iguais; o método de "
                "Regnault-Pfaundler não se aplica."));
        double integral = 0;
        for (std::size_t i = main.first + 1; i <= main.last; ++i)
            integral += 0.5 * (s[i].theta + s[i - 1].theta) * (s[i].t - s[i - 1].t);
        const double exchange = length * r.driftFore + (r.driftAfter - r.driftFore) / spread *
                                                           (integral - length * r.meanFore);
        r.riseCorrected = r.riseObserved - exchange;
        break;
    }
    case Method::Dickinson: {
        const double level = r.thetaA + 0.6 * (r.thetaC - r.thetaA);
        double b = r.tc; // a rounding above θc leaves no sample at the level: the last one
        for (std::size_t i = main.first; i <= main.last; ++i) {
            if (s[i].theta >= level) {
                b = i == main.first ? s[i].t
                                    : s[i - 1].t + (level - s[i - 1].theta) /
                                                       (s[i].theta - s[i - 1].theta) *
                                                       (s[i].t - s[i - 1].t);
                break;
            }
        }
        r.b = b;
        r.riseCorrected =
            r.riseObserved - r.driftFore * (b - r.ta) - r.driftAfter * (r.tc - b);
        break;
    }
    }

    if (!std::isfinite(r.riseCorrected) || !std::isfinite(r.driftFore) || !std::isfinite(r.driftAfter))
        return refuse(QStringLiteral("A elevação corrigida de temperatura não é um número finito; "
                                     "os dados do ensaio não permitem avaliá-lo."));
    if (cal.mode == Calorimetry::Mode::None)
        return {r, {}};
    if (!(r.riseCorrected > 0))
        return refuse(QStringLiteral("A elevação corrigida de temperatura não é positiva; "
                                     "o ensaio não pode ser avaliado."));
    if (!(std::isfinite(cal.mass) && cal.mass > 0))
        return refuse(QStringLiteral("A massa deve ser um número positivo."));
    if (!(std::isfinite(cal.fuse) && std::isfinite(cal.acid) && std::isfinite(cal.sulfur)))
        return refuse(QStringLiteral(
            "As correções do fio, do ácido e do enxofre devem ser números válidos."));
    const double corrections = cal.fuse + cal.acid + cal.sulfur;
    if (cal.mode == Calorimetry::Mode::Calibration) {
        if (!(std::isfinite(cal.heatOfCombustion) && cal.heatOfCombustion > 0))
            return refuse(
                QStringLiteral("O calor de combustão do padrão deve ser um número positivo."));
        r.energyEquivalent = (cal.mass * cal.heatOfCombustion + corrections) / r.riseCorrected;
        if (!(std::isfinite(*r.energyEquivalent) && *r.energyEquivalent > 0))
            return refuse(QStringLiteral("O equivalente energético calculado (%1 J/K) não é um número "
                                         "positivo; confira a massa, o calor de combustão e as correções.")
                              .arg(*r.energyEquivalent, 0, 'g', 6));
    } else {
        if (!(std::isfinite(cal.energyEquivalent) && cal.energyEquivalent > 0))
            return refuse(
                QStringLiteral("O equivalente energético deve ser um número positivo."));
        r.energyEquivalent = cal.energyEquivalent;
        r.grossCalorificValue =
            (cal.energyEquivalent * r.riseCorrected - corrections) / cal.mass;
        if (!std::isfinite(*r.grossCalorificValue))
            return refuse(QStringLiteral("O poder calorífico não é um número finito; confira a massa, "
                                         "o equivalente energético e as correções."));
    }
    return {r, {}};
}

} // namespace eval
