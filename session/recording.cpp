#include "session/recording.h"

#include "acquisition/wholefile.h"
#include "export/dtCsv.h"
#include "session/calibrationseries.h"
#include "session/exportsettings.h"
#include "session/messages.h"
#include "session/approval.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <set>
#include <cmath>

namespace ses {

QString systemUserName() {
    const QString u = rec::systemUser();
    return u.isEmpty() ? msg::DefaultOperator : u;
}

rec::Determination determinationOf(const SampleIdentity& who, const acq::Measurements& data, const acq::TestRun& test,
                                   const QString& dataFile, const EvaluationRequest& req, const eval::Result& result) {
    rec::Determination d;
    d.kind = req.calorimetry.mode == eval::Calorimetry::Mode::Calibration ? rec::Determination::Kind::Calibration
                                                                           : rec::Determination::Kind::Sample;
    d.sampleCode = who.sampleCode.trimmed();
    d.description = who.description;
    d.operatorName = who.operatorName.trimmed().isEmpty() ? systemUserName() : who.operatorName.trimmed();
    d.calorimeter = who.calorimeter.trimmed().isEmpty() ? msg::DefaultCalorimeter : who.calorimeter.trimmed();
    d.testDate = who.testDate;
    d.dataFile = dataFile.isEmpty() ? QString() : QFileInfo(dataFile).absoluteFilePath();
    d.testNumber = test.number;
    d.testOccurrence = test.occurrence;
    for (const int i : data.inOrder(test)) {
        const acq::Row& row = data.rows()[static_cast<size_t>(i)];
        d.readings.push_back({row.subReg, row.tempo, row.tint, row.text});
    }
    d.calorimetry = req.calorimetry;
    if (!req.given.isEmpty())
        d.inputsGiven = QString::fromUtf8(QJsonDocument(req.given).toJson(QJsonDocument::Compact));
    d.result = result;
    d.result.warnings = resultWarnings(result);
    return d;
}

bool setAnalysis(rec::Determination& d, const SampleAnalysis& a, QString* why) {
    for (const auto& v : {a.moisture, a.hydrogenDry, a.oxygenNitrogenDry})
        if (v && !(std::isfinite(*v) && *v >= 0 && *v < 100)) {
            *why = msg::AnalysisOutOfRange;
            return false;
        }
    if ((a.oxygenNitrogenDry && !a.hydrogenDry) || (a.hydrogenDry && !d.result.grossCalorificValue)) {
        *why = msg::NetNeeds;
        return false;
    }
    // The net value is on the basis of the sample as analysed: its moisture is part of it.
    if (a.hydrogenDry && !a.moisture) {
        *why = msg::NetNeedsMoisture;
        return false;
    }
    d.moisture = a.moisture;
    d.hydrogenDry = a.hydrogenDry;
    d.oxygenNitrogenDry = a.oxygenNitrogenDry;
    d.netCalorificValue.reset();
    if (a.hydrogenDry) {
        const double gross = *d.result.grossCalorificValue;
        const double dry = a.moisture ? eval::dryBasis(gross, *a.moisture) : gross;
        d.netCalorificValue =
            eval::netCalorificValue(dry, {*a.hydrogenDry, a.oxygenNitrogenDry.value_or(0), a.moisture.value_or(0)});
    }
    return true;
}

std::unique_ptr<rec::Store> openResults(const QString& location, QString* error, const QString& reviewerRole,
                                        rec::Store::Access access) {
    const auto where = rec::Location::parse(location, error);
    auto store = where ? rec::Store::open(*where, error, access) : nullptr;
    if (store)
        store->setReviewerRole(reviewerRole);
    return store;
}

QJsonObject recordJson(const rec::Determination& d) {
    acq::TestRun test;
    test.number = d.testNumber;
    test.occurrence = d.testOccurrence;
    QJsonObject o = resultJson(test, d.result);
    o[QStringLiteral("id")] = d.id;
    o[QStringLiteral("kind")] = d.kind == rec::Determination::Kind::Calibration ? QStringLiteral("calibration")
                                                                                 : QStringLiteral("sample");
    o[QStringLiteral("sample")] = d.sampleCode;
    o[QStringLiteral("description")] = d.description;
    o[QStringLiteral("operator")] = d.operatorName;
    o[QStringLiteral("calorimeter")] = d.calorimeter;
    o[QStringLiteral("test_date")] = d.testDate.toString(Qt::ISODate);
    o[QStringLiteral("recorded_at")] = d.recordedUtc.toString(Qt::ISODateWithMs);
    o[QStringLiteral("data_file")] = d.dataFile;
    o[QStringLiteral("status")] = d.rejected() ? QStringLiteral("rejected") : QStringLiteral("valid");
    if (d.rejected())
        o[QStringLiteral("reject_reason")] = d.rejectedReason;
    const eval::Calorimetry& c = d.calorimetry;
    QJsonObject in;
    if (c.mode != eval::Calorimetry::Mode::None) {
        in[QStringLiteral("mass")] = c.mass;
        if (c.mode == eval::Calorimetry::Mode::Calibration)
            in[QStringLiteral("heat_of_combustion")] = c.heatOfCombustion;
        else
            in[QStringLiteral("energy_equivalent")] = c.energyEquivalent;
        in[QStringLiteral("fuse")] = c.fuse;
        in[QStringLiteral("acid")] = c.acid;
        in[QStringLiteral("sulfur")] = c.sulfur;
        if (c.aid != 0)
            in[QStringLiteral("aid")] = c.aid;
    }
    const QJsonObject given = QJsonDocument::fromJson(d.inputsGiven.toUtf8()).object();
    if (!given.isEmpty())
        in[QStringLiteral("given")] = given;
    o[QStringLiteral("inputs")] = in;
    if (const auto dry = grossDry(d))
        o[QStringLiteral("gross_calorific_value_dry")] = *dry;
    if (d.netCalorificValue) {
        o[QStringLiteral("net_calorific_value")] = *d.netCalorificValue;
        o[QStringLiteral("net_basis")] = QStringLiteral("as_analysed");
    }
    if (d.moisture)
        o[QStringLiteral("moisture")] = *d.moisture;
    o[QStringLiteral("samples_sha256")] = QString::fromLatin1(d.readingsSha256);
    if (!d.energyEquivalentSource.isEmpty())
        o[QStringLiteral("energy_equivalent_source")] = d.energyEquivalentSource;
    if (d.series)
        o[QStringLiteral("series")] = d.series;
    if (!d.seriesChanged.isEmpty())
        o[QStringLiteral("series_changed")] = d.seriesChanged;
    if (d.replaces)
        o[QStringLiteral("replaces")] = d.replaces;
    if (d.sampleEntry)
        o[QStringLiteral("sample_entry")] = d.sampleEntry;
    o[QStringLiteral("state")] = d.signedState();
    QJsonArray signatures;
    for (const rec::Signature& s : d.signatures)
        signatures << QJsonObject{{QStringLiteral("meaning"), rec::meaningText(s.meaning)},
                                  {QStringLiteral("user"), s.user},
                                  {QStringLiteral("full_name"), s.fullName},
                                  {QStringLiteral("signed_at"), s.signedUtc.toString(Qt::ISODateWithMs)},
                                  {QStringLiteral("comment"), s.comment}};
    if (!signatures.isEmpty())
        o[QStringLiteral("signatures")] = signatures;
    if (!d.massSource.isEmpty())
        o[QStringLiteral("mass_source")] = d.massSource;
    if (const auto dev = checkStandardDeviation(d))
        o[QStringLiteral("check_standard")] =
            QJsonObject{{QStringLiteral("certified"), *d.checkCertified},
                        {QStringLiteral("deviation_percent"), *dev},
                        {QStringLiteral("tolerance_percent"), d.checkTolerancePercent.value_or(0.2)},
                        {QStringLiteral("within"), std::abs(*dev) <= d.checkTolerancePercent.value_or(0.2)}};
    return o;
}

QString recordText(const rec::Determination& d, const QString& duplicates) {
    const bool calibration = d.kind == rec::Determination::Kind::Calibration;
    QList<std::pair<QString, QString>> lines{
        {QStringLiteral("Determinação"), QString::number(d.id)},
        {QStringLiteral("Tipo"), calibration ? QStringLiteral("calibração") : QStringLiteral("amostra")},
        {QStringLiteral("Amostra"), d.sampleCode},
        {QStringLiteral("Descrição"), d.description},
        {QStringLiteral("Operador"), d.operatorName},
        {QStringLiteral("Calorímetro"), d.calorimeter},
        {QStringLiteral("Data do ensaio"), d.testDate.toString(QStringLiteral("dd/MM/yyyy"))},
        {QStringLiteral("Registrada em"), localTime(d.recordedUtc)},
        {QStringLiteral("Arquivo de dados"), d.dataFile},
        {QStringLiteral("Situação"), d.rejected() ? msg::Rejected.arg(d.rejectedReason) : QStringLiteral("válida")}};
    if (!d.massSource.isEmpty())
        lines << std::pair{QStringLiteral("Massa"), QStringLiteral("%1 g (%2)").arg(fixed(d.calorimetry.mass, 5), d.massSource)};
    for (const rec::Signature& s : d.signatures)
        lines << std::pair{QStringLiteral("Assinatura"),
                           QStringLiteral("%1 por %2 (%3) em %4%5")
                               .arg(rec::meaningText(s.meaning), s.fullName, s.user, localTime(s.signedUtc),
                                    s.comment.isEmpty() ? QString() : QStringLiteral(": ") + s.comment)};
    if (!calibration && !d.energyEquivalentSource.isEmpty())
        lines << std::pair{QStringLiteral("Origem do equivalente"), d.energyEquivalentSource};
    if (calibration && d.series)
        lines << std::pair{QStringLiteral("Série de calibração"), QString::number(d.series)};
    if (!d.seriesChanged.isEmpty())
        lines << std::pair{QStringLiteral("Série mudou"), d.seriesChanged};
    if (d.replaces)
        lines << std::pair{QStringLiteral("Substitui"), QStringLiteral("determinação %1").arg(d.replaces)};
    if (const QString check = checkStandardText(d); !check.isEmpty())
        lines << std::pair{QStringLiteral("Padrão de verificação"), check.section(QStringLiteral(": "), 1)};
    if (const auto dry = grossDry(d))
        lines << std::pair{QStringLiteral("PCS na base seca"), fixed(*dry, 1) + QStringLiteral(" J/g")};
    if (d.netCalorificValue)
        lines << std::pair{QStringLiteral("Poder calorífico inferior"),
                           fixed(*d.netCalorificValue, 1) + QStringLiteral(" J/g ") + netBasisText(d)};
    if (!duplicates.isEmpty())
        lines << std::pair{QStringLiteral("Duplicatas"), duplicates};
    QString out;
    for (const auto& [label, value] : lines)
        out += (label + QLatin1Char(':')).leftJustified(28) + value + QLatin1Char('\n');
    acq::TestRun test;
    test.number = d.testNumber;
    test.occurrence = d.testOccurrence;
    return out + QLatin1Char('\n') + ses::resultText(test, d.result, d.calorimetry);
}

std::optional<double> grossDry(const rec::Determination& d) {
    if (!d.result.grossCalorificValue || !d.moisture)
        return std::nullopt;
    return eval::dryBasis(*d.result.grossCalorificValue, *d.moisture);
}

QString netBasisText(const rec::Determination& d) {
    return QStringLiteral("(base analisada, umidade %1 %)").arg(eval::decimal(d.moisture.value_or(0), 2));
}

std::optional<double> judgedValue(const rec::Determination& d) {
    // A check standard is judged against its certificate, never as a duplicate.
    if (d.kind != rec::Determination::Kind::Sample || !d.result.grossCalorificValue || d.checkCertified)
        return std::nullopt;
    return d.moisture ? eval::dryBasis(*d.result.grossCalorificValue, *d.moisture) : *d.result.grossCalorificValue;
}

std::optional<std::map<QString, rec::DuplicateVerdict>> duplicateVerdicts(const rec::Store& store,
                                                                          const rec::Filter& filter, double repeatability,
                                                                          QString* error) {
    rec::Filter valid;
    valid.sample = filter.sample;
    valid.samplePart = filter.samplePart;
    valid.kind = rec::Determination::Kind::Sample;
    valid.status = rec::Filter::Status::Valid;
    const auto list = store.list(valid, error);
    if (!list)
        return std::nullopt;
    // In the order they were recorded: the list is newest first.
    // Between different tests only: a test recorded twice (before each test got one
    // determination) counts once.
    std::map<QString, QList<double>> values;
    std::map<QString, std::set<bool>> dry; // whether each value is on the dry basis
    std::set<QByteArray> tests;
    for (auto it = list->crbegin(); it != list->crend(); ++it)
        if (const auto v = judgedValue(*it); v && tests.insert(it->readingsSha256).second) {
            values[it->sampleCode] << *v;
            dry[it->sampleCode].insert(it->moisture.has_value());
        }
    std::map<QString, rec::DuplicateVerdict> out;
    for (const auto& [code, v] : values) {
        out[code] = rec::duplicates(v, repeatability);
        const std::set<bool>& d = dry[code];
        out[code].basis = d.size() > 1 ? rec::DuplicateVerdict::Basis::Mixed
                          : *d.begin() ? rec::DuplicateVerdict::Basis::Dry
                                       : rec::DuplicateVerdict::Basis::AsAnalysed;
    }
    return out;
}

QString duplicateText(const rec::DuplicateVerdict& v, eval::Unit unit) {
    using S = rec::DuplicateVerdict::State;
    // The basis said with the value: a dry-basis mean read beside an as-analysed result would
    // pass for it.
    const QString basis = v.basis == rec::DuplicateVerdict::Basis::Dry     ? QStringLiteral(" (base seca)")
                          : v.basis == rec::DuplicateVerdict::Basis::Mixed ? msg::DuplicatesMixedBasis
                                                                           : QString();
    if (v.state == S::Agree)
        return msg::DuplicatesAgree.arg(QStringLiteral("%1 %2").arg(fixed(eval::inUnit(*v.reported, unit), unit == eval::Unit::MegajoulesPerKilogram ? 3 : 1), eval::unitName(unit))) +
               basis;
    return v.state == S::Repeat ? msg::DuplicatesRepeat + basis : QString();
}

QJsonObject duplicatesJson(const rec::DuplicateVerdict& v) {
    using S = rec::DuplicateVerdict::State;
    QJsonObject o;
    o[QStringLiteral("state")] = v.state == S::Agree ? QStringLiteral("agree") : v.state == S::Repeat ? QStringLiteral("repeat") : QStringLiteral("single");
    if (v.state == S::Agree)
        o[QStringLiteral("reported")] = *v.reported;
    o[QStringLiteral("basis")] = v.basis == rec::DuplicateVerdict::Basis::Dry     ? QStringLiteral("dry")
                                 : v.basis == rec::DuplicateVerdict::Basis::Mixed ? QStringLiteral("mixed")
                                                                                  : QStringLiteral("as_analysed");
    if (v.state != S::Single)
        o[QStringLiteral("difference")] = v.difference;
    return o;
}

QString resultText(const rec::Determination& d, eval::Unit unit) {
    if (d.kind == rec::Determination::Kind::Calibration)
        return d.result.energyEquivalent ? fixed(*d.result.energyEquivalent, 1) + QStringLiteral(" J/K") : QString();
    if (!d.result.grossCalorificValue)
        return {};
    return fixed(eval::inUnit(*d.result.grossCalorificValue, unit), unit == eval::Unit::MegajoulesPerKilogram ? 3 : 1) +
           QLatin1Char(' ') + eval::unitName(unit);
}

acq::Records resultsTable(const QList<rec::Determination>& list,
                          const std::map<QString, rec::DuplicateVerdict>& verdicts, eval::Unit unit) {
    auto field = [](const QString& name, acq::FieldType type, const QString& format = {}) {
        acq::FieldDef f;
        f.name = name;
        f.type = type;
        f.displayFormat = format;
        return f;
    };
    using FT = acq::FieldType;
    const QString valueFormat = unit == eval::Unit::MegajoulesPerKilogram ? QStringLiteral("0.000") : QStringLiteral("0.0");
    acq::Records t({field(QStringLiteral("Nº"), FT::Integer), field(QStringLiteral("Tipo"), FT::String),
                    field(QStringLiteral("Amostra"), FT::String), field(QStringLiteral("Descrição"), FT::String),
                    field(QStringLiteral("Operador"), FT::String), field(QStringLiteral("Calorímetro"), FT::String),
                    field(QStringLiteral("Data do ensaio"), FT::String),
                    field(QStringLiteral("Resultado (%1)").arg(eval::unitName(unit)), FT::Float, valueFormat),
                    field(QStringLiteral("Equivalente energético (J/K)"), FT::Float, QStringLiteral("0.0")),
                    field(QStringLiteral("PCS base seca (%1)").arg(eval::unitName(unit)), FT::Float, valueFormat),
                    field(QStringLiteral("PCI base analisada (%1)").arg(eval::unitName(unit)), FT::Float, valueFormat),
                    field(QStringLiteral("Duplicatas"), FT::String), field(QStringLiteral("Situação"), FT::String),
                    field(QStringLiteral("Série mudou"), FT::String), field(QStringLiteral("Avisos"), FT::String)});
    for (const rec::Determination& d : list) {
        const bool calibration = d.kind == rec::Determination::Kind::Calibration;
        const auto gross = d.result.grossCalorificValue;
        const auto v = verdicts.find(d.sampleCode);
        t.appendRow({d.id, calibration ? QStringLiteral("calibração") : QStringLiteral("amostra"), d.sampleCode,
                     d.description, d.operatorName, d.calorimeter, d.testDate.toString(QStringLiteral("dd/MM/yyyy")),
                     gross ? QVariant(eval::inUnit(*gross, unit)) : QVariant(),
                     d.result.energyEquivalent ? QVariant(*d.result.energyEquivalent) : QVariant(),
                     grossDry(d) ? QVariant(eval::inUnit(*grossDry(d), unit)) : QVariant(),
                     d.netCalorificValue ? QVariant(eval::inUnit(*d.netCalorificValue, unit)) : QVariant(),
                     !calibration && v != verdicts.end() ? duplicateText(v->second, unit) : QString(),
                     d.rejected() || !d.signatures.isEmpty() ? signedStateText(d) : QStringLiteral("válida"), d.seriesChanged,
                     d.result.warnings.join(QLatin1Char(' '))});
    }
    return t;
}

bool writeResultsTable(const acq::Records& table, const QString& path, QString* error) {
    if (QFileInfo(path).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0)
        return acq::writeWholeFile(path, recordsCsv(table), error);
    return writeSpreadsheet(table, path, true, error);
}

acq::Measurements measurementsOf(const rec::Determination& d, acq::TestRun* test) {
    acq::Measurements m;
    m.startTest(static_cast<int>(d.testNumber));
    int first = -1;
    double tmax = 0, tmin = 0;
    for (const rec::Determination::Reading& r : d.readings) {
        acq::Row row;
        row.ensaio = static_cast<int>(d.testNumber);
        row.subReg = r.subReg;
        row.tempo = r.tempo;
        row.tint = r.tint;
        row.text = r.text;
        const int i = m.addSample(row);
        if (first < 0) {
            first = i;
            tmax = tmin = r.tint;
        }
        tmax = std::max(tmax, r.tint);
        tmin = std::min(tmin, r.tint);
    }
    if (first >= 0)
        m.setExtremes(first, tmax, tmin);
    if (test) {
        *test = m.tests().value(0);
        test->occurrence = d.testOccurrence;
    }
    return m;
}

} // namespace ses
