#include "evaluation/synthetic.h"

#include <algorithm>
#include <cmath>

namespace eval {

namespace {

// (e^x − 1)/x, which stays accurate as x → 0 (k·τ = 1 makes the two rates equal).
double expm1OverX(double x) { return x == 0.0 ? 1.0 : std::expm1(x) / x; }

} // namespace

double syntheticTheta(const SyntheticRun& r, double t) {
    // The free exchange from θ0, plus the released heat carried forward by the same exchange:
    // R/τ·∫₀ˢ e^(−k(s−u))·e^(−u/τ) du = R/τ·e^(−ks)·s·(e^((k−1/τ)s) − 1)/((k−1/τ)s), s = t − tf.
    double theta = r.jacket + (r.theta0 - r.jacket) * std::exp(-r.k * t);
    const double s = t - r.firing;
    if (s > 0)
        theta += r.rise / r.tau * std::exp(-r.k * s) * s * expm1OverX((r.k - 1.0 / r.tau) * s);
    return theta;
}

quint16 celsiusRaw(double theta) {
    const double raw = std::round((theta - 20.0) * 1023.0 / 5.0);
    return static_cast<quint16>(std::clamp(raw, 0.0, 1023.0));
}

SyntheticData makeSyntheticRun(const SyntheticRun& run) {
    SyntheticData d;
    d.adiabaticRise = run.rise;
    d.firingTime = run.firing;
    for (int sub = 1;; ++sub) {
        const double t = loggerMinutes(sub);
        if (t > run.duration + 1e-9)
            break;
        const double exact = syntheticTheta(run, t);
        const quint16 raw = celsiusRaw(exact);
        d.raw.push_back(raw);
        d.samples.push_back({t, run.quantise ? rawCelsius(raw) : exact});
    }
    return d;
}

} // namespace eval
