#include "session/testview.h"


TestView selectTest(acq::MeasurementTable& table, const acq::TestRun& test) {
    namespace f = acq::field;
    TestView v;
    // A test without rows shows none, not the rows of another test of its number.
    if (test.first >= 0)
        table.setFilter(acq::testFilter(test.number), test.first, test.last);
    else
        table.setFilter(acq::testFilter(test.number), 0, -1);
    table.setFiltered(true);
    table.first();
    auto label = [&](const QString& field) {
        return table.asFloat(field) != 0 ? table.displayText(field) + QStringLiteral(" °C") : QString();
    };
    v.minLabel = label(f::TMin);
    v.maxLabel = label(f::TMax);
    // One walk with the views held still; the curves are handed over whole by the caller.
    table.disableControls();
    v.rows = table.recordCount();
    v.interna.reserve(v.rows);
    v.externa.reserve(v.rows);
    const int tempo = table.fieldIndex(f::Tempo), tint = table.fieldIndex(f::Tint), text = table.fieldIndex(f::Text);
    table.first();
    for (int k = 0; k < v.rows; ++k) {
        const double t = table.value(tempo).toDouble();
        v.interna.append({t, table.value(tint).toDouble()});
        v.externa.append({t, table.value(text).toDouble()});
        table.next();
    }
    table.enableControls();
    return v;
}

QList<TestSummary> summarizeTests(const acq::MeasurementTable& table) {
    namespace f = acq::field;
    const int sub = table.fieldIndex(f::SubReg);
    const int tmin = table.fieldIndex(f::TMin), tmax = table.fieldIndex(f::TMax);
    QList<TestSummary> out;
    for (const acq::TestRun& run : acq::testRuns(table)) {
        // The labels come from the test's first row in SubReg order, as the test view shows.
        acq::Table::Bookmark first = -1;
        qint64 firstSub = 0;
        for (const acq::Table::Bookmark r : acq::rowsOf(table, run)) {
            const qint64 s = table.integerAt(r, sub);
            if (first < 0 || s < firstSub) {
                first = r;
                firstSub = s;
            }
        }
        auto label = [&](int field) {
            const double v = table.floatAt(first, field);
            return v != 0 ? table.formatValue(field, v) + QStringLiteral(" °C") : QString();
        };
        out << TestSummary{run, run.rows, label(tmin), label(tmax)};
    }
    return out;
}
