// What a run's readings can say against themselves before any period is read from them: the
// ends of the logger's scale, a reading that leaves the curve alone, a second firing.
#include "evaluation/readingchecks.h"

#include "evaluation/fit.h"

#include <algorithm>
#include <cmath>

namespace eval::detail {

namespace {

// A reading this far from both its neighbours, which agree with each other, is no temperature
// the bucket had: water cannot jump and come back in ten seconds.
constexpr double kWildStep = 20 * kResolution;

QString at(double t) { return decimal(t, 2); }
QString celsius(double v) { return decimal(v, 3); }

} // namespace

std::vector<OddReading> oddReadings(std::span<const Sample> s, bool loggerScale) {
    std::vector<OddReading> out;
    const std::size_t n = s.size();
    std::vector<bool> taken(n, false);
    auto add = [&](std::size_t i, OddReading::Kind k) {
        if (!taken[i])
            out.push_back({i, k});
        taken[i] = true;
    };
    // Isolated readings first: a lone one at a scale's end is named for what it is.
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const double up = s[i].theta - s[i - 1].theta, down = s[i].theta - s[i + 1].theta;
        // Neighbours a reading interval away (5 s, a few for a slow logger): no bucket moves so.
        if (s[i + 1].t - s[i - 1].t <= 0.25 && std::abs(up) > kWildStep && std::abs(down) > kWildStep && (up > 0) == (down > 0) &&
            std::abs(s[i + 1].theta - s[i - 1].theta) < 0.5 * kWildStep)
            add(i, OddReading::Kind::Wild);
    }
    // The lower end: raw 0 reads 20 °C whatever lies below it.
    for (std::size_t i = 0; loggerScale && i < n; ++i)
        if (s[i].theta <= kScaleLow + 1e-9)
            add(i, OddReading::Kind::LowEnd);
    // The upper end: the curve held flat at its highest value where it was still climbing. On
    // the 10-bit scale that value is 25 °C and two readings there are enough; on any scale a
    // run of three equal highest readings reached by a climb of several steps a reading is
    // the converter's top, not a peak (a natural peak rounds off a step at a time).
    if (loggerScale && n >= 2) {
        const double top = std::max_element(s.begin(), s.end(), [](const Sample& a, const Sample& b) {
                               return a.theta < b.theta;
                           })->theta;
        for (std::size_t i = 1; i < n; ++i) {
            if (s[i].theta != top || s[i - 1].theta == top)
                continue;
            std::size_t j = i;
            while (j + 1 < n && s[j + 1].theta == top)
                ++j;
            const std::size_t run = j - i + 1;
            const bool scaleTop = top >= kScaleHigh - 1e-9 && run >= 2;
            const bool cutOff = run >= 3 && s[i].theta - s[i - 1].theta >= 3 * kResolution - 1e-12;
            if (scaleTop || cutOff)
                for (std::size_t k = i; k <= j; ++k)
                    add(k, OddReading::Kind::HighEnd);
        }
    }
    std::sort(out.begin(), out.end(), [](const OddReading& a, const OddReading& b) { return a.index < b.index; });
    return out;
}

QString describe(std::span<const Sample> s, const OddReading& o, const QString& where) {
    const Sample& r = s[o.index];
    switch (o.kind) {
    case OddReading::Kind::Wild:
        return QStringLiteral("Há uma leitura isolada fora da curva%1: %2 °C aos %3 min, entre leituras de %4 °C; é um "
                              "defeito da leitura, não uma temperatura do ensaio.")
            .arg(where, celsius(r.theta), at(r.t), celsius(s[o.index - 1].theta));
    case OddReading::Kind::LowEnd:
        return QStringLiteral("Há leituras no limite inferior do registrador (%1 °C)%2, a primeira aos %3 min: a "
                              "temperatura real pode ter estado abaixo do limite.")
            .arg(celsius(kScaleLow), where, at(r.t));
    case OddReading::Kind::HighEnd:
        return QStringLiteral("Há leituras no limite superior do registrador (%1 °C)%2, a primeira aos %3 min: a "
                              "temperatura real pode ter passado do limite.")
            .arg(celsius(r.theta), where, at(r.t));
    }
    return {};
}

std::vector<double> firingTimes(std::span<const Sample> s) {
    const std::size_t n = s.size();
    // Readings a minute or more apart cannot tell a firing's minute from its neighbours.
    if (n < 3)
        return {};
    std::vector<double> gaps;
    for (std::size_t i = 1; i < n; ++i)
        gaps.push_back(s[i].t - s[i - 1].t);
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    if (gaps[gaps.size() / 2] > 0.25)
        return {};
    std::vector<double> rise(n, 0.0);
    double steepest = 0;
    for (std::size_t i = 0, j = 0; i < n; ++i) {
        while (j + 1 < n && s[j + 1].t <= s[i].t + 1.0 + kPeriodTolerance)
            ++j;
        rise[i] = s[j].theta - s[i].theta;
        steepest = std::max(steepest, rise[i]);
    }
    // A firing raises the bucket by a tenth of the steepest minute or more within a minute, and
    // at least by a clear firing's 20 steps; the drift of a settled bucket never does. Two
    // such minutes belong to separate firings when the bucket settled for 2 min between them.
    const double threshold = std::max(20 * kResolution, 0.1 * steepest);
    std::vector<double> out;
    double lastSteep = -1e300;
    for (std::size_t i = 0; i < n; ++i) {
        if (rise[i] < threshold)
            continue;
        if (s[i].t - lastSteep > 2.0 + kPeriodTolerance)
            out.push_back(s[i].t);
        lastSteep = s[i].t + 1.0;
    }
    return out;
}

} // namespace eval::detail
