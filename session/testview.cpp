#include "session/testview.h"

namespace {

// The label of a test's maximum or minimum: empty while the logger never wrote it (0).
QString extremeLabel(const acq::Measurements& data, const acq::TestRun& test, int column) {
    const acq::Row* first = data.firstRow(test);
    if (!first || first->number(column) == 0)
        return {};
    return acq::displayText(acq::measurementFields()[column], first->value(column)) + QStringLiteral(" °C");
}

} // namespace

TestView viewOf(const acq::Measurements& data, const acq::TestRun& test) {
    TestView v;
    v.minLabel = extremeLabel(data, test, acq::ColTMin);
    v.maxLabel = extremeLabel(data, test, acq::ColTMax);
    v.rows = data.inOrder(test);
    v.interna.reserve(static_cast<qsizetype>(v.rows.size()));
    v.externa.reserve(static_cast<qsizetype>(v.rows.size()));
    for (const int i : v.rows) {
        const acq::Row& r = data.rows()[static_cast<size_t>(i)];
        v.interna.append({r.tempo, r.tint});
        v.externa.append({r.tempo, r.text});
    }
    return v;
}

QList<TestSummary> summarizeTests(const acq::Measurements& data) {
    QList<TestSummary> out;
    for (const acq::TestRun& t : data.tests())
        out << TestSummary{t, static_cast<int>(t.rows.size()), extremeLabel(data, t, acq::ColTMin),
                           extremeLabel(data, t, acq::ColTMax)};
    return out;
}
