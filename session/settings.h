#pragma once
// The rows of config.xml that the program reads beyond the seven of start-up, read in one place
// with one parser ("0,8" and "0.8" alike), for the window and the command line.
#include "link/balance.h"
#include "records/store.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace ses {

/// The LIMS's forms of the approved results.
enum class LimsForm { Csv, Json, SenaiteCsv };

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
    /// AssinaturaUmPasso (review and approval in one signature) and AutorPodeAprovar (whoever
    /// recorded may approve): "1" or "sim"; both off by default.
    rec::SigningRules signing;
    /// PastaLIMS: the folder each approval writes its result to; LIMSDecimal: "," or "." in
    /// those files; LIMSChavePCS / LIMSChavePCI: the LIMS's keywords of the gross and net values.
    QString limsFolder;
    QChar limsDecimal = QLatin1Char('.');
    QString limsGrossKey = QStringLiteral("PCS"), limsNetKey = QStringLiteral("PCI");
    /// LIMSFormato: the form of each file dropped (csv, json or senaite-csv).
    LimsForm limsForm = LimsForm::Csv;
    /// Each row whose value could not be used, named with the row and what is used instead.
    QStringList warnings;
    /// config.xml exists but is no table of keys and values: nothing of it can be trusted.
    QString problem;
};

/// The settings of the config.xml at `path`; a missing file gives the defaults.
Settings readSettings(const QString& path);

} // namespace ses
