#pragma once
// A test's evaluation made into a determination of the results database, and the database
// itself as config.xml or the command line names it. Shared by the window and the CLI.
#include "acquisition/measurements.h"
#include "records/store.h"
#include "session/testevaluation.h"

#include <QJsonObject>
#include <memory>

namespace ses {

/// Who and what a determination is about, as the user types it.
struct SampleIdentity {
    QString sampleCode, description, operatorName, calorimeter;
    QDate testDate;
};

/// The system's user name, the operator by default.
QString systemUserName();

/// The determination of an evaluated test: the identity, the test's readings in order, the
/// request's inputs and the result.
rec::Determination determinationOf(const SampleIdentity& who, const acq::Measurements& data, const acq::TestRun& test,
                                   const QString& dataFile, const EvaluationRequest& req, const eval::Result& result);

/// Opens the results database named by `location` (a path, a postgresql:// address, or empty
/// for the default file); nothing with the reason.
std::unique_ptr<rec::Store> openResults(const QString& location, QString* error);

/// A determination as one JSON object: the keys of calc --json and the record's own.
QJsonObject recordJson(const rec::Determination& d);

} // namespace ses
