#include "app/testview.h"

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
