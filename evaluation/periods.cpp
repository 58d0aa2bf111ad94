// The automatic periods: where the firing is (b) and where the release of heat is over (c).
#include "evaluation/fit.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace eval::detail {

namespace {

const QString kNoMainPeriod =
    QStringLiteral("Não foi possível identificar o período principal do ensaio.");
const QString kTooFewBefore = QStringLiteral("Não há amostras suficientes antes da queima.");
const QString kEndsEarly =
    QStringLiteral("O ensaio termina antes de a temperatura se estabilizar após a queima.");
const QString kNeverSettles = QStringLiteral(
    "A temperatura não se estabiliza após a queima: não foi possível determinar o fim do "
    "período principal.");

// A clear firing raises the bucket by at least this much.
constexpr double kMinRise = 20 * kResolution;
// A departure from the fore line counts as the firing only while this many samples in a row
// stay beyond the noise band: one stray reading or a single logger step is not a firing.
constexpr int kLasting = 4;
// Fewer minutes than this after the end found leave the after drift to a handful of steps.
constexpr double kMinAfterFound = 2.0;
// What is left of the release at the end of the main period (see findEnd).
constexpr double kLeftAtEnd = 0.0005;
// A release is over this long after its steepest minute (7.6 decay times of 2.5 min).
constexpr double kFirstLook = 20.0;
// Passes of the end search before it gives up.
constexpr int kEndPasses = 6;
// The fore and after periods are as long as the data allow up to this. Twice the 5 min of the
// standards' procedures: rounding to whole logger steps puts an error into a drift that falls
// with the length of its period, and the drift of the after period is multiplied by nearly
// the whole main period.
constexpr double kSideMax = 10.0;

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

struct Firing {
    std::size_t index = 0; ///< the last sample before the heat shows
    Line fore;             ///< the fore drift line up to it
};

// The firing. The noise band is set by the scatter of the fore period about its line (at
// least two logger steps, since the readings are whole steps). From a point well up the rise
// the search walks back while the readings stay beyond the band; where they stop is the
// first reading of the lasting departure. A rise that sets in gently may already have begun a
// reading or two before that without leaving the band, so the onset is taken where the first
// readings of the departure, extended back in a straight line, meet the fore line: a release
// that slows as it goes reaches that line at or before the true firing, and a firing taken
// early costs nothing (its drift is corrected like any other) while one taken late loses the
// heat released before it.
std::optional<Firing> findFiring(std::span<const Sample> s, std::size_t steep, double steepest,
                                 QString* why) {
    const auto refuse = [why](const QString& text) -> std::optional<Firing> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    const std::size_t n = s.size();
    const double tSteep = s[steep].t;
    Range window = rangeOf(s, tSteep - 6.0, tSteep - 1.0);
    if (window.count() < 3)
        window = steep >= 3 ? Range{steep >= 12 ? steep - 12 : 0, steep - 1} : Range{1, 0};
    if (window.count() < 3)
        return refuse(kTooFewBefore);

    Firing f;
    f.fore = fitLine(s, window);
    for (int pass = 0; pass < 2; ++pass) {
        const Line& fore = f.fore;
        const auto excess = [&](std::size_t j) { return s[j].theta - fore.at(s[j].t); };
        const double band = std::max(2 * kResolution, 4 * fore.rms);

        std::size_t q = steep;
        while (q + 1 < n && !(excess(q) > std::max(2 * band, 0.25 * steepest)))
            ++q;
        std::size_t j = q;
        while (j > 0 && excess(j - 1) > band)
            --j;
        for (std::size_t i = j; i < j + kLasting; ++i)
            if (i >= n || !(excess(i) > band))
                return refuse(kNoMainPeriod);
        if (j == 0)
            return refuse(kTooFewBefore);

        // The straight line through the departure's first readings (up to half a minute, and
        // while below half the steepest minute's rise, where the release is still nearly
        // straight): where it meets the fore line.
        std::size_t m = j + 1;
        while (m + 1 < n && m + 1 < j + 6 && excess(m + 1) <= 0.5 * steepest)
            ++m;
        double st = 0, se = 0, stt = 0, ste = 0;
        const double cnt = double(m - j + 1);
        for (std::size_t i = j; i <= m; ++i) {
            st += s[i].t;
            se += excess(i);
        }
        st /= cnt;
        se /= cnt;
        for (std::size_t i = j; i <= m; ++i) {
            stt += (s[i].t - st) * (s[i].t - st);
            ste += (s[i].t - st) * (excess(i) - se);
        }
        const double slope = stt > 0 ? ste / stt : 0.0;
        double onset = slope > 0 ? st - se / slope : s[j - 1].t;
        // Half a reading earlier still, for the noise in those readings; never more than half
        // a minute before the departure, beyond which the line says more about the noise than
        // about the firing.
        onset -= 0.5 * (s[j].t - s[j - 1].t);
        onset = std::min(std::max(onset, std::min(s[j].t - 0.5, s[j - 1].t)), s[j - 1].t);
        std::size_t iB = j - 1;
        while (iB > 0 && s[iB].t > onset + kPeriodTolerance)
            --iB;
        f.index = iB;

        // Fitted again up to the firing found, in case the first window reached into the rise
        // or ended well before it.
        const Range refit = rangeOf(s, s[iB].t - kSideMax, s[iB].t);
        if (pass == 1 || refit.count() < 3)
            break;
        f.fore = fitLine(s, refit);
    }
    if (rangeOf(s, s[0].t, s[f.index].t).count() < 3)
        return refuse(kTooFewBefore);
    return f;
}

// The end of the main period. The heat released up to each reading is the rise less the
// exchange with the jacket (traceRelease); it levels off where the release is over, whatever
// the exchange. The release dies away geometrically: its decay time, read between 30 % and
// 10 % of the heat still to come (far above the logger's resolution), tells when what is left
// falls to kLeftAtEnd, which the resolution could not show directly. What is left then counts
// about twice against the corrected rise (missing from θc, and taken for drift in the after
// period), hence so little. The after line is fitted first on the end of the run, then on the
// after period found, until the end stays put. A search that keeps moving, or an end that
// leaves less than kMinAfterFound of data, is refused: the run never settled.
std::optional<std::size_t> findEnd(std::span<const Sample> s, const Firing& f, std::size_t steep,
                                   QString* why) {
    const auto refuse = [why](const QString& text) -> std::optional<std::size_t> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    const std::size_t n = s.size(), iB = f.index;
    const double tLast = s[n - 1].t, tSteep = s[steep].t;
    // The first after line: over the second half of what follows the rise, or its last 5 min,
    // but no later than kFirstLook after it, as a long record drifts far from the firing.
    const double from =
        std::min(std::max(tSteep + 0.5 * (tLast - tSteep), tLast - 5.0), tSteep + kFirstLook);
    Range tail = rangeOf(s, from, std::min(tLast, from + kSideMax));
    std::vector<std::size_t> ends;
    for (int pass = 0; pass < kEndPasses; ++pass) {
        if (tail.count() < 3 || tail.first <= iB)
            return refuse(kEndsEarly);
        const Release rel = traceRelease(s, iB, f.fore, fitLine(s, tail), tail);
        if (rel.status == Release::Status::NoRise)
            return refuse(kNoMainPeriod);
        if (rel.status == Release::Status::LevelsNotReached)
            return refuse(kEndsEarly);
        const double decay = rel.decay;
        const double settled = rel.t10 + decay * std::log(0.1 / kLeftAtEnd);
        if (settled > tLast - kMinAfterFound + kPeriodTolerance)
            return refuse(kEndsEarly);
        const std::size_t c = std::max(rangeOf(s, settled, tLast).first, iB + 1);
        if (tLast - s[c].t < kMinAfterFound - kPeriodTolerance)
            return refuse(kEndsEarly);
        // Settled: an end within a quarter of the decay time of the last one (what is left
        // then differs by less than a third), or one seen before (the search can swing
        // between ends that a few steps of rounding in the after line tell apart): the latest
        // of them is taken.
        const double close = std::max(0.25 * decay, 1.5 * (s[c].t - s[c - 1].t));
        if (!ends.empty() && std::abs(s[c].t - s[ends.back()].t) <= close)
            return std::max(c, ends.back());
        if (const auto seen = std::find(ends.begin(), ends.end(), c); seen != ends.end())
            return *std::max_element(seen, ends.end());
        ends.push_back(c);
        // The after line for the next pass: from the end found, but over at least the last
        // 5 min of the run, since the drift of a shorter stretch is a few steps of rounding
        // (reaching back no more than a decay time, where a trace of the release is left).
        tail = rangeOf(s, std::max(std::min(s[c].t, tLast - 5.0), s[c].t - decay),
                       std::min(tLast, s[c].t + kSideMax));
    }
    return refuse(kNeverSettles);
}

} // namespace

