#pragma once
// A campaign of random quantised runs with a known answer, to measure how well the automatic
// periods and both methods come back to the true rise, and how often a run is refused or
// warned. Used by a fast test (a small fixed-seed campaign) and by bench/eval_campaign.
//
// Each run: the bucket exchanges heat with a jacket at constant temperature (Newton's law) and
// the combustion releases its heat as a decaying exponential (evaluation/synthetic.h); the
// logger reads whole raw steps, raw = ⌊(θ − 20)·1023/5 (+ noise)⌋, every 5 s. The true
// corrected rise is the rise the release gives without exchange.
#include "evaluation/evaluation.h"

#include <QtGlobal>
#include <array>
#include <cstdint>
#include <vector>

namespace eval::campaign {

/// What a run is drawn from; each quantity uniform between its bounds.
struct Ranges {
    double riseMin = 0.5, riseMax = 4.0;    ///< K
    double offsetMax = 3.0;                 ///< |jacket − bucket at the start|, K
    double kMin = 0.001, kMax = 0.01;       ///< exchange constant, 1/min
    double tauMin = 0.3, tauMax = 2.5;      ///< release time constant, min
    double foreMin = 3.0, foreMax = 10.0;   ///< min of data before the firing
    double afterMin = 3.0, afterMax = 10.0; ///< min of data after the release is over
};

/// How the logger reads the curve: whole raw steps, the same with one step of noise (uniform
/// in ±1 raw step before rounding down), or exactly (to tell the method's own error from the
/// readings').
enum class Reading { Steps, Noisy, Exact };

/// One run's parameters. The release counts as over at 99.9 % (τ·ln 1000 after the firing).
struct RunShape {
    double rise = 0, offset = 0, k = 0, tau = 0, fore = 0, after = 0;
    double theta0 = 0; ///< °C at t = 0, chosen so the run stays inside the logger's range
    Reading reading = Reading::Steps;
    std::uint64_t seed = 0; ///< of the noise
};

struct Run {
    RunShape shape;
    std::vector<Sample> samples;
};

/// A small deterministic generator (SplitMix64), the same on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    double uniform(double lo, double hi); ///< [lo, hi)
private:
    std::uint64_t state_;
};

RunShape drawShape(Random& rng, const Ranges& ranges, Reading reading);
Run makeRun(const RunShape& shape);

/// One method's figures on one run.
struct Score {
    bool refused = false;
    QString error; ///< the reason, when refused
    QStringList warnings;
    double errorPercent = 0; ///< (corrected − true)/true · 100
    double firingOffset = 0; ///< b − true firing, min
    double afterSpan = 0;    ///< min of the after period used
    double uncertaintyPercent = 0; ///< the stated standard uncertainty of the rise, % of it
};

struct RunResult {
    RunShape shape;
    std::array<Score, 2> scores; ///< Regnault-Pfaundler, Dickinson
};

RunResult evaluateRun(const Run& run);

/// Distribution of |error| in percent.
struct Spread {
    int count = 0;
    double median = 0, p95 = 0, max = 0;
};
Spread spreadOf(std::vector<double> absErrors);

/// A campaign's figures for one method.
struct MethodSummary {
    int runs = 0, refused = 0, warned = 0, plain = 0;
    Spread fullAfter;        ///< accepted runs with at least 5 min of after period
    Spread plainRuns;        ///< accepted runs without a warning
    int plainBeyond = 0;     ///< plain runs more than 1.5 % off
    int plainBeyondOne = 0;  ///< plain runs more than 1 % off
    int shortAfterPlain = 0; ///< accepted runs under 5 min of after period with no warning
};

struct Summary {
    int runs = 0;
    int firingFound = 0;  ///< runs whose periods were found
    int firingWithin = 0; ///< … with b within 0.5 min of the true firing
    int firingLate = 0;   ///< … with b after the true firing (by more than 0.06 s)
    double firingOffsetMin = 0, firingOffsetMax = 0;
    std::array<MethodSummary, 2> methods;
};

/// `runs` runs drawn from `seed`, all read the same way; every result kept in `all` when given.
Summary runCampaign(std::uint64_t seed, int runs, Reading reading, const Ranges& ranges = {},
                    std::vector<RunResult>* all = nullptr);

} // namespace eval::campaign
