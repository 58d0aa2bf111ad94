// The determinations' columns, each once: its name in the table, how a record binds it and how a
// row gives it back. The INSERT, the SELECT list and the row mapping are all made from here.
#include "records/storeinternal.h"

#include <QStringList>
#include <vector>

namespace rec::detail {

namespace {

QString modeKey(eval::Calorimetry::Mode m) {
    using M = eval::Calorimetry::Mode;
    return m == M::Sample ? kSampleKind : m == M::Calibration ? kCalibrationKind : QStringLiteral("nenhum");
}

eval::Calorimetry::Mode modeFromKey(const QString& k) {
    using M = eval::Calorimetry::Mode;
    return k == kSampleKind ? M::Sample : k == kCalibrationKind ? M::Calibration : M::None;
}

using D = Determination;
using W = Written;

struct Column {
    const char* name;   ///< in the table; empty for the id, which the database gives
    const char* select; ///< as read; the name with "d." when empty
    QVariant (*bind)(const D&, const W&);
    void (*read)(D&, const QVariant&);
};

// In the order they are read: a value that defaults to another (θa's time to the main period's
// start) comes after it.
const std::vector<Column>& columns() {
    static const std::vector<Column> all = {
        {"", "d.id", nullptr, [](D& d, const QVariant& v) { d.id = v.toLongLong(); }},
        {"kind", "", [](const D& d, const W&) -> QVariant { return d.kind == D::Kind::Calibration ? kCalibrationKind : kSampleKind; },
         [](D& d, const QVariant& v) { d.kind = v.toString() == kCalibrationKind ? D::Kind::Calibration : D::Kind::Sample; }},
        {"sample_code", "", [](const D& d, const W&) -> QVariant { return text(d.sampleCode.trimmed()); },
         [](D& d, const QVariant& v) { d.sampleCode = v.toString(); }},
        {"description", "", [](const D& d, const W&) -> QVariant { return text(d.description); },
         [](D& d, const QVariant& v) { d.description = v.toString(); }},
        {"operator", "", [](const D& d, const W&) -> QVariant { return text(d.operatorName.trimmed()); },
         [](D& d, const QVariant& v) { d.operatorName = v.toString(); }},
        {"calorimeter_id", "c.name", [](const D&, const W& w) -> QVariant { return w.calorimeter; },
         [](D& d, const QVariant& v) { d.calorimeter = v.toString(); }},
        {"test_date", "",
         [](const D& d, const W&) -> QVariant { return d.testDate.isValid() ? d.testDate.toString(Qt::ISODate) : QString(); },
         [](D& d, const QVariant& v) { d.testDate = QDate::fromString(v.toString(), Qt::ISODate); }},
        {"recorded_utc", "", [](const D&, const W& w) -> QVariant { return w.recordedUtc; },
         [](D& d, const QVariant& v) { d.recordedUtc = fromUtcText(v.toString()); }},
        {"data_file", "", [](const D& d, const W&) -> QVariant { return text(d.dataFile); },
         [](D& d, const QVariant& v) { d.dataFile = v.toString(); }},
        {"test_number", "", [](const D& d, const W&) -> QVariant { return d.testNumber; },
         [](D& d, const QVariant& v) { d.testNumber = v.toLongLong(); }},
        {"test_occurrence", "", [](const D& d, const W&) -> QVariant { return d.testOccurrence; },
         [](D& d, const QVariant& v) { d.testOccurrence = v.toInt(); }},
        {"readings_sha256", "", [](const D&, const W& w) -> QVariant { return w.digest; },
         [](D& d, const QVariant& v) { d.readingsSha256 = v.toString().toLatin1(); }},
        {"method", "", [](const D& d, const W&) -> QVariant { return eval::methodKey(d.result.method); },
         [](D& d, const QVariant& v) { d.result.method = eval::methodFromKey(v.toString()).value_or(eval::Method::RegnaultPfaundler); }},
        {"periods_automatic", "", [](const D& d, const W&) -> QVariant { return d.result.automatic ? 1 : 0; },
         [](D& d, const QVariant& v) { d.result.automatic = v.toInt() != 0; }},
        {"period_a", "", [](const D& d, const W&) -> QVariant { return d.result.periods.a; },
         [](D& d, const QVariant& v) { d.result.periods.a = v.toDouble(); }},
        {"period_b", "", [](const D& d, const W&) -> QVariant { return d.result.periods.b; },
         [](D& d, const QVariant& v) { d.result.periods.b = v.toDouble(); }},
        {"period_c", "", [](const D& d, const W&) -> QVariant { return d.result.periods.c; },
         [](D& d, const QVariant& v) { d.result.periods.c = v.toDouble(); }},
        {"period_d", "", [](const D& d, const W&) -> QVariant { return d.result.periods.d; },
         [](D& d, const QVariant& v) { d.result.periods.d = v.toDouble(); }},
        {"theta_a", "", [](const D& d, const W&) -> QVariant { return d.result.thetaA; },
         [](D& d, const QVariant& v) { d.result.thetaA = v.toDouble(); }},
        {"theta_c", "", [](const D& d, const W&) -> QVariant { return d.result.thetaC; },
         [](D& d, const QVariant& v) { d.result.thetaC = v.toDouble(); }},
        {"drift_fore", "", [](const D& d, const W&) -> QVariant { return d.result.driftFore; },
         [](D& d, const QVariant& v) { d.result.driftFore = v.toDouble(); }},
        {"drift_after", "", [](const D& d, const W&) -> QVariant { return d.result.driftAfter; },
         [](D& d, const QVariant& v) { d.result.driftAfter = v.toDouble(); }},
        {"mean_fore", "", [](const D& d, const W&) -> QVariant { return d.result.meanFore; },
         [](D& d, const QVariant& v) { d.result.meanFore = v.toDouble(); }},
        {"mean_after", "", [](const D& d, const W&) -> QVariant { return d.result.meanAfter; },
         [](D& d, const QVariant& v) { d.result.meanAfter = v.toDouble(); }},
        {"rise_observed", "", [](const D& d, const W&) -> QVariant { return d.result.riseObserved; },
         [](D& d, const QVariant& v) { d.result.riseObserved = v.toDouble(); }},
        {"rise_corrected", "", [](const D& d, const W&) -> QVariant { return d.result.riseCorrected; },
         [](D& d, const QVariant& v) { d.result.riseCorrected = v.toDouble(); }},
        {"b", "", [](const D& d, const W&) -> QVariant { return optionalNumber(d.result.b); },
         [](D& d, const QVariant& v) { d.result.b = numberOrNothing(v); }},
        {"count_fore", "", [](const D& d, const W&) -> QVariant { return d.result.countFore; },
         [](D& d, const QVariant& v) { d.result.countFore = v.toInt(); }},
        {"count_main", "", [](const D& d, const W&) -> QVariant { return d.result.countMain; },
         [](D& d, const QVariant& v) { d.result.countMain = v.toInt(); }},
        {"count_after", "", [](const D& d, const W&) -> QVariant { return d.result.countAfter; },
         [](D& d, const QVariant& v) { d.result.countAfter = v.toInt(); }},
        {"mode", "", [](const D& d, const W&) -> QVariant { return modeKey(d.calorimetry.mode); },
         [](D& d, const QVariant& v) { d.calorimetry.mode = modeFromKey(v.toString()); }},
        {"mass", "", [](const D& d, const W&) -> QVariant { return d.calorimetry.mass; },
         [](D& d, const QVariant& v) { d.calorimetry.mass = v.toDouble(); }},
        {"energy_equivalent_given", "", [](const D& d, const W&) -> QVariant { return d.calorimetry.energyEquivalent; },
         [](D& d, const QVariant& v) { d.calorimetry.energyEquivalent = v.toDouble(); }},
        {"heat_of_combustion", "", [](const D& d, const W&) -> QVariant { return d.calorimetry.heatOfCombustion; },
         [](D& d, const QVariant& v) { d.calorimetry.heatOfCombustion = v.toDouble(); }},
        {"fuse", "", [](const D& d, const W&) -> QVariant { return d.calorimetry.fuse; },
         [](D& d, const QVariant& v) { d.calorimetry.fuse = v.toDouble(); }},
        {"acid", "", [](const D& d, const W&) -> QVariant { return d.calorimetry.acid; },
         [](D& d, const QVariant& v) { d.calorimetry.acid = v.toDouble(); }},
        {"sulfur", "", [](const D& d, const W&) -> QVariant { return d.calorimetry.sulfur; },
         [](D& d, const QVariant& v) { d.calorimetry.sulfur = v.toDouble(); }},
        {"energy_equivalent", "", [](const D& d, const W&) -> QVariant { return optionalNumber(d.result.energyEquivalent); },
         [](D& d, const QVariant& v) { d.result.energyEquivalent = numberOrNothing(v); }},
        {"gross_calorific_value", "", [](const D& d, const W&) -> QVariant { return optionalNumber(d.result.grossCalorificValue); },
         [](D& d, const QVariant& v) { d.result.grossCalorificValue = numberOrNothing(v); }},
        {"warnings", "", [](const D& d, const W&) -> QVariant { return text(d.result.warnings.join(QLatin1Char('\n'))); },
         [](D& d, const QVariant& v) {
             d.result.warnings = v.toString().isEmpty() ? QStringList() : v.toString().split(QLatin1Char('\n'));
         }},
        // Written by a rejection, never by a record.
        {"", "d.rejected_reason", nullptr,
         [](D& d, const QVariant& v) { d.rejectedReason = v.isNull() ? QString() : v.toString(); }},
        {"", "d.rejected_utc", nullptr,
         [](D& d, const QVariant& v) { d.rejectedUtc = v.isNull() ? QDateTime() : fromUtcText(v.toString()); }},
        {"moisture", "", [](const D& d, const W&) -> QVariant { return optionalNumber(d.moisture); },
         [](D& d, const QVariant& v) { d.moisture = numberOrNothing(v); }},
        {"hydrogen_dry", "", [](const D& d, const W&) -> QVariant { return optionalNumber(d.hydrogenDry); },
         [](D& d, const QVariant& v) { d.hydrogenDry = numberOrNothing(v); }},
        {"oxygen_nitrogen_dry", "", [](const D& d, const W&) -> QVariant { return optionalNumber(d.oxygenNitrogenDry); },
         [](D& d, const QVariant& v) { d.oxygenNitrogenDry = numberOrNothing(v); }},
        {"net_calorific_value", "", [](const D& d, const W&) -> QVariant { return optionalNumber(d.netCalorificValue); },
         [](D& d, const QVariant& v) { d.netCalorificValue = numberOrNothing(v); }},
        {"inputs_given", "",
         [](const D& d, const W&) -> QVariant { return d.inputsGiven.isEmpty() ? QStringLiteral("{}") : d.inputsGiven; },
         [](D& d, const QVariant& v) { d.inputsGiven = v.toString(); }},
        {"aid", "", [](const D& d, const W&) -> QVariant { return d.calorimetry.aid; },
         [](D& d, const QVariant& v) { d.calorimetry.aid = v.toDouble(); }},
        {"energy_equivalent_source", "", [](const D& d, const W&) -> QVariant { return text(d.energyEquivalentSource); },
         [](D& d, const QVariant& v) { d.energyEquivalentSource = v.toString(); }},
        // A record of before these columns has the main period's limits for θa's and θc's times.
        {"ta", "", [](const D& d, const W&) -> QVariant { return d.result.ta; },
         [](D& d, const QVariant& v) { d.result.ta = numberOrNothing(v).value_or(d.result.periods.b); }},
        {"tc", "", [](const D& d, const W&) -> QVariant { return d.result.tc; },
         [](D& d, const QVariant& v) { d.result.tc = numberOrNothing(v).value_or(d.result.periods.c); }},
        {"series", "", [](const D&, const W& w) -> QVariant { return w.series; },
         [](D& d, const QVariant& v) { d.series = v.toInt(); }},
        {"check_certified", "", [](const D& d, const W&) -> QVariant { return optionalNumber(d.checkCertified); },
         [](D& d, const QVariant& v) { d.checkCertified = numberOrNothing(v); }},
        {"check_tolerance", "", [](const D& d, const W&) -> QVariant { return optionalNumber(d.checkTolerancePercent); },
         [](D& d, const QVariant& v) { d.checkTolerancePercent = numberOrNothing(v); }},
        {"active_series", "", [](const D&, const W& w) -> QVariant { return w.active; },
         [](D& d, const QVariant& v) { d.activeSeries = v.toInt(); }},
        {"replaces", "",
         [](const D& d, const W&) -> QVariant { return d.replaces ? QVariant(d.replaces) : QVariant(QMetaType::fromType<qlonglong>()); },
         [](D& d, const QVariant& v) { d.replaces = v.toLongLong(); }},
        {"sample_entry", "",
         [](const D& d, const W&) -> QVariant {
             return d.sampleEntry ? QVariant(d.sampleEntry) : QVariant(QMetaType::fromType<qlonglong>());
         },
         [](D& d, const QVariant& v) { d.sampleEntry = v.toLongLong(); }},
        {"mass_source", "",
         [](const D& d, const W&) -> QVariant { return d.massSource.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(d.massSource); },
         [](D& d, const QVariant& v) { d.massSource = v.isNull() ? QString() : v.toString(); }},
    };
    return all;
}

} // namespace

const QString& selectList() {
    static const QString list = [] {
        QStringList s;
        for (const Column& c : columns())
            s << (*c.select ? QString::fromLatin1(c.select) : QStringLiteral("d.") + QLatin1String(c.name));
        return s.join(QStringLiteral(", "));
    }();
    return list;
}

const QString& insertStatement() {
    static const QString sql = [] {
        QStringList names, marks;
        for (const Column& c : columns())
            if (c.bind) {
                names << QString::fromLatin1(c.name);
                marks << QStringLiteral("?");
            }
        return QStringLiteral("INSERT INTO determinations (%1) VALUES (%2) RETURNING id")
            .arg(names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    }();
    return sql;
}

QVariantList insertValues(const Determination& d, const Written& w) {
    QVariantList values;
    for (const Column& c : columns())
        if (c.bind)
            values << c.bind(d, w);
    return values;
}

Determination fromRow(const QSqlQuery& q) {
    Determination d;
    int i = 0;
    for (const Column& c : columns())
        c.read(d, q.value(i++));
    return d;
}

} // namespace rec::detail
