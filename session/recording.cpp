#include "session/recording.h"

#include "session/messages.h"

#include <QFileInfo>
#include <QJsonDocument>

namespace ses {

QString systemUserName() {
    const QString u = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
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
    d.result = result;
    d.result.warnings = resultWarnings(result);
    return d;
}

std::unique_ptr<rec::Store> openResults(const QString& location, QString* error) {
    const auto where = rec::Location::parse(location, error);
    return where ? rec::Store::open(*where, error) : nullptr;
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
    }
    const QJsonObject given = QJsonDocument::fromJson(d.inputsGiven.toUtf8()).object();
    if (!given.isEmpty())
        in[QStringLiteral("given")] = given;
    o[QStringLiteral("inputs")] = in;
    if (d.netCalorificValue)
        o[QStringLiteral("net_calorific_value")] = *d.netCalorificValue;
    if (d.moisture)
        o[QStringLiteral("moisture")] = *d.moisture;
    o[QStringLiteral("samples_sha256")] = QString::fromLatin1(d.readingsSha256);
    return o;
}

} // namespace ses
