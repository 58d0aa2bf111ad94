#pragma once
// The rows of config.xml that the program reads beyond the seven of start-up, read in one place
// with one parser ("0,8" and "0.8" alike), for the window and the command line.
#include "link/balance.h"

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
    /// Balanca: the balance's port (a COM name or a path); empty when the lab weighs by hand.
    QString balanceDevice;
    /// BalancaProtocolo (mt-sics, sbi, ad) and BalancaLinha ("9600 8N1"; by default the
    /// protocol's factory line).
    lnk::balance::Protocol balanceProtocol = lnk::balance::Protocol::MtSics;
    lnk::balance::LineSettings balanceLine;
    /// Each row whose value could not be used, named with the row and what is used instead.
    QStringList warnings;
    /// config.xml exists but is no table of keys and values: nothing of it can be trusted.
    QString problem;
};

/// The settings of the config.xml at `path`; a missing file gives the defaults.
Settings readSettings(const QString& path);

} // namespace ses
