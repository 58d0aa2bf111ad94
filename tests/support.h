#pragma once
// Fakes for the seams, and a running emulator on a real pseudo-terminal.
#include "acquisition/download.h"
#include "acquisition/measurements.h"
#include "app/services.h"
#include "export/dtExport.h"
#include "link/clock.h"
#include "session/testevaluation.h"

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <ostream>

/// The windows' tests see numbers as the window program writes them (the decimal comma).
struct AsWindowProgram {
    AsWindowProgram() { ses::useDecimalComma(true); }
};

/// Failed comparisons print texts as text, not as arrays of 16-bit units.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

class RecordingClock : public lnk::Clock {
public:
    void pause(int ms) override {
        pauses << ms;
        elapsedUs_ += qint64(ms) * 1000;
        if (onPause)
            onPause();
    }
    /// Called after each pause, on the thread that paused (the download's own).
    std::function<void()> onPause;
    /// Time passes only in the recorded pauses.
    qint64 nowUs() const override { return elapsedUs_; }
    QList<int> pauses;
    int total() const {
        int t = 0;
        for (int p : pauses) t += p;
        return t;
    }

private:
    qint64 elapsedUs_ = 0;
};

/// Counts what a download shows of its progress.
struct ProgressListener : acq::DownloadListener {
    int starts = 0, steps = 0, ends = 0;
    void progressStart(int, int) override { ++starts; }
    void progressStep() override { ++steps; }
    void progressEnd() override { ++ends; }
};

/// A download as the session takes it: the memory read and decoded into `data`, unless
/// nothing usable was read.
acq::DownloadResult downloadInto(lnk::SerialChannel& channel, acq::Measurements& data, acq::DownloadListener& l);

/// The numbers of the tests listed, in order ("5", "5" for two tests numbered 5).
QStringList testNumbers(const acq::Measurements& m);

struct ShownMessage {
    MsgKind kind;
    QString text;
    MsgButtons buttons;
    bool autoClosed;
    bool safeDefault = false; ///< asked as a question whose Yes destroys something
    QString detail;           ///< the box's detail text
};

class ScriptedMessages : public MessageService {
public:
    MsgAnswer ask(MsgKind kind, const QString& text, MsgButtons buttons) override;
    MsgAnswer askDestructive(MsgKind kind, const QString& text, MsgButtons buttons) override;
    void plain(const QString& text) override;
    void showDetailed(MsgKind kind, const QString& text, const QString& detail) override;
    std::deque<MsgAnswer> answers; ///< taken in order; when empty: Yes / Ok
    QList<ShownMessage> shown;
    QStringList texts() const;
};

class ScriptedFiles : public FileDialogs {
public:
    QString openFile(const FileDialogSpec& opts) override;
    QString saveFile(const FileDialogSpec& opts) override;
    std::deque<QString> paths; ///< taken in order; empty string = cancel
    QList<FileDialogSpec> asked;
};

/// Plays the user in a modal dialog through a function of the test (default: Accepted).
class ScriptedDialogs : public DialogRunner {
public:
    int exec(QDialog& d) override;
    std::function<int(QDialog&)> play;
    QStringList shown; ///< window titles, in order
};

class RecordingViewer : public FileViewer {
public:
    bool open(const QString& path) override {
        opened << path;
        return canOpen;
    }
    QStringList opened;
    bool canOpen = true;
};

/// Writes a config.xml in the toolkit's form with the given Key/Value rows.
void writeConfig(const QString& dir, const QList<std::pair<QString, QString>>& rows);
QList<std::pair<QString, QString>> builtInConfigRows();
QByteArray readAllOf(const QString& path);

/// A test that needs the emulator's pseudo-terminal, which only Linux has, is skipped elsewhere.
#ifdef Q_OS_WIN
#define REQUIRE_PSEUDO_TERMINAL() GTEST_SKIP() << "needs a pseudo-terminal (Linux only)"
#else
#define REQUIRE_PSEUDO_TERMINAL() (void)0
#endif

