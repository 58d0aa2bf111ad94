// record: a test evaluated and written to the results database through the recording service.
#include "tools/cli/cli.h"

namespace cli {

namespace {

// The corrections as the lab measured them (a wire's length, a titration, a sulfur content) and
// the sample's analysis, into the request's given inputs; the recording service turns them
// into joules. False after the usage message.
bool measuredInputs(QCommandLineParser& p, ses::EvaluationRequest& req) {
    bool bad = false;
    const auto wire = number(p, "wire-cm", &bad), perCm = number(p, "wire-j-per-cm", &bad),
               ml = number(p, "titration-ml", &bad), normality = number(p, "normality", &bad),
               aidMass = number(p, "aid-mass", &bad), aidHeat = number(p, "aid-heat", &bad);
    if (bad)
        return false;
    // A listed sample brings its aid's mass; its heat is given here.
    if ((aidMass || req.given.contains(QStringLiteral("aid_mass"))) != aidHeat.has_value()) {
        err(ses::msg::CliAidNeedsBoth);
        return false;
    }
    for (auto [measured, joules] : {std::pair{"wire-cm", "fuse"}, {"titration-ml", "acid"}, {"sulfur-pct", "sulfur"}})
        if (isSet(p, measured) && isSet(p, joules)) {
            err(ses::msg::CliMeasuredAndJoules.arg(QString::fromLatin1(measured), QString::fromLatin1(joules)));
            return false;
        }
    if ((perCm && !wire) || (ml.has_value() != normality.has_value())) {
        err(perCm && !wire ? ses::msg::CliWirePerCmAlone : ses::msg::CliTitrationNeedsNormality);
        return false;
    }
    for (const char* o : {"wire-cm", "titration-ml", "sulfur-pct", "aid-mass"})
        if (isSet(p, o) && req.calorimetry.mode == eval::Calorimetry::Mode::None) {
            err(ses::msg::CliCorrectionAlone.arg(QString::fromLatin1(o)));
            return false;
        }
    for (const char* o : {"wire-cm", "wire-j-per-cm", "titration-ml", "normality", "sulfur-pct", "moisture-pct",
                          "hydrogen-pct", "oxygen-nitrogen-pct", "aid-mass", "aid-heat"})
        if (const auto v = number(p, o, &bad))
            req.given[QString::fromLatin1(o).replace(QLatin1Char('-'), QLatin1Char('_'))] = *v;
    return !bad;
}

} // namespace

int record(const Command&, QCommandLineParser& p) {
    const bool queued = isSet(p, "queued") || isSet(p, "queued-id");
    // What a listed sample already says is never given twice.
    for (const char* o : {"sample", "mass", "calibrate", "heat", "check-standard", "aid-mass", "description", "calorimeter"})
        if (queued && isSet(p, o)) {
            err(ses::msg::CliQueuedSays.arg(QString::fromLatin1(o)));
            return kUsage;
        }
    if (!queued && value(p, "sample").trimmed().isEmpty()) {
        err(ses::msg::CliOptionMissing.arg(QStringLiteral("record"), QStringLiteral("sample")));
        return kUsage;
    }
    auto r = evaluationRequest(p, true, queued);
    if (!r)
        return kUsage;
    Cli c;
    const auto settings = settingsOf(c);
    if (!settings)
        return kFile;
    std::unique_ptr<rec::Store> store;
    std::optional<rec::QueuedSample> listed;
    ses::SampleIdentity who{value(p, "sample"), value(p, "description"), {}, value(p, "calorimeter"), {}, {}, {}};
    if (queued) {
        store = openStore(p, *settings);
        if (!store)
            return kFile;
        if (isSet(p, "queued-id")) {
            bool ok = false;
            const qint64 entry = value(p, "queued-id").trimmed().toLongLong(&ok);
            QString why;
            listed = ok ? store->sample(entry, &why) : std::nullopt;
            if (!listed) {
                err(ok ? why : ses::msg::CliQueuedIdForm.arg(value(p, "queued-id")));
                return kUsage;
            }
        } else {
            listed = queuedSample(*store, value(p, "queued"), value(p, "replaces").trimmed().toLongLong());
        }
        if (!listed)
            return kUsage;
        ses::takeQueued(*listed, *r, who);
    }
    if (isSet(p, "check-standard") && r->calorimetry.mode != eval::Calorimetry::Mode::Sample) {
        err(ses::msg::CliCheckNeedsSample);
        return kUsage;
    }
    if (!measuredInputs(p, *r))
        return kUsage;
    bool bad = false;
    const ses::SampleAnalysis analysis{number(p, "moisture-pct", &bad), number(p, "hydrogen-pct", &bad),
                                       number(p, "oxygen-nitrogen-pct", &bad)};
    const auto certified = queued ? who.checkCertified : number(p, "check-standard", &bad);
    if (bad)
        return kUsage;
    if (analysis.oxygenNitrogenDry && !analysis.hydrogenDry) {
        err(ses::msg::CliNetNeeds);
        return kUsage;
    }
    if (analysis.hydrogenDry && !analysis.moisture) {
        err(ses::msg::CliNetNeedsMoisture);
        return kUsage;
    }
    QDate date = QDate::currentDate();
    if (isSet(p, "test-date")) {
        date = QDate::fromString(value(p, "test-date").trimmed(), Qt::ISODate);
        if (!date.isValid()) {
            err(ses::msg::CliTestDateForm.arg(value(p, "test-date")));
            return kUsage;
        }
    }
    qint64 replaces = 0;
    if (isSet(p, "replaces")) {
        bool ok = false;
        replaces = value(p, "replaces").trimmed().toLongLong(&ok);
        if (!ok || replaces <= 0 || value(p, "reason").trimmed().isEmpty()) {
            err(ses::msg::CliReplacesForm);
            return kUsage;
        }
    }
    if (!loadFile(p, p.positionalArguments().value(0), c))
        return kFile;
    const auto test = testOption(p, c.session);
    if (!test)
        return kUsage;
    if (!store)
        store = openStore(p, *settings);
    if (!store)
        return kFile;

    ses::RecordRequest req;
    req.who = {who.sampleCode, who.description, value(p, "operator"), who.calorimeter, date, analysis, certified};
    req.queued = listed;
    req.data = &c.session.data();
    req.test = *test;
    req.dataFile = p.positionalArguments().value(0);
    req.evaluation = *r;
    req.checkTolerance = settings->checkTolerance;
    req.replaces = replaces;
    req.replaceReason = value(p, "reason");
    // A W given here is the user's choice over the series'; without one, config.xml's serves
    // only while the calorimeter has no accepted series.
    if (isSet(p, "energy-equivalent")) {
        req.wSource = ses::msg::EnergyEquivalentFromCommandLine;
        req.wChosen = true;
    } else {
        req.evaluation.calorimetry.energyEquivalent = settings->energyEquivalent.value_or(0);
        req.wSource = ses::msg::EnergyEquivalentFromConfig;
    }
    QString why;
    ses::PlanFailure failure{};
    const auto plan = ses::planRecord(*store, req, &why, &failure);
    if (!plan) {
        err(failure == ses::PlanFailure::NoW ? ses::msg::CliNoSeriesW.arg(ses::calorimeterOrDefault(req.who.calorimeter))
            : why == ses::msg::NetNeeds       ? ses::msg::CliNetNeeds
                                              : why);
        return failure == ses::PlanFailure::Evaluation ? kContents : failure == ses::PlanFailure::Database ? kFile : kUsage;
    }
    if (plan->alreadyRecorded) {
        err(ses::msg::AlreadyRecorded.arg(plan->alreadyRecorded));
        err(ses::msg::CliHowToReplace.arg(plan->alreadyRecorded));
        return kFile;
    }
    const auto id = ses::commitRecord(*store, *plan, &why);
    if (!id) {
        err(ses::msg::recordNotSaved(why));
        return kFile;
    }
    if (isSet(p, "json")) {
        const auto back = store->determination(*id, &why);
        if (!back) {
            err(why);
            return kFile;
        }
        std::fputs(QJsonDocument(ses::recordJson(*back)).toJson(QJsonDocument::Indented).constData(), stdout);
        return kOk;
    }
    // The number, then what was recorded as the window shows it before writing.
    out(QString::number(*id));
    out(ses::planText(*plan, eval::Unit::JoulesPerGram));
    // A calibration joins its calorimeter's series: where the series stands now.
    if (plan->determination.kind == rec::Determination::Kind::Calibration) {
        const auto series = ses::currentSeries(*store, plan->determination.calorimeter, &why);
        if (!series) {
            err(why);
            return kFile;
        }
        std::fputs(ses::seriesText(*series).toUtf8().constData(), stdout);
    }
    return kOk;
}


} // namespace cli
