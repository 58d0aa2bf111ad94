// What the commands of registrador-cli share: the session, data files, the evaluation asked for,
// config.xml's settings and the results database.
#include "tools/cli/cli.h"

namespace cli {

int exitOf(const ses::Outcome& o) {
    using S = ses::Outcome::Status;
    switch (o.status) {
    case S::Ok: return kOk;
    case S::Communication: return kComm;
    case S::Contents: return kContents;
    case S::Empty: return kEmpty;
    case S::File:
    case S::Partial:
    case S::Config: return kFile;
    case S::Cancelled: return kCancelled;
    }
    return kComm;
}

// The session with its port on `device` at the start-up speed, or the communication message
// naming the device.
std::unique_ptr<Cli> openDevice(const QString& device) {
    auto c = std::make_unique<Cli>();
    if (!c->session.openDevice(device)) {
        err(ses::msg::CliDeviceFailed.arg(ses::msg::CommunicationError, c->lib.lastError()));
        return nullptr;
    }
    return c;
}


// Ctrl+C during a download stops it after the block in progress, so that what was read can
// still be written; a second Ctrl+C, or one at any other time, ends the program at once.
std::atomic<bool> interrupted{false};
std::atomic<bool> downloading{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int) {
    if (!downloading.load() || interrupted.exchange(true)) {
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
    }
}

// ---- data files ---------------------------------------------------------------------------------

// A data file opened in the session; false after the message.
bool loadFile(QCommandLineParser& p, const QString& path, Cli& c) {
    using Whole = ses::Session::WholeTestsOnly;
    const ses::Outcome o = c.session.open(path, isSet(p, "partial") ? Whole::Take : Whole::Ask);
    if (!o.ok())
        err(o.status == ses::Outcome::Status::Partial ? o.text + ses::msg::PartialFileCli : o.text);
    else if (!o.text.isEmpty())
        err(o.text); // what was left out
    return o.ok();
}

// The test named by --test ("N", or "N:K" for the K-th test numbered N), which must be in the
// file; the error lists those that are.
std::optional<acq::TestRun> testOption(QCommandLineParser& p, const ses::Session& session) {
    const QString text = value(p, kTest).trimmed();
    static const QRegularExpression form(QStringLiteral("^([+-]?\\d+)(?::(\\d+)|\\s*\\((\\d+)\\))?$"));
    const auto m = form.match(text);
    bool ok = m.hasMatch();
    const qint64 n = ok ? m.captured(1).toLongLong(&ok) : 0;
    const QString k = m.captured(2) + m.captured(3);
    bool okK = true;
    const int occurrence = k.isEmpty() ? 1 : k.toInt(&okK);
    ok = ok && okK;
    QStringList names;
    for (const acq::TestRun& t : session.tests()) {
        if (ok && t.number == n && t.occurrence == occurrence)
            return t;
        names << (t.occurrence > 1 ? QStringLiteral("%1:%2").arg(t.number).arg(t.occurrence) : QString::number(t.number));
    }
    err(ses::msg::TestNotInFile.arg(value(p, kTest), names.isEmpty() ? ses::msg::CliNoTests : names.join(QStringLiteral(", "))));
    return std::nullopt;
}

// Checked before any work: a folder that does not exist or cannot be written, or a name that
// is a folder, would only fail after the work was done.
bool outputWritable(const QString& path) {
    const QFileInfo dir(QFileInfo(path).absolutePath());
    if (!QFileInfo(path).isDir() && dir.isDir() && dir.isWritable())
        return true;
    // The cause in the words every failed write of the program uses.
    err(ses::msg::CliCannotWrite.arg(native(path), acq::writeFailureCause(path, 0, {})));
    return false;
}

// Whether two names are the same file, links resolved (the file need not exist).
bool sameFile(const QString& a, const QString& b) {
    auto resolved = [](const QString& p) {
        const QFileInfo f(p);
        const QString canonical = f.canonicalFilePath();
        if (!canonical.isEmpty())
            return canonical;
        const QString dir = QFileInfo(f.absolutePath()).canonicalFilePath();
        return dir.isEmpty() ? f.absoluteFilePath() : QDir(dir).filePath(f.fileName());
    };
    return resolved(a) == resolved(b);
}

// An output that is one of the inputs (or another output) is refused: it would be replaced.
bool outputUsable(const QString& path, const QStringList& others) {
    for (const QString& o : others)
        if (!o.isEmpty() && sameFile(path, o)) {
            err(ses::msg::CliSameFile.arg(native(path), native(o)));
            return false;
        }
    return true;
}

bool writeOrTell(const QString& path, const QByteArray& bytes) {
    QString why;
    if (acq::writeWholeFile(path, bytes, &why))
        return true;
    err(why);
    return false;
}

// Saves what was read; measurements without a row never replace a file.
int saveDownload(ses::Session& session, const QString& path) {
    const acq::Measurements& m = session.data();
    if (m.isEmpty()) {
        err(ses::msg::CliNoSamples.arg(native(path)));
        return kEmpty;
    }
    const ses::Outcome o = session.save(path);
    if (!o.ok()) {
        err(o.text);
        return kFile;
    }
    err(ses::msg::CliSaved.arg(m.tests().size()).arg(m.rowCount()).arg(native(path)));
    return kOk;
}

std::optional<int> loadTestFor(QCommandLineParser& p, const QString& path, Cli& c, acq::TestRun& test) {
    const QString in = p.positionalArguments().value(0);
    if (!outputUsable(path, {in}))
        return kUsage;
    if (!outputWritable(path))
        return kFile;
    if (!loadFile(p, in, c))
        return kFile;
    const auto n = testOption(p, c.session);
    if (!n)
        return kUsage;
    test = *n;
    return std::nullopt;
}

QList<QCommandLineOption> evaluationOptions() {
    return {kTest, kPartial,
            opt("method", "regnault-pfaundler (padrão) ou dickinson.", "METHOD"),
            opt("periods", "Limites A,B,C,D em minutos (sem eles: automáticos).", "A,B,C,D"),
            opt("energy-equivalent", "Equivalente energético W (J/K) para o poder calorífico.", "W"),
            opt("mass", "Massa da amostra ou do padrão (g).", "M"),
            opt("calibrate", "Calcula W a partir de um padrão (com --mass e --heat)."),
            opt("heat", "Calor de combustão do padrão (J/g; ácido benzoico: 26454).", "Q"),
            opt("fuse", "Correção do fio (J).", "J"),
            opt("acid", "Correção ácida (J).", "J"),
            opt("sulfur", "Correção de enxofre (J).", "J"),
            opt("json", "Escreve o resultado como um objeto JSON.")};
}

std::optional<double> number(QCommandLineParser& p, const char* name, bool* bad) {
    if (!isSet(p, name))
        return std::nullopt;
    const auto parsed = eval::parseDecimal(value(p, name));
    const double v = parsed.value_or(0);
    if (!parsed) {
        err(ses::msg::CliNotANumber.arg(QString::fromLatin1(name), value(p, name)));
        *bad = true;
        return std::nullopt;
    }
    return v;
}

// The evaluation asked for on the command line, or nothing after a usage message.
// With `seriesW`, a sample's --mass may come without --energy-equivalent: its W is then taken
// from the calorimeter's series.
std::optional<ses::EvaluationRequest> evaluationRequest(QCommandLineParser& p, bool seriesW, bool massFromList) {
    ses::EvaluationRequest req;
    if (isSet(p, "method")) {
        const auto m = eval::methodFromKey(value(p, "method").trimmed().toLower());
        if (!m) {
            err(ses::msg::CliMethodUnknown.arg(value(p, "method")));
            return std::nullopt;
        }
        req.method = *m;
    }
    if (isSet(p, "periods")) {
        // "A,B,C,D" with decimal points, or "A;B;C;D" where the decimals take commas.
        const QString text = value(p, "periods");
        const QStringList parts = text.split(text.contains(QLatin1Char(';')) ? QLatin1Char(';') : QLatin1Char(','));
        double v[4] = {};
        bool ok = parts.size() == 4;
        for (int i = 0; ok && i < 4; ++i) {
            const auto x = eval::parseDecimal(parts[i]);
            ok = x.has_value();
            v[i] = x.value_or(0);
        }
        if (!ok) {
            err(ses::msg::CliPeriodsForm);
            return std::nullopt;
        }
        req.periods = eval::Periods{v[0], v[1], v[2], v[3]};
    }
    bool bad = false;
    const auto w = number(p, "energy-equivalent", &bad), mass = number(p, "mass", &bad), heat = number(p, "heat", &bad);
    eval::Calorimetry& c = req.calorimetry;
    c.fuse = number(p, "fuse", &bad).value_or(0);
    c.acid = number(p, "acid", &bad).value_or(0);
    c.sulfur = number(p, "sulfur", &bad).value_or(0);
    if (bad)
        return std::nullopt;
    // An option that cannot take part in what is asked is a mistake, never ignored.
    const bool calibrate = isSet(p, "calibrate");
    if (calibrate && w) {
        err(ses::msg::CliEnergyEquivalentWithCalibrate);
        return std::nullopt;
    }
    if (!calibrate && heat) {
        err(ses::msg::CliHeatWithoutCalibrate);
        return std::nullopt;
    }
    if (!calibrate && !massFromList && !(w && mass) && !(seriesW && mass))
        for (const char* o : {"fuse", "acid", "sulfur"})
            if (isSet(p, o)) {
                err(ses::msg::CliCorrectionAlone
                        .arg(QString::fromLatin1(o)));
                return std::nullopt;
            }
    if (calibrate) {
        if (!heat || !mass) {
            err(ses::msg::CliCalibrateNeeds);
            return std::nullopt;
        }
        c.mode = eval::Calorimetry::Mode::Calibration;
        c.mass = *mass;
        c.heatOfCombustion = *heat;
    } else if (massFromList) {
        // The mode and the mass are the listed sample's.
        c.energyEquivalent = w.value_or(0);
    } else if (w || mass) {
        if (!mass || (!w && !seriesW)) {
            err(ses::msg::CliCalorificNeeds);
            return std::nullopt;
        }
        c.mode = eval::Calorimetry::Mode::Sample;
        c.mass = *mass;
        c.energyEquivalent = w.value_or(0);
    }
    return req;
}

// Loads the file, finds the test and evaluates it; an exit code when any of that fails.
std::optional<int> evaluateFor(QCommandLineParser& p, Cli& c, acq::TestRun& n, ses::EvaluationRequest& req,
                               eval::Result& result) {
    const auto r = evaluationRequest(p);
    if (!r)
        return kUsage;
    req = *r;
    if (!loadFile(p, p.positionalArguments().value(0), c))
        return kFile;
    const auto test = testOption(p, c.session);
    if (!test)
        return kUsage;
    n = *test;
    const eval::Outcome o = ses::evaluateTest(c.session.data(), n, req);
    if (!o.ok()) {
        err(o.error);
        return kContents;
    }
    result = *o.result;
    return std::nullopt;
}

QString printable(const QString& s) {
    QString o;
    o.reserve(s.size());
    for (const QChar c : s) {
        if (c.category() != QChar::Other_Control)
            o += c;
        else if (c == QLatin1Char('\n'))
            o += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            o += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            o += QLatin1String("\\r");
        else
            o += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    }
    return o;
}

// config.xml's settings, each bad row told; nothing when the file is there but unreadable (a
// database or a W taken from defaults instead would be recorded into or with the wrong one).
std::optional<ses::Settings> settingsOf(Cli& c) {
    ses::Settings s = c.session.settings();
    if (!s.problem.isEmpty()) {
        err(s.problem);
        return std::nullopt;
    }
    for (const QString& w : s.warnings)
        err(w);
    return s;
}

// The results database named by --db, or by the row Resultados of config.xml, or the default
// (told when an earlier version left one elsewhere).
std::unique_ptr<rec::Store> openStore(QCommandLineParser& p, const ses::Settings& settings, rec::Store::Access access) {
    QString why;
    const QString location = isSet(p, "db") ? value(p, "db") : settings.results;
    if (location.trimmed().isEmpty())
        for (const QString& old : rec::oldDefaultDatabases())
            err(ses::msg::OldDatabaseFound.arg(native(old), native(rec::defaultDatabasePath())));
    std::unique_ptr<rec::Store> store = ses::openResults(location, &why, settings.reviewerRole, access);
    if (!store)
        err(why);
    return store;
}



} // namespace cli
