#pragma once
// The corrections and results as a lab measures and reports them: a fuse wire's length, a
// titration, a sulfur content, a combustion aid, each turned into joules; the net calorific
// value from hydrogen, moisture and oxygen plus nitrogen; the dry basis; the units clients ask
// for. Pure functions.
#include "evaluation/evaluation.h"

#include <optional>

namespace eval {

/// Heat of the fuse wires in common use, J per cm burnt: nickel-chromium 2.3 cal/cm and iron
/// (No. 34 B&S) 2.7 cal/cm, as the wires' makers state them.
inline constexpr double kNickelChromiumJoulesPerCm = 9.6;
inline constexpr double kIronJoulesPerCm = 11.3;
/// Nitric acid formed in the bomb, J per mmol of alkali used in the titration: 1 mL of 0.0709 N
/// alkali stands for 1 cal (4.1868 J), so a mmol stands for 4.1868 / 0.0709 = 59.0522 J.
inline constexpr double kNitricAcidJoulesPerMmol = kJoulesPerCalorie / 0.0709;
/// Sulfuric acid formed from the sample's sulfur, J per (% S × g of sample): 13.7 cal.
inline constexpr double kSulfurJoulesPerPercentGram = 57.4;
/// Btu per pound in J/g.
inline constexpr double kJoulesPerGramPerBtuPerPound = 2.326;

/// The fuse correction, J: wire length burnt (cm) × heat per cm.
double fuseFromWire(double lengthCm, double joulesPerCm);
/// The acid correction, J: titration volume (mL) × the alkali's normality (mmol/mL).
double acidFromTitration(double volumeMl, double normality);
/// The sulfur correction, J: sulfur (% by mass) × the sample's mass (g) × 57.4 J.
double sulfurFromContent(double sulfurPercent, double sampleMassG);
/// Heat given by a combustion aid (paraffin oil, a capsule, benzoic acid), J: mass × its heat.
double combustionAid(double massG, double joulesPerGram);

/// The gross calorific value on the dry basis, J/g, from the value as analysed and the
/// analysis sample's moisture (% by mass).
double dryBasis(double grossAsAnalysed, double moisturePercent);

/// What the net calorific value needs, all in % by mass: hydrogen and oxygen + nitrogen on the
/// dry basis, and the moisture of the basis the net value is wanted on (as received, say).
struct NetInputs {
    double hydrogenDry = 0;
    double oxygenNitrogenDry = 0; ///< 0 when not given
    double moisture = 0;
};

/// The net calorific value at constant pressure, J/g, from the gross value on the dry basis
/// (ISO 1928's form): [q_gr,d − 212.2·H_d − 0.8·(O+N)_d]·(1 − 0.01·M) − 24.43·M.
double netCalorificValue(double grossDry, const NetInputs& in);

enum class Unit { JoulesPerGram, MegajoulesPerKilogram, CaloriesPerGram, BtuPerPound };
/// A calorific value given in J/g, in another unit (calories of the International Table).
double inUnit(double joulesPerGram, Unit unit);
/// "J/g", "MJ/kg", "cal/g", "Btu/lb".
QString unitName(Unit unit);
/// The unit of one of those names, in any case; nothing for another text.
std::optional<Unit> unitFromName(const QString& name);
inline constexpr Unit kUnits[] = {Unit::JoulesPerGram, Unit::MegajoulesPerKilogram, Unit::CaloriesPerGram, Unit::BtuPerPound};

} // namespace eval
