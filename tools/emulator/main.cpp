// registrador-emulador: a data logger on a pseudo-terminal, for demos and end-to-end tests.
#include "tools/emulator/loggermodel.h"
#include "tools/emulator/pty.h"
#include "tools/emulator/recorder.h"

#include "acquisition/memorydecoder.h"

#include <QElapsedTimer>
#include <memory>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

std::atomic<bool> stopRequested{false};
void onSignal(int) { stopRequested = true; }

int intOption(const QCommandLineParser& p, const QString& name, int fallback) {
    if (!p.isSet(name))
        return fallback;
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok) {
        std::fprintf(stderr, "registrador-emulador: --%s: not an integer: %s\n",
                     qPrintable(name), qPrintable(p.value(name)));
        std::exit(1);
    }
    return v;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("registrador-emulador"));
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Emulates the calorimeter's data logger on a pseudo-terminal. Prints the terminal's "
        "path as the first line of standard output and answers requests until stopped."));
    p.addHelpOption();
    p.addOptions({
        {QStringLiteral("image"), QStringLiteral("Memory image (32768 bytes) to serve."),
         QStringLiteral("FILE")},
        {QStringLiteral("link"), QStringLiteral("Also make PATH a symbolic link to the terminal."),
         QStringLiteral("PATH")},
        {QStringLiteral("log"), QStringLiteral("Log every request and answer on stderr.")},
        {QStringLiteral("silent"), QStringLiteral("Never answer.")},
        {QStringLiteral("bad-lrc-block"),
         QStringLiteral("Give block read K (1-based) a wrong LRC."), QStringLiteral("K")},
        {QStringLiteral("cut-block"), QStringLiteral("Cut the answer to block read K short."),
         QStringLiteral("K")},
        {QStringLiteral("cut-length"),
         QStringLiteral("Characters kept of the cut answer (default: all but CR LF)."),
         QStringLiteral("N")},
        {QStringLiteral("bad-lrc-block-always"),
         QStringLiteral("Give every read of memory block K (1-based, from register 2) a wrong LRC."),
         QStringLiteral("K")},
        {QStringLiteral("cut-block-always"),
         QStringLiteral("Cut every answer to memory block K (1-based, from register 2) short."),
         QStringLiteral("K")},
        {QStringLiteral("hold-block"),
         QStringLiteral("Hold the answer to block read K (1-based) back by --hold-ms."),
         QStringLiteral("K")},
        {QStringLiteral("hold-ms"), QStringLiteral("How long --hold-block holds its answer back."),
         QStringLiteral("MS")},
        {{QStringLiteral("reply-delay"), QStringLiteral("delay")},
         QStringLiteral("Begin every answer MS milliseconds after its request's line end."),
         QStringLiteral("MS")},
        {QStringLiteral("reply-jitter"),
         QStringLiteral("Add a random 0 … MS milliseconds to each answer's delay."), QStringLiteral("MS")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the jitter (default 1)."), QStringLiteral("N")},
        {QStringLiteral("require-baud"),
         QStringLiteral("Answer only while the line runs at BAUD."), QStringLiteral("BAUD")},
        {QStringLiteral("exception"),
         QStringLiteral("Answer every request with an exception frame of CODE (6: busy)."), QStringLiteral("CODE")},
        {QStringLiteral("record"),
         QStringLiteral("Record a test into the memory as the logger does, a sample every 5 s: FILE.dat:TEST, or synthetic."),
         QStringLiteral("RUN")},
        {QStringLiteral("speed"), QStringLiteral("Record K times faster (default 1)."), QStringLiteral("K")},
        {QStringLiteral("half-written"),
         QStringLiteral("Leave sample K (1-based) half-written for 0.2 s (N already past it)."), QStringLiteral("K")},
        {QStringLiteral("silent-while-recording"),
         QStringLiteral("Answer nothing from second A to second B of the test being recorded."), QStringLiteral("A,B")},
    });
    p.process(app);

    emu::LoggerModel model;
    if (p.isSet(QStringLiteral("image"))) {
        QFile f(p.value(QStringLiteral("image")));
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "registrador-emulador: %s: %s\n", qPrintable(f.fileName()),
                         qPrintable(f.errorString()));
            return 1;
        }
        const QByteArray image = f.readAll();
        if (image.size() > emu::LoggerModel::kMemorySize) {
            std::fprintf(stderr, "registrador-emulador: %s: larger than %d bytes\n",
                         qPrintable(f.fileName()), emu::LoggerModel::kMemorySize);
            return 1;
        }
        model.setMemory(image);
    }
    model.faults.silent = p.isSet(QStringLiteral("silent"));
    model.faults.badLrcBlock = intOption(p, QStringLiteral("bad-lrc-block"), 0);
    model.faults.cutBlock = intOption(p, QStringLiteral("cut-block"), 0);
    model.faults.cutLength = intOption(p, QStringLiteral("cut-length"), -1);
    model.faults.lastingBadLrcBlock = intOption(p, QStringLiteral("bad-lrc-block-always"), 0);
    model.faults.lastingCutBlock = intOption(p, QStringLiteral("cut-block-always"), 0);
    model.faults.holdBlock = intOption(p, QStringLiteral("hold-block"), 0);
    model.faults.holdMs = intOption(p, QStringLiteral("hold-ms"), 0);
    model.faults.delayMs = intOption(p, QStringLiteral("reply-delay"), 0);
    model.faults.jitterMs = intOption(p, QStringLiteral("reply-jitter"), 0);
    model.faults.jitterSeed = static_cast<unsigned>(intOption(p, QStringLiteral("seed"), 1));
    model.faults.requiredBaud = intOption(p, QStringLiteral("require-baud"), 0);
    model.faults.exceptionCode = intOption(p, QStringLiteral("exception"), 0);
    const bool log = p.isSet(QStringLiteral("log"));
    // A test recorded while the emulator answers, in the test's own time times --speed.
    std::unique_ptr<emu::Recorder> recorder;
    double speed = 1, silentFrom = -1, silentTo = -1;
    if (p.isSet(QStringLiteral("record"))) {
        const QString run = p.value(QStringLiteral("record"));
        std::optional<emu::TestRecords> records;
        QString why;
        if (run == QLatin1String("synthetic")) {
            records = emu::syntheticRun(1);
        } else {
            const qsizetype colon = run.lastIndexOf(QLatin1Char(':'));
            bool ok = false;
            const qint64 test = colon > 0 ? run.mid(colon + 1).toLongLong(&ok) : 0;
            records = ok ? emu::runOfFile(run.left(colon), test, &why) : std::nullopt;
            if (!ok)
                why = QStringLiteral("--record: FILE.dat:TEST or synthetic");
        }
        if (!records) {
            std::fprintf(stderr, "registrador-emulador: %s\n", qPrintable(why));
            return 1;
        }
        // A new test takes the next number after those the memory holds.
        int next = 1;
        const acq::DecodedMemory held = acq::decodeMemory(model.memory());
        for (const acq::TestRun& t : held.data.tests())
            next = std::max<int>(next, int(t.number) + 1);
        records->number = next;
        recorder = std::make_unique<emu::Recorder>(model, *records);
        if (p.isSet(QStringLiteral("half-written")))
            recorder->halfWrittenSample = intOption(p, QStringLiteral("half-written"), 1) - 1;
        if (p.isSet(QStringLiteral("speed"))) {
            bool ok = false;
            speed = p.value(QStringLiteral("speed")).toDouble(&ok);
            if (!ok || speed <= 0) {
                std::fprintf(stderr, "registrador-emulador: --speed: a positive number\n");
                return 1;
            }
        }
        // 0.2 s of real time, whatever the speed: shorter than the follower's second read.
        recorder->halfWrittenSeconds = 0.2 * speed;
        if (p.isSet(QStringLiteral("silent-while-recording"))) {
            const QStringList ab = p.value(QStringLiteral("silent-while-recording")).split(QLatin1Char(','));
            silentFrom = ab.value(0).toDouble();
            silentTo = ab.value(1).toDouble();
        }
    }
    QElapsedTimer clock;
    clock.start();

    emu::Pty pty;
    if (!pty.open()) {
        std::fprintf(stderr, "registrador-emulador: cannot open a pseudo-terminal: %s\n",
                     qPrintable(pty.error()));
        return 1;
    }
    const QByteArray linkPath = p.value(QStringLiteral("link")).toLocal8Bit();
    if (!linkPath.isEmpty()) {
        ::unlink(linkPath.constData());
        if (::symlink(pty.slavePath().toLocal8Bit().constData(), linkPath.constData()) != 0) {
            std::perror(linkPath.constData());
            return 1;
        }
    }
    std::printf("%s\n", qPrintable(pty.slavePath()));
    std::fflush(stdout);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);

    QByteArray pending;
    while (!stopRequested) {
        pending += pty.read(recorder ? 20 : 100);
        double testSeconds = 0;
        if (recorder) {
            testSeconds = clock.elapsed() * speed / 1000.0;
            recorder->advanceTo(testSeconds);
        }
        model.faults.silent = p.isSet(QStringLiteral("silent")) || (testSeconds >= silentFrom && testSeconds < silentTo);
        int nl;
        while ((nl = static_cast<int>(pending.indexOf('\n'))) >= 0) {
            const QByteArray request = pending.left(nl + 1);
            pending.remove(0, nl + 1);
            const QByteArray answer = model.respond(request, pty.lineBaud());
            if (log)
                std::fprintf(stderr, "<- %s-> %s\n", request.trimmed().constData(),
                             answer.isEmpty() ? "(silence)" : answer.trimmed().constData());
            if (answer.isEmpty())
                continue;
            if (model.holdOfLastAnswer() > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(model.holdOfLastAnswer()));
            pty.writePaced(answer);
        }
        if (pending.size() > 4096) // noise without a line end: don't grow without bound
            pending.clear();
    }
    if (!linkPath.isEmpty())
        ::unlink(linkPath.constData());
    return 0;
}
