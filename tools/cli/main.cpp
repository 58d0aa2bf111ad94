// registrador-cli: the program's download, data files, spreadsheet and chart without a window.
// A table of commands, each with its own options; every command parses its arguments with
// QCommandLineParser and refuses unknown options and stray arguments.
#include "acquisition/datapacket.h"
#include "acquisition/download.h"
#include "acquisition/wholefile.h"
#include "session/exportsettings.h"
#include "app/controlchart.h"
#include "app/report.h"
#include "session/session.h"
#include "session/testevaluation.h"
#include "app/testchart.h"
#include "session/testview.h"
#include "link/commands.h"
#include "link/framecodec.h"
#include "link/systemseriallibrary.h"
#include "evaluation/labinputs.h"
#include "export/dtCsv.h"
#include "session/calibrationseries.h"
#include "session/recording.h"
#include "session/recordservice.h"
#include "acquisition/memorydecoder.h"

#include <QApplication>
#include <QBuffer>
#include <QChartView>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QLoggingCategory>
#include <QStringList>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <unistd.h>
#ifdef Q_OS_WIN
#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>
#endif

namespace {

enum Exit { kOk = 0, kUsage = 1, kComm = 2, kContents = 3, kEmpty = 4, kFile = 5, kCancelled = 6, kTampered = 7 };

void err(const QString& s) { std::fprintf(stderr, "%s\n", s.toUtf8().constData()); }
void out(const QString& s) { std::fprintf(stdout, "%s\n", s.toUtf8().constData()); }
QString native(const QString& p) { return QDir::toNativeSeparators(p); }

// ---- the command table ------------------------------------------------------------------------

struct Command;
using Run = std::function<int(const Command&, QCommandLineParser&)>;

struct Command {
    QString name;
    QString summary;
    QString synopsis; ///< positional arguments and options, for the usage line
    QList<QCommandLineOption> options;
    QStringList positional; ///< names of the required positional arguments
    QStringList required;   ///< options without which the command does not run
    bool widgets = false;   ///< draws a chart, so needs the widget toolkit (never a display)
    Run run;
};

QCommandLineOption opt(const char* name, const char* help, const char* value = nullptr) {
    return value ? QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(help), QString::fromLatin1(value))
                 : QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(help));
}

const QCommandLineOption kDevice = opt("device", "Porta serial do registrador (ex.: /dev/ttyUSB0).", "PATH");
const QCommandLineOption kTest = opt("test", "Número do ensaio.", "N");
const QCommandLineOption kDb = opt("db", "Banco de resultados: um arquivo, ou postgresql://usuário@servidor:porta/banco "
                                         "(padrão: a linha Resultados de config.xml).", "LOCAL");

QString value(QCommandLineParser& p, const QCommandLineOption& o) { return p.value(o.names().first()); }
QString value(QCommandLineParser& p, const char* name) { return p.value(QString::fromLatin1(name)); }
bool isSet(QCommandLineParser& p, const char* name) { return p.isSet(QString::fromLatin1(name)); }

// ---- the session -------------------------------------------------------------------------------

// The program's session over the real serial library; the device comes from --device.
struct Cli {
    lnk::SystemSerialLibrary lib;
    lnk::SystemClock clock;
    ses::Session session{lib, clock, &lib.portMap(), QDir::currentPath()};
};

