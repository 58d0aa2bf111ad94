#pragma once
// A calibration series: the energy equivalents W of a calorimeter's valid calibration runs,
// in the order they were recorded, judged by the acceptance rule the lab chose for it. The
// series' W is the mean of the runs the rule accepts, with their n, s and relative standard
// deviation; the verdict always gives its reason in the words a technician acts on.
#include <QDate>
#include <QList>
#include <QString>
#include <cmath>
#include <optional>

namespace rec {

struct CalibrationRun {
    qint64 id = 0;  ///< the determination's number
    double w = 0;   ///< J/K
    QDate testDate;
};

struct CalibrationRule {
    enum class Preset {
        /// At least 5 runs whose range is at most 0.4 % of their mean; otherwise the run farthest
        /// from the mean is discarded and a sixth must lie within 0.2 % of the other four's mean.
        Din51900,
        /// At least 6 runs on at least 3 distinct test dates.
        AstmD240,
        /// At least `minRuns` runs with a relative standard deviation of at most `maxRsdPercent`.
        Laboratorio,
    };
    Preset preset = Preset::Din51900;
    int minRuns = 10;
    double maxRsdPercent = 0.1;

    /// "DIN 51900", "ASTM D240", "Laboratório".
    QString name() const;
    /// The preset of one of those names (or din, astm, lab), in any case.
    static std::optional<Preset> presetFromName(const QString& name);
};

struct SeriesVerdict {
    bool accepted = false;
    QList<qint64> used;        ///< the runs whose mean is the series' W (when accepted)
    std::optional<qint64> discard; ///< the run to discard (DIN 51900, range too wide)
    int n = 0;                 ///< runs used for the figures below
    double mean = 0, s = 0, rsdPercent = 0;
    QString reason;            ///< "4 de 5 corridas", "amplitude 0,52 % > 0,4 %: descarte …"
    /// Runs recorded after the series was accepted, each as a check against it: how many
    /// standard deviations s it lies from the series' W (the control chart's ±2 s and ±3 s).
    struct Check {
        qint64 id = 0;
        double sigmas = 0;
        bool outside() const { return std::abs(sigmas) > 2; }
    };
    QList<Check> later;
};

/// The verdict of `rule` on the runs, oldest first.
SeriesVerdict judgeSeries(const QList<CalibrationRun>& runs, const CalibrationRule& rule);

/// Mean, sample standard deviation and relative standard deviation (%) of `values`.
struct Spread {
    double mean = 0, s = 0, rsdPercent = 0;
};
Spread spreadOf(const QList<double>& values);

} // namespace rec
