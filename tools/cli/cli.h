#pragma once
// What the commands of registrador-cli share: the exit codes, the command table's entry, the
// session over the real serial library, and the helpers each command's file uses.
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


namespace cli {

enum Exit { kOk = 0, kUsage = 1, kComm = 2, kContents = 3, kEmpty = 4, kFile = 5, kCancelled = 6, kTampered = 7, kRefused = 8 };

inline void err(const QString& s) { std::fprintf(stderr, "%s\n", s.toUtf8().constData()); }
inline void out(const QString& s) { std::fprintf(stdout, "%s\n", s.toUtf8().constData()); }
/// A text kept by an earlier version as it came, for a terminal: its control characters
/// written out (\n, \t, \x1b), so that none breaks a line of a list or reaches the terminal
/// as a command. The CSV and the JSON keep them exactly.
QString printable(const QString& s);
inline QString native(const QString& p) { return QDir::toNativeSeparators(p); }

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

inline QCommandLineOption opt(const char* name, const char* help, const char* value = nullptr) {
    return value ? QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(help), QString::fromUtf8(value))
                 : QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(help));
}

inline const QCommandLineOption kDevice = opt("device", "Porta serial do registrador (ex.: /dev/ttyUSB0).", "PATH");
inline const QCommandLineOption kTest = opt("test", "Número do ensaio.", "N");
inline const QCommandLineOption kPartial =
    opt("partial", "De um arquivo interrompido ou danificado, lê os ensaios inteiros (o último, cortado, fica de fora).");
inline const QCommandLineOption kDb = opt("db", "Banco de resultados: um arquivo, ou postgresql://usuário@servidor:porta/banco "
                                         "(padrão: a linha Resultados de config.xml).", "LOCAL");

inline const QCommandLineOption kBalanceDevice =
    opt("device", "Porta da balança (COM3, /dev/ttyUSB1; padrão: a linha Balanca de config.xml).", "PORTA");
inline const QCommandLineOption kBalanceProtocol = opt("protocol", "Protocolo da balança: mt-sics, sbi ou ad.", "P");
inline const QCommandLineOption kBalanceLine = opt("line", "Linha da balança, como \"9600 8N1\" ou 9600,8O1.", "L");

inline QString value(QCommandLineParser& p, const QCommandLineOption& o) { return p.value(o.names().first()); }
inline QString value(QCommandLineParser& p, const char* name) { return p.value(QString::fromLatin1(name)); }
inline bool isSet(QCommandLineParser& p, const char* name) { return p.isSet(QString::fromLatin1(name)); }

// ---- the session -------------------------------------------------------------------------------

// The program's session over the real serial library; the device comes from --device.
struct Cli {
    lnk::SystemSerialLibrary lib;
    lnk::SystemClock clock;
    ses::Session session{lib, clock, &lib.portMap(), QDir::currentPath()};
};

int exitOf(const ses::Outcome& o);
/// The session with its port on `device` at the start-up speed, or nothing after the message.
std::unique_ptr<Cli> openDevice(const QString& device);
/// Ctrl+C: stops a download after the block in progress; otherwise ends the program.
extern std::atomic<bool> interrupted, downloading;
extern "C" void onInterrupt(int);

// ---- data files (common.cpp) ----------------------------------------------------------------------

bool loadFile(QCommandLineParser& p, const QString& path, Cli& c);
std::optional<acq::TestRun> testOption(QCommandLineParser& p, const ses::Session& session);
bool outputWritable(const QString& path);
bool sameFile(const QString& a, const QString& b);
bool outputUsable(const QString& path, const QStringList& others);
bool writeOrTell(const QString& path, const QByteArray& bytes);
int saveDownload(ses::Session& session, const QString& path);
std::optional<int> loadTestFor(QCommandLineParser& p, const QString& path, Cli& c, acq::TestRun& test);

// ---- evaluation and the results database (common.cpp) ---------------------------------------------

QList<QCommandLineOption> evaluationOptions();
std::optional<double> number(QCommandLineParser& p, const char* name, bool* bad);
/// `massFromList`: the sample's mass and kind come from the day's list (record --queued).
std::optional<ses::EvaluationRequest> evaluationRequest(QCommandLineParser& p, bool seriesW = false, bool massFromList = false);
std::optional<int> evaluateFor(QCommandLineParser& p, Cli& c, acq::TestRun& n, ses::EvaluationRequest& req,
                               eval::Result& result);
std::optional<ses::Settings> settingsOf(Cli& c);
std::unique_ptr<rec::Store> openStore(QCommandLineParser& p, const ses::Settings& settings,
                                      rec::Store::Access access = rec::Store::Access::Write);

// ---- the commands, each in its file -------------------------------------------------------------

int probe(const Command&, QCommandLineParser& p);    // device.cpp
int download(const Command&, QCommandLineParser& p); // device.cpp
int clear(const Command&, QCommandLineParser& p);    // device.cpp
int decode(const Command&, QCommandLineParser& p);   // files.cpp
int show(const Command&, QCommandLineParser& p);     // files.cpp
int exportTest(const Command&, QCommandLineParser& p); // files.cpp
int plot(const Command&, QCommandLineParser& p);     // files.cpp
int calc(const Command&, QCommandLineParser& p);     // evaluate.cpp
int report(const Command&, QCommandLineParser& p);   // evaluate.cpp
int record(const Command&, QCommandLineParser& p);   // record.cpp
int results(const Command&, QCommandLineParser& p);  // results.cpp
int weigh(const Command&, QCommandLineParser& p);    // samples.cpp
int follow(const Command&, QCommandLineParser& p);   // follow.cpp
int samples(const Command&, QCommandLineParser& p);  // samples.cpp
/// The one weighed sample of the list with this code (or the one recorded by `replaces`, which
/// the new record replaces), or nothing after the message.
std::optional<rec::QueuedSample> queuedSample(const rec::Store& store, const QString& code, qint64 replaces = 0);

} // namespace cli
