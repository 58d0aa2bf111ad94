#include "session/testview.h"

#include <map>

TestView selectTest(acq::MeasurementTable& table, qint64 number) {
    namespace f = acq::field;
    TestView v;
    table.setFilter(acq::testFilter(number));
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
    const int ensaio = table.fieldIndex(f::Ensaio), sub = table.fieldIndex(f::SubReg);
    const int tmin = table.fieldIndex(f::TMin), tmax = table.fieldIndex(f::TMax);
    struct Acc { int rows = 0; qint64 firstSub = 0; acq::Table::Bookmark first = -1; };
    std::map<qint64, Acc> tests;
    // Straight from the table's storage: no row of variants is built for this.
    for (const acq::Table::Bookmark r : table.storedRows()) {
        if (table.isNullAt(r, ensaio))
            continue;
        Acc& a = tests[table.integerAt(r, ensaio)];
        const qint64 s = table.integerAt(r, sub);
        // The labels come from the test's first row in SubReg order, as the test view shows.
        if (a.rows++ == 0 || s < a.firstSub) {
            a.firstSub = s;
            a.first = r;
        }
    }
    QList<TestSummary> out;
    for (const auto& [n, a] : tests) {
        auto label = [&](int field) {
            const double v = table.floatAt(a.first, field);
            return v != 0 ? table.formatValue(field, v) + QStringLiteral(" °C") : QString();
        };
        out << TestSummary{n, a.rows, label(tmin), label(tmax)};
    }
    return out;
}