Release traceRelease(std::span<const Sample> s, std::size_t from, const Line& fore,
                     const Line& after, Range tail) {
    Release rel;
    // Newton's law: the drift is linear in the temperature, through the fore and the after
    // lines. When the after period sits about as warm as the fore period that line is ill
    // defined, and the drift is taken instead to go from the fore line's to the after line's
    // in proportion to how far the bucket stands above the fore line.
    const double excessAfter = after.thetaMean - fore.at(after.tMean);
    if (!(excessAfter >= kMinRise) || tail.count() < 1 || tail.first <= from) {
        rel.status = Release::Status::NoRise;
        return rel;
    }
    const double spread = after.thetaMean - fore.thetaMean;
    const bool byTemperature = std::abs(spread) >= 0.2 * excessAfter;
    const auto drift = [&](std::size_t i) {
        const double x = byTemperature ? (s[i].theta - fore.thetaMean) / spread
                                       : (s[i].theta - fore.at(s[i].t)) / excessAfter;
        return fore.slope + (after.slope - fore.slope) * x;
    };
    // Nothing past the tail is needed, however long the record.
    const std::span<const Sample> upTo = s.first(tail.last + 1);
    std::vector<double> released(upTo.size());
    for (std::size_t i = from + 1; i < upTo.size(); ++i)
        released[i] = released[i - 1] + (s[i].theta - s[i - 1].theta) -
                      0.5 * (drift(i) + drift(i - 1)) * (s[i].t - s[i - 1].t);
    for (std::size_t i = tail.first; i <= tail.last; ++i)
        rel.total += released[i];
    rel.total /= tail.count();
    if (!(rel.total >= kMinRise)) {
        rel.status = Release::Status::NoRise;
        return rel;
    }
    const auto remaining = [&](std::size_t i) { return (rel.total - released[i]) / rel.total; };
    const auto t30 = firstCrossing(upTo, from, 0.3, remaining);
    const auto t10 = firstCrossing(upTo, from, 0.1, remaining);
    if (!t30 || !t10 || !(*t10 > *t30)) {
        rel.status = Release::Status::LevelsNotReached;
        return rel;
    }
    rel.t30 = *t30;
    rel.t10 = *t10;
    rel.decay = (*t10 - *t30) / std::log(3.0);
    return rel;
}

std::optional<Periods> detectChecked(std::span<const Sample> s, QString* why) {
    const std::size_t n = s.size();
    if (n < 8) {
        if (why)
            *why = kNoMainPeriod;
        return std::nullopt;
    }

    // The steepest minute. A clear rise stands well above the run's typical minute, so a
    // steady drift, however fast, is not taken for one.
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
    if (!(steepest - typical >= kMinRise)) {
        if (why)
            *why = kNoMainPeriod;
        return std::nullopt;
    }

    const auto firing = findFiring(s, steep, steepest, why);
    if (!firing)
        return std::nullopt;
    const auto end = findEnd(s, *firing, steep, why);
    if (!end)
        return std::nullopt;
    const double tB = s[firing->index].t, tC = s[*end].t;
    return Periods{std::max(s[0].t, tB - kSideMax), tB, tC, std::min(s[n - 1].t, tC + kSideMax)};
}

} // namespace eval::detail
