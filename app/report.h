#pragma once
// The evaluation report: an A4 PDF in Portuguese with the test, its data file, the date, the
// chart with the periods, the method's results, the calorimetric inputs and result when
// given, and the test's rows as an appendix. Written whole or not at all.
#include "acquisition/measurements.h"
#include "evaluation/evaluation.h"
#include "records/store.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

struct ReportRequest {
    acq::TestRun test;
    QString dataFile;           ///< shown as given; empty: "(dados não salvos)"
    QDateTime when = QDateTime::currentDateTime();
    eval::Result result;
    eval::Calorimetry calorimetry;
    /// The corrections as the lab measured them (a wire's length, a titration…), when known.
    QJsonObject given;
    /// A recorded determination: its number, the sample's identity, who, where and when, the
    /// energy equivalent's source, the duplicates' verdict, and lines for analyst and reviewer.
    std::optional<rec::Determination> record;
    QString duplicates;
};

/// Writes the report of `req.test` of `data` to `path`; false with `error` set on failure.
bool writeReport(const acq::Measurements& data, const ReportRequest& req, const QString& path, QString* error);

/// The report of a recorded determination, from the record alone (its readings, inputs and
/// figures), with the duplicates' verdict as given.
bool writeRecordReport(const rec::Determination& d, const QString& duplicates, const QString& path, QString* error);

/// The day's samples as a list to print (A4, landscape): each sample's code, description, kind,
/// mass with where it came from, and state.
bool writeSamplesList(const QList<rec::QueuedSample>& list, const QDate& day, const QString& path, QString* error);

/// A listed sample's mass as the list shows it ("0,81230"), or "" before it is weighed.
QString sampleMassText(const rec::QueuedSample& s);
/// Its state in words, with the record that took it or why it was discarded.
QString sampleStateText(const rec::QueuedSample& s);
