// results: the results database's list, records, series and audit trail.
#include "tools/cli/cli.h"

namespace cli {

namespace {

// Which results database the commands use, and where an earlier version left one; --move
// brings that one to the default place.
int where(QCommandLineParser& p, const ses::Settings& settings) {
    const QString location = isSet(p, "db") ? value(p, "db") : settings.results;
    QString why;
    const auto l = rec::Location::parse(location, &why);
    if (!l) {
        err(why);
        return kUsage;
    }
    const QStringList old = location.trimmed().isEmpty() ? rec::oldDefaultDatabases() : QStringList();
    if (isSet(p, "move")) {
        if (old.size() != 1) {
            err(old.isEmpty() ? ses::msg::NoOldDatabase : ses::msg::ManyOldDatabases.arg(old.size()));
            return old.isEmpty() ? kUsage : kFile;
        }
        if (!rec::moveOldDatabase(old.front(), &why)) {
            err(why);
            return kFile;
        }
        out(ses::msg::OldDatabaseMoved.arg(native(old.front()), native(rec::defaultDatabasePath())));
        return kOk;
    }
    out(l->kind == rec::Location::Kind::PostgreSQL ? QStringLiteral("postgresql://%1@%2:%3/%4").arg(l->user, l->host).arg(l->port).arg(l->database)
                                                   : native(QFileInfo(l->path).absoluteFilePath()));
    for (const QString& o : old)
        err(ses::msg::OldDatabaseFound.arg(native(o), native(rec::defaultDatabasePath())));
    return kOk;
}

// What the actions share once the command line is read.
struct Context {
    QCommandLineParser& p;
    QString action;
    qint64 id = 0;
    rec::Filter filter;
    eval::Unit unit = eval::Unit::JoulesPerGram;
    rec::CalibrationRule rule;               ///< --rule with its limits, as given
    std::optional<rec::CalibrationRule> chosen; ///< --rule: set (rule) or judged by (calibrations)
    QString calorimeter;
    ses::Settings settings;
    rec::Store* store = nullptr;
    /// The duplicates' verdict of a sample counts every valid determination of its code.
    std::optional<std::map<QString, rec::DuplicateVerdict>> verdicts(const rec::Filter& f, QString* why) const {
        return ses::duplicateVerdicts(*store, f, settings.repeatability, why);
    }
};

int calibrations(Context& x) {
    QString why;
    const auto series = ses::calibrationSeries(*x.store, x.calorimeter, x.chosen, &why);
    if (!series) {
        err(why);
        return kFile;
    }
    if (isSet(x.p, "json")) {
        QJsonArray json;
        for (const ses::CalibrationSeries& s : *series)
            json.append(ses::seriesJson(s));
        std::fputs(QJsonDocument(json).toJson(QJsonDocument::Indented).constData(), stdout);
    } else {
        for (const ses::CalibrationSeries& s : *series)
            std::fputs(ses::seriesText(s).toUtf8().constData(), stdout);
    }
    return kOk;
}

int newSeries(Context& x) {
    QString why;
    const auto number = x.store->newSeries(x.calorimeter, value(x.p, "reason"), &why);
    if (!number) {
        err(why);
        return kFile;
    }
    out(ses::msg::SeriesStarted.arg(*number).arg(x.calorimeter));
    return kOk;
}

int setRule(Context& x) {
    QString why;
    if (!x.store->setCalibrationRule(x.calorimeter, x.rule, &why)) {
        err(why);
        return kFile;
    }
    return kOk;
}

int chart(Context& x) {
    QString why;
    // A misspelt name would draw an empty chart and seem to succeed.
    const auto names = x.store->calorimeters(&why);
    if (names && !names->contains(x.calorimeter)) {
        err(ses::msg::CliUnknownCalorimeter.arg(x.calorimeter, names->isEmpty() ? QStringLiteral("nenhum registrado")
                                                                              : QStringLiteral("há: ") + names->join(QStringLiteral(", "))));
        return kUsage;
    }
    const auto chart = names ? ses::controlChart(*x.store, x.calorimeter, &why) : std::nullopt;
    if (!chart || !writeControlChartImage(*chart, value(x.p, "out"), QSize(1100, 600), &why)) {
        err(why);
        return kFile;
    }
    return kOk;
}

int verify(Context& x) {
    QString why;
    const auto check = x.store->verify(&why);
    if (!check) {
        err(why);
        return kFile;
    }
    if (!check->intact) {
        err(ses::trailText(*check));
        return kTampered;
    }
    // A trail that links and hashes right still holds only what was written: each record's
    // figures must also follow from its own readings and inputs.
    const auto figures = ses::recheckFigures(*x.store, &why);
    if (!figures) {
        err(why);
        return kFile;
    }
    if (!figures->isEmpty()) {
        err(ses::msg::TrailBroken.arg(*figures));
        return kTampered;
    }
    out(ses::trailText(*check));
    return kOk;
}

int history(Context& x) {
    QString why;
    const auto entries = x.store->history(x.id, &why);
    if (!entries || (entries->isEmpty() && !x.store->determination(x.id, &why))) {
        err(why);
        return kFile;
    }
    if (isSet(x.p, "json"))
        std::fputs(QJsonDocument(ses::historyJson(*entries)).toJson(QJsonDocument::Indented).constData(), stdout);
    else if (entries->isEmpty())
        out(ses::msg::NoHistory);
    else
        std::fputs(ses::historyText(*entries).toUtf8().constData(), stdout);
    return kOk;
}

int reject(Context& x) {
    QString why;
    if (!x.store->reject(x.id, value(x.p, "reason"), &why)) {
        err(why);
        return kFile;
    }
    return kOk;
}

int showOrReport(Context& x) {
    QString why;
    auto d = x.store->determination(x.id, &why);
    if (d) {
        QList<rec::Determination> one{*d};
        if (!ses::markSeriesChanges(*x.store, one, &why)) {
            err(why);
            return kFile;
        }
        d = one.front();
    }
    rec::Filter one;
    if (d)
        one.sample = d->sampleCode;
    const auto verdicts = d ? x.verdicts(one, &why) : std::nullopt;
    if (!verdicts) {
        err(why);
        return kFile;
    }
    const auto v = verdicts->find(d->sampleCode);
    const QString dup = d->kind == rec::Determination::Kind::Sample && v != verdicts->end()
                            ? ses::duplicateText(v->second, x.unit) : QString();
    if (x.action == QLatin1String("report")) {
        if (!writeRecordReport(*d, dup, value(x.p, "out"), &why)) {
            err(why);
            return kFile;
        }
        return kOk;
    }
    if (!isSet(x.p, "json")) {
        rec::Determination shown = *d;
        for (QString* t : {&shown.sampleCode, &shown.description, &shown.operatorName, &shown.calorimeter,
                           &shown.dataFile, &shown.rejectedReason, &shown.energyEquivalentSource})
            *t = printable(*t);
        std::fputs(ses::recordText(shown, dup).toUtf8().constData(), stdout);
        return kOk;
    }
    QJsonObject o = ses::recordJson(*d);
    if (v != verdicts->end() && d->kind == rec::Determination::Kind::Sample)
        o[QStringLiteral("duplicates")] = ses::duplicatesJson(v->second);
    std::fputs(QJsonDocument(o).toJson(QJsonDocument::Indented).constData(), stdout);
    return kOk;
}

int list(Context& x) {
    QString why;
    auto list = x.store->list(x.filter, &why);
    if (list && !ses::markSeriesChanges(*x.store, *list, &why))
        list.reset();
    const auto verdicts = list ? x.verdicts(x.filter, &why) : std::nullopt;
    if (!verdicts) {
        err(why);
        return kFile;
    }
    if (isSet(x.p, "json")) {
        QJsonArray json;
        for (const rec::Determination& d : *list) {
            QJsonObject o = ses::recordJson(d);
            const auto v = verdicts->find(d.sampleCode);
            if (v != verdicts->end() && d.kind == rec::Determination::Kind::Sample)
                o[QStringLiteral("duplicates")] = ses::duplicatesJson(v->second);
            json.append(o);
        }
        std::fputs(QJsonDocument(json).toJson(QJsonDocument::Indented).constData(), stdout);
        return kOk;
    }
    const acq::Records table = ses::resultsTable(*list, *verdicts, x.unit);
    if (isSet(x.p, "csv")) {
#ifdef Q_OS_WIN
        // The CSV's own CR LF, not one the console's text mode would make CR CR LF.
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        const QByteArray bytes = recordsCsv(table);
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        return kOk;
    }
    // Tab-separated, the columns a technician reads at a terminal.
    const int shown[] = {0, 1, 2, 5, 6, 7, 11, 12, 13};
    QStringList head;
    for (const int f : shown)
        head << table.fields[f].name;
    out(head.join(QLatin1Char('\t')));
    for (qsizetype row = 0; row < table.rowCount(); ++row) {
        QStringList cells;
        for (const int f : shown)
            cells << printable(table.displayTextAt(row, f));
        out(cells.join(QLatin1Char('\t')));
    }
    return kOk;
}

int whereAction(Context& x) { return where(x.p, x.settings); }

// The actions of `results`: what each takes and needs, and what it does.
struct Action {
    QString name;
    bool id;              ///< takes a determination's number
    QStringList required; ///< options without which it does not run
    bool writesOut;       ///< --out names a file to write
    int (*run)(Context&);
    bool changes = false; ///< writes into the database
};

const QList<Action>& actions() {
    static const QList<Action> all = {
        {QStringLiteral("list"), false, {}, false, list},
        {QStringLiteral("show"), true, {}, false, showOrReport},
        {QStringLiteral("report"), true, {QStringLiteral("out")}, true, showOrReport},
        {QStringLiteral("reject"), true, {QStringLiteral("reason")}, false, reject, true},
        {QStringLiteral("history"), true, {}, false, history},
        {QStringLiteral("verify"), false, {}, false, verify},
        {QStringLiteral("calibrations"), false, {}, false, calibrations},
        {QStringLiteral("new-series"), false, {QStringLiteral("calorimeter"), QStringLiteral("reason")}, false, newSeries, true},
        {QStringLiteral("rule"), false, {QStringLiteral("calorimeter"), QStringLiteral("rule")}, false, setRule, true},
        {QStringLiteral("chart"), false, {QStringLiteral("calorimeter"), QStringLiteral("out")}, true, chart},
        {QStringLiteral("where"), false, {}, false, whereAction},
    };
    return all;
}

} // namespace

int results(const Command& cmd, QCommandLineParser& p) {
    const QString name = p.positionalArguments().value(0);
    const QString idText = p.positionalArguments().value(1);
    const Action* act = nullptr;
    for (const Action& a : actions())
        if (a.name == name)
            act = &a;
    bool idOk = false;
    const qint64 id = idText.toLongLong(&idOk);
    if (!act || act->id == idText.isEmpty() || (act->id && (!idOk || id < 1))) {
        err(ses::msg::CliUsage.arg(cmd.name, cmd.synopsis));
        return kUsage;
    }
    for (const QString& o : act->required)
        if (p.value(o).trimmed().isEmpty()) {
            err(ses::msg::CliOptionMissing.arg(cmd.name, o));
            return kUsage;
        }
    if (act->writesOut && (!outputUsable(value(p, "out"), {}) || !outputWritable(value(p, "out"))))
        return kFile;
    rec::Filter filter;
    filter.sample = value(p, "sample");
    filter.calorimeter = value(p, "calorimeter");
    if (isSet(p, "kind")) {
        const QString k = value(p, "kind").trimmed().toLower();
        if (k != QLatin1String("sample") && k != QLatin1String("calibration")) {
            err(ses::msg::CliKindForm.arg(value(p, "kind")));
            return kUsage;
        }
        filter.kind = k == QLatin1String("sample") ? rec::Determination::Kind::Sample : rec::Determination::Kind::Calibration;
    }
    if (isSet(p, "since")) {
        filter.since = QDate::fromString(value(p, "since").trimmed(), Qt::ISODate);
        if (!filter.since.isValid()) {
            err(ses::msg::CliDateForm.arg(QStringLiteral("since"), value(p, "since")));
            return kUsage;
        }
    }
    eval::Unit unit = eval::Unit::JoulesPerGram;
    if (isSet(p, "unit")) {
        const auto u = eval::unitFromName(value(p, "unit"));
        if (!u) {
            err(ses::msg::CliUnitForm.arg(value(p, "unit")));
            return kUsage;
        }
        unit = *u;
    }
    std::optional<rec::CalibrationRule> chosen; // --rule: set (rule) or judged by (calibrations)
    rec::CalibrationRule rule;
    if (isSet(p, "rule")) {
        const auto preset = rec::CalibrationRule::presetFromName(value(p, "rule"));
        if (!preset) {
            err(ses::msg::CliRuleForm.arg(value(p, "rule")));
            return kUsage;
        }
        rule.preset = *preset;
    }
    bool bad = false;
    if (const auto n = number(p, "min-runs", &bad))
        rule.minRuns = static_cast<int>(*n);
    if (const auto r = number(p, "max-rsd", &bad))
        rule.maxRsdPercent = *r;
    if (bad || rule.minRuns < 2 || !(rule.maxRsdPercent > 0) || rule.maxRsdPercent >= 100) {
        if (!bad)
            err(ses::msg::CliRuleLimits);
        return kUsage;
    }
    Context x{p, name, id, filter, unit, rule, isSet(p, "rule") ? std::optional(rule) : std::nullopt,
              value(p, "calorimeter").trimmed(), {}, nullptr};
    Cli c;
    const auto settings = settingsOf(c);
    if (!settings)
        return kFile;
    x.settings = *settings;
    std::unique_ptr<rec::Store> store;
    if (act->run != whereAction) {
        store = openStore(p, *settings, act->changes ? rec::Store::Access::Write : rec::Store::Access::Read);
        if (!store)
            return kFile;
        x.store = store.get();
    }
    return act->run(x);
}

} // namespace cli
