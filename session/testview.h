#pragma once
// What the test view shows of one test: its rows in SubReg order, its minimum and maximum as
// the labels show them, and both curves. Shared by the window and the CLI.
#include "acquisition/measurements.h"

#include <QList>
#include <QPointF>

struct TestView {
    QString minLabel; ///< "21.375 °C", or empty when the stored value is 0
    QString maxLabel;
    QList<QPointF> interna; ///< (Tempo, Tint)
    QList<QPointF> externa; ///< (Tempo, Text)
    std::vector<int> rows;  ///< the test's rows in the order the grid lists them
};

TestView viewOf(const acq::Measurements& data, const acq::TestRun& test);

/// One line of the list of tests: the test, its rows, and the labels of its first row.
struct TestSummary {
    acq::TestRun test;
    int rows = 0;
    QString minLabel;
    QString maxLabel;
};

/// Every test in the order it is listed (tests sharing a number kept apart).
QList<TestSummary> summarizeTests(const acq::Measurements& data);
