// results: the results database's list, records, series and audit trail.
#include "tools/cli/cli.h"

#include "session/approval.h"

#include <QTextStream>
#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <termios.h>
#endif

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

// The passwords of --password-stdin, one a line, read once.
QStringList& stdinLines() {
    static QStringList lines = [] {
        QStringList l;
        QTextStream in(stdin);
        in.setEncoding(QStringConverter::Utf8);
        while (!in.atEnd())
            l << in.readLine();
        return l;
    }();
    return lines;
}

// A password: the next line of the standard input (--password-stdin), or typed at the
// terminal without being shown.
std::optional<QString> password(QCommandLineParser& p, const QString& prompt) {
    if (isSet(p, "password-stdin")) {
        QStringList& lines = stdinLines();
        if (lines.isEmpty()) {
            err(ses::msg::CliPasswordMissing);
            return std::nullopt;
        }
        return lines.takeFirst();
    }
    std::fprintf(stderr, "%s: ", prompt.toUtf8().constData());
    std::fflush(stderr);
#ifdef Q_OS_WIN
    HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    // The console's own wide characters: an accented password reads as typed, whatever the code page.
    if (GetConsoleMode(h, &mode)) {
        SetConsoleMode(h, mode & ~ENABLE_ECHO_INPUT);
        wchar_t wide[512] = {};
        DWORD read = 0;
        const bool ok = ReadConsoleW(h, wide, 511, &read, nullptr);
        SetConsoleMode(h, mode);
        std::fprintf(stderr, "\n");
        if (!ok) {
            err(ses::msg::CliPasswordMissing);
            return std::nullopt;
        }
        QString typed = QString::fromWCharArray(wide, int(read));
        while (typed.endsWith(QLatin1Char('\n')) || typed.endsWith(QLatin1Char('\r')))
            typed.chop(1);
        return typed;
    }
#else
    termios old{};
    const bool tty = ::tcgetattr(0, &old) == 0;
    if (tty) {
        termios quiet = old;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(0, TCSANOW, &quiet);
    }
#endif
    char buf[512] = {};
    const bool got = std::fgets(buf, sizeof buf, stdin) != nullptr;
#ifndef Q_OS_WIN
    if (tty)
        ::tcsetattr(0, TCSANOW, &old);
#endif
    std::fprintf(stderr, "\n");
    if (!got) {
        err(ses::msg::CliPasswordMissing);
        return std::nullopt;
    }
    QString typed = QString::fromUtf8(buf);
    while (typed.endsWith(QLatin1Char('\n')) || typed.endsWith(QLatin1Char('\r')))
        typed.chop(1);
    return typed;
}

int signAction(Context& x) {
    const auto meaning = x.action == QLatin1String("approve") ? rec::Signature::Meaning::Approved : rec::Signature::Meaning::Reviewed;
    QString why;
    const auto d = x.store->determination(x.id, &why);
    if (!d) {
        err(why);
        return kUsage;
    }
    // Approving is done knowing the record's history and its doubts.
    QString doubts;
    if (meaning == rec::Signature::Meaning::Approved) {
        const auto trail = x.store->history(x.id, &why);
        const auto found = ses::approvalDoubts(*x.store, *d, x.settings.repeatability, &why);
        if (!trail || !found) {
            err(why);
            return kFile;
        }
        doubts = *found;
        err(QStringLiteral("Histórico da determinação %1:\n%2").arg(x.id).arg(ses::historyText(*trail, ses::HistoryHashes::Hidden)));
        if (!doubts.isEmpty())
            err(QStringLiteral("Atenção: %1").arg(doubts));
    }
    const auto pw = password(x.p, QStringLiteral("Senha de assinatura de %1").arg(value(x.p, "user")));
    if (!pw)
        return kUsage;
    if (!x.store->sign(x.id, meaning, {value(x.p, "user"), *pw}, value(x.p, "comment"), x.settings.signing, doubts, &why)) {
        err(why);
        return kRefused;
    }
    const auto back = x.store->determination(x.id, &why);
    if (back)
        out(QStringLiteral("Determinação %1: %2").arg(x.id).arg(ses::signedStateText(*back)));
    // Each approval goes to the LIMS's folder, or waits there for results export --pending.
    if (meaning == rec::Signature::Meaning::Approved && back && !ses::dropInLimsFolder(*back, x.settings, &why)) {
        err(ses::msg::LimsDropFailed.arg(why));
        return kFile;
    }
    return kOk;
}

