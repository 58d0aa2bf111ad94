#include "session/settings.h"

#include "acquisition/configtable.h"
#include "acquisition/datapacket.h"
#include "evaluation/evaluation.h"
#include "records/duplicates.h"
#include "session/messages.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

namespace ses {

Settings readSettings(const QString& path) {
    Settings s;
    s.repeatability = rec::kDefaultRepeatability;
    if (!QFileInfo::exists(path))
        return s;
    QString why;
    auto records = acq::loadDatapacket(path, &why);
    if (records && !acq::hasFields(*records, {QStringLiteral("Key"), QStringLiteral("Value")}, &why))
        records.reset();
    const auto table = records ? acq::ConfigTable::fromRecords(std::move(*records)) : std::nullopt;
    if (!table) {
        s.problem = msg::ConfigFileInvalid.arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()), why);
        return s;
    }
    auto row = [&](const QString& key) { return table->value(key).value_or(QString()).trimmed(); };
    // A number within what the row can sensibly hold, [from, below); otherwise nothing, and a
    // warning naming the row and what is used instead.
    auto positive = [&](const QString& key, double from, double below, const QString& instead) -> std::optional<double> {
        const QString text = row(key);
        if (text.isEmpty())
            return std::nullopt;
        const auto v = eval::parseDecimal(text);
        if (v && std::isfinite(*v) && *v > 0 && *v >= from && *v < below)
            return v;
        s.warnings << msg::SettingInvalid.arg(key, text, instead);
        return std::nullopt;
    };
    // A bomb calorimeter's W lies between a semi-micro one's hundreds and a large one's tens of
    // thousands of J/K; r and the tolerance are a small part of a calorific value.
    s.energyEquivalent = positive(QStringLiteral("EquivalenteEnergetico"), 100, 1e6, msg::SettingNoW);
    s.repeatability =
        positive(QStringLiteral("Repetibilidade"), 0, 10000, QStringLiteral("120 J/g")).value_or(rec::kDefaultRepeatability);
    s.checkTolerance = positive(QStringLiteral("ToleranciaPadrao"), 0, 10, QStringLiteral("0,2 %")).value_or(0.2);
    s.results = row(QStringLiteral("Resultados"));
    s.reviewerRole = row(QStringLiteral("PapelRevisor"));
    auto yes = [&](const QString& key) {
        const QString v = row(key).toLower();
        if (v.isEmpty() || v == QLatin1String("0") || v == QLatin1String("não") || v == QLatin1String("nao"))
            return false;
        if (v == QLatin1String("1") || v == QLatin1String("sim"))
            return true;
        s.warnings << msg::SettingInvalid.arg(key, row(key), QStringLiteral("não"));
        return false;
    };
    s.signing.oneStep = yes(QStringLiteral("AssinaturaUmPasso"));
    s.signing.recorderMayApprove = yes(QStringLiteral("AutorPodeAprovar"));
    s.limsFolder = row(QStringLiteral("PastaLIMS"));
    if (const QString d = row(QStringLiteral("LIMSDecimal")); d == QLatin1String(",") || d == QLatin1String("."))
        s.limsDecimal = d.at(0);
    else if (!d.isEmpty())
        s.warnings << msg::SettingInvalid.arg(QStringLiteral("LIMSDecimal"), d, QStringLiteral("\".\""));
    if (!row(QStringLiteral("LIMSChavePCS")).isEmpty())
        s.limsGrossKey = row(QStringLiteral("LIMSChavePCS"));
    if (!row(QStringLiteral("LIMSChavePCI")).isEmpty())
        s.limsNetKey = row(QStringLiteral("LIMSChavePCI"));
    if (const QString f = row(QStringLiteral("LIMSFormato")).toLower(); f == QLatin1String("json"))
        s.limsForm = LimsForm::Json;
    // SENAITE's form holds a sample's value (the mean of its duplicates): it is exported whole,
    // never dropped one determination at a time.
    else if (!f.isEmpty() && f != QLatin1String("csv"))
        s.warnings << msg::SettingInvalid.arg(QStringLiteral("LIMSFormato"), f, QStringLiteral("csv"));
    s.balanceDevice = row(QStringLiteral("Balanca"));
    if (const QString text = row(QStringLiteral("BalancaProtocolo")); !text.isEmpty()) {
        if (const auto p = lnk::balance::protocolNamed(text))
            s.balanceProtocol = *p;
        else
            s.warnings << msg::SettingInvalid.arg(QStringLiteral("BalancaProtocolo"), text, QStringLiteral("mt-sics"));
    }
    s.balanceLine = lnk::balance::defaultLine(s.balanceProtocol);
    if (const QString text = row(QStringLiteral("BalancaLinha")); !text.isEmpty()) {
        if (const auto l = lnk::balance::lineNamed(text, nullptr))
            s.balanceLine = *l;
        else
            s.warnings << msg::SettingInvalid.arg(QStringLiteral("BalancaLinha"), text, lnk::balance::lineName(s.balanceLine));
    }
    return s;
}

} // namespace ses