/// registrador-emulador started on a memory image, or registrador-emulador-balanca; stopped on
/// destruction.
class Emulator {
public:
    explicit Emulator(const QString& image, const QStringList& extraArgs = {});
    struct Balance {};
    Emulator(Balance, const QStringList& args);
    /// One line of the emulator's standard input (the balance's: a new weight, a fault).
    void tell(const QByteArray& line);
    ~Emulator();
    QString device() const { return device_; }
    bool ok() const { return !device_.isEmpty(); }

private:
    void start(const QString& program, const QStringList& args);
    QProcess proc_;
    QString device_;
};

QString dataFile(const QString& name);
/// A program built beside the tests (".exe" added on Windows).
QString binFile(const QString& name);
/// Paths that name something other than a regular file, which no reader may open as data: on
/// Linux a device that never ends and a FIFO without a writer (made in `dir`), on Windows the
/// null device and a folder.
QStringList notRegularFiles(const QString& dir);
/// A serial device that cannot be opened.
QString missingDevice();

/// What the export's windows answer in a test, and what they were asked.
struct ExportScript {
    bool confirm = true;
    std::optional<TdtExportStyle> style = xsFile;
    std::deque<QString> savePaths; ///< empty string = cancel
    QStringList events;
};

class ScriptedExportUi : public TdtExportUi {
public:
    explicit ScriptedExportUi(ExportScript* s) : s_(s) {}
    /// Windows that each export creates anew, all scripted by the same script.
    class Factory : public TdtWindowsFactory {
    public:
        explicit Factory(ExportScript* s) : s_(s) {}
        std::unique_ptr<TdtExportUi> create() override { return std::make_unique<ScriptedExportUi>(s_); }

    private:
        ExportScript* s_;
    };
    bool choose(TdtCustomExport& c) override;
    void progressShow(TdtCustomExport&, int n) override { s_->events << QStringLiteral("progress %1").arg(n); }
    void progressPosition(int) override {}
    void progressClose() override { s_->events << QStringLiteral("progress closed"); }

private:
    ExportScript* s_;
};

/// Runs a Python script with Debian's interpreter (which sees python3-xlrd); its stdout.
std::optional<QByteArray> runPython(const QString& script, const QStringList& args, int* exitCode = nullptr);

class TForm1;
namespace emu { class LoggerModel; class FakeSerialLibrary; }
class QDialog;

/// The real main window on the in-process logger model, every seam scripted.
struct MainWindowRig {
    MainWindowRig();
    ~MainWindowRig();
    QTemporaryDir dir;
    std::unique_ptr<emu::LoggerModel> model;
    std::unique_ptr<emu::FakeSerialLibrary> serial;
    ScriptedMessages messages;
    ScriptedFiles files;
    RecordingViewer viewer;
    RecordingClock clock;
    lnk::PortMap ports;
    ScriptedDialogs dialogs;
    ExportScript exportScript;
    ScriptedExportUi::Factory exportWindows{&exportScript};
    /// Plays the user in a modal dialog; returns its result (default: Accepted).
    std::function<int(QDialog&)> onDialog;
    QStringList dialogsShown;
    std::unique_ptr<TForm1> form;

    /// (Re)creates the window, running its start-up on the rig's config.xml.
    void start();
    QStringList tests() const;
    QStringList gridRow(int r) const;
};

/// A test numbered 1 of n samples added to the measurements, for the export tests and the
/// benchmarks.
void fillMeasurements(acq::Measurements& m, int n);

/// A data file in `dir` with tests 1 … n, each a copy of one of the demo's (test k of the
/// demo's test (k − 1) % 3 + 1, or of its test `only`) whose external readings are moved by k
/// millikelvin: the same evaluation, but another test for the results database, which keeps
/// one determination a test.
QString distinctTestsFile(const QString& dir, int n, int only = 0);
