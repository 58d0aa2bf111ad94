#pragma once
// The rows of config.xml that the program reads beyond the seven of start-up, read in one place
// with one parser ("0,8" and "0.8" alike), for the window and the command line.
#include <QString>
#include <QStringList>
#include <optional>

namespace ses {

struct Settings {
    /// EquivalenteEnergetico: the W last typed, a sample's W while its calorimeter has no
    /// accepted series (J/K).
    std::optional<double> energyEquivalent;
    /// Resultados: the results database (a path or a postgresql:// address); empty: the default.
    QString results;
    /// PapelRevisor: the server's role whose members review.
    QString reviewerRole;
    /// Repetibilidade: the repeatability limit r of the lab's duplicates (J/g).
    double repeatability = 120;
    /// ToleranciaPadrao: a check standard's tolerance against its certificate (%).
    double checkTolerance = 0.2;
    /// Each row whose value could not be used, named with the row and what is used instead.
    QStringList warnings;
    /// config.xml exists but is no table of keys and values: nothing of it can be trusted.
    QString problem;
};

/// The settings of the config.xml at `path`; a missing file gives the defaults.
Settings readSettings(const QString& path);

} // namespace ses
