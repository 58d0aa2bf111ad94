#pragma once
// One test of the measurement table evaluated: its curve as samples, the request (method,
// periods, calorimetric inputs) and the result as the user reads it — a table of text, or one
// JSON object. The window, the command line and the report all go through here.
#include "acquisition/measurements.h"
#include "evaluation/evaluation.h"

#include <QDateTime>
#include <QJsonObject>
#include <QStringList>
#include <vector>

namespace ses {

/// The internal-temperature curve of one test: (Tempo, Tint) in increasing time.
std::vector<eval::Sample> testSamples(const acq::Measurements& data, const acq::TestRun& test);

struct EvaluationRequest {
    eval::Method method = eval::Method::RegnaultPfaundler;
    std::optional<eval::Periods> periods; ///< nothing: found automatically
    eval::Calorimetry calorimetry;
    /// The corrections as the lab measured them (a wire's length, a titration…), JSON keys as
    /// the command line's options; kept with a record.
    QJsonObject given;
};

/// The reading nearest to `minutes` (the first of two equally near); samples not empty.
std::ptrdiff_t nearestReading(const std::vector<eval::Sample>& samples, double minutes);
/// Each limit moved to the time of its nearest reading: a typed or given limit then means the
/// same reading in the window, the command line and the report.
eval::Periods snapToReadings(const std::vector<eval::Sample>& samples, const eval::Periods& p);

/// Evaluates a test's samples: given periods snapped to readings, a test without samples
/// refused with its reason.
eval::Outcome evaluateSamples(const std::vector<eval::Sample>& samples, const acq::TestRun& test,
                              const EvaluationRequest& req);
/// What the result should be read with, each as one sentence.
QStringList resultWarnings(const eval::Result& r);
/// The result for a spreadsheet: one "label<TAB>value<TAB>unit" line per figure, each figure
/// once, numbers with a decimal comma.
QString resultSheet(const acq::TestRun& test, const eval::Result& r, const eval::Calorimetry& c);

/// Evaluates one test; a test without rows is refused with its reason.
eval::Outcome evaluateTest(const acq::Measurements& data, const acq::TestRun& test, const EvaluationRequest& req);

/// The method's name as the user reads it: "Regnault-Pfaundler" / "Dickinson".
QString methodName(eval::Method m);

/// One line of the result: a label, a value as text, its unit.
struct ResultLine {
    /// What the line tells: the method's figures, or the calorimetric results that follow them.
    enum class Kind { Figure, EnergyEquivalent, CalorificValue };
    QString label;
    QString value;
    QString unit;
    Kind kind = Kind::Figure;
};
/// The periods, the method's figures and the calorimetric result, in the order shown.
QList<ResultLine> resultLines(const eval::Result& r);
/// The calorimetric inputs that were given, in the same form.
QList<ResultLine> inputLines(const eval::Calorimetry& c, const eval::Result& r);
/// Everything as plain text, one "label: value unit" per line (for the terminal and "Copiar").
QString resultText(const acq::TestRun& test, const eval::Result& r, const eval::Calorimetry& c);
/// The result as one JSON object with fixed keys.
/// "test" is the number; "occurrence" is there only for a second test of that number.
QJsonObject resultJson(const acq::TestRun& test, const eval::Result& r);

/// Numbers as the user reads them, with fixed decimals and no thousands separator: the window
/// program writes the decimal comma a Brazilian reader expects, the command line the point of
/// the grid its text mirrors.
QString fixed(double v, int decimals);
/// Chosen once at start by the window program (and the tests of its windows).
void useDecimalComma(bool on);
/// A number already written with the point, as `fixed` writes numbers.
QString shownNumber(QString pointText);
/// A moment kept in UTC as the user reads it: the PC's own time, "dd/MM/yyyy hh:mm:ss".
QString localTime(const QDateTime& utc);

} // namespace ses
