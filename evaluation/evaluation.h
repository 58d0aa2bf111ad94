#pragma once
// The evaluation of one test's internal-temperature curve: the fore, main and after periods,
// their drifts, the corrected temperature rise (Regnault-Pfaundler or Dickinson), and from it
// the energy equivalent (calibration) or the gross calorific value (sample).
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>
#include <span>

namespace eval {

/// One sample of the curve: time in minutes, temperature in °C.
struct Sample {
    double t;
    double theta;
};

/// Period limits in minutes: fore [a, b], main [b, c], after [c, d].
struct Periods {
    double a, b, c, d;
};

enum class Method { RegnaultPfaundler, Dickinson };

/// "regnault-pfaundler" / "dickinson".
QString methodKey(Method m);
std::optional<Method> methodFromKey(QStringView key);

/// What the corrected rise is turned into, if anything.
struct Calorimetry {
    enum class Mode { None, Sample, Calibration } mode = Mode::None;
    double mass = 0;                 ///< g: the sample's, or the standard's
    double energyEquivalent = 0;     ///< J/K, Sample mode
    double heatOfCombustion = 26454; ///< J/g of the standard, Calibration mode (benzoic acid)
    double fuse = 0, acid = 0, sulfur = 0; ///< J, the corrections
    double aid = 0; ///< J given by a combustion aid (paraffin oil, a capsule), a correction as well
};

inline constexpr double kJoulesPerCalorie = 4.1868;

struct Result {
    Periods periods{};
    bool automatic = false; ///< the periods were found by detectPeriods
    /// Limits given between readings, as given: `periods` holds the readings they were moved to.
    std::optional<Periods> periodsTyped;
    Method method = Method::RegnaultPfaundler;
    double thetaA = 0, ta = 0; ///< first sample of the main period
    double thetaC = 0, tc = 0; ///< last sample of the main period
    double driftFore = 0, driftAfter = 0; ///< K/min
    double meanFore = 0, meanAfter = 0;   ///< °C
    int countFore = 0, countMain = 0, countAfter = 0;
    double riseObserved = 0;  ///< θc − θa
    double riseCorrected = 0; ///< K
    std::optional<double> b;  ///< min, Dickinson only
    /// The standard uncertainty of the corrected rise that the readings' scatter and the
    /// drifts' give (K).
    double uncertainty = 0;
    std::optional<double> energyEquivalent;    ///< J/K, given or calibrated
    std::optional<double> grossCalorificValue; ///< J/g
    /// What the result should be read with: each a full sentence in Portuguese giving the
    /// reason and the figure. Empty for a run that passes every plausibility check.
    QStringList warnings;

    std::optional<double> grossMJPerKg() const {
        return grossCalorificValue ? std::optional(*grossCalorificValue / 1000.0) : std::nullopt;
    }
    std::optional<double> grossCalPerG() const {
        return grossCalorificValue ? std::optional(*grossCalorificValue / kJoulesPerCalorie)
                                   : std::nullopt;
    }
};

/// Either a result or the user's reason why there is none.
struct Outcome {
    std::optional<Result> result;
    QString error;
    bool ok() const { return result.has_value(); }
};

/// A number as a technician types it: "0,8" and "0.8" alike (one decimal mark, no thousands
/// separators), an optional sign and exponent; nothing for anything else or a value that is
/// not finite.
std::optional<double> parseDecimal(QStringView text);

/// A number for a message, with the decimal comma a Brazilian reader expects.
inline QString decimal(double v, int decimals) {
    return QString::number(v == 0 ? 0.0 : v, 'f', decimals).replace(QLatin1Char('.'), QLatin1Char(','));
}

/// Samples of a period: lo ≤ t ≤ hi within this tolerance (minutes).
inline constexpr double kPeriodTolerance = 1e-9;
/// The logger's resolution: one raw step, in K.
inline constexpr double kResolution = 5.0 / 1023.0;
/// The fore and after periods a run should give at least (min); shorter ones are warned of.
inline constexpr double kRecommendedSideMinutes = 5.0;

/// Finds the firing (b) and the end of the release of heat (c) on a complete run; fore and
/// after periods as long as the data allow, up to 10 min each. The firing is the last reading
/// before the curve leaves the fore line for good (a lasting departure beyond the fore period's
/// noise, never a single step), taken early rather than late; the end is where all but 0.05 %
/// of the heat has come out. Nothing, with `why` set, when the run shows no clear rise, lacks
/// the data around it, or does not settle after it.
std::optional<Periods> detectPeriods(std::span<const Sample> samples, QString* why);

/// Evaluates a run (samples in increasing time) over the given periods, or the detected ones.
/// Refused, with the reason, when the run shows no clear firing (a corrected rise of less than
/// 20 logger steps) or a result is not finite; accepted with `Result::warnings` when a period
/// is short, the after period has not settled, heat is still coming at the end of the main
/// period, the Dickinson correction is large, or the readings leave the rise uncertain.
/// Readings from the logger (`loggerScale`) are also refused where they sit at an end of its
/// scale (20 °C, raw 0; a climb held flat at its top, 25 °C on the 10-bit scale) in a period
/// used, and warned of elsewhere: the real temperature may have passed the limit.
Outcome evaluate(std::span<const Sample> samples, Method method,
                 std::optional<Periods> given = std::nullopt, const Calorimetry& cal = {},
                 bool loggerScale = false);

} // namespace eval