int users(Context& x) {
    const QString sub = x.p.positionalArguments().value(1), name = x.p.positionalArguments().value(2);
    QString why;
    if (sub == QLatin1String("list") && name.isEmpty()) {
        const auto all = x.store->users(&why);
        if (!all) {
            err(why);
            return kFile;
        }
        for (const rec::SigningUser& u : *all)
            out(QStringLiteral("%1\t%2\t%3").arg(u.name, u.fullName,
                                                   u.administrator ? QStringLiteral("administrador, revisor")
                                                   : u.reviewer    ? QStringLiteral("revisor")
                                                                   : QStringLiteral("assinante")));
        return kOk;
    }
    if ((sub != QLatin1String("add") && sub != QLatin1String("password")) || name.isEmpty()) {
        err(ses::msg::CliUsersUsage);
        return kUsage;
    }
    if (sub == QLatin1String("add")) {
        const auto existing = x.store->users(&why);
        if (!existing) {
            err(why);
            return kFile;
        }
        // After the first, the administrator's password first, then the new user's.
        rec::Signer admin;
        if (!existing->isEmpty()) {
            admin.user = existing->front().name;
            const auto pw = password(x.p, QStringLiteral("Senha do administrador %1").arg(admin.user));
            if (!pw)
                return kUsage;
            admin.password = *pw;
        }
        const auto pw = password(x.p, QStringLiteral("Senha de assinatura de %1").arg(name));
        if (!pw)
            return kUsage;
        if (!x.store->addUser({name, value(x.p, "full-name"), isSet(x.p, "reviewer"), false, {}}, *pw, admin, &why)) {
            err(why);
            return kRefused;
        }
        return kOk;
    }
    // password: the user's own or the administrator's first, then the new one.
    const QString by = isSet(x.p, "user") ? value(x.p, "user") : name;
    const auto current = password(x.p, QStringLiteral("Senha atual de %1").arg(by));
    if (!current)
        return kUsage;
    const auto pw = password(x.p, QStringLiteral("Nova senha de %1").arg(name));
    if (!pw)
        return kUsage;
    if (!x.store->setUserPassword(name, *pw, {by, *current}, &why)) {
        err(why);
        return kRefused;
    }
    return kOk;
}

int exportApproved(Context& x) {
    QString why;
    if (isSet(x.p, "pending")) {
        if (x.settings.limsFolder.isEmpty()) {
            err(ses::msg::CliNoLimsFolder);
            return kUsage;
        }
        const auto n = ses::dropPending(*x.store, x.settings, &why);
        if (!n) {
            err(ses::msg::LimsDropFailed.arg(why));
            return kFile;
        }
        out(QStringLiteral("%1 resultado(s) aprovado(s) gravado(s) em %2").arg(*n).arg(native(x.settings.limsFolder)));
        return kOk;
    }
    if (!isSet(x.p, "approved") || value(x.p, "out").isEmpty()) {
        err(ses::msg::CliExportUsage);
        return kUsage;
    }
    const auto form = ses::limsFormNamed(isSet(x.p, "format") ? value(x.p, "format") : QStringLiteral("csv"));
    if (!form) {
        err(ses::msg::CliLimsFormForm.arg(value(x.p, "format")));
        return kUsage;
    }
    const auto approved = ses::approvedResults(*x.store, x.filter.since, &why);
    if (!approved) {
        err(why);
        return kFile;
    }
    QStringList leftOut;
    const QByteArray bytes = ses::limsFile(*approved, *form, x.settings, x.settings.repeatability, &leftOut);
    for (const QString& code : leftOut)
        err(ses::msg::LimsLeftOut.arg(code));
    return writeOrTell(value(x.p, "out"), bytes) ? kOk : kFile;
}

int reject(Context& x) {
    QString why;
    // An approved record: a reviewer's signed rejection.
    if (isSet(x.p, "user")) {
        const auto pw = password(x.p, QStringLiteral("Senha de assinatura de %1").arg(value(x.p, "user")));
        if (!pw)
            return kUsage;
        if (!x.store->rejectSigned(x.id, value(x.p, "reason"), {value(x.p, "user"), *pw}, &why)) {
            err(why);
            return kRefused;
        }
        return kOk;
    }
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
        {QStringLiteral("review"), true, {QStringLiteral("user")}, false, signAction, true},
        {QStringLiteral("approve"), true, {QStringLiteral("user")}, false, signAction, true},
        {QStringLiteral("users"), false, {}, false, users, true},
        {QStringLiteral("export"), false, {}, false, exportApproved, false},
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
    // users takes its own words: add NAME, list, password NAME.
    const bool words = act && act->run == users;
    if (!act || (!words && act->id == idText.isEmpty()) || (act->id && (!idOk || id < 1)) ||
        (!words && !p.positionalArguments().value(2).isEmpty())) {
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
