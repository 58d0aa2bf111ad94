#pragma once
// A calorimeter run with a known answer, for tests and demonstration data: the bucket follows
// Newton's law of exchange with a jacket at constant temperature, and the combustion releases
// its heat as a decaying exponential from the firing on.
//
//   dθ/dt = k·(Tj − θ) + H(t),   H(t) = 0 before tf,  R/τ·e^(−(t−tf)/τ) from tf on,
//
// so that with no exchange (k = 0) the rise would be R·(1 − e^(−(t−tf)/τ)): R is the true
// adiabatic rise the corrected rise should come back to.
#include "evaluation/evaluation.h"

#include <QtGlobal>
#include <vector>

namespace eval {

struct SyntheticRun {
    double theta0 = 21.0;   ///< °C at t = 0
    double jacket = 22.5;   ///< Tj, °C
    double k = 0.005;       ///< exchange constant, 1/min
    double firing = 6.0;    ///< tf, min
    double rise = 3.0;      ///< R, the adiabatic rise, K
    double tau = 1.0;       ///< time constant of the heat release, min (> 0)
    double duration = 25.0; ///< min; samples from 0 to it, every 5 s
    bool quantise = true;   ///< to the logger's raw steps
};

struct SyntheticData {
    std::vector<Sample> samples;
    std::vector<quint16> raw; ///< the logger's raw values (clamped to 0..1023)
    double adiabaticRise = 0; ///< R
    double firingTime = 0;    ///< tf
};

/// The exact temperature at time t (min), not quantised.
double syntheticTheta(const SyntheticRun& run, double t);

/// The minutes of the logger's SubReg-th sample (SubReg from 1): 5 s apart.
inline double loggerMinutes(int subReg) { return (subReg - 1) * 5.0 / 60.0; }
/// °C of a raw value, as the logger's table shows it.
inline double rawCelsius(int raw) { return static_cast<double>(raw * 5) / 1023.0 + 20.0; }
/// The nearest raw value to a temperature, clamped to 0..1023.
quint16 celsiusRaw(double theta);

SyntheticData makeSyntheticRun(const SyntheticRun& run);

} // namespace eval
