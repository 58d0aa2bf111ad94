#pragma once
// The corrections as the lab measures them (a wire's length, a titration, a sulfur content, a
// combustion aid's mass and heat) and the joules each gives: one table and one conversion for
// the evaluation window, its Registrar form and the command line.
#include "evaluation/evaluation.h"

#include <QJsonObject>
#include <array>
#include <QList>
#include <QString>
#include <optional>

namespace ses {

enum class Correction { Fuse, Acid, Sulfur, Aid };
inline constexpr Correction kCorrections[] = {Correction::Fuse, Correction::Acid, Correction::Sulfur, Correction::Aid};

/// What the lab measures for one correction; each field's key is its key in a record's given
/// inputs (and, with '-' for '_', the command line's option).
struct MeasuredCorrection {
    QString title;
    struct Field {
        QString key, label, unit;
        std::optional<double> byDefault; ///< a field with a default may be left out
    };
    QList<Field> fields;
};
const MeasuredCorrection& measuredCorrection(Correction c);

/// The joules of correction `c` from what `given` holds of it; nothing when a field without a
/// default is missing (or, for sulfur, without the sample's mass).
std::optional<double> measuredJoules(Correction c, const QJsonObject& given, double sampleMass);

/// Each correction that `given` measures, put in `c` in place of its joules (sulfur following
/// `c.mass`).
void applyMeasured(eval::Calorimetry& c, const QJsonObject& given);

/// What `given` holds of the lab's measurements, one line per field ("Fio queimado", "10,0",
/// "cm"), in the corrections' order; the measurements of a record's or a report's page.
QList<std::array<QString, 3>> measuredLines(const QJsonObject& given);

/// The calorimetry's field of correction `c` (its joules).
double& correctionJoules(eval::Calorimetry& c, Correction which);

} // namespace ses
