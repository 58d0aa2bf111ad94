#include "session/recordservice.h"

#include "session/calibrationseries.h"
#include "session/measured.h"
#include "session/messages.h"

#include <QJsonDocument>
#include <algorithm>
#include <cmath>
#include <map>

namespace ses {

namespace {
// Two W closer than this are the same W as shown (one decimal).
constexpr double kSameW = 0.05;
} // namespace

QString calorimeterOrDefault(const QString& typed) {
    return typed.trimmed().isEmpty() ? msg::DefaultCalorimeter : typed.trimmed();
}

std::optional<RecordPlan> planRecord(const rec::Store& store, const RecordRequest& r, QString* why,
                                     PlanFailure* failure) {
    auto fail = [&](PlanFailure f) -> std::optional<RecordPlan> {
        if (failure)
            *failure = f;
        return std::nullopt;
    };
    RecordPlan plan;
    EvaluationRequest req = r.evaluation;
    eval::Calorimetry& c = req.calorimetry;
    applyMeasured(c, req.given);
    const QString calorimeter = calorimeterOrDefault(r.who.calorimeter);
    const bool sample = c.mode == eval::Calorimetry::Mode::Sample;
    const bool calibration = c.mode == eval::Calorimetry::Mode::Calibration;
    QString wSource = r.wSource;
    QStringList warnings;
    int series = 0;
    const auto current = currentSeries(store, calorimeter, why);
    if (!current)
        return fail(PlanFailure::Database);
    if (sample) {
        // A sample takes its calorimeter's accepted series' W; another W only when the user
        // chose it, and then the record says so. The plan's W line tells which W and whence,
        // and its warnings why another.
        const SeriesEnergyEquivalent fromSeries = seriesEnergyEquivalent(*current);
        plan.seriesW = fromSeries.w;
        plan.seriesSource = fromSeries.source;
        const bool other = fromSeries.w && c.energyEquivalent > 0 && std::abs(*fromSeries.w - c.energyEquivalent) >= kSameW;
        if (fromSeries.w && !(r.wChosen && other)) {
            c.energyEquivalent = *fromSeries.w;
            wSource = fromSeries.source;
            series = fromSeries.series;
        } else if (fromSeries.w) {
            // Kept with the record: written alike by the window and the command line.
            warnings << msg::WDiffersFromSeries.arg(eval::decimal(c.energyEquivalent, 1), fromSeries.source, eval::decimal(*fromSeries.w, 1));
        } else if (c.energyEquivalent > 0) {
            warnings << fromSeries.warning;
        } else {
            *why = msg::NoWAtAll.arg(calorimeter);
            return fail(PlanFailure::NoW);
        }
    } else if (calibration) {
        plan.note = msg::NoteCalibrationJoins.arg(std::max(1, current->series.number)).arg(calorimeter);
    }
    const eval::Outcome o = evaluateTest(*r.data, r.test, req);
    if (!o.ok()) {
        *why = o.error;
        return fail(PlanFailure::Evaluation);
    }
    SampleIdentity who = r.who;
    who.calorimeter = calorimeter;
    rec::Determination d = determinationOf(who, *r.data, r.test, r.dataFile, req, *o.result);
    if (sample) {
        d.energyEquivalentSource = wSource;
        d.series = series;
    }
    d.result.warnings << warnings;
    if (!setAnalysis(d, r.who.analysis, why))
        return fail(PlanFailure::Inputs);
    QJsonObject given = req.given;
    if (r.who.checkCertified) {
        if (!setCheckStandard(d, *r.who.checkCertified, r.checkTolerance, why))
            return fail(PlanFailure::Inputs);
        given[QStringLiteral("check_standard")] = *r.who.checkCertified;
    }
    d.inputsGiven = given.isEmpty() ? QString() : QString::fromUtf8(QJsonDocument(given).toJson(QJsonDocument::Compact));
    if (r.queued) {
        const rec::QueuedSample& q = *r.queued;
        const bool kindFits = (q.kind == rec::QueuedSample::Kind::Calibration) == calibration;
        // A listed sample serves one valid record: the one that replaces its own takes it again.
        bool again = q.state == rec::QueuedSample::State::Recorded && r.replaces && q.determination == r.replaces;
        // Its record rejected, the same test recorded again takes it again.
        if (q.state == rec::QueuedSample::State::Recorded && !again) {
            const auto old = store.determination(q.determination, why);
            if (!old)
                return fail(PlanFailure::Database);
            again = old->rejected() && old->readingsSha256 == rec::readingsDigest(d.readings);
        }
        if (!q.mass || (!q.pending() && !again) || !kindFits || std::abs(*q.mass - c.mass) > 1e-12 ||
            q.code != who.sampleCode.trimmed()) {
            *why = !q.mass         ? msg::QueuedNotWeighed.arg(q.code)
                   : !q.pending() && !again ? msg::QueuedNotPending.arg(q.code, rec::stateText(q.state))
                   : !kindFits     ? msg::QueuedOtherKind.arg(q.code, rec::kindText(q.kind))
                   : q.code != who.sampleCode.trimmed() ? msg::QueuedOtherCode.arg(q.code)
                                   : msg::QueuedOtherMass.arg(eval::decimal(c.mass, 5), q.code, eval::decimal(*q.mass, 5));
            return fail(PlanFailure::Inputs);
        }
        // The aid weighed with the sample counts only with its heat of combustion; an aid the
        // list does not have is not this sample's.
        const bool aidGiven = given.contains(QStringLiteral("aid_mass"));
        if (q.aidMass && aidGiven && std::abs(given[QStringLiteral("aid_mass")].toDouble() - *q.aidMass) > 1e-12) {
            *why = msg::QueuedAidOther.arg(q.code, eval::decimal(*q.aidMass, 4));
            return fail(PlanFailure::Inputs);
        }
        if (q.aidMass && (!aidGiven || !given.contains(QStringLiteral("aid_heat")))) {
            *why = msg::QueuedAidNeedsHeat.arg(q.code, eval::decimal(*q.aidMass, 4));
            return fail(PlanFailure::Inputs);
        }
        if (!q.aidMass && aidGiven) {
            *why = msg::QueuedNoAid.arg(q.code);
            return fail(PlanFailure::Inputs);
        }
        // A check standard is the list's, with its certificate; a sample is none.
        const std::optional<double> certified = given.contains(QStringLiteral("check_standard"))
                                                    ? std::optional(given[QStringLiteral("check_standard")].toDouble())
                                                    : std::nullopt;
        const bool check = q.kind == rec::QueuedSample::Kind::Check;
        if (!calibration && (check != certified.has_value() || (check && std::abs(*certified - *q.certified) > 1e-9))) {
            *why = msg::QueuedOtherCheck.arg(q.code);
            return fail(PlanFailure::Inputs);
        }
        d.sampleEntry = q.id;
        d.massSource = q.massSource;
    }
    d.readingsSha256 = rec::readingsDigest(d.readings);
    // One test, one determination.
    const auto same = store.validByDigest(d.readingsSha256, why);
    if (!same)
        return fail(PlanFailure::Database);
    if (r.replaces) {
        if (*same != r.replaces) {
            *why = msg::ReplaceNotThisTest.arg(r.replaces);
            return fail(PlanFailure::Inputs);
        }
        if (r.replaceReason.trimmed().isEmpty()) {
            *why = msg::ReplaceNeedsReason;
            return fail(PlanFailure::Inputs);
        }
        d.replaces = r.replaces;
        d.replaceReason = r.replaceReason.trimmed();
    } else {
        plan.alreadyRecorded = *same;
    }
    plan.determination = std::move(d);
    return plan;
}

void takeQueued(const rec::QueuedSample& s, EvaluationRequest& req, SampleIdentity& who) {
    eval::Calorimetry& c = req.calorimetry;
    using K = rec::QueuedSample::Kind;
    c.mode = s.kind == K::Calibration ? eval::Calorimetry::Mode::Calibration : eval::Calorimetry::Mode::Sample;
    c.mass = s.mass.value_or(0);
    if (s.kind == K::Calibration)
        c.heatOfCombustion = s.certified.value_or(0);
    who.checkCertified = s.kind == K::Check ? s.certified : std::nullopt;
    if (s.aidMass)
        req.given[QStringLiteral("aid_mass")] = *s.aidMass;
    who.sampleCode = s.code;
    who.description = s.description;
    who.calorimeter = s.calorimeter;
}

std::optional<qint64> commitRecord(rec::Store& store, const RecordPlan& plan, QString* why) {
    if (plan.alreadyRecorded) {
        *why = msg::AlreadyRecorded.arg(plan.alreadyRecorded);
        return std::nullopt;
    }
    return store.record(plan.determination, why);
}

QString planText(const RecordPlan& plan, eval::Unit unit) {
    const rec::Determination& d = plan.determination;
    QStringList lines;
    const bool calibration = d.kind == rec::Determination::Kind::Calibration;
    if (const QString v = resultText(d, unit); !v.isEmpty())
        lines << QStringLiteral("%1: %2").arg(calibration ? QStringLiteral("Equivalente energético") : QStringLiteral("Resultado"), v);
    if (!calibration && d.calorimetry.mode == eval::Calorimetry::Mode::Sample)
        lines << QStringLiteral("W: %1 J/K (%2)").arg(fixed(d.calorimetry.energyEquivalent, 1), d.energyEquivalentSource);
    if (d.netCalorificValue)
        lines << QStringLiteral("PCI: %1 %2").arg(fixed(eval::inUnit(*d.netCalorificValue, unit), unit == eval::Unit::MegajoulesPerKilogram ? 3 : 1),
                                                 eval::unitName(unit));
    if (!plan.note.isEmpty())
        lines << plan.note;
    if (d.replaces)
        lines << msg::NoteReplaces.arg(d.replaces);
    if (!d.massSource.isEmpty())
        lines << QStringLiteral("Massa: %1 g (%2)").arg(fixed(d.calorimetry.mass, 5), d.massSource);
    lines << d.result.warnings;
    return lines.join(QLatin1Char('\n'));
}

bool markSeriesChanges(const rec::Store& store, QList<rec::Determination>& list, QString* error) {
    std::map<QString, QList<rec::Determination>> calibrations; // per calorimeter, every status
    std::map<QString, QList<rec::Series>> seriesOf;
    for (rec::Determination& d : list) {
        if (d.kind != rec::Determination::Kind::Sample || d.series <= 0)
            continue;
        if (!calibrations.count(d.calorimeter)) {
            rec::Filter f;
            f.kind = rec::Determination::Kind::Calibration;
            f.calorimeter = d.calorimeter;
            const auto runs = store.list(f, error);
            const auto series = store.series(d.calorimeter, error);
            if (!runs || !series)
                return false;
            calibrations[d.calorimeter] = *runs;
            seriesOf[d.calorimeter] = *series;
        }
        QStringList what;
        const QList<rec::Determination>& runs = calibrations[d.calorimeter];
        for (auto it = runs.crbegin(); it != runs.crend(); ++it) {
            if (it->series != d.series)
                continue;
            if (it->rejected() && it->rejectedUtc > d.recordedUtc)
                what << msg::SeriesRunRejected.arg(it->id);
            else if (!it->rejected() && it->recordedUtc > d.recordedUtc)
                what << msg::SeriesRunAdded.arg(it->id);
        }
        for (const rec::Series& s : seriesOf[d.calorimeter])
            if (s.number > d.series && s.startedUtc > d.recordedUtc)
                what << msg::SeriesStartedAfter.arg(s.number).arg(s.startedUtc.toLocalTime().toString(QStringLiteral("dd/MM/yyyy")), s.reason);
        d.seriesChanged = what.isEmpty() ? QString() : msg::SeriesChanged.arg(d.series).arg(what.join(QStringLiteral("; ")));
    }
    return true;
}

std::optional<QString> recheckFigures(const rec::Store& store, QString* error) {
    const auto list = store.list(error);
    if (!list)
        return std::nullopt;
    auto differs = [](const std::optional<double>& a, const std::optional<double>& b) {
        if (a.has_value() != b.has_value())
            return true;
        return a && std::abs(*a - *b) > 1e-9 * std::max({1.0, std::abs(*a), std::abs(*b)});
    };
    auto shown = [](const std::optional<double>& v) {
        return v ? fixed(*v, 2).replace(QLatin1Char('.'), QLatin1Char(',')) : QStringLiteral("nenhum");
    };
    // Oldest first, as recorded.
    for (auto it = list->crbegin(); it != list->crend(); ++it) {
        const auto d = store.determination(it->id, error);
        if (!d)
            return std::nullopt;
        acq::TestRun test;
        const acq::Measurements m = measurementsOf(*d, &test);
        EvaluationRequest req;
        req.method = d->result.method;
        req.periods = d->result.periods; // as evaluated then, whether found or given
        req.calorimetry = d->calorimetry;
        const eval::Outcome o = evaluateTest(m, test, req);
        const QString name = QStringLiteral("a determinação %1 não confere com suas leituras e entradas").arg(d->id);
        if (!o.ok())
            return QStringLiteral("%1: %2").arg(name, o.error);
        const eval::Result& r = *o.result;
        if (differs(r.riseCorrected, d->result.riseCorrected))
            return QStringLiteral("%1: elevação corrigida gravada %2, recalculada %3 K")
                .arg(name, shown(d->result.riseCorrected), shown(r.riseCorrected));
        if (differs(r.energyEquivalent, d->result.energyEquivalent))
            return QStringLiteral("%1: equivalente energético gravado %2, recalculado %3 J/K")
                .arg(name, shown(d->result.energyEquivalent), shown(r.energyEquivalent));
        if (differs(r.grossCalorificValue, d->result.grossCalorificValue))
            return QStringLiteral("%1: PCS gravado %2, recalculado %3 J/g")
                .arg(name, shown(d->result.grossCalorificValue), shown(r.grossCalorificValue));
    }
    return QString();
}

} // namespace ses
