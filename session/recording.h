#pragma once
// A test's evaluation made into a determination of the results database, and the database
// itself as config.xml or the command line names it. Shared by the window and the CLI.
#include "acquisition/measurements.h"
#include "acquisition/records.h"
#include "evaluation/labinputs.h"
#include "records/duplicates.h"
#include "records/store.h"
#include "session/testevaluation.h"

#include <QJsonObject>
#include <map>
#include <memory>

namespace ses {

/// The sample's analysis when given, % by mass: moisture, and hydrogen and oxygen + nitrogen
/// on the dry basis. A determination with hydrogen gets the net calorific value.
struct SampleAnalysis {
    std::optional<double> moisture, hydrogenDry, oxygenNitrogenDry;
};

/// Who and what a determination is about, as the user types it.
struct SampleIdentity {
    QString sampleCode, description, operatorName, calorimeter;
    QDate testDate;
    SampleAnalysis analysis; ///< put on the determination by setAnalysis
    /// A check standard's certified value (J/g), when the sample is one.
    std::optional<double> checkCertified;
};

/// Puts the analysis on `d` with the net calorific value (ISO 1928's form, on the dry basis when
/// the moisture is given); false with why when it cannot be: oxygen + nitrogen without hydrogen,
/// hydrogen without a gross value, or a value outside 0 … 100 %.
bool setAnalysis(rec::Determination& d, const SampleAnalysis& a, QString* why);

/// The system's user name, the operator by default.
QString systemUserName();

/// The determination of an evaluated test: the identity, the test's readings in order, the
/// request's inputs and the result.
rec::Determination determinationOf(const SampleIdentity& who, const acq::Measurements& data, const acq::TestRun& test,
                                   const QString& dataFile, const EvaluationRequest& req, const eval::Result& result);

/// Opens the results database named by `location` (a path, a postgresql:// address, or empty
/// for the default file); nothing with the reason.
std::unique_ptr<rec::Store> openResults(const QString& location, QString* error, const QString& reviewerRole = {},
                                        rec::Store::Access access = rec::Store::Access::Write);

/// A determination as one JSON object: the keys of calc --json and the record's own.
/// A sample's gross calorific value on the dry basis, when its moisture was given (J/g).
std::optional<double> grossDry(const rec::Determination& d);
/// The basis of a net calorific value, in words: the sample as analysed, with its moisture.
QString netBasisText(const rec::Determination& d);
QJsonObject recordJson(const rec::Determination& d);

/// A determination as text for a terminal: who, what, when, then the evaluation's figures.
QString recordText(const rec::Determination& d, const QString& duplicates);

/// The value a sample's duplicates are judged on: the gross value, on the dry basis when the
/// moisture is known; nothing for a calibration, a check standard (judged against its
/// certificate) or a record without a result.
std::optional<double> judgedValue(const rec::Determination& d);

/// The verdict on each sample's duplicates, from the store's valid sample determinations whose
/// code `filter` holds (its other conditions are not used: a duplicate counts wherever it is).
std::optional<std::map<QString, rec::DuplicateVerdict>> duplicateVerdicts(const rec::Store& store,
                                                                          const rec::Filter& filter, double repeatability,
                                                                          QString* error);
/// "concordam: 26 512,0 J/g", "repetir", or nothing for a single determination.
QString duplicateText(const rec::DuplicateVerdict& v, eval::Unit unit = eval::Unit::JoulesPerGram);

/// The verdict as JSON: {"state": "single"|"agree"|"repeat", "reported", "difference"} (J/g).
QJsonObject duplicatesJson(const rec::DuplicateVerdict& v);

/// A determination's result in `unit` ("26512,0 J/g"; W in J/K for a calibration).
QString resultText(const rec::Determination& d, eval::Unit unit);

/// The list as the results window and `results list --csv` give it: one row a determination.
acq::Records resultsTable(const QList<rec::Determination>& list,
                          const std::map<QString, rec::DuplicateVerdict>& verdicts, eval::Unit unit);

/// Writes the list as a spreadsheet (.xls) or CSV (.csv), chosen by the name's extension.
bool writeResultsTable(const acq::Records& table, const QString& path, QString* error);

/// The test of a record, as measurements of their own: its readings as one test, so the chart,
/// the report and the evaluation read a record as they read a data file.
acq::Measurements measurementsOf(const rec::Determination& d, acq::TestRun* test);

} // namespace ses
