#pragma once
// The test view's work on the table: filter to one test, read its minimum and maximum as the
// labels show them, and collect both curves in one walk. Shared by the window and the CLI.
#include "acquisition/measurementtable.h"

#include <QList>
#include <QPointF>

struct TestView {
    QString minLabel; ///< "21.375 °C", or empty when the stored value is 0
    QString maxLabel;
    QList<QPointF> interna; ///< (Tempo, Tint)
    QList<QPointF> externa; ///< (Tempo, Text)
    int rows = 0;
};

/// Leaves the filter on that test and the current row on its last row.
TestView selectTest(acq::MeasurementTable& table, const acq::TestRun& test);

/// One line of the list of tests: the test, its rows, and the labels of its first row.
struct TestSummary {
    acq::TestRun test;
    int rows = 0;
    QString minLabel;
    QString maxLabel;
};

/// Every test of the table in the order it was stored (tests sharing a number kept apart).
QList<TestSummary> summarizeTests(const acq::MeasurementTable& table);
