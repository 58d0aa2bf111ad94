#include "records/duplicates.h"

#include <cmath>

namespace rec {

DuplicateVerdict duplicates(const QList<double>& values, double repeatability) {
    DuplicateVerdict v;
    if (values.size() < 2) {
        if (!values.isEmpty())
            v.reported = values.front();
        return v;
    }
    double best = INFINITY;
    for (int i = 0; i < values.size(); ++i)
        for (int j = i + 1; j < values.size(); ++j)
            if (const double d = std::abs(values[i] - values[j]); d < best) {
                best = d;
                v.first = i;
                v.second = j;
            }
    v.difference = best;
    if (best <= repeatability) {
        v.state = DuplicateVerdict::State::Agree;
        v.reported = (values[v.first] + values[v.second]) / 2.0;
    } else {
        v.state = DuplicateVerdict::State::Repeat;
    }
    return v;
}

} // namespace rec
