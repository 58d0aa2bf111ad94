#pragma once
// The evaluation report: an A4 PDF in Portuguese with the test, its data file, the date, the
// chart with the periods, the method's results, the calorimetric inputs and result when
// given, and the test's rows as an appendix. Written whole or not at all.
#include "acquisition/measurements.h"
#include "evaluation/evaluation.h"

#include <QDateTime>
#include <QString>

struct ReportRequest {
    acq::TestRun test;
    QString dataFile;           ///< shown as given; empty: "(dados não salvos)"
    QDateTime when = QDateTime::currentDateTime();
    eval::Result result;
    eval::Calorimetry calorimetry;
};

/// Writes the report of `req.test` of `data` to `path`; false with `error` set on failure.
bool writeReport(const acq::Measurements& data, const ReportRequest& req, const QString& path, QString* error);
