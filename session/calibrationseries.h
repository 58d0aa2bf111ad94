#pragma once
// The lab's calibration series as the window and the command line show them: each
// calorimeter's series with the verdict of its rule, the W a sample takes from the current
// one, the check standard's comparison, the control chart's figures, and the audit trail in words.
#include "records/calibration.h"
#include "records/store.h"
#include "session/testevaluation.h"

#include <QJsonArray>
#include <QJsonObject>
#include <optional>

namespace ses {

/// One series of a calorimeter: its valid calibration runs, oldest first, and the verdict of
/// the rule.
struct CalibrationSeries {
    QString calorimeter;
    rec::Series series;
    rec::CalibrationRule rule;
    QList<rec::CalibrationRun> runs;
    rec::SeriesVerdict verdict;
};

/// Every series of each calorimeter (one calorimeter when `calorimeter` is given), oldest
/// first, each judged by its calorimeter's rule or by `rule` when given.
std::optional<QList<CalibrationSeries>> calibrationSeries(const rec::Store& store, const QString& calorimeter,
                                                         const std::optional<rec::CalibrationRule>& rule, QString* error);
/// The series a calorimeter's calibrations join now (number 0 for one never named).
std::optional<CalibrationSeries> currentSeries(const rec::Store& store, const QString& calorimeter, QString* error);

QJsonObject seriesJson(const CalibrationSeries& s);
/// "BC-200, série 2 (troca de peça) — DIN 51900: aceita (5 corridas)" and its runs.
QString seriesText(const CalibrationSeries& s);

/// What a sample's result takes from its calorimeter's current series: its W and number when
/// the series is accepted; otherwise nothing, and the warning every such result carries.
struct SeriesEnergyEquivalent {
    std::optional<double> w;
    int series = 0;
    QString source;  ///< "série 2 do calorímetro BC-200"
    QString warning; ///< while the calorimeter has no accepted series
};
SeriesEnergyEquivalent seriesEnergyEquivalent(const CalibrationSeries& current);

/// A check standard's deviation from its certificate, %; nothing for another determination.
std::optional<double> checkStandardDeviation(const rec::Determination& d);
/// "Padrão de verificação: encontrado …, certificado …, desvio … (tolerância ±…)"; flagged
/// "fora da tolerância" when it lies outside. Empty for another determination.
QString checkStandardText(const rec::Determination& d);
/// Puts a check standard on a sample determination: the certificate's value and the tolerance,
/// and a warning when the result lies outside it. False with why when it cannot be one.
bool setCheckStandard(rec::Determination& d, double certified, double tolerancePercent, QString* why);

/// The figures of a calorimeter's control chart: the W of each calibration and what each check
/// standard found in terms of W, in the order recorded, each series with its centre and its
/// ±2 s and ±3 s limits when accepted.
struct ControlChart {
    struct Point {
        qint64 id = 0;
        QDate testDate;
        double w = 0;
        bool checkStandard = false;
        int zone = 0; ///< 0 within ±2 s, 2 beyond ±2 s, 3 beyond ±3 s (or no limits: 0)
    };
    struct Segment {
        int series = 0;
        QString reason;
        int first = 0, count = 0; ///< its points
        std::optional<double> centre, s;
    };
    QString calorimeter;
    QList<Point> points;
    QList<Segment> segments;
};
std::optional<ControlChart> controlChart(const rec::Store& store, const QString& calorimeter, QString* error);

/// The W a check standard's run stands for: the one that would have given the certificate's
/// value from its corrected rise and corrections.
std::optional<double> checkStandardW(const rec::Determination& d);

/// A determination's history as text, one entry a paragraph: who, when, what, and the fields
/// a change changed, from → to.
/// Whether the history shows each entry's link in the trail (its hashes): the command line
/// and the window's "Detalhes" do.
enum class HistoryHashes { Shown, Hidden };
QString historyText(const QList<rec::AuditEntry>& entries, HistoryHashes hashes = HistoryHashes::Shown);
/// The entries whole, their states as JSON objects.
QJsonArray historyJson(const QList<rec::AuditEntry>& entries);
/// "íntegro (…)" or the first break, in words.
QString trailText(const rec::TrailCheck& c);

} // namespace ses
