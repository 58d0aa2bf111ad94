#pragma once
// Recording a determination, in one place for the window and the command line: from the
// sample's identity, the test, the evaluation request and the lab's inputs, the determination
// exactly as it will be written (every figure, the W with its source, the series, the
// warnings), shown before it is written; then written.
#include "acquisition/measurements.h"
#include "records/store.h"
#include "session/recording.h"
#include "session/testevaluation.h"

#include <optional>

namespace ses {

/// What a record is made from.
struct RecordRequest {
    SampleIdentity who;
    const acq::Measurements* data = nullptr;
    acq::TestRun test;
    QString dataFile;
    /// The evaluation as the user set it. Its W is the one at hand: typed in the evaluation,
    /// given on the command line, or config.xml's; 0 when there is none.
    EvaluationRequest evaluation;
    QString wSource;      ///< where that W came from, in words
    bool wChosen = false; ///< the user chose it over the calorimeter's accepted series' W
    double checkTolerance = 0.2; ///< config.xml's ToleranciaPadrao, %
    /// A valid determination of the same test that this record replaces: rejected, with
    /// `replaceReason`, in the same transaction.
    qint64 replaces = 0;
    QString replaceReason;
    /// The sample of the day's list this test burnt: the record takes its weighing and marks
    /// it recorded. Its mass must be the evaluation's.
    std::optional<rec::QueuedSample> queued;
};

/// The evaluation's inputs and the identity that a sample of the day's list gives a test: its
/// mass, kind (a calibration's certified heat, a check standard's certificate), aid's mass,
/// code, description and calorimeter.
void takeQueued(const rec::QueuedSample& s, EvaluationRequest& req, SampleIdentity& who);

/// The determination as it will be written, and what the user is told before.
struct RecordPlan {
    rec::Determination determination;
    /// A valid determination of the same test (other than the one replaced): recording is
    /// refused until it is replaced.
    qint64 alreadyRecorded = 0;
    /// The calorimeter's accepted series' W when there is one (a sample).
    std::optional<double> seriesW;
    QString seriesSource; ///< "série 2 do calorímetro BC-200"
    /// Which series a calibration joins, in one sentence.
    QString note;
};

/// The calorimeter a record goes to: the one typed, or the lab's default.
QString calorimeterOrDefault(const QString& typed);

/// Why a record could not be planned.
enum class PlanFailure {
    Inputs,     ///< the analysis, the check standard or the replacement refused
    NoW,        ///< a sample without an accepted series' W nor any other
    Evaluation, ///< the test has no result with these inputs
    Database,   ///< the results database could not be read
};

/// Plans a record; nothing, with why, when it cannot be made.
std::optional<RecordPlan> planRecord(const rec::Store& store, const RecordRequest& r, QString* why,
                                     PlanFailure* failure = nullptr);

/// Writes a plan; its number. Refused, with the determination's number, when the test already
/// has a valid determination.
std::optional<qint64> commitRecord(rec::Store& store, const RecordPlan& plan, QString* why);

/// The plan as the user reads it before writing: the result in `unit`, the W and where it
/// comes from, the series, and each warning.
QString planText(const RecordPlan& plan, eval::Unit unit);

/// Marks each sample of `list` whose series changed after it took the series' W (a run of the
/// series rejected or added, a later series started) with what changed: "a série 2 mudou
/// depois do registro: a corrida 14 foi rejeitada".
bool markSeriesChanges(const rec::Store& store, QList<rec::Determination>& list, QString* error);

/// Every determination's figures worked out again from its kept readings and inputs, with the
/// periods it was evaluated with, by the code that records: the first whose corrected rise, W or
/// gross value does not follow (beyond rounding, 1e-9 relative), in words; empty when all do.
std::optional<QString> recheckFigures(const rec::Store& store, QString* error);

} // namespace ses
