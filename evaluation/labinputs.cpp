#include "evaluation/labinputs.h"

namespace eval {

double fuseFromWire(double lengthCm, double joulesPerCm) { return lengthCm * joulesPerCm; }

double acidFromTitration(double volumeMl, double normality) { return volumeMl * normality * kNitricAcidJoulesPerMmol; }

double sulfurFromContent(double sulfurPercent, double sampleMassG) {
    return sulfurPercent * sampleMassG * kSulfurJoulesPerPercentGram;
}

double combustionAid(double massG, double joulesPerGram) { return massG * joulesPerGram; }

double dryBasis(double grossAsAnalysed, double moisturePercent) {
    return grossAsAnalysed * 100.0 / (100.0 - moisturePercent);
}

double netCalorificValue(double grossDry, const NetInputs& in) {
    return (grossDry - 212.2 * in.hydrogenDry - 0.8 * in.oxygenNitrogenDry) * (1.0 - 0.01 * in.moisture) -
           24.43 * in.moisture;
}

double inUnit(double joulesPerGram, Unit unit) {
    switch (unit) {
    case Unit::JoulesPerGram: return joulesPerGram;
    case Unit::MegajoulesPerKilogram: return joulesPerGram / 1000.0;
    case Unit::CaloriesPerGram: return joulesPerGram / kJoulesPerCalorie;
    case Unit::BtuPerPound: return joulesPerGram / kJoulesPerGramPerBtuPerPound;
    }
    return joulesPerGram;
}

QString unitName(Unit unit) {
    switch (unit) {
    case Unit::JoulesPerGram: return QStringLiteral("J/g");
    case Unit::MegajoulesPerKilogram: return QStringLiteral("MJ/kg");
    case Unit::CaloriesPerGram: return QStringLiteral("cal/g");
    case Unit::BtuPerPound: return QStringLiteral("Btu/lb");
    }
    return {};
}

std::optional<Unit> unitFromName(const QString& name) {
    for (const Unit u : kUnits)
        if (unitName(u).compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return u;
    return std::nullopt;
}

} // namespace eval
