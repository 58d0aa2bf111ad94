#include "evaluation/fit.h"

#include <algorithm>
#include <cmath>

namespace eval::detail {

Range rangeOf(std::span<const Sample> s, double lo, double hi) {
    const auto begin = std::lower_bound(s.begin(), s.end(), lo - kPeriodTolerance,
                                        [](const Sample& x, double v) { return x.t < v; });
    const auto end = std::upper_bound(s.begin(), s.end(), hi + kPeriodTolerance,
                                      [](double v, const Sample& x) { return v < x.t; });
    if (end <= begin)
        return {1, 0};
    return {std::size_t(begin - s.begin()), std::size_t(end - s.begin()) - 1};
}

Line fitLine(std::span<const Sample> s, Range r) {
    Line l;
    const double n = r.count();
    if (n < 1)
        return l;
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
    double sq = 0;
    for (std::size_t i = r.first; i <= r.last; ++i) {
        const double d = s[i].theta - l.at(s[i].t);
        sq += d * d;
    }
    l.rms = std::sqrt(sq / n);
    if (n > 2 && stt > 0)
        l.slopeError = std::sqrt(sq / (n - 2) / stt);
    return l;
}

} // namespace eval::detail
