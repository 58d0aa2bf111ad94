#pragma once
// Readings that no evaluation may take as temperatures, and the firings a run shows.
#include "evaluation/evaluation.h"

#include <QString>
#include <span>
#include <vector>

namespace eval::detail {

/// The conversion's scale, raw 0 … 1023 of a 10-bit converter: 20 … 25 °C.
inline constexpr double kScaleLow = 20.0;
inline constexpr double kScaleHigh = 25.0;

/// A reading that is not a temperature the bucket had.
struct OddReading {
    std::size_t index = 0;
    enum class Kind {
        Wild,    ///< alone far from both its neighbours, which agree
        LowEnd,  ///< at the scale's lower end
        HighEnd, ///< held flat at the top of a climb
    } kind = Kind::Wild;
};

/// The run's odd readings in order of time; the ends of the scale only when the readings are
/// the logger's (`loggerScale`).
std::vector<OddReading> oddReadings(std::span<const Sample> s, bool loggerScale);
/// The first odd reading of its kind in words; `where` says where it lies (" no período
/// principal"), or is empty.
QString describe(std::span<const Sample> s, const OddReading& o, const QString& where);

/// The times at which the run's clear rises begin (one per firing), in order; nothing for
/// readings too far apart (a minute) to tell.
std::vector<double> firingTimes(std::span<const Sample> s);

} // namespace eval::detail
