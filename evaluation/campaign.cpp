#include "evaluation/campaign.h"

#include "evaluation/synthetic.h"

#include <algorithm>
#include <cmath>

namespace eval::campaign {

namespace {

constexpr double kStep = 5.0 / 60.0; // min between readings
// A firing found later than the true one by less than this (0.06 s) loses no heat that a
// reading could show.
constexpr double kLate = 1e-3;
// The run stays this many raw steps inside the logger's range, noise included.
constexpr double kMargin = 3;

SyntheticRun model(const RunShape& s, double theta0) {
    SyntheticRun r;
    r.theta0 = theta0;
    r.jacket = theta0 + s.offset;
    r.k = s.k;
    r.firing = s.fore;
    r.rise = s.rise;
    r.tau = s.tau;
    r.quantise = false;
    return r;
}

double duration(const RunShape& s) {
    return s.fore + s.tau * std::log(1000.0) + s.after;
}

} // namespace

std::uint64_t Random::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Random::uniform(double lo, double hi) {
    return lo + (hi - lo) * double(next() >> 11) * 0x1.0p-53;
}

RunShape drawShape(Random& rng, const Ranges& g, Reading reading) {
    for (;;) {
        RunShape s;
        s.rise = rng.uniform(g.riseMin, g.riseMax);
        s.offset = rng.uniform(-g.offsetMax, g.offsetMax);
        s.k = rng.uniform(g.kMin, g.kMax);
        s.tau = rng.uniform(g.tauMin, g.tauMax);
        s.fore = rng.uniform(g.foreMin, g.foreMax);
        s.after = rng.uniform(g.afterMin, g.afterMax);
        s.reading = reading;
        s.seed = rng.next();
        // The curve less θ0 does not depend on θ0 (the jacket moves with it): its extremes
        // tell where θ0 may lie.
        const SyntheticRun shape = model(s, 0.0);
        double lo = 0, hi = 0;
        for (double t = 0; t <= duration(s) + 1e-9; t += kStep) {
            const double v = syntheticTheta(shape, t);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        const double margin = kMargin * kResolution;
        const double from = 20.0 + margin - lo, to = 25.0 - margin - hi;
        if (from < to) {
            s.theta0 = rng.uniform(from, to);
            return s;
        }
    }
}

Run makeRun(const RunShape& s) {
    Run run;
    run.shape = s;
    Random noise(s.seed);
    const SyntheticRun r = model(s, s.theta0);
    const double end = duration(s);
    for (int i = 0;; ++i) {
        const double t = i * kStep;
        if (t > end + 1e-9)
            break;
        const double exact = syntheticTheta(r, t);
        if (s.reading == Reading::Exact) {
            run.samples.push_back({t, exact});
            continue;
        }
        double raw = (exact - 20.0) * 1023.0 / 5.0;
        if (s.reading == Reading::Noisy)
            raw += noise.uniform(-1.0, 1.0);
        const int step = std::clamp(int(std::floor(raw)), 0, 1023);
        run.samples.push_back({t, rawCelsius(step)});
    }
    return run;
}

RunResult evaluateRun(const Run& run) {
    RunResult out;
    out.shape = run.shape;
    for (int m = 0; m < 2; ++m) {
        const Outcome o =
            evaluate(run.samples, m == 0 ? Method::RegnaultPfaundler : Method::Dickinson);
        Score& sc = out.scores[m];
        if (!o.ok()) {
            sc.refused = true;
            sc.error = o.error;
            continue;
        }
        const Result& r = *o.result;
        sc.warnings = r.warnings;
        sc.errorPercent = (r.riseCorrected - run.shape.rise) / run.shape.rise * 100.0;
        sc.firingOffset = r.periods.b - run.shape.fore;
        sc.uncertaintyPercent = r.uncertainty / r.riseCorrected * 100.0;
        // As long as its readings last: 60 readings 5 s apart are 5 min.
        sc.afterSpan = r.countAfter > 1 ? (r.periods.d - r.periods.c) * r.countAfter / (r.countAfter - 1) : 0.0;
    }
    return out;
}

Spread spreadOf(std::vector<double> v) {
    Spread s;
    s.count = int(v.size());
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    // Nearest rank: the smallest value with at least p of the values at or below it.
    const auto rank = [&](double p) {
        const auto k = std::size_t(std::ceil(p * double(v.size())));
        return v[std::max<std::size_t>(k, 1) - 1];
    };
    s.median = rank(0.5);
    s.p95 = rank(0.95);
    s.max = v.back();
    return s;
}

Summary runCampaign(std::uint64_t seed, int runs, Reading reading, const Ranges& ranges,
                    std::vector<RunResult>* all) {
    Summary sum;
    sum.runs = runs;
    Random rng(seed);
    std::array<std::vector<double>, 2> full, plain;
    bool firstFound = true;
    for (int i = 0; i < runs; ++i) {
        const Run run = makeRun(drawShape(rng, ranges, reading));
        const RunResult res = evaluateRun(run);
        QString why;
        if (const auto p = detectPeriods(run.samples, &why)) {
            const double off = p->b - run.shape.fore;
            ++sum.firingFound;
            if (std::abs(off) <= 0.5)
                ++sum.firingWithin;
            if (off > kLate)
                ++sum.firingLate;
            sum.firingOffsetMin = firstFound ? off : std::min(sum.firingOffsetMin, off);
            sum.firingOffsetMax = firstFound ? off : std::max(sum.firingOffsetMax, off);
            firstFound = false;
        }
        for (int m = 0; m < 2; ++m) {
            const Score& sc = res.scores[m];
            MethodSummary& ms = sum.methods[m];
            ++ms.runs;
            if (sc.refused) {
                ++ms.refused;
                continue;
            }
            const double err = std::abs(sc.errorPercent);
            const bool fullAfter = sc.afterSpan >= 5.0 - 1e-6;
            if (fullAfter)
                full[m].push_back(err);
            if (!sc.warnings.isEmpty()) {
                ++ms.warned;
                continue;
            }
            ++ms.plain;
            plain[m].push_back(err);
            if (err > 1.5)
                ++ms.plainBeyond;
            if (err > 1.0)
                ++ms.plainBeyondOne;
            if (!fullAfter)
                ++ms.shortAfterPlain;
        }
        if (all)
            all->push_back(res);
    }
    for (int m = 0; m < 2; ++m) {
        sum.methods[m].fullAfter = spreadOf(full[m]);
        sum.methods[m].plainRuns = spreadOf(plain[m]);
    }
    return sum;
}

} // namespace eval::campaign