int exitOf(const ses::Outcome& o) {
    using S = ses::Outcome::Status;
    switch (o.status) {
    case S::Ok: return kOk;
    case S::Communication: return kComm;
    case S::Contents: return kContents;
    case S::Empty: return kEmpty;
    case S::File:
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

// Shows progress on a terminal.
class CliListener : public acq::DownloadListener {
public:
    CliListener() : tty_(::isatty(2) != 0) {}
    void progressStart(int maximum, int) override { max_ = std::max(maximum, 1); done_ = 0; draw(); }
    void progressStep() override {
        done_ = std::min(max_, done_ + 64);
        draw();
    }
    void progressEnd() override {
        if (tty_)
            std::fprintf(stderr, "\n");
    }

private:
    void draw() const {
        if (!tty_)
            return;
        const int width = 40, filled = static_cast<int>(static_cast<qint64>(done_) * width / max_);
        std::fprintf(stderr, "\rLendo memória... [%s%s] %3d%%", QByteArray(filled, '#').constData(),
                     QByteArray(width - filled, ' ').constData(), static_cast<int>(static_cast<qint64>(done_) * 100 / max_));
        std::fflush(stderr);
    }
    bool tty_;
    int max_ = 1, done_ = 0;
};

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
bool loadFile(const QString& path, Cli& c) {
    const ses::Outcome o = c.session.open(path);
    if (!o.ok())
        err(o.text);
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

// ---- commands -----------------------------------------------------------------------------------

int probe(const Command&, QCommandLineParser& p) {
    auto c = openDevice(value(p, kDevice));
    if (!c)
        return kComm;
    QByteArray r;
    const ses::Outcome o = c->session.probe(&r);
    out(QString::fromLatin1(r).trimmed());
    if (!o.ok())
        err(o.text);
    return exitOf(o);
}

int download(const Command&, QCommandLineParser& p) {
    downloading = true;
    const QString path = value(p, "out");
    const QString dump = value(p, "dump");
    if (!outputUsable(path, {dump}))
        return kUsage;
    if (!outputWritable(path) || (!dump.isEmpty() && !outputWritable(dump)))
        return kFile;
    auto c = openDevice(value(p, kDevice));
    if (!c)
        return kComm;
    CliListener l;
    const ses::Outcome o = c->session.download(l, &interrupted);
    downloading = false;
    const int code = exitOf(o);
    if (!o.text.isEmpty())
        err(o.text);
    if (!o.detail.isEmpty())
        err(o.detail);
    // The memory as read is kept whatever the outcome: it is what a technician looks at.
    const QByteArray& memory = c->session.memoryRead();
    if (!dump.isEmpty() && !memory.isEmpty() && !writeOrTell(dump, memory))
        return kFile;
    if (code != kOk && !isSet(p, "partial"))
        return code;
    const int saved = saveDownload(c->session, path);
    // A failed download that read no sample says why it failed, not that the memory is empty.
    return saved == kEmpty && code != kOk ? code : saved != kOk ? saved : code;
}

int decode(const Command&, QCommandLineParser& p) {
    const QString in = p.positionalArguments().value(0);
    const QString path = value(p, "out");
    if (!outputUsable(path, {in}))
        return kUsage;
    acq::ReadFailure failure{};
    QString why;
    const auto read = acq::readWholeFile(in, acq::kMemoryBytes, &failure, &why);
    if (!read) {
        if (failure == acq::ReadFailure::TooLarge)
            err(ses::msg::CliLargerThanMemory.arg(native(in)).arg(acq::kMemoryBytes));
        else if (failure == acq::ReadFailure::NotRegular)
            err(QStringLiteral("%1: %2").arg(native(in), why));
        else
            err(ses::msg::CliCannotOpen.arg(native(in), why));
        return kFile;
    }
    const QByteArray image = *read;
    const auto header = acq::decodeHeader(image);
    if (!header) {
        err(ses::msg::CliTooShortForHeader.arg(native(in)));
        return kContents;
    }
    // A dump ends with the last block read; the data it announces must all be there.
    if (header->flag != 0 && image.size() < acq::kMemoryBytes && image.size() < std::min(header->end, acq::kMemoryBytes)) {
        err(ses::msg::CliDumpShort.arg(native(in)).arg(header->end).arg(image.size()));
        return kContents;
    }
    if (!outputWritable(path))
        return kFile;
    // The same decoding as the download's, from the bytes the dump holds.
    Cli c;
    const ses::Outcome o = c.session.takeMemory(image);
    if (!o.text.isEmpty())
        err(o.text);
    if (!o.ok())
        return exitOf(o);
    return saveDownload(c.session, path);
}

int show(const Command&, QCommandLineParser& p) {
    Cli c;
    if (!loadFile(p.positionalArguments().value(0), c))
        return kFile;
    const acq::Measurements& m = c.session.data();
    if (!p.isSet(kTest)) {
        out(QStringLiteral("Ensaio\tLinhas\tMínima\tMáxima"));
        for (const TestSummary& s : summarizeTests(m))
            out(QStringLiteral("%1\t%2\t%3\t%4").arg(s.test.label()).arg(s.rows).arg(s.minLabel, s.maxLabel));
        return kOk;
    }
    const auto n = testOption(p, c.session);
    if (!n)
        return kUsage;
    out(QStringLiteral("Registro\tTempo (min)\tTemp. Int. (°C)\tTemp. Ext. (°C)"));
    for (const int r : m.inOrder(*n))
        out(QStringList{m.displayText(r, acq::ColSubReg), m.displayText(r, acq::ColTempo), m.displayText(r, acq::ColTint),
                        m.displayText(r, acq::ColText)}
                .join(QLatin1Char('\t')));
    return kOk;
}

// The data file and the test of "export" and "plot", and their output folder.
std::optional<int> loadTestFor(QCommandLineParser& p, const QString& path, Cli& c, acq::TestRun& test) {
    const QString in = p.positionalArguments().value(0);
    if (!outputUsable(path, {in}))
        return kUsage;
    if (!outputWritable(path))
        return kFile;
    if (!loadFile(in, c))
        return kFile;
    const auto n = testOption(p, c.session);
    if (!n)
        return kUsage;
    test = *n;
    return std::nullopt;
}

int exportTest(const Command&, QCommandLineParser& p) {
    const QString path = value(p, "out");
    const QString format = p.isSet(QStringLiteral("format")) ? value(p, "format").toLower() : QStringLiteral("xls");
    if (format != QLatin1String("xls") && format != QLatin1String("csv")) {
        err(ses::msg::CliFormatUnknown.arg(value(p, "format")));
        return kUsage;
    }
    // Exactly the file asked for: a name whose extension is not the format's is refused, never
    // changed into another name.
    if (QFileInfo(path).suffix().compare(format, Qt::CaseInsensitive) != 0) {
        err(ses::msg::CliExtensionNotFormat
                .arg(native(path), format, QFileInfo(path).suffix().toLower() == QLatin1String("csv") ? QStringLiteral("csv") : QStringLiteral("xls")));
        return kUsage;
    }
    Cli c;
    acq::TestRun n;
    if (const auto code = loadTestFor(p, path, c, n))
        return *code;
    const acq::MeasurementRows rows(c.session.data(), c.session.data().inOrder(n));
    if (format == QLatin1String("csv"))
        return writeOrTell(path, recordsCsv(rows)) ? kOk : kFile;
    // The spreadsheet is written under exactly the name asked for (".xls" as typed).
    QString why;
    if (!writeSpreadsheet(rows, path, false, &why)) {
        err(QStringLiteral("%1: %2").arg(native(path), why));
        return kFile;
    }
    return kOk;
}

int plot(const Command&, QCommandLineParser& p) {
    const QString path = value(p, "out");
    int w = 600, h = 450;
    if (p.isSet(QStringLiteral("size"))) {
        const QStringList wh = value(p, "size").split(QLatin1Char('x'));
        bool ok1 = false, ok2 = false;
        if (wh.size() == 2) {
            w = wh[0].toInt(&ok1);
            h = wh[1].toInt(&ok2);
        }
        if (!ok1 || !ok2 || w < 50 || h < 50 || w > 10000 || h > 10000) {
            err(ses::msg::CliSizeForm);
            return kUsage;
        }
    }
    Cli c;
    acq::TestRun n;
    if (const auto code = loadTestFor(p, path, c, n))
        return *code;
    TestView v = viewOf(c.session.data(), n);
    TestChart chart;
    chart.setPoints(std::move(v.interna), std::move(v.externa));
    chart.chart()->setTitle(n.caption());
    QChartView view(chart.chart());
    view.setRenderHint(QPainter::Antialiasing);
    view.resize(w, h);
    const QImage img = view.grab().toImage().scaled(w, h);
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    if (!img.save(&buf, "PNG")) {
        err(ses::msg::CliNoDrawing.arg(native(path)));
        return kFile;
    }
    return writeOrTell(path, png) ? kOk : kFile;
}

int clear(const Command&, QCommandLineParser& p) {
    if (!isSet(p, "yes")) {
        err(ses::msg::CliClearNeedsYes);
        return kUsage;
    }
    auto c = openDevice(value(p, kDevice));
    if (!c)
        return kComm;
    const ses::Outcome o = c->session.clearMemory();
    (o.ok() ? out : err)(o.text);
    return exitOf(o);
}

// ---- evaluation ---------------------------------------------------------------------------------

QList<QCommandLineOption> evaluationOptions() {
    return {kTest,
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
std::optional<ses::EvaluationRequest> evaluationRequest(QCommandLineParser& p, bool seriesW = false) {
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
    if (!calibrate && !(w && mass) && !(seriesW && mass))
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
    if (!loadFile(p.positionalArguments().value(0), c))
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

int calc(const Command&, QCommandLineParser& p) {
    Cli c;
    acq::TestRun n;
    ses::EvaluationRequest req;
    eval::Result r;
    if (const auto code = evaluateFor(p, c, n, req, r))
        return *code;
    if (isSet(p, "json"))
        std::fputs(QJsonDocument(ses::resultJson(n, r)).toJson(QJsonDocument::Indented).constData(), stdout);
    else
        std::fputs(ses::resultText(n, r, req.calorimetry).toUtf8().constData(), stdout);
    return kOk;
}

// ---- the results database ---------------------------------------------------------------------

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
    if (aidMass.has_value() != aidHeat.has_value()) {
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
std::unique_ptr<rec::Store> openStore(QCommandLineParser& p, const ses::Settings& settings) {
    QString why;
    const QString location = isSet(p, "db") ? value(p, "db") : settings.results;
    if (location.trimmed().isEmpty())
        for (const QString& old : rec::oldDefaultDatabases())
            err(ses::msg::OldDatabaseFound.arg(native(old), native(rec::defaultDatabasePath())));
    std::unique_ptr<rec::Store> store = ses::openResults(location, &why, settings.reviewerRole);
    if (!store)
        err(why);
    return store;
}


int record(const Command&, QCommandLineParser& p) {
    auto r = evaluationRequest(p, true);
    if (!r)
        return kUsage;
    if (isSet(p, "check-standard") && r->calorimetry.mode != eval::Calorimetry::Mode::Sample) {
        err(ses::msg::CliCheckNeedsSample);
        return kUsage;
    }
    if (!measuredInputs(p, *r))
        return kUsage;
    bool bad = false;
    const ses::SampleAnalysis analysis{number(p, "moisture-pct", &bad), number(p, "hydrogen-pct", &bad),
                                       number(p, "oxygen-nitrogen-pct", &bad)};
    const auto certified = number(p, "check-standard", &bad);
    if (bad)
        return kUsage;
    if (analysis.oxygenNitrogenDry && !analysis.hydrogenDry) {
        err(ses::msg::CliNetNeeds);
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
    Cli c;
    if (!loadFile(p.positionalArguments().value(0), c))
        return kFile;
    const auto test = testOption(p, c.session);
    if (!test)
        return kUsage;
    const auto settings = settingsOf(c);
    if (!settings)
        return kFile;
    auto store = openStore(p, *settings);
    if (!store)
        return kFile;

    ses::RecordRequest req;
    req.who = {value(p, "sample"), value(p, "description"), value(p, "operator"), value(p, "calorimeter"), date,
               analysis, certified};
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
        err(ses::msg::RecordNotSaved.arg(why));
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

int results(const Command& cmd, QCommandLineParser& p) {
    const QString action = p.positionalArguments().value(0);
    const QString idText = p.positionalArguments().value(1);
    bool idOk = false;
    const qint64 id = idText.toLongLong(&idOk);
    const bool needsId = action == QLatin1String("show") || action == QLatin1String("reject") ||
                         action == QLatin1String("report") || action == QLatin1String("history");
    const bool noId = QStringList{QStringLiteral("list"), QStringLiteral("calibrations"), QStringLiteral("new-series"),
                                  QStringLiteral("rule"), QStringLiteral("chart"), QStringLiteral("verify"),
                                  QStringLiteral("where")}
                          .contains(action);
    if ((!noId && !needsId) || needsId != !idText.isEmpty() || (needsId && (!idOk || id < 1))) {
        err(ses::msg::CliUsage.arg(cmd.name, cmd.synopsis));
        return kUsage;
    }
    if (action == QLatin1String("reject") && value(p, "reason").trimmed().isEmpty()) {
        err(ses::msg::CliOptionMissing.arg(cmd.name, QStringLiteral("reason")));
        return kUsage;
    }
    // What each calorimeter action needs.
    for (const auto& [a, needed] : {std::pair{"new-series", "reason"}, {"rule", "rule"}, {"chart", "out"}})
        if (action == QLatin1String(a))
            for (const char* o : {"calorimeter", needed})
                if (value(p, o).trimmed().isEmpty()) {
                    err(ses::msg::CliOptionMissing.arg(cmd.name, QString::fromLatin1(o)));
                    return kUsage;
                }
    if ((action == QLatin1String("report") || action == QLatin1String("chart")) &&
        (!isSet(p, "out") || !outputUsable(value(p, "out"), {}) || !outputWritable(value(p, "out")))) {
        if (!isSet(p, "out"))
            err(ses::msg::CliOptionMissing.arg(cmd.name, QStringLiteral("out")));
        return isSet(p, "out") ? kFile : kUsage;
    }
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
    if (isSet(p, "rule"))
        chosen = rule;
    Cli c;
    const auto settings = settingsOf(c);
    if (!settings)
        return kFile;
    QString why;
    if (action == QLatin1String("where"))
        return where(p, *settings);
    const auto store = openStore(p, *settings);
    if (!store)
        return kFile;
    const QString calorimeter = value(p, "calorimeter").trimmed();
    if (action == QLatin1String("calibrations")) {
        const auto series = ses::calibrationSeries(*store, calorimeter, chosen, &why);
        if (!series) {
            err(why);
            return kFile;
        }
        if (isSet(p, "json")) {
            QJsonArray json;
            for (const ses::CalibrationSeries& x : *series)
                json.append(ses::seriesJson(x));
            std::fputs(QJsonDocument(json).toJson(QJsonDocument::Indented).constData(), stdout);
        } else {
            for (const ses::CalibrationSeries& x : *series)
                std::fputs(ses::seriesText(x).toUtf8().constData(), stdout);
        }
        return kOk;
    }
    if (action == QLatin1String("new-series")) {
        const auto number = store->newSeries(calorimeter, value(p, "reason"), &why);
        if (!number) {
            err(why);
            return kFile;
        }
        out(ses::msg::SeriesStarted.arg(*number).arg(calorimeter));
        return kOk;
    }
    if (action == QLatin1String("rule")) {
        if (!store->setCalibrationRule(calorimeter, rule, &why)) {
            err(why);
            return kFile;
        }
        return kOk;
    }
    if (action == QLatin1String("chart")) {
        // A misspelt name would draw an empty chart and seem to succeed.
        const auto names = store->calorimeters(&why);
        if (names && !names->contains(calorimeter)) {
            err(ses::msg::CliUnknownCalorimeter.arg(calorimeter, names->isEmpty() ? QStringLiteral("nenhum registrado")
                                                                                  : QStringLiteral("há: ") + names->join(QStringLiteral(", "))));
            return kUsage;
        }
        const auto chart = names ? ses::controlChart(*store, calorimeter, &why) : std::nullopt;
        if (!chart || !writeControlChartImage(*chart, value(p, "out"), QSize(1100, 600), &why)) {
            err(why);
            return kFile;
        }
        return kOk;
    }
    if (action == QLatin1String("verify")) {
        const auto check = store->verify(&why);
        if (!check) {
            err(why);
            return kFile;
        }
        (check->intact ? out : err)(ses::trailText(*check));
        return check->intact ? kOk : kTampered;
    }
    if (action == QLatin1String("history")) {
        const auto entries = store->history(id, &why);
        if (!entries || (entries->isEmpty() && !store->determination(id, &why))) {
            err(why);
            return kFile;
        }
        if (isSet(p, "json"))
            std::fputs(QJsonDocument(ses::historyJson(*entries)).toJson(QJsonDocument::Indented).constData(), stdout);
        else if (entries->isEmpty())
            out(ses::msg::NoHistory);
        else
            std::fputs(ses::historyText(*entries).toUtf8().constData(), stdout);
        return kOk;
    }
    const double r = settings->repeatability;
    if (action == QLatin1String("reject")) {
        if (!store->reject(id, value(p, "reason"), &why)) {
            err(why);
            return kFile;
        }
        return kOk;
    }
    // The duplicates' verdict of a sample counts every valid determination of its code.
    auto verdictsFor = [&](const rec::Filter& f) { return ses::duplicateVerdicts(*store, f, r, &why); };
    if (action == QLatin1String("show") || action == QLatin1String("report")) {
        auto d = store->determination(id, &why);
        if (d) {
            QList<rec::Determination> one{*d};
            if (!ses::markSeriesChanges(*store, one, &why)) {
                err(why);
                return kFile;
            }
            d = one.front();
        }
        rec::Filter one;
        if (d)
            one.sample = d->sampleCode;
        const auto verdicts = d ? verdictsFor(one) : std::nullopt;
        if (!verdicts) {
            err(why);
            return kFile;
        }
        const auto v = verdicts->find(d->sampleCode);
        const QString dup = d->kind == rec::Determination::Kind::Sample && v != verdicts->end()
                                ? ses::duplicateText(v->second, unit) : QString();
        if (action == QLatin1String("report")) {
            if (!writeRecordReport(*d, dup, value(p, "out"), &why)) {
                err(why);
                return kFile;
            }
            return kOk;
        }
        if (!isSet(p, "json")) {
            std::fputs(ses::recordText(*d, dup).toUtf8().constData(), stdout);
            return kOk;
        }
        QJsonObject o = ses::recordJson(*d);
        if (v != verdicts->end() && d->kind == rec::Determination::Kind::Sample)
            o[QStringLiteral("duplicates")] = ses::duplicatesJson(v->second);
        std::fputs(QJsonDocument(o).toJson(QJsonDocument::Indented).constData(), stdout);
        return kOk;
    }
    auto list = store->list(filter, &why);
    if (list && !ses::markSeriesChanges(*store, *list, &why))
        list.reset();
    const auto verdicts = list ? verdictsFor(filter) : std::nullopt;
    if (!verdicts) {
        err(why);
        return kFile;
    }
    if (isSet(p, "json")) {
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
    const acq::Records table = ses::resultsTable(*list, *verdicts, unit);
    if (isSet(p, "csv")) {
#ifdef Q_OS_WIN
        // The CSV's own CR LF, not one the console's text mode would make CR CR LF.
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        const QByteArray bytes = recordsCsv(table);
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        return kOk;
    }
    // Tab-separated, the columns a technician reads at a terminal.
    const int shown[] = {0, 1, 2, 5, 6, 7, 10, 11, 12};
    QStringList head;
    for (const int f : shown)
        head << table.fields[f].name;
    out(head.join(QLatin1Char('\t')));
    for (qsizetype row = 0; row < table.rowCount(); ++row) {
        QStringList cells;
        for (const int f : shown)
            cells << table.displayTextAt(row, f);
        out(cells.join(QLatin1Char('\t')));
    }
    return kOk;
}

int report(const Command&, QCommandLineParser& p) {
    const QString path = value(p, "out");
    if (!outputUsable(path, {p.positionalArguments().value(0)}))
        return kUsage;
    if (!outputWritable(path))
        return kFile;
    Cli c;
    acq::TestRun n;
    ses::EvaluationRequest req;
    eval::Result r;
    if (const auto code = evaluateFor(p, c, n, req, r))
        return *code;
    ReportRequest rr;
    rr.test = n;
    rr.dataFile = QFileInfo(p.positionalArguments().value(0)).absoluteFilePath();
    rr.result = r;
    rr.calorimetry = req.calorimetry;
    QString why;
    if (!writeReport(c.session.data(), rr, path, &why)) {
        err(why);
        return kFile;
    }
    return kOk;
}

const QList<Command>& commands() {
    static const QList<Command> table = {
        {QStringLiteral("probe"), QStringLiteral("diagnóstico (0x08) com o registrador"),
         QStringLiteral("--device PATH"), {kDevice}, {}, {QStringLiteral("device")}, false, probe},
        {QStringLiteral("download"), QStringLiteral("lê a memória e grava o arquivo de dados"),
         QStringLiteral("--device PATH --out FILE.dat [--partial] [--dump FILE.img]"),
         {kDevice, opt("out", "Arquivo de dados a gravar.", "FILE.dat"),
          opt("partial", "Em caso de falha, grava as linhas lidas até ali."),
          opt("dump", "Grava também a memória como foi lida (do endereço 0 ao fim do último bloco).", "FILE.img")},
         {}, {QStringLiteral("device"), QStringLiteral("out")}, false, download},
        {QStringLiteral("decode"), QStringLiteral("decodifica uma cópia da memória no arquivo de dados"),
         QStringLiteral("FILE.img --out FILE.dat"), {opt("out", "Arquivo de dados a gravar.", "FILE.dat")},
         {QStringLiteral("FILE.img")}, {QStringLiteral("out")}, false, decode},
        {QStringLiteral("show"), QStringLiteral("lista os ensaios, ou as linhas de um ensaio"),
         QStringLiteral("FILE.dat [--test N]"), {kTest}, {QStringLiteral("FILE.dat")}, {}, false, show},
        {QStringLiteral("export"), QStringLiteral("planilha (xls) ou CSV de um ensaio"),
         QStringLiteral("FILE.dat --test N --out FILE [--format xls|csv]"),
         {kTest, opt("out", "Arquivo a gravar.", "FILE"), opt("format", "xls (padrão) ou csv.", "FORMAT")},
         {QStringLiteral("FILE.dat")}, {QStringLiteral("test"), QStringLiteral("out")}, false, exportTest},
        {QStringLiteral("plot"), QStringLiteral("gráfico de um ensaio (PNG)"),
         QStringLiteral("FILE.dat --test N --out FILE.png [--size LxA]"),
         {kTest, opt("out", "Imagem a gravar.", "FILE.png"), opt("size", "Tamanho em pixels, LxA.", "LxA")},
         {QStringLiteral("FILE.dat")}, {QStringLiteral("test"), QStringLiteral("out")}, true, plot},
        {QStringLiteral("calc"), QStringLiteral("avalia um ensaio: elevação corrigida, equivalente energético, poder calorífico"),
         QStringLiteral("FILE.dat --test N [--method regnault-pfaundler|dickinson] [--periods A,B,C,D]\n"
                        "           [--energy-equivalent W --mass M] [--calibrate --mass M --heat Q]\n"
                        "           [--fuse J] [--acid J] [--sulfur J] [--json]"),
         evaluationOptions(), {QStringLiteral("FILE.dat")}, {QStringLiteral("test")}, false, calc},
        {QStringLiteral("report"), QStringLiteral("relatório PDF da avaliação de um ensaio"),
         QStringLiteral("FILE.dat --test N --out FILE.pdf [as opções de calc]"),
         evaluationOptions() << opt("out", "Relatório a gravar.", "FILE.pdf"), {QStringLiteral("FILE.dat")}, {QStringLiteral("test"), QStringLiteral("out")}, true, report},
        {QStringLiteral("record"), QStringLiteral("avalia um ensaio e o registra no banco de resultados"),
         QStringLiteral("FILE.dat --test N --sample CÓDIGO [--description T] [--operator NOME]\n"
                        "           [--calorimeter NOME] [--test-date AAAA-MM-DD] [as opções de calc]\n"
                        "           [--wire-cm L [--wire-j-per-cm J]] [--titration-ml V --normality N]\n"
                        "           [--sulfur-pct S] [--moisture-pct M] [--hydrogen-pct H]\n"
                        "           [--oxygen-nitrogen-pct ON] [--aid-mass G --aid-heat J]\n"
                        "           [--check-standard Q] [--replaces ID --reason TEXTO] [--db LOCAL] [--json]\n"
                        "           (uma amostra sem --energy-equivalent usa o W da série aceita do calorímetro)"),
         evaluationOptions() << opt("sample", "Código da amostra.", "CÓDIGO")
                             << opt("description", "Descrição da amostra.", "T")
                             << opt("operator", "Operador (padrão: o usuário do sistema).", "NOME")
                             << opt("calorimeter", "Calorímetro (padrão: BC-200).", "NOME")
                             << opt("test-date", "Data do ensaio (padrão: hoje).", "AAAA-MM-DD")
                             << opt("wire-cm", "Fio queimado (cm), no lugar de --fuse.", "L")
                             << opt("wire-j-per-cm", "Calor do fio (J/cm; Ni-Cr 9,6, ferro 11,3).", "J")
                             << opt("titration-ml", "Volume da titulação (mL), no lugar de --acid.", "V")
                             << opt("normality", "Normalidade da solução da titulação.", "N")
                             << opt("sulfur-pct", "Enxofre da amostra (%), no lugar de --sulfur.", "S")
                             << opt("moisture-pct", "Umidade (%): o poder calorífico também em base seca.", "M")
                             << opt("hydrogen-pct", "Hidrogênio (%, base seca): o poder calorífico inferior.", "H")
                             << opt("oxygen-nitrogen-pct", "Oxigênio + nitrogênio (%, base seca).", "ON")
                             << opt("aid-mass", "Massa do auxiliar de combustão (g).", "G")
                             << opt("aid-heat", "Calor de combustão do auxiliar (J/g).", "J")
                             << opt("check-standard", "Padrão de verificação: o valor do certificado (J/g).", "Q")
                             << opt("replaces", "Substitui a determinação ID deste mesmo ensaio (rejeitada com --reason).", "ID")
                             << opt("reason", "Motivo da substituição.", "TEXTO")
                             << kDb,
         {QStringLiteral("FILE.dat")}, {QStringLiteral("test"), QStringLiteral("sample")}, false, record},
        {QStringLiteral("results"), QStringLiteral("lista, mostra, rejeita ou reimprime determinações; séries de calibração"),
         QStringLiteral("list [--sample CÓDIGO] [--kind sample|calibration] [--calorimeter NOME]\n"
                        "                [--since AAAA-MM-DD] [--unit J/g|MJ/kg|cal/g|Btu/lb] [--json|--csv]\n"
                        "           | show ID [--json] | reject ID --reason TEXTO | report ID --out FILE.pdf\n"
                        "           | history ID [--json] | verify\n"
                        "           | calibrations [--calorimeter NOME] [--rule din|astm|lab [--min-runs N --max-rsd P]] [--json]\n"
                        "           | new-series --calorimeter NOME --reason TEXTO\n"
                        "           | rule --calorimeter NOME --rule din|astm|lab [--min-runs N --max-rsd P]\n"
                        "           | chart --calorimeter NOME --out FILE.png | where [--move]\n"
                        "           [--db LOCAL]"),
         {kDb, opt("sample", "Só esta amostra.", "CÓDIGO"), opt("kind", "sample ou calibration.", "KIND"),
          opt("calorimeter", "Só este calorímetro.", "NOME"),
          opt("since", "Só ensaios desta data em diante.", "AAAA-MM-DD"),
          opt("unit", "Unidade do poder calorífico: J/g (padrão), MJ/kg, cal/g ou Btu/lb.", "UNIDADE"),
          opt("reason", "Motivo da rejeição ou da nova série.", "TEXTO"),
          opt("out", "Relatório (PDF) ou gráfico de controle (PNG) a gravar.", "FILE"),
          opt("rule", "Regra da série: din (DIN 51900, padrão), astm (ASTM D240) ou lab.", "REGRA"),
          opt("min-runs", "Regra lab: corridas no mínimo (padrão 10).", "N"),
          opt("max-rsd", "Regra lab: desvio padrão relativo máximo, % (padrão 0,1).", "P"),
          opt("json", "Escreve JSON."), opt("csv", "Escreve CSV (\";\", vírgula decimal)."),
          opt("move", "where: move o banco de uma versão anterior para o lugar padrão.")},
         {QStringLiteral("AÇÃO"), QStringLiteral("[ID]")}, {}, false, results},
        {QStringLiteral("clear"), QStringLiteral("apaga a memória do registrador"),
         QStringLiteral("--device PATH --yes"), {kDevice, opt("yes", "Confirma o apagamento.")}, {}, {QStringLiteral("device")}, false, clear},
    };
    return table;
}

QString usage() {
    QString u = QStringLiteral("Uso: registrador-cli [--verbose] COMANDO [opções]\n");
    for (const Command& c : commands())
        u += QStringLiteral("  %1 %2\n      %3\n").arg(c.name.leftJustified(8), c.synopsis, c.summary);
    u += QStringLiteral("registrador-cli COMANDO --help mostra as opções de um comando.\n"
                        "Códigos de saída: 0 ok, 1 uso, 2 comunicação, 3 conteúdo da memória, 4 memória vazia,\n"
                        "5 arquivo, 6 cancelado (Ctrl+C durante a leitura), 7 trilha de auditoria violada (results verify).\n");
    return u;
}

} // namespace

int main(int argc, char** argv) {
#ifdef Q_OS_WIN
    // Everything is written in UTF-8; a Windows console shows it so only when told.
    SetConsoleOutputCP(CP_UTF8);
#endif
    QStringList args;
#ifdef Q_OS_WIN
    // The wide command line: a name outside the ANSI code page reaches the program whole.
    int wideCount = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &wideCount)) {
        for (int i = 0; i < wideCount; ++i)
            args << QString::fromWCharArray(wide[i]);
        LocalFree(wide);
    }
#else
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
#endif
    // The command is the first argument that is not a global option.
    bool verbose = false;
    QString name;
    QStringList rest{args.value(0)};
    for (int i = 1; i < args.size(); ++i) {
        if (name.isEmpty() && args[i] == QLatin1String("--verbose"))
            verbose = true;
        else if (name.isEmpty() && !args[i].startsWith(QLatin1Char('-')))
            name = args[i];
        else if (name.isEmpty() && (args[i] == QLatin1String("--help") || args[i] == QLatin1String("-h"))) {
            std::fputs(usage().toUtf8().constData(), stdout);
            return kOk;
        } else if (name.isEmpty() && args[i] == QLatin1String("--version")) {
            std::printf("registrador-cli %s\n", REGISTRADOR_VERSION);
            return kOk;
        } else if (name.isEmpty()) {
            err(ses::msg::CliUnknownOption.arg(args[i]));
            return kUsage;
        } else
            rest << args[i];
    }
    const Command* cmd = nullptr;
    for (const Command& c : commands())
        if (c.name == name)
            cmd = &c;
    if (!cmd) {
        if (!name.isEmpty())
            err(ses::msg::CliUnknownCommand.arg(name));
        std::fputs(usage().toUtf8().constData(), stderr);
        return kUsage;
    }
    std::signal(SIGINT, onInterrupt);
    // What --verbose lets through goes to the standard error, also on Windows (where Qt would
    // send it to the debugger when no console is attached).
    qputenv("QT_FORCE_STDERR_LOGGING", "1");
    // The toolkit's notes on the platform (such as a DPI setting Wine refuses) are not the
    // user's business.
    QLoggingCategory::setFilterRules(verbose ? QStringLiteral("registrador.*=true") : QStringLiteral("qt.qpa.*=false"));
    // Pictures need the widget toolkit, but never a display. Windows' own platform needs none and
    // draws text with the system's fonts; its offscreen one may find no font at all.
    std::unique_ptr<QCoreApplication> app;
    // Of the results' actions only the report and the chart draw.
    if (cmd->widgets || (cmd->name == QLatin1String("results") &&
                          (rest.contains(QStringLiteral("report")) || rest.contains(QStringLiteral("chart"))))) {
#ifndef Q_OS_WIN
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("registrador-cli %1").arg(cmd->name));
    QCoreApplication::setApplicationVersion(QStringLiteral(REGISTRADOR_VERSION));
    QLocale::setDefault(QLocale::c());

    QCommandLineParser p;
    p.setApplicationDescription(cmd->summary);
    p.addOptions(cmd->options);
    const QCommandLineOption help = p.addHelpOption();
    for (const QString& a : cmd->positional)
        p.addPositionalArgument(a, QString());
    if (!p.parse(rest)) {
        err(ses::msg::CliCommandError.arg(cmd->name, p.errorText()));
        return kUsage;
    }
    if (p.isSet(help)) {
        std::fputs(p.helpText().toUtf8().constData(), stdout);
        return kOk;
    }
    // "--test 1 --test 2" would silently take one of them.
    QStringList seen;
    for (const QString& o : p.optionNames()) {
        if (seen.contains(o)) {
            err(ses::msg::CliOptionTwice.arg(cmd->name, o));
            return kUsage;
        }
        seen << o;
    }
    const QStringList pos = p.positionalArguments();
    // Names in brackets may be left out.
    const qsizetype needed = std::count_if(cmd->positional.begin(), cmd->positional.end(),
                                           [](const QString& n) { return !n.startsWith(QLatin1Char('[')); });
    if (pos.size() < needed || pos.size() > cmd->positional.size()) {
        if (pos.size() > cmd->positional.size())
            err(ses::msg::CliArgumentTooMany
                    .arg(cmd->name, pos.mid(cmd->positional.size()).join(QLatin1Char(' '))));
        else
            err(ses::msg::CliArgumentMissing.arg(cmd->name, cmd->positional.mid(pos.size()).join(QLatin1Char(' '))));
        err(ses::msg::CliUsage.arg(cmd->name, cmd->synopsis));
        return kUsage;
    }
    for (const QString& o : cmd->required)
        if (!p.isSet(o) || p.value(o).isEmpty()) {
            err(ses::msg::CliOptionMissing.arg(cmd->name, o));
            err(ses::msg::CliUsage.arg(cmd->name, cmd->synopsis));
            return kUsage;
        }
    return cmd->run(*cmd, p);
}
