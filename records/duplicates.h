#pragma once
// Duplicates: the valid determinations of one sample agree when two of them differ by no more
// than the repeatability limit r; the value reported is then the mean of that pair. Until two
// agree the sample is to be determined again ("repetir").
#include <QList>
#include <optional>

namespace rec {

/// The limit labs use for the gross calorific value on the dry basis, J/g.
inline constexpr double kDefaultRepeatability = 120.0;

struct DuplicateVerdict {
    enum class State { Single, Agree, Repeat };
    State state = State::Single;
    std::optional<double> reported; ///< the mean of the agreeing pair
    double difference = 0;          ///< of the closest pair
    int first = -1, second = -1;    ///< that pair's positions in the values given
    /// The basis of the values: all on the dry basis (moisture given), all as analysed, or a mix
    /// that a lab must not average.
    enum class Basis { AsAnalysed, Dry, Mixed } basis = Basis::AsAnalysed;
};

/// The verdict on the values of one sample's valid determinations, in the order they were
/// recorded: one value is Single; of two or more, the closest pair decides (the earlier pair
/// when two are equally close).
DuplicateVerdict duplicates(const QList<double>& values, double repeatability = kDefaultRepeatability);

} // namespace rec
