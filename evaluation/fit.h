#pragma once
// Pieces shared by the period search and the evaluation: sample ranges and straight-line fits.
#include "evaluation/evaluation.h"

#include <QString>
#include <cmath>
#include <optional>
#include <span>

namespace eval::detail {

/// Index range [first, last] of samples; empty when last < first.
struct Range {
    std::size_t first = 1, last = 0;
    int count() const { return last >= first ? int(last - first + 1) : 0; }
};

/// The samples with lo ≤ t ≤ hi (within kPeriodTolerance).
Range rangeOf(std::span<const Sample> s, double lo, double hi);

/// Least-squares line of θ on t, kept about the means so that late times (hundreds of minutes)
/// cost no precision; `rms` is the scatter of the samples about it and `slopeError` the
/// standard error of the slope that this scatter gives.
struct Line {
    double slope = 0, tMean = 0, thetaMean = 0, rms = 0, slopeError = 0;
    double at(double t) const { return thetaMean + slope * (t - tMean); }
};

Line fitLine(std::span<const Sample> s, Range r);

/// The course of the heat release from reading `from` (the firing) on, with the exchange with
/// the jacket taken out by the fore and after drift lines, the after line fitted on `tail`.
struct Release {
    enum class Status { Ok, NoRise, LevelsNotReached } status = Status::Ok;
    double total = 0;                   ///< K released in all: the level over `tail`
    double t30 = 0, t10 = 0, decay = 0; ///< min: 30 % and 10 % of it still to come; decay time
    /// The share of the heat still to come at t ≥ t10, the release dying away geometrically.
    double leftAt(double t) const { return 0.1 * std::exp(-(t - t10) / decay); }
};
Release traceRelease(std::span<const Sample> s, std::size_t from, const Line& fore,
                     const Line& after, Range tail);

/// The period search on samples already checked (finite, times increasing).
std::optional<Periods> detectChecked(std::span<const Sample> s, QString* why);

} // namespace eval::detail
