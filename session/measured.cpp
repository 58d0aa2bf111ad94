#include "session/measured.h"

#include "session/testevaluation.h"

#include <QRegularExpression>

#include "evaluation/labinputs.h"

namespace ses {

const MeasuredCorrection& measuredCorrection(Correction c) {
    static const QList<MeasuredCorrection> all = {
        {QStringLiteral("Correção do fio"),
         {{QStringLiteral("wire_cm"), QStringLiteral("Fio queimado:"), QStringLiteral("cm"), std::nullopt},
          {QStringLiteral("wire_j_per_cm"), QStringLiteral("Calor do fio (Ni-Cr 9,6; ferro 11,3):"), QStringLiteral("J/cm"),
           eval::kNickelChromiumJoulesPerCm}}},
        {QStringLiteral("Correção ácida"),
         {{QStringLiteral("titration_ml"), QStringLiteral("Volume da titulação:"), QStringLiteral("mL"), std::nullopt},
          {QStringLiteral("normality"), QStringLiteral("Normalidade da solução:"), QStringLiteral("N"), 0.0709}}},
        {QStringLiteral("Correção de enxofre"),
         {{QStringLiteral("sulfur_pct"), QStringLiteral("Enxofre da amostra:"), QStringLiteral("%"), std::nullopt}}},
        {QStringLiteral("Auxiliar de combustão"),
         {{QStringLiteral("aid_mass"), QStringLiteral("Massa do auxiliar:"), QStringLiteral("g"), std::nullopt},
          {QStringLiteral("aid_heat"), QStringLiteral("Calor de combustão do auxiliar:"), QStringLiteral("J/g"), std::nullopt}}},
    };
    return all[static_cast<int>(c)];
}

QList<std::array<QString, 3>> measuredLines(const QJsonObject& given) {
    QList<std::array<QString, 3>> out;
    for (const Correction c : kCorrections)
        for (const auto& f : measuredCorrection(c).fields)
            if (given.contains(f.key) && given[f.key].isDouble()) {
                QString label = f.label;
                label.chop(label.endsWith(QLatin1Char(':')) ? 1 : 0);
                out << std::array<QString, 3>{label, fixed(given[f.key].toDouble(), 4).remove(QRegularExpression(QStringLiteral("[.,]?0+$"))),
                                              f.unit};
            }
    return out;
}

std::optional<double> measuredJoules(Correction c, const QJsonObject& given, double sampleMass) {
    QList<double> v;
    for (const auto& f : measuredCorrection(c).fields) {
        if (given.contains(f.key))
            v << given[f.key].toDouble();
        else if (f.byDefault && !v.isEmpty())
            v << *f.byDefault;
        else
            return std::nullopt;
    }
    switch (c) {
    case Correction::Fuse: return eval::fuseFromWire(v[0], v[1]);
    case Correction::Acid: return eval::acidFromTitration(v[0], v[1]);
    case Correction::Sulfur:
        return sampleMass > 0 ? std::optional(eval::sulfurFromContent(v[0], sampleMass)) : std::nullopt;
    case Correction::Aid: return eval::combustionAid(v[0], v[1]);
    }
    return std::nullopt;
}

double& correctionJoules(eval::Calorimetry& c, Correction which) {
    switch (which) {
    case Correction::Fuse: return c.fuse;
    case Correction::Acid: return c.acid;
    case Correction::Sulfur: return c.sulfur;
    case Correction::Aid: break;
    }
    return c.aid;
}

void applyMeasured(eval::Calorimetry& c, const QJsonObject& given) {
    for (const Correction k : kCorrections)
        if (const auto j = measuredJoules(k, given, c.mass))
            correctionJoules(c, k) = *j;
}

} // namespace ses
