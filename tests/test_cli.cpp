// registrador-cli end to end over a real pseudo-terminal with the emulator.
#include "acquisition/memorydecoder.h"
#include "records/store.h"
#include "session/recording.h"
#include "tests/pgserver.h"
#include "session/recordservice.h"
#include "tests/support.h"
#include "tools/emulator/loggermodel.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <random>
#include <gtest/gtest.h>
#ifndef Q_OS_WIN
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif
#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/types.h>
#endif

namespace {
struct CliRun {
    int code = -1;
    QString out, err;
};

// What a started program gave once it ended (killed after a minute: code -1).
CliRun collected(QProcess& p) {
    CliRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

CliRun cli(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
           const QString& workDir = {}) {
    QProcess p;
    p.setProcessEnvironment(env);
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(binFile("registrador-cli"), args);
    return collected(p);
}
// Runs one statement on a SQLite results file as someone would without the program.
bool behindTheProgram(const QString& db, const char* statement) {
    bool ok = false;
    {
        QSqlDatabase raw = QSqlDatabase::addDatabase("QSQLITE", "behind");
        raw.setDatabaseName(db);
        ok = raw.open() && QSqlQuery(raw).exec(QString::fromLatin1(statement));
    }
    QSqlDatabase::removeDatabase("behind");
    return ok;
}
} // namespace

TEST(Cli, DownloadShowExportPlotOfTheWorkedExample) {
    REQUIRE_PSEUDO_TERMINAL();
    Emulator emu(dataFile("exemplo.img"));
    ASSERT_TRUE(emu.ok());
    QTemporaryDir dir;
    const QString dat = dir.filePath("e.dat");
    EXPECT_EQ(cli({"probe", "--device", emu.device()}).code, 0);
    CliRun r = cli({"download", "--device", emu.device(), "--out", dat});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = cli({"show", dat});
    EXPECT_EQ(r.out, "Ensaio\tLinhas\tMínima\tMáxima\n1\t2\t22.424 °C\t22.581 °C\n");
    r = cli({"show", dat, "--test", "1"});
    EXPECT_EQ(r.out, "Registro\tTempo (min)\tTemp. Int. (°C)\tTemp. Ext. (°C)\n"
                     "1\t0.00\t22.444\t21.955\n2\t0.08\t22.502\t21.979\n");
    r = cli({"show", dat, "--test", "4"});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains("ensaios presentes: 1")) << r.err.toStdString();
    const QString xls = dir.filePath("e.xls");
    ASSERT_EQ(cli({"export", dat, "--test", "1", "--out", xls}).code, 0);
    int rc = 0;
    const auto cells = runPython(QStringLiteral(REGISTRADOR_DATA_DIR "/../tests/read_xls.py"), {xls}, &rc);
    if (cells && rc == 0) {
        EXPECT_TRUE(QString::fromUtf8(*cells).contains("2\t4\tnumber\t22.502\t0"));
    }
    const QString png = dir.filePath("e.png");
    ASSERT_EQ(cli({"plot", dat, "--test", "1", "--out", png, "--size", "320x240"}).code, 0);
    EXPECT_EQ(QImage(png).size(), QSize(320, 240));
}

TEST(Cli, FailureStatusesLeaveNoFile) {
    REQUIRE_PSEUDO_TERMINAL();
    QTemporaryDir dir;
    const QString dat = dir.filePath("x.dat");
    struct Case { QStringList emuArgs; int code; } cases[] = {
        {{"--silent"}, 2}, {{"--bad-lrc-block-always", "2"}, 2}, {{"--cut-block-always", "1"}, 2},
    };
    for (const auto& c : cases) {
        Emulator emu(dataFile("demo.img"), c.emuArgs);
        ASSERT_TRUE(emu.ok());
        const CliRun r = cli({"download", "--device", emu.device(), "--out", dat});
        EXPECT_EQ(r.code, c.code) << c.emuArgs.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("Erro de comunicação!"));
        EXPECT_TRUE(r.err.contains("tentativas).")) << "the cause under the message: " << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(dat));
    }
    {
        // --partial keeps the rows read so far, but never writes a file without a row.
        Emulator silent(dataFile("demo.img"), {"--silent"});
        CliRun r = cli({"download", "--device", silent.device(), "--out", dat, "--partial"});
        EXPECT_EQ(r.code, 2);
        EXPECT_FALSE(QFile::exists(dat));
        Emulator emu(dataFile("demo.img"), {"--bad-lrc-block-always", "2"});
        r = cli({"download", "--device", emu.device(), "--out", dat, "--partial"});
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(QFile::exists(dat));
    }
    {
        // A logger that answers with an exception frame is well-formed but not ready.
        Emulator busy(dataFile("demo.img"), {"--exception", "6"});
        const CliRun r = cli({"probe", "--device", busy.device()});
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.out, ":880672\n");
        EXPECT_TRUE(r.err.contains("exceção (código 06)")) << r.err.toStdString();
    }
    QFile empty(dir.filePath("empty.img"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    {
        Emulator emu(empty.fileName());
        const CliRun r = cli({"download", "--device", emu.device(), "--out", dir.filePath("y.dat")});
        EXPECT_EQ(r.code, 4);
        EXPECT_TRUE(r.err.contains("Memória está vazia!"));
    }
}

// Failures found before or without a logger: no port, no folder, no such file, no command.
TEST(Cli, FailuresWithoutALoggerLeaveNoFile) {
    QTemporaryDir dir;
    QFile empty(dir.filePath("empty.img"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_EQ(cli({"download", "--device", missingDevice(), "--out", dir.filePath("z.dat")}).code, 2);
    EXPECT_FALSE(QFile::exists(dir.filePath("z.dat")));
    EXPECT_EQ(cli({"show", dir.filePath("empty.img")}).code, 5);
    EXPECT_EQ(cli({"download", "--device", "/dev/null", "--out", dir.filePath("no/such/dir.dat")}).code, 5);
    EXPECT_EQ(cli({"clear", "--device", "/dev/null"}).code, 1);
    EXPECT_EQ(cli({"bogus"}).code, 1);
    EXPECT_EQ(cli({"--help"}).code, 0);
}

TEST(Cli, UsageErrorsNameWhatIsWrong) {
    QTemporaryDir dir;
    struct Case { QStringList args; const char* named; } cases[] = {
        {{"show", "x.dat", "--bogus"}, "bogus"},
        {{"show", "x.dat", "y.dat"}, "y.dat"},
        {{"download", "--device", "/dev/null"}, "--out"},
        {{"--bogus", "show"}, "--bogus"},
        {{"export", "x.dat", "--test", "1", "--out", "y", "--format", "ods"}, "ods"},
        {{"frobnicate"}, "frobnicate"},
    };
    for (const auto& c : cases) {
        const CliRun r = cli(c.args);
        EXPECT_EQ(r.code, 1) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.named)) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    for (const char* command : {"probe", "download", "decode", "show", "export", "plot", "clear"}) {
        const CliRun r = cli({command, "--help"});
        EXPECT_EQ(r.code, 0) << command;
        EXPECT_TRUE(r.out.contains("--help")) << command;
    }
    const CliRun v = cli({"--version"});
    EXPECT_EQ(v.code, 0);
    EXPECT_TRUE(v.out.startsWith("registrador-cli " REGISTRADOR_VERSION)) << v.out.toStdString();
}

TEST(Cli, DumpDecodeCsvAndPicturesWrittenWhole) {
    REQUIRE_PSEUDO_TERMINAL();
    Emulator emu(dataFile("demo.img"));
    ASSERT_TRUE(emu.ok());
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat"), img = dir.filePath("d.img");
    CliRun r = cli({"--verbose", "download", "--device", emu.device(), "--out", dat, "--dump", img});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("registrador.link")) << "the link's diagnostics with --verbose";
    // The dump holds the memory from address 0 to the end of the last block read.
    const QByteArray dump = readAllOf(img), image = readAllOf(dataFile("demo.img"));
    const int end = (uchar(image[1]) << 8) | uchar(image[2]);
    ASSERT_GE(dump.size(), end);
    EXPECT_EQ(dump, image.left(dump.size()));
    // Decoding the dump, or the whole image, gives the file the download wrote, byte for byte.
    for (const QString& source : {img, dataFile("demo.img")}) {
        const QString out = dir.filePath("decoded.dat");
        r = cli({"decode", source, "--out", out});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_EQ(readAllOf(out), readAllOf(dat)) << source.toStdString();
    }
    const QString cut = dir.filePath("cut.img");
    QFile c(cut);
    ASSERT_TRUE(c.open(QIODevice::WriteOnly));
    c.write(dump.left(end / 2));
    c.close();
    r = cli({"decode", cut, "--out", dir.filePath("no.dat")});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains("--partial")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("no.dat")));
    // Asked for, the tests read to their end before the dump stops, as the download gave them.
    r = cli({"decode", cut, "--out", dir.filePath("part.dat"), "--partial"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("ficou de fora")) << r.err.toStdString();
    EXPECT_EQ(cli({"show", dir.filePath("part.dat"), "--test", "1"}).out, cli({"show", dat, "--test", "1"}).out);

    // CSV as a Brazilian spreadsheet reads it, read back by Python's csv module.
    const QString csvPath = dir.filePath("e.csv");
    ASSERT_EQ(cli({"export", dat, "--test", "2", "--out", csvPath, "--format", "csv"}).code, 0);
    const QByteArray csv = readAllOf(csvPath);
    EXPECT_TRUE(csv.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(csv.endsWith("\r\n"));
    int rc = 0;
    const auto rows = runPython(QStringLiteral("-c"), {QStringLiteral(
        "import csv,sys\n"
        "rows=list(csv.reader(open(sys.argv[1],encoding='utf-8-sig',newline=''),delimiter=';'))\n"
        "print(len(rows)); print('|'.join(rows[0])); print('|'.join(rows[1]))\n"), csvPath}, &rc);
    ASSERT_TRUE(rows && rc == 0);
    const QStringList lines = QString::fromUtf8(*rows).split('\n');
    EXPECT_EQ(lines.value(0), "169");
    EXPECT_EQ(lines.value(1), "Registro|Ensaio|Registro|Tempo|Temp. Int. (°C)|Temp. Ext. (°C)|Temp. Máxima (°C)|Temp. Mínima (°C)");
    EXPECT_TRUE(lines.value(2).startsWith("169|2|1|0,00|")) << lines.value(2).toStdString();

    // A picture goes through a temporary file of its own: a link planted where the old
    // temporary name was is never followed, and a folder at that name is an error.
    const QString png = dir.filePath("p.png"), victim = dir.filePath("victim");
    QFile v(victim);
    ASSERT_TRUE(v.open(QIODevice::WriteOnly));
    v.write("keep");
    v.close();
    ASSERT_TRUE(QFile::link(victim, png + ".tmp"));
    ASSERT_EQ(cli({"plot", dat, "--test", "1", "--out", png}).code, 0);
    EXPECT_EQ(readAllOf(victim), "keep");
    EXPECT_FALSE(QImage(png).isNull());
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.png"));
    r = cli({"plot", dat, "--test", "1", "--out", dir.filePath("folder.png")});
    EXPECT_EQ(r.code, 5);
    EXPECT_TRUE(r.err.contains("já existe uma pasta com esse nome")) << r.err.toStdString();
}

// A data file cut short (a copy stopped half-way, a full disk) gives its whole tests only when
// asked, and never the test it stops in.
TEST(Cli, ACutDataFileGivesItsWholeTestsWhenAsked) {
    QTemporaryDir dir;
    const QString whole = dir.filePath("whole.dat");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", whole}).code, 0);
    const QByteArray bytes = readAllOf(whole);
    const qsizetype second = bytes.indexOf("<ROW Reg=\"", bytes.indexOf("Ensaio=\"2\"") - 40),
                    third = bytes.indexOf("<ROW Reg=\"", bytes.indexOf("Ensaio=\"3\"") - 40);
    ASSERT_GT(second, 0);
    struct Case { const char* what; qsizetype at; const char* kept; const char* leftOut; } cases[] = {
        {"inside the third test's rows", (third + bytes.size()) / 2, "1, 2", "3"},
        {"inside a row of the second test", bytes.indexOf("Tint=", (second + third) / 2) + 8, "1", "2"},
        {"only the closing tags lost", bytes.indexOf("</ROWDATA>"), "1, 2", "3"},
        {"inside the first test", second - 5, nullptr, nullptr},
        {"inside the fields", bytes.indexOf("<ROWDATA>") - 30, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString cut = dir.filePath("cut.dat");
        QFile f(cut);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes.left(c.at));
        f.close();
        CliRun r = cli({"show", cut});
        EXPECT_EQ(r.code, 5);
        EXPECT_EQ(r.err.contains("--partial"), c.kept != nullptr) << r.err.toStdString();
        r = cli({"show", cut, "--partial"});
        if (!c.kept) {
            EXPECT_EQ(r.code, 5);
            continue;
        }
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("ensaios inteiros de \"%1\" (%2); o ensaio %3,").arg(QDir::toNativeSeparators(cut), c.kept, c.leftOut)))
            << r.err.toStdString();
        // Each whole test with every row it has in the whole file.
        for (const QString& t : QString(c.kept).split(", "))
            EXPECT_EQ(cli({"show", cut, "--partial", "--test", t}).out, cli({"show", whole, "--test", t}).out) << t.toStdString();
        EXPECT_NE(cli({"show", cut, "--partial", "--test", c.leftOut}).code, 0);
    }
}

TEST(Cli, CalcAndReportOfADemoTest) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    CliRun r = cli({"calc", dat, "--test", "2", "--json", "--method", "dickinson", "--energy-equivalent", "10100",
                    "--mass", "0.98", "--fuse", "50"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    for (const char* key : {"test", "method", "automatic", "periods", "theta_a", "theta_c", "drift_fore", "drift_after",
                            "mean_fore", "mean_after", "rise_observed", "rise_corrected", "b", "energy_equivalent",
                            "gross_calorific_value"})
        EXPECT_TRUE(o.contains(key)) << key;
    EXPECT_EQ(o["test"].toInt(), 2);
    EXPECT_EQ(o["method"].toString(), "dickinson");
    EXPECT_TRUE(o["automatic"].toBool());
    const double rise = o["rise_corrected"].toDouble();
    EXPECT_NEAR(o["gross_calorific_value"].toDouble(), (10100 * rise - 50) / 0.98, 1e-6);
    EXPECT_EQ(o["periods"].toObject()["main"].toArray()[0].toDouble(), o["periods"].toObject()["fore"].toArray()[1].toDouble());

    // Given periods are used as given; the text form names the method.
    r = cli({"calc", dat, "--test", "2", "--periods", "0,3,11,13.9"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("Regnault-Pfaundler"));
    EXPECT_TRUE(r.out.contains("informados"));
    // 13.9 min falls between two readings: the limit used is the nearest one, and says so.
    EXPECT_TRUE(r.out.contains("Digitados (movidos às leituras): 0.00; 3.00; 11.00; 13.90 min"))
        << r.out.toStdString();
    r = cli({"calc", dat, "--test", "2", "--periods", "0,3,11,13.9", "--json"});
    EXPECT_EQ(QJsonDocument::fromJson(r.out.toUtf8()).object()["periods_typed"].toArray().at(3).toDouble(), 13.9);

    struct Case { QStringList args; int code; const char* says; } refusals[] = {
        {{"--test", "9"}, 1, "ensaios presentes"},
        {{"--test", "1", "--periods", "0,5,3,9"}, 3, ""},
        {{"--test", "1", "--periods", "0,0.1,5,9"}, 3, ""},
        {{"--test", "1", "--calibrate", "--mass", "1"}, 1, "--heat"},
        {{"--test", "1", "--method", "simpson"}, 1, "simpson"},
        {{"--test", "1", "--mass", "1"}, 1, "--energy-equivalent"},
    };
    for (const auto& c : refusals) {
        r = cli(QStringList{"calc", dat} + c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty()) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
    }

    const QString pdf = dir.filePath("r.pdf");
    r = cli({"report", dat, "--test", "2", "--out", pdf, "--energy-equivalent", "10100", "--mass", "0.98"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(readAllOf(pdf).startsWith("%PDF"));
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    if (text.waitForFinished(30000) && text.exitCode() == 0) {
        const QString t = QString::fromUtf8(text.readAllStandardOutput()).replace(QChar(0xFB01), "fi");
        EXPECT_TRUE(t.contains("Avaliação do Ensaio 2"));
        EXPECT_TRUE(t.contains("Poder calorífico superior"));
        EXPECT_TRUE(t.contains(QString::number(rise, 'f', 4)) || t.contains("Elevação corrigida"));
        EXPECT_TRUE(t.contains("Anexo"));
    }
}

namespace {
QString writeImage(const QString& path, const QByteArray& image) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(image);
    return path;
}

// Record words of one test as the logger writes them, samples from `first` on.
QList<quint16> loggerTest(int number, int samples, quint16 first = 0x200) {
    emu::TestRecords r{number, {}, true, 0x300, 0x100};
    for (int i = 0; i < samples; ++i)
        r.samples << std::pair{quint16(first + i), quint16(first + i - 0x10)};
    return r.words();
}
} // namespace

// Every output is the file asked for, never another name nor the input; checked before work.
TEST(Cli, OutputsAreExactlyWhatWasAsked) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    const QByteArray before = readAllOf(dat);
    ASSERT_TRUE(QDir(dir.path()).mkdir("pasta"));
#ifdef Q_OS_WIN
    // A Windows shortcut is a file of its own, which the system does not follow: no link case.
    const QString linked = dat;
#else
    const QString linked = dir.filePath("link.dat");
    ASSERT_TRUE(QFile::link(dat, linked));
#endif
    const QString img = writeImage(dir.filePath("m.img"), readAllOf(dataFile("demo.img")));
    struct Case { QStringList args; int code; const char* says; QStringList mustNotExist; } cases[] = {
        {{"export", dat, "--test", "1", "--out", dir.filePath("x.txt")}, 1, ".xls", {"x.txt", "x.XLS", "x.xls"}},
        {{"export", dat, "--test", "1", "--format", "csv", "--out", dir.filePath("y.xls")}, 1, ".csv", {"y.xls", "y.csv"}},
        {{"export", dat, "--test", "1", "--out", dir.filePath("pasta")}, 1, "pasta", {"pasta.XLS", "pasta.xls"}},
        {{"report", dat, "--test", "1", "--out", dat}, 1, "mesmo arquivo", {}},
        {{"plot", dat, "--test", "1", "--out", linked}, 1, "mesmo arquivo", {}},
        {{"decode", img, "--out", img}, 1, "mesmo arquivo", {}},
        {{"download", "--device", missingDevice(), "--out", dir.filePath("pasta")}, 5, "pasta", {}},
        {{"download", "--device", missingDevice(), "--out", dir.filePath("a.dat"), "--dump", dir.filePath("a.dat")},
         1, "mesmo arquivo", {"a.dat"}},
    };
    for (const auto& c : cases) {
        const CliRun r = cli(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        for (const QString& name : c.mustNotExist)
            EXPECT_FALSE(QFile::exists(dir.filePath(name))) << name.toStdString();
    }
    EXPECT_EQ(readAllOf(dat), before);
    EXPECT_EQ(readAllOf(img), readAllOf(dataFile("demo.img")));
    // The extension is compared without case, and the name is kept as typed.
    ASSERT_EQ(cli({"export", dat, "--test", "1", "--out", dir.filePath("z.XLS")}).code, 0);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).contains("z.XLS"));
    ASSERT_EQ(cli({"export", dat, "--test", "1", "--format", "csv", "--out", dir.filePath("z.Csv")}).code, 0);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).contains("z.Csv"));
}

// Devices, FIFOs and files without an end are refused at once by every reader.
TEST(Cli, EndlessInputsAreRefused) {
    QTemporaryDir dir;
    for (const QString& in : notRegularFiles(dir.path())) {
        const QList<QStringList> readers = {
            {"show", in}, {"export", in, "--test", "1", "--out", dir.filePath("e.xls")},
            {"calc", in, "--test", "1"}, {"decode", in, "--out", dir.filePath("e.dat")},
        };
        for (const QStringList& args : readers) {
            const CliRun r = cli(args);
            EXPECT_EQ(r.code, 5) << args.join(' ').toStdString();
            EXPECT_TRUE(r.err.contains("não é um arquivo comum")) << r.err.toStdString();
        }
    }
}

TEST(Cli, ExitCodesOfWhatCannotBeAnswered) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    struct Case { QStringList args; int code; const char* says; } cases[] = {
        {{"--test", "1", "--test", "2"}, 1, "mais de uma vez"},
        {{"--test", "1", "--fuse", "50"}, 1, "--fuse"},
        {{"--test", "1", "--calibrate", "--mass", "1", "--heat", "26454", "--energy-equivalent", "10000"}, 1, "--calibrate"},
        {{"--test", "1", "--heat", "26454"}, 1, "--heat"},
        {{"--test", "1", "--mass", "1e-320", "--energy-equivalent", "10000"}, 3, "não é um número finito"},
        {{"--test", "1", "--mass", "1", "--energy-equivalent", "-5"}, 3, "positivo"},
        {{"--test", "1", "--calibrate", "--mass", "1", "--heat", "26454", "--fuse", "-1e9"}, 3, "não é um número positivo"},
        {{"--test", "1", "--mass", "0,8,1", "--energy-equivalent", "10000"}, 1, "0,8,1"},
        {{"--test", "1", "--method", "DICKINSON"}, 0, ""},
    };
    for (const auto& c : cases) {
        const CliRun r = cli(QStringList{"calc", dat} + c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
    }
    // "0,98" is 0.98, in every number option.
    const CliRun comma = cli({"calc", dat, "--test", "1", "--json", "--mass", "0,98", "--energy-equivalent", "10100,5"});
    const CliRun point = cli({"calc", dat, "--test", "1", "--json", "--mass", "0.98", "--energy-equivalent", "10100.5"});
    ASSERT_EQ(comma.code, 0) << comma.err.toStdString();
    EXPECT_EQ(comma.out, point.out);
    // The demo's short fore and after periods are said with the result, never dropped.
    const QJsonArray warnings = QJsonDocument::fromJson(comma.out.toUtf8()).object()["warnings"].toArray();
    ASSERT_FALSE(warnings.isEmpty());
    EXPECT_TRUE(warnings[0].toString().contains("5 min")) << warnings[0].toString().toStdString();
    // A memory whose tests hold no sample: nothing to write, and said so by the exit status.
    const QString img = writeImage(dir.filePath("nosamples.img"), emu::buildImage(loggerTest(1, 0) + loggerTest(2, 0)));
    const CliRun r = cli({"decode", img, "--out", dir.filePath("n.dat")});
    EXPECT_EQ(r.code, 4) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("n.dat")));
}

// Two tests with one number are two tests everywhere: listed apart, shown and exported apart.
TEST(Cli, TestsSharingANumberAreKeptApart) {
    QTemporaryDir dir;
    const QString img = writeImage(dir.filePath("dup.img"),
                                   emu::buildImage(loggerTest(5, 3, 0x200) + loggerTest(2, 1) + loggerTest(5, 2, 0x280)));
    const QString dat = dir.filePath("dup.dat");
    CliRun r = cli({"decode", img, "--out", dat});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = cli({"show", dat});
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << r.out.toStdString();
    EXPECT_TRUE(lines[1].startsWith("2\t1\t"));
    EXPECT_TRUE(lines[2].startsWith("5\t3\t"));
    EXPECT_TRUE(lines[3].startsWith("5 (2)\t2\t"));
    for (const QString& second : {QStringLiteral("5:2"), QStringLiteral("5 (2)")}) {
        r = cli({"show", dat, "--test", second});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_EQ(r.out.count('\n'), 3) << r.out.toStdString(); // heading and its two rows
        EXPECT_TRUE(r.out.contains(QString::number(acq::rawToCelsius(0x280), 'f', 3)));
    }
    r = cli({"show", dat, "--test", "5"});
    EXPECT_EQ(r.out.count('\n'), 4);
    EXPECT_FALSE(r.out.contains(QString::number(acq::rawToCelsius(0x280), 'f', 3)));
    r = cli({"show", dat, "--test", "5:3"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("2, 5, 5:2")) << r.err.toStdString();
    const QString csv = dir.filePath("s.csv");
    ASSERT_EQ(cli({"export", dat, "--test", "5:2", "--format", "csv", "--out", csv}).code, 0);
    EXPECT_EQ(readAllOf(csv).count("\r\n"), 3);
}

TEST(Cli, AStrayEndMarkIsReported) {
    QTemporaryDir dir;
    // Test 1: two samples, an end mark among them, three more samples, its maximum and minimum.
    const QList<quint16> words{0xFFFF, 1, 0x200, 0x100, 0x201, 0x101, 0x250, 0xFCFC, 0x202, 0x102,
                               0x203, 0x103, 0x300, 0xFCFC, 0x100, 0xFCFC};
    const QString img = writeImage(dir.filePath("stray.img"), emu::buildImage(words));
    const CliRun r = cli({"decode", img, "--out", dir.filePath("s.dat")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.err.contains("Ensaio 1: marca de fim no meio do ensaio, depois da amostra 2")) << r.err.toStdString();
}

// Folders and names with accents and spaces, as a lab names them: every reader and writer takes
// them (on Windows they pass through the wide-character calls).
TEST(Cli, NamesWithAccentsAndSpaces) {
    QTemporaryDir top;
    const QString dir = QDir(top.path()).filePath(QStringLiteral("Ensaios de calorimetria/Açúcar e carvão"));
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString dat = QDir(dir).filePath(QStringLiteral("memória ção.dat"));
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    const CliRun shown = cli({"show", dat});
    ASSERT_EQ(shown.code, 0) << shown.err.toStdString();
    EXPECT_TRUE(shown.out.startsWith("Ensaio\tLinhas")) << shown.out.toStdString();
    const struct { QStringList args; const char* name; } writers[] = {
        {{"export", dat, "--test", "1", "--out"}, "planilha ç.xls"},
        {{"export", dat, "--test", "1", "--format", "csv", "--out"}, "planilha ç.csv"},
        {{"plot", dat, "--test", "1", "--out"}, "gráfico Δt 1.png"}, // beyond the ANSI code page
        {{"report", dat, "--test", "1", "--out"}, "relatório nº 1.pdf"},
    };
    for (const auto& w : writers) {
        const QString out = QDir(dir).filePath(QString::fromUtf8(w.name));
        const CliRun r = cli(QStringList(w.args) << out);
        EXPECT_EQ(r.code, 0) << w.name << ": " << r.err.toStdString();
        EXPECT_GT(QFileInfo(out).size(), 0) << w.name;
    }
    // Exactly these files, under the names asked for.
    EXPECT_EQ(QDir(dir).entryList(QDir::Files).size(), 5);
}

// Ctrl+C in the middle of a download: the reading stops after the block in progress, with
// --partial and --dump what was read is written (the same rows a decoding of that dump gives),
// without them nothing; the status is 6 either way.
TEST(Cli, CtrlCStopsTheDownloadAndKeepsWhatWasReadWhenAsked) {
    REQUIRE_PSEUDO_TERMINAL();
    for (const bool keep : {true, false}) {
        // The emulator logs each request it answers: the signal goes when the fifth block was read.
        QProcess emu;
        emu.start(binFile("registrador-emulador"), {"--image", dataFile("demo.img"), "--log"});
        ASSERT_TRUE(emu.waitForStarted(5000));
        while (!emu.canReadLine() && emu.waitForReadyRead(5000)) {
        }
        const QString device = QString::fromLocal8Bit(emu.readLine()).trimmed();
        ASSERT_FALSE(device.isEmpty());
        emu.setReadChannel(QProcess::StandardError);
        QTemporaryDir dir;
        const QString dat = dir.filePath("parte.dat"), img = dir.filePath("parte.img");
        QStringList args{"download", "--device", device, "--out", dat};
        if (keep)
            args << "--partial" << "--dump" << img;
        QProcess cliProc;
        cliProc.start(binFile("registrador-cli"), args);
        ASSERT_TRUE(cliProc.waitForStarted(5000));
        QByteArray log;
        while (log.count("<- :0300") < 1 + 5 && emu.waitForReadyRead(10000))
            log += emu.readAll();
        ASSERT_GE(log.count("<- :0300"), 6) << log.toStdString();
#ifdef Q_OS_UNIX
        ::kill(static_cast<pid_t>(cliProc.processId()), SIGINT);
#endif
        ASSERT_TRUE(cliProc.waitForFinished(20000));
        emu.waitForReadyRead(200);
        log += emu.readAll();
        emu.terminate();
        emu.waitForFinished(3000);
        EXPECT_EQ(cliProc.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(cliProc.exitCode(), 6);
        const QString err = QString::fromUtf8(cliProc.readAllStandardError());
        EXPECT_TRUE(err.contains("Leitura cancelada pelo usuário.")) << err.toStdString();
        // At most the block in progress was read after the signal, never the whole memory.
        EXPECT_LE(log.count("<- :0300"), 1 + 7) << log.toStdString();
        if (!keep) {
            EXPECT_FALSE(QFile::exists(dat));
            continue;
        }
        const QByteArray dump = readAllOf(img);
        EXPECT_TRUE(readAllOf(dataFile("demo.img")).startsWith(dump));
        EXPECT_GE(dump.size(), 4 + 5 * 64);
        // A dump cut short is refused by "decode"; the decoder itself gives the rows written.
        EXPECT_EQ(cli({"decode", img, "--out", dir.filePath("nao.dat")}).code, 3);
        const QString decoded = dir.filePath("decodificado.dat");
        QString why;
        ASSERT_TRUE(acq::decodeMemory(dump).data.save(decoded, &why)) << why.toStdString();
        EXPECT_EQ(readAllOf(decoded), readAllOf(dat));
    }
}

// A determination recorded from the command line is listed and shown with the figures calc
// gives, its measured inputs turned into joules; a rejected one stays listed with its reason.
TEST(Cli, RecordListShowAndRejectInTheResultsDatabase) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat"), db = dir.filePath("resultados.sqlite");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    const QStringList sample{"--energy-equivalent", "10100,5", "--mass", "0,98"};
    CliRun r = cli(QStringList{"record", dat, "--test", "1", "--sample", "CAR-1", "--operator", "Ana", "--db", db,
                               "--wire-cm", "10", "--titration-ml", "7,2", "--normality", "0,1", "--sulfur-pct", "1,2",
                               "--test-date", "2026-12-08", "--json"} + sample);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject first = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(first["id"].toInt(), 1);
    EXPECT_EQ(first["sample"].toString(), "CAR-1");
    EXPECT_EQ(first["operator"].toString(), "Ana");
    EXPECT_EQ(first["calorimeter"].toString(), "BC-200");
    EXPECT_EQ(first["test_date"].toString(), "2026-12-08");
    EXPECT_EQ(first["status"].toString(), "valid");
    EXPECT_EQ(first["samples_sha256"].toString().size(), 64);
    const QJsonObject in = first["inputs"].toObject();
    EXPECT_DOUBLE_EQ(in["fuse"].toDouble(), 10 * 9.6);
    EXPECT_DOUBLE_EQ(in["acid"].toDouble(), 7.2 * 0.1 * 4.1868 / 0.0709);
    EXPECT_DOUBLE_EQ(in["sulfur"].toDouble(), 1.2 * 0.98 * 57.4);
    // The same figures as calc with the same inputs in joules.
    r = cli(QStringList{"calc", dat, "--test", "1", "--json", "--fuse", QString::number(in["fuse"].toDouble(), 'g', 17),
                        "--acid", QString::number(in["acid"].toDouble(), 'g', 17), "--sulfur",
                        QString::number(in["sulfur"].toDouble(), 'g', 17)} + sample);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject calc = QJsonDocument::fromJson(r.out.toUtf8()).object();
    for (const QString& k : calc.keys())
        if (k != "warnings") {
            EXPECT_EQ(first[k], calc[k]) << k.toStdString();
        }
    // The record's warnings add that its calorimeter has no accepted calibration series.
    QJsonArray warnings = calc["warnings"].toArray();
    warnings.append("O calorímetro BC-200 não tem série de calibração aceita (nenhuma calibração registrada): o "
                    "equivalente energético deste resultado não vem de uma série aceita.");
    EXPECT_EQ(first["warnings"].toArray(), warnings);

    ASSERT_EQ(cli(QStringList{"record", dat, "--test", "2", "--sample", "CAR-1", "--db", db} + sample).code, 0);
    // The net value from hydrogen and moisture, by ISO 1928's form on the dry basis.
    r = cli(QStringList{"record", dat, "--test", "3", "--sample", "CAR-2", "--db", db, "--json", "--moisture-pct", "8",
                        "--hydrogen-pct", "5", "--oxygen-nitrogen-pct", "8"} + sample);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject net = QJsonDocument::fromJson(r.out.toUtf8()).object();
    const double dry = net["gross_calorific_value"].toDouble() * 100 / 92;
    EXPECT_NEAR(net["net_calorific_value"].toDouble(), (dry - 212.2 * 5 - 0.8 * 8) * 0.92 - 24.43 * 8, 1e-6);
    EXPECT_NEAR(net["gross_calorific_value_dry"].toDouble(), dry, 1e-9);
    EXPECT_EQ(net["net_basis"].toString(), "as_analysed");
    r = cli({"results", "list", "--db", db, "--json", "--sample", "CAR-2"});
    EXPECT_EQ(QJsonDocument::fromJson(r.out.toUtf8()).array()[0].toObject()["duplicates"].toObject()["basis"].toString(), "dry")
        << "a verdict on values with moisture is on the dry basis: " << r.out.toStdString();
    EXPECT_EQ(net["inputs"].toObject()["given"].toObject()["hydrogen_pct"].toDouble(), 5);
    EXPECT_EQ(cli(QStringList{"results", "reject", "3", "--reason", "só para o teste", "--db", db}).code, 0);
    EXPECT_EQ(cli({"results", "reject", "1", "--reason", "massa errada", "--db", db}).code, 0);
    r = cli({"results", "list", "--db", db, "--json", "--sample", "CAR-1"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray all = QJsonDocument::fromJson(r.out.toUtf8()).array();
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all[0].toObject()["id"].toInt(), 2);
    EXPECT_EQ(all[1].toObject()["status"].toString(), "rejected");
    EXPECT_EQ(all[1].toObject()["reject_reason"].toString(), "massa errada");
    // The duplicates' verdict says its basis.
    EXPECT_EQ(all[0].toObject()["duplicates"].toObject()["basis"].toString(), "as_analysed");

    r = cli({"results", "list", "--db", db});
    EXPECT_TRUE(r.out.contains("rejeitada: massa errada")) << r.out.toStdString();
    r = cli({"results", "history", "1", "--db", db});
    EXPECT_TRUE(r.out.contains(QRegularExpression("\\n\\d+\\. Rejeitada por \\S+ em \\d\\d/\\d\\d/\\d{4} [\\d:]{8}: massa errada\\r?\\n")))
        << r.out.toStdString();
    EXPECT_FALSE(r.out.contains("motivo")) << "the reason is said once: " << r.out.toStdString();
    r = cli({"results", "list", "--db", db, "--csv", "--sample", "CAR-1"});
    const QStringList lines = r.out.split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << r.out.toStdString();
    EXPECT_EQ(QString(lines[0]).remove(QChar(0xFEFF)),
              "Nº;Tipo;Amostra;Descrição;Operador;Calorímetro;Data do ensaio;Resultado (J/g);"
              "Equivalente energético (J/K);PCS base seca (J/g);PCI base analisada (J/g);Duplicatas;Situação;Série mudou;Avisos");
    EXPECT_TRUE(lines[2].startsWith("1;amostra;CAR-1;;Ana;BC-200;08/12/2026;")) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(";rejeitada: massa errada;;")) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains("não tem série de calibração aceita")) << "the warnings in their column: " << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(QRegularExpression(";\\d+,\\d;"))) << lines[2].toStdString(); // decimal comma
    r = cli({"results", "show", "2", "--db", db});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("Origem do equivalente:      informado na linha de comando")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("Poder calorífico superior:")) << r.out.toStdString();
    const QString shown = QString(r.out).remove(QLatin1Char('\r')); // a Windows console's line ends
    EXPECT_TRUE(shown.contains("\nAvisos\n") && shown.contains("\n- O calorímetro BC-200 não tem série de calibração aceita"))
        << r.out.toStdString();
    EXPECT_EQ(r.out.count("θa (início do principal)"), 1) << r.out.toStdString();

    // The same test again is no second determination: refused, nothing written.
    r = cli(QStringList{"record", dat, "--test", "2", "--sample", "CAR-1", "--db", db} + sample);
    EXPECT_EQ(r.code, 5);
    EXPECT_TRUE(QString(r.err).remove('\r').startsWith("Este ensaio já foi registrado: determinação 2\n")) << r.err.toStdString();
    // A second valid determination of CAR-1 (another test with the same curve, and a
    // combustion aid that takes 0,1 g × 46 000 J/g off): the pair is judged against r = 120 J/g.
    const QString more = distinctTestsFile(dir.path(), 5); // its test 5 is the demo's test 2
    r = cli(QStringList{"record", more, "--test", "5", "--sample", "CAR-1", "--db", db, "--json", "--aid-mass", "0,01",
                        "--aid-heat", "46000", "--test-date", "2026-12-09"} + sample);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject aided = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_DOUBLE_EQ(aided["inputs"].toObject()["aid"].toDouble(), 460);
    const QJsonArray pair = QJsonDocument::fromJson(cli({"results", "list", "--db", db, "--json", "--sample", "CAR-1"}).out.toUtf8()).array();
    ASSERT_EQ(pair.size(), 3);
    const double a = pair[0].toObject()["gross_calorific_value"].toDouble(), b = pair[1].toObject()["gross_calorific_value"].toDouble();
    EXPECT_NEAR(a, b - 460 / 0.98, 1e-6);
    const QJsonObject verdict = pair[0].toObject()["duplicates"].toObject();
    EXPECT_EQ(verdict["state"].toString(), "repeat"); // 469 J/g apart
    EXPECT_NEAR(verdict["difference"].toDouble(), 460 / 0.98, 1e-6);
    // Filters and units; the PDF of a record from the record alone.
    QList<int> since;
    for (const QJsonValue& v : QJsonDocument::fromJson(cli({"results", "list", "--db", db, "--json", "--since", "2026-12-09"}).out.toUtf8()).array())
        since << v.toObject()["id"].toInt();
    EXPECT_TRUE(since.contains(4) && !since.contains(1)) << since.size(); // tested on the 9th and on the 8th
    EXPECT_EQ(QJsonDocument::fromJson(cli({"results", "list", "--db", db, "--json", "--kind", "calibration"}).out.toUtf8()).array().size(), 0);
    r = cli({"results", "list", "--db", db, "--unit", "mj/kg", "--sample", "CAR-2"});
    EXPECT_TRUE(r.out.contains(QStringLiteral("Resultado (MJ/kg)"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QRegularExpression("\t\\d\\d\\.\\d{3}\t"))) << r.out.toStdString();
    const QString pdf = dir.filePath("det2.pdf");
    r = cli({"results", "report", "2", "--out", pdf, "--db", db});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(readAllOf(pdf).startsWith("%PDF")) << pdf.toStdString();

    // What cannot be recorded, with its status; nothing is written by a refused command.
    struct Case { QStringList args; int code; const char* says; } cases[] = {
        {{"record", dat, "--test", "1", "--db", db}, 1, "falta --sample"},
        {QStringList{"record", dat, "--test", "1", "--sample", "X", "--db", db, "--wire-cm", "9", "--fuse", "80"} + sample,
         1, "a mesma correção"},
        {QStringList{"record", dat, "--test", "1", "--sample", "X", "--db", db, "--titration-ml", "7"} + sample, 1,
         "--normality"},
        {{"record", dat, "--test", "1", "--sample", "X", "--db", db, "--wire-cm", "9"}, 1, "--wire-cm só se usa"},
        {QStringList{"record", dat, "--test", "1", "--sample", "X", "--db", db, "--test-date", "8/12/2026"} + sample, 1,
         "AAAA-MM-DD"},
        {QStringList{"record", dat, "--test", "1", "--sample", "X", "--db", "postgresql://x:y@servidor/b"} + sample, 5,
         "a senha não vai no endereço"},
        {QStringList{"record", dat, "--test", "1", "--sample", "X", "--db", dir.filePath("nada/r.sqlite")} + sample, 5,
         "não existe"}, // a folder mistyped is not made

        {{"results", "reject", "2", "--db", db}, 1, "falta --reason"},
        {{"results", "reject", "1", "--reason", "outra", "--db", db}, 5, "já foi rejeitada"},
        {{"results", "show", "99", "--db", db}, 5, "Não há determinação número 99"},
        {{"results", "apaga", "--db", db}, 1, "Uso:"},
        {QStringList{"record", dat, "--test", "1", "--sample", "X", "--db", db, "--oxygen-nitrogen-pct", "8"} + sample, 1,
         "--hydrogen-pct"},
        // Hydrogen without moisture would give the net value on the dry basis without a word.
        {QStringList{"record", dat, "--test", "1", "--sample", "X", "--db", db, "--hydrogen-pct", "5"} + sample, 1,
         "--moisture-pct"},
        {QStringList{"record", dat, "--test", "1", "--sample", "X", "--db", db, "--aid-mass", "0,1"} + sample, 1,
         "--aid-mass e --aid-heat vão juntos"},
        {{"results", "list", "--db", db, "--kind", "amostra"}, 1, "--kind: use sample ou calibration"},
        {{"results", "list", "--db", db, "--since", "09/12/2026"}, 1, "--since: use AAAA-MM-DD"},
        {{"results", "list", "--db", db, "--unit", "kcal/kg"}, 1, "--unit: use J/g"},
        {{"results", "report", "2", "--db", db}, 1, "falta --out"},
        {{"results", "report", "99", "--db", db, "--out", dir.filePath("x.pdf")}, 5, "Não há determinação número 99"},
    };
    for (const auto& c : cases) {
        r = cli(c.args);
        EXPECT_FALSE(QFileInfo::exists(dir.filePath("nada")));
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    EXPECT_EQ(QJsonDocument::fromJson(cli({"results", "list", "--db", db, "--json"}).out.toUtf8()).array().size(), 4);
    EXPECT_FALSE(QFile::exists(dir.filePath("x.pdf")));
}

namespace {
// The results database of a test: a SQLite file in `dir`, or a new database on the tests'
// PostgreSQL server.
[[maybe_unused]] QString resultsDatabase(bool postgres, const QTemporaryDir& dir, const QString& name, QString* why) {
    if (!postgres)
        return dir.filePath(name + ".sqlite");
    return PostgresServer::instance().createDatabase(name, why);
}

// Every determination of the database whole: its readings all there and the digest they give
// the one recorded with them.
[[maybe_unused]] void expectEveryRecordWhole(const QString& db, int readings, int* count) {
    QString why;
    const auto store = ses::openResults(db, &why);
    ASSERT_TRUE(store) << why.toStdString();
    const auto all = store->list(&why);
    ASSERT_TRUE(all) << why.toStdString();
    *count = static_cast<int>(all->size());
    QSet<qint64> ids;
    for (const rec::Determination& listed : *all) {
        ids << listed.id;
        const auto d = store->determination(listed.id, &why);
        ASSERT_TRUE(d) << why.toStdString();
        EXPECT_EQ(static_cast<int>(d->readings.size()), readings) << "determination " << d->id;
        EXPECT_EQ(rec::readingsDigest(d->readings), d->readingsSha256) << "determination " << d->id;
    }
    EXPECT_EQ(ids.size(), *count);
    // One chain, whoever wrote: an entry a record, and the calorimeter's two.
    const auto trail = store->verify(&why);
    ASSERT_TRUE(trail) << why.toStdString();
    EXPECT_TRUE(trail->intact) << trail->problem.toStdString();
    EXPECT_EQ(trail->entries, *count + 2);
}
} // namespace

class CliOnEngine : public testing::TestWithParam<bool> {};

// Two PCs recording at once: both succeed, each record with its own number, none mixed.
TEST_P(CliOnEngine, TwoProcessesRecordingFiftyEachAtOnceAllSucceed) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "two shells recording at once: the Linux suite's";
#else
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    QString why;
    const QString db = resultsDatabase(GetParam(), dir, "concorrentes", &why);
    ASSERT_FALSE(db.isEmpty()) << why.toStdString();
    const QString tests = distinctTestsFile(dir.path(), 101, 1);
    // Both begin with a database that does not exist yet: one of them makes its schema.
    QList<QProcess*> writers;
    for (const char* who : {"pc1", "pc2"}) {
        auto* p = new QProcess;
        p->setProcessChannelMode(QProcess::MergedChannels);
        // Each its own 50 tests (copies of the demo's test 1).
        p->start("sh", {"-c",
                        "fails=0; for i in $(seq 50); do \"$0\" record \"$1\" --test $(($4 + i)) --sample \"$2-$i\" "
                        "--db \"$3\" --energy-equivalent 10100,5 --mass 0,98 > /dev/null || fails=$((fails + 1)); done; "
                        "exit $fails",
                        binFile("registrador-cli"), tests, QString::fromLatin1(who), db,
                        QString::number(writers.size() * 50)});
        writers << p;
    }
    for (QProcess* p : writers) {
        EXPECT_TRUE(p->waitForFinished(600000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAll().toStdString();
        delete p;
    }
    const CliRun r = cli({"show", dat});
    const int rows = r.out.section('\n', 1, 1).section('\t', 1, 1).toInt();
    int count = 0;
    expectEveryRecordWhole(db, rows, &count);
    EXPECT_EQ(count, 100);
    // One test recorded by both at once: one determination, the other told which.
    QProcess a, b;
    for (QProcess* p : {&a, &b})
        p->start(binFile("registrador-cli"), {"record", tests, "--test", "101", "--sample", "X", "--db", db,
                                              "--energy-equivalent", "10100,5", "--mass", "0,98"});
    for (QProcess* p : {&a, &b})
        ASSERT_TRUE(p->waitForFinished(60000));
    EXPECT_EQ(QList<int>({a.exitCode(), b.exitCode()}) == QList<int>({0, 5}) ||
                  QList<int>({a.exitCode(), b.exitCode()}) == QList<int>({5, 0}),
              true)
        << a.readAllStandardError().toStdString() << b.readAllStandardError().toStdString();
    expectEveryRecordWhole(db, rows, &count);
    EXPECT_EQ(count, 101);
#endif
}

// A record killed at any moment leaves the whole determination or none, and the database
// opens and takes the next one.
TEST_P(CliOnEngine, AKilledRecordLeavesTheWholeDeterminationOrNone) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "killed at random moments: the Linux suite's";
#else
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    QString why;
    const QString db = resultsDatabase(GetParam(), dir, "interrompido", &why);
    ASSERT_FALSE(db.isEmpty()) << why.toStdString();
    // Each record another test (copies of the demo's test 2).
    const QString tests = distinctTestsFile(dir.path(), 22, 2);
    int next = 0;
    auto args = [&] {
        return QStringList{"record", tests, "--test", QString::number(++next), "--sample", "K", "--db", db,
                           "--energy-equivalent", "10100,5", "--mass", "0,98"};
    };
    // How long a whole record takes here; the kills fall anywhere in it (seeded, so a failure
    // can be run again).
    QElapsedTimer t;
    t.start();
    ASSERT_EQ(cli(args()).code, 0);
    const qint64 whole = std::max<qint64>(t.elapsed(), 20);
    std::mt19937 random(20261210);
    int finished = 0;
    for (int i = 0; i < 20; ++i) {
        QProcess p;
        p.start(binFile("registrador-cli"), args());
        ASSERT_TRUE(p.waitForStarted());
        if (!p.waitForFinished(static_cast<int>(random() % whole)))
            p.kill();
        p.waitForFinished();
        finished += p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    int count = 0;
    const int rows = 168; // test 2 of the demo
    expectEveryRecordWhole(db, rows, &count);
    EXPECT_GE(count, 1 + finished); // every one that said it finished is there
    EXPECT_EQ(cli(args()).code, 0);
#endif
}

// results verify while another PC records: every walk sees whole records only, never a break.
TEST_P(CliOnEngine, VerifyWhileAnotherProcessRecordsSeesNoBreak) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "a shell recording beside: the Linux suite's";
#else
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    QString why;
    const QString db = resultsDatabase(GetParam(), dir, "verificando", &why);
    ASSERT_FALSE(db.isEmpty()) << why.toStdString();
    ASSERT_EQ(cli({"record", dat, "--test", "1", "--sample", "S-0", "--db", db, "--energy-equivalent", "10100,5",
                   "--mass", "0,98"}).code, 0);
    QProcess writer;
    writer.setProcessChannelMode(QProcess::MergedChannels);
    writer.start("sh", {"-c",
                        "for i in $(seq 30); do \"$0\" record \"$1\" --test $i --sample \"S-$i\" --db \"$2\" "
                        "--energy-equivalent 10100,5 --mass 0,98 > /dev/null || exit 1; done",
                        binFile("registrador-cli"), distinctTestsFile(dir.path(), 30, 2), db});
    ASSERT_TRUE(writer.waitForStarted());
    int walks = 0;
    do {
        const CliRun r = cli({"results", "verify", "--db", db});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        ++walks;
    } while (writer.state() != QProcess::NotRunning && walks < 200);
    ASSERT_TRUE(writer.waitForFinished(600000));
    EXPECT_EQ(writer.exitCode(), 0) << writer.readAll().toStdString();
    const CliRun last = cli({"results", "verify", "--db", db});
    EXPECT_TRUE(last.out.startsWith("íntegro: 33 entradas, 31 determinações")) << last.out.toStdString() << walks;
#endif
}

// The day's samples from the balance on its pseudo-terminal to the records: each weighing kept
// with the balance and its line, each refusal leaving the list as it was, each record taking
// its sample's mass and kind, every change in the trail.
TEST_P(CliOnEngine, TheDaysSamplesGoFromTheBalanceToTheRecords) {
    REQUIRE_PSEUDO_TERMINAL();
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    QString why;
    const QString db = resultsDatabase(GetParam(), dir, "amostras", &why);
    ASSERT_FALSE(db.isEmpty()) << why.toStdString();
    Emulator balance(Emulator::Balance{}, {"--protocol", "sbi", "--unstable", "2", "--require-baud", "9600"});
    ASSERT_TRUE(balance.ok());
    const QStringList onBalance{"--device", balance.device(), "--protocol", "sbi", "--db", db};
    auto samples = [&](const QStringList& args) { return cli(QStringList{"samples"} + args + QStringList{"--db", db}); };
    auto listed = [&] {
        const CliRun r = samples({"list", "--json"});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out.toUtf8()).array();
    };
    for (const QStringList& add : {QStringList{"--code", "CAR-7", "--description", "carvão"},
                                   QStringList{"--code", "BA-1", "--kind", "calibracao", "--certified", "26454"},
                                   QStringList{"--code", "CAR-8"}, QStringList{"--code", "CAR-9"}}) {
        const CliRun r = samples(QStringList{"add"} + add);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
    }
    EXPECT_EQ(samples({"add", "--code", "BA-2", "--kind", "calibracao"}).code, 1); // no certified heat

    // Weighed: moving readings first, then the stable one, on the line the balance needs.
    CliRun r = cli(QStringList{"samples", "weigh", "1"} + onBalance);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("0.81230 g")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("balança Sartorius em " + balance.device())) << r.out.toStdString();
    balance.tell("26.1 mg"); // too light for the scale of 4 decimals of a gram
    balance.tell("1.0312");
    ASSERT_EQ(cli(QStringList{"samples", "weigh", "2"} + onBalance).code, 0);
    // Each refusal said, with its exit, the sample left to weigh.
    balance.tell("sobrecarga");
    r = cli(QStringList{"samples", "weigh", "3"} + onBalance);
    EXPECT_EQ(r.code, 8);
    EXPECT_TRUE(r.err.contains("sobrecarga")) << r.err.toStdString();
    balance.tell("0.9876");
    r = cli(QStringList{"samples", "weigh", "3"} + onBalance + QStringList{"--line", "2400 8O1"});
    EXPECT_EQ(r.code, 8);
    EXPECT_TRUE(r.err.contains("não é um peso")) << r.err.toStdString();
    r = cli({"weigh", "--device", balance.device(), "--protocol", "sbi", "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject once = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_DOUBLE_EQ(once["mass_g"].toDouble(), 0.9876);
    EXPECT_EQ(once["raw"].toString(), "+   0.9876 g  ");
    EXPECT_EQ(once["line"].toString(), "9600 8O1");
    EXPECT_EQ(listed()[2].toObject()["state"].toString(), "a pesar");
    // Typed only with a reason.
    EXPECT_EQ(samples({"weigh", "3", "--mass", "0,9876"}).code, 1);
    r = samples({"weigh", "3", "--mass", "0,9876", "--reason", "balança em calibração"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("digitada por ")) << r.out.toStdString();

    // The records take the list's mass and kind; the list's samples become recorded.
    r = cli({"record", dat, "--test", "1", "--queued", "CAR-7", "--energy-equivalent", "10100,5", "--db", db, "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QJsonObject d = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_DOUBLE_EQ(d["inputs"].toObject()["mass"].toDouble(), 0.8123);
    EXPECT_EQ(d["sample"].toString(), "CAR-7");
    EXPECT_EQ(d["description"].toString(), "carvão");
    EXPECT_EQ(d["sample_entry"].toInt(), 1);
    EXPECT_TRUE(d["mass_source"].toString().startsWith("balança Sartorius em ")) << d["mass_source"].toString().toStdString();
    r = cli({"record", dat, "--test", "2", "--queued", "CAR-7", "--energy-equivalent", "10100,5", "--db", db});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("registrada")) << r.err.toStdString();
    // The record that replaces the sample's own takes it again; the list names the new one.
    r = cli({"record", dat, "--test", "1", "--queued", "CAR-7", "--energy-equivalent", "10100,6", "--replaces", "1", "--reason",
             "W errado", "--db", db, "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(r.out.toUtf8()).object()["sample_entry"].toInt(), 1);
    // Its report names the balance and the time of the weighing.
    r = cli({"results", "show", "2", "--db", db});
    EXPECT_TRUE(r.out.contains("Massa:") && r.out.contains("balança Sartorius em ")) << r.out.toStdString();
    EXPECT_EQ(cli({"record", dat, "--test", "2", "--queued", "BA-1", "--mass", "1", "--db", db}).code, 1);
    r = cli({"record", dat, "--test", "2", "--queued", "BA-1", "--db", db, "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    d = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(d["kind"].toString(), "calibration");
    EXPECT_DOUBLE_EQ(d["inputs"].toObject()["heat_of_combustion"].toDouble(), 26454);
    EXPECT_DOUBLE_EQ(d["inputs"].toObject()["mass"].toDouble(), 1.0312);
    r = cli({"record", dat, "--test", "3", "--queued", "CAR-8", "--energy-equivalent", "10100,5", "--db", db});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("digitada por ")) << r.out.toStdString();
    EXPECT_EQ(samples({"discard", "4"}).code, 1); // without a reason
    ASSERT_EQ(samples({"discard", "4", "--reason", "cadinho caiu"}).code, 0);
    EXPECT_EQ(samples({"weigh", "4", "--mass", "1", "--reason", "x"}).code, 1); // discarded stays so

    const QJsonArray list = listed();
    ASSERT_EQ(list.size(), 4);
    const char* states[] = {"registrada", "registrada", "registrada", "descartada"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(list[i].toObject()["state"].toString(), states[i]) << i;
    EXPECT_EQ(list[0].toObject()["determination"].toInt(), 2);
    EXPECT_EQ(list[0].toObject()["raw"].toString(), "+   0.8123 g  ");
    EXPECT_TRUE(list[2].toObject()["mass_typed"].toBool());
    EXPECT_EQ(list[3].toObject()["discarded_reason"].toString(), "cadinho caiu");
    r = cli({"results", "verify", "--db", db});
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    // A mass changed behind the program is named.
    if (!GetParam()) {
        ASSERT_TRUE(behindTheProgram(db, "UPDATE samples SET mass = 0.9 WHERE id = 3"));
        r = cli({"results", "verify", "--db", db});
        EXPECT_EQ(r.code, 7);
        EXPECT_TRUE((r.out + r.err).contains("a amostra 3 da lista (\"CAR-8\")")) << (r.out + r.err).toStdString();
    }
}

namespace {
// registrador-cli in `workDir` (its config.xml), `input` on its standard input (passwords).
CliRun cliFed(const QString& workDir, const QStringList& args, const QByteArray& input) {
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.start(binFile("registrador-cli"), args);
    p.write(input);
    p.closeWriteChannel();
    return collected(p);
}

// Reads SENAITE's import CSV as that LIMS documents it: a header row whose first cell is empty
// and whose others are the analyses' keywords, a row a sample ID, then "end".
std::optional<std::map<QString, std::map<QString, QString>>> readSenaite(const QString& text, QChar sep) {
    const QStringList lines = text.split("\r\n");
    if (lines.size() < 2)
        return std::nullopt;
    const QStringList keys = lines[0].split(sep);
    if (keys.isEmpty() || !keys[0].isEmpty())
        return std::nullopt;
    std::map<QString, std::map<QString, QString>> out;
    for (int i = 1; i < lines.size(); ++i) {
        if (lines[i] == "end")
            return lines.mid(i + 1).join("").isEmpty() ? std::optional(out) : std::nullopt;
        const QStringList cells = lines[i].split(sep);
        if (cells.size() != keys.size())
            return std::nullopt;
        for (int k = 1; k < keys.size(); ++k)
            out[cells[0]][keys[k]] = cells[k];
    }
    return std::nullopt; // no end marker
}
} // namespace

// Review and approval with electronic signatures on a SQLite file: the signers kept with keys of
// their passwords, each step refused when the lab's rules say so, the approved record locked,
// its signatures in the JSON and the PDF, every form of the LIMS read back, one file an approval
// in the LIMS folder, and a signature forged in the file named by verify.
TEST(Cli, ReviewAndApprovalSignedLockedAndSentToTheLims) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat"), db = dir.filePath("resultados.sqlite"), lims = dir.filePath("lims");
    ASSERT_TRUE(QDir().mkpath(lims));
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    writeConfig(dir.path(), builtInConfigRows() + QList<std::pair<QString, QString>>{{"PastaLIMS", lims}, {"LIMSDecimal", ","}});
    auto run = [&](const QStringList& args, const QByteArray& input = {}) {
        return cliFed(dir.path(), args + QStringList{"--db", db}, input);
    };
    // The first signer is the administrator; each later one is added with the administrator's password.
    ASSERT_EQ(run({"results", "users", "add", "chefe", "--full-name", "Maria Chefe", "--password-stdin"}, "senha-da-chefe\n").code, 0);
    EXPECT_EQ(run({"results", "users", "add", "rui", "--full-name", "Rui Revisor", "--reviewer", "--password-stdin"},
                  "errada\nsenha-do-rui\n").code, 8);
    ASSERT_EQ(run({"results", "users", "add", "rui", "--full-name", "Rui Revisor", "--reviewer", "--password-stdin"},
                  "senha-da-chefe\nsenha-do-rui\n").code, 0);
    ASSERT_EQ(run({"results", "users", "add", "ana", "--full-name", "Ana Técnica", "--password-stdin"},
                  "senha-da-chefe\nsenha-da-ana\n").code, 0);
    EXPECT_EQ(run({"results", "users", "add", "curta", "--full-name", "C", "--password-stdin"}, "senha-da-chefe\n1234\n").code, 8);
    CliRun r = run({"results", "users", "list"});
    EXPECT_TRUE(r.out.contains("chefe\tMaria Chefe\tadministrador, revisor") && r.out.contains("ana\tAna Técnica\tassinante"))
        << r.out.toStdString();
    // Never the password, only a salted key of it.
    {
        QFile f(db);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_FALSE(f.readAll().contains("senha-do-rui"));
    }
    const QStringList sample{"--energy-equivalent", "10100,5", "--mass", "0,98"};
    ASSERT_EQ(run(QStringList{"record", dat, "--test", "1", "--sample", "CAR-1", "--operator", "ana"} + sample).code, 0);
    ASSERT_EQ(run(QStringList{"record", dat, "--test", "2", "--sample", "CAR-2", "--operator", "ana"} + sample).code, 0);

    struct Step { const char* action; const char* user; const char* password; int code; const char* says; } steps[] = {
        {"approve", "rui", "senha-do-rui", 8, "ainda não foi revisada"},
        {"review", "rui", "errada", 8, "senha de assinatura incorretos"},
        {"review", "ninguem", "qualquer", 8, "senha de assinatura incorretos"},
        {"review", "rui", "senha-do-rui", 0, "revisada por rui"},
        {"review", "chefe", "senha-da-chefe", 8, "já foi revisada"},
        {"approve", "rui", "senha-do-rui", 8, "Quem revisou (rui) não aprova"},
        {"approve", "ana", "senha-da-ana", 8, "ana não é revisor"},
        {"approve", "chefe", "senha-da-chefe", 0, "aprovada por chefe"},
        {"approve", "chefe", "senha-da-chefe", 8, "já foi aprovada"},
    };
    for (const Step& s : steps) {
        r = run({"results", s.action, "1", "--user", s.user, "--password-stdin", "--comment", "conferido"},
                QByteArray(s.password) + "\n");
        EXPECT_EQ(r.code, s.code) << s.action << " " << s.user << ": " << r.err.toStdString();
        EXPECT_TRUE((r.out + r.err).contains(QString::fromUtf8(s.says))) << s.action << " " << s.user << ": " << (r.out + r.err).toStdString();
    }
    // The recorder does not approve what she recorded, even as a reviewer.
    ASSERT_EQ(run({"results", "users", "password", "ana", "--password-stdin"}, "senha-da-ana\nnova-senha-ana\n").code, 0);
    ASSERT_EQ(run({"results", "review", "2", "--user", "rui", "--password-stdin"}, "senha-do-rui\n").code, 0);

    // Locked: no rejection without a reviewer's signature, and no replacement.
    r = run({"results", "reject", "1", "--reason", "massa trocada"});
    EXPECT_EQ(r.code, 5);
    EXPECT_TRUE(r.err.contains("aprovada e está travada")) << r.err.toStdString();
    r = run(QStringList{"record", dat, "--test", "1", "--sample", "CAR-1", "--replaces", "1", "--reason", "x"} + sample);
    EXPECT_NE(r.code, 0);
    r = run({"results", "show", "1", "--json"});
    const QJsonObject shown = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(shown["state"].toString(), "aprovada");
    const QJsonArray sigs = shown["signatures"].toArray();
    ASSERT_EQ(sigs.size(), 2);
    EXPECT_EQ(sigs[0].toObject()["meaning"].toString(), "Revisado");
    EXPECT_EQ(sigs[1].toObject()["full_name"].toString(), "Maria Chefe");
    EXPECT_EQ(sigs[1].toObject()["comment"].toString(), "conferido");
    r = run({"results", "report", "1", "--out", dir.filePath("aprovada.pdf")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QProcess text;
    text.start("pdftotext", {"-layout", dir.filePath("aprovada.pdf"), "-"});
    if (text.waitForFinished(20000) && text.exitCode() == 0) {
        const QString t = QString::fromUtf8(text.readAllStandardOutput());
        EXPECT_TRUE(t.contains("Assinaturas eletrônicas") && t.contains("Rui Revisor (rui)") && t.contains("Aprovado") &&
                    t.contains("Maria Chefe (chefe)") && !t.contains("Data: ____"))
            << t.toStdString();
    }

    // The approval's file in the LIMS folder, written once.
    const QString dropped = QDir(lims).filePath("determinacao-1.csv");
    ASSERT_TRUE(QFile::exists(dropped));
    EXPECT_TRUE(readAllOf(dropped).startsWith("versao;amostra;determinacao;data_ensaio;pcs;pcs_seco;pci;unidade;situacao;aprovador;aprovada_em\r\n1;CAR-1;1;"));
    // Each form read back: SENAITE's by its documented form, the CSV by Python's csv module, the JSON.
    r = run({"results", "export", "--approved", "--format", "senaite-csv", "--out", dir.filePath("senaite.csv")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const auto senaite = readSenaite(QString::fromUtf8(readAllOf(dir.filePath("senaite.csv"))), ';');
    ASSERT_TRUE(senaite);
    ASSERT_EQ(senaite->size(), 1u);
    EXPECT_EQ(senaite->at("CAR-1").at("PCS"), QString::number(shown["gross_calorific_value"].toDouble(), 'f', 1).replace('.', ','));
    r = run({"results", "export", "--approved", "--format", "csv", "--out", dir.filePath("lims.csv")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    int pyCode = -1;
    {
        QFile py(dir.filePath("read.py"));
        ASSERT_TRUE(py.open(QIODevice::WriteOnly));
        py.write("import csv, sys\nwith open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                 "    rows = list(csv.DictReader(f, delimiter=';'))\n"
                 "print(len(rows), rows[0]['amostra'], rows[0]['aprovador'], rows[0]['situacao'], rows[0]['versao'])\n");
    }
#ifndef Q_OS_WIN // Python is the Linux machine's
    const auto read = runPython(dir.filePath("read.py"), {dir.filePath("lims.csv")}, &pyCode);
    ASSERT_TRUE(read);
    EXPECT_EQ(pyCode, 0);
    EXPECT_EQ(QString::fromUtf8(*read).trimmed(), "1 CAR-1 chefe aprovada 1");
#endif
    r = run({"results", "export", "--approved", "--format", "json", "--out", dir.filePath("lims.json")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(readAllOf(dir.filePath("lims.json"))).object();
    EXPECT_EQ(json["version"].toInt(), 1);
    ASSERT_EQ(json["results"].toArray().size(), 1);
    EXPECT_EQ(json["results"].toArray()[0].toObject()["approver"].toString(), "chefe");

    // A folder that cannot be written: the approval says so, and the file waits for --pending.
    ASSERT_TRUE(QFile::remove(dropped));
    ASSERT_TRUE(QDir(lims).removeRecursively());
    r = run({"results", "export", "--pending"});
    EXPECT_EQ(r.code, 5);
    ASSERT_TRUE(QDir().mkpath(lims));
    r = run({"results", "export", "--pending"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(dropped));

    // A signature's rejection: a reviewer, with the reason; the approval stays in the history.
    r = run({"results", "reject", "1", "--reason", "massa trocada", "--user", "rui", "--password-stdin"}, "senha-do-rui\n");
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = run({"results", "history", "1"});
    EXPECT_TRUE(r.out.contains("Assinatura eletrônica por chefe") && r.out.contains("significado aprovado")) << r.out.toStdString();
    r = run({"results", "verify"});
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    // Forged behind the program: named.
    ASSERT_TRUE(behindTheProgram(db, "UPDATE signatures SET full_name = 'Outro Nome' WHERE id = 2"));
    r = run({"results", "verify"});
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE((r.out + r.err).contains("a assinatura 2")) << (r.out + r.err).toStdString();
}

// On the lab's server the signer's password is checked by the server (a connection as that
// role, which writes the signature), the reviewer role decides who approves, the full name is
// the role's comment, and a signature changed behind the program is named by verify.
TEST(Cli, OnTheServerTheServerChecksTheSignersPassword) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "the suite's PostgreSQL server is the Linux suite's";
#else
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    QString why;
    PostgresServer& server = PostgresServer::instance();
    const QString db = server.createDatabase("assinaturas", &why);
    ASSERT_FALSE(db.isEmpty()) << why.toStdString();
    writeConfig(dir.path(), builtInConfigRows() + QList<std::pair<QString, QString>>{{"PapelRevisor", "revisores"}});
    auto run = [&](const QStringList& args, const QByteArray& input = {}) {
        return cliFed(dir.path(), args + QStringList{"--db", db}, input);
    };
    const QStringList sample{"--energy-equivalent", "10100,5", "--mass", "0,98"};
    ASSERT_EQ(run(QStringList{"record", dat, "--test", "1", "--sample", "CAR-1"} + sample).code, 0);
    for (const char* sql : {"CREATE ROLE revisores NOLOGIN",
                            "CREATE ROLE rui LOGIN PASSWORD 'senha-do-rui' IN ROLE assinantes",
                            "CREATE ROLE chefe LOGIN PASSWORD 'senha-da-chefe' IN ROLE assinantes, revisores",
                            "COMMENT ON ROLE chefe IS 'Maria Chefe'",
                            "GRANT SELECT, INSERT, UPDATE ON ALL TABLES IN SCHEMA public TO assinantes",
                            "GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO assinantes"})
        ASSERT_TRUE(server.admin("assinaturas", sql, &why)) << sql << ": " << why.toStdString();
    CliRun r = run({"results", "review", "1", "--user", "rui", "--password-stdin"}, "errada\n");
    EXPECT_EQ(r.code, 8);
    EXPECT_TRUE(r.err.contains("senha de assinatura incorretos")) << r.err.toStdString();
    ASSERT_EQ(run({"results", "review", "1", "--user", "rui", "--password-stdin"}, "senha-do-rui\n").code, 0);
    r = run({"results", "approve", "1", "--user", "rui", "--password-stdin"}, "senha-do-rui\n");
    EXPECT_EQ(r.code, 8); // not in the reviewer role
    r = run({"results", "approve", "1", "--user", "chefe", "--password-stdin"}, "senha-da-chefe\n");
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = run({"results", "show", "1", "--json"});
    const QJsonArray sigs = QJsonDocument::fromJson(r.out.toUtf8()).object()["signatures"].toArray();
    ASSERT_EQ(sigs.size(), 2);
    EXPECT_EQ(sigs[0].toObject()["user"].toString(), "rui");
    EXPECT_EQ(sigs[1].toObject()["full_name"].toString(), "Maria Chefe");
    r = run({"results", "history", "1", "--json"});
    const QJsonArray trail = QJsonDocument::fromJson(r.out.toUtf8()).array();
    ASSERT_GE(trail.size(), 3);
    EXPECT_EQ(trail.last().toObject()["user"].toString(), "chefe"); // the server's own role
    EXPECT_EQ(run({"results", "verify"}).code, 0);
    // Even its owner cannot change a signature without first turning its guard off; then verify names it.
    EXPECT_FALSE(server.admin("assinaturas", "UPDATE signatures SET full_name = 'X'", &why));
    ASSERT_TRUE(server.admin("assinaturas",
                             "ALTER TABLE signatures DISABLE TRIGGER USER; UPDATE signatures SET full_name = 'X' WHERE id = 1",
                             &why))
        << why.toStdString();
    r = run({"results", "verify"});
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE((r.out + r.err).contains("a assinatura 1")) << (r.out + r.err).toStdString();
#endif
}

INSTANTIATE_TEST_SUITE_P(Results, CliOnEngine, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& i) { return i.param ? "PostgreSQL" : "SQLite"; });

// Five calibrations make an accepted series; a sample then takes its W, recorded with the
// series' number; a change made directly in the database is named by results verify (exit 7).
TEST(Cli, ASampleTakesTheAcceptedSeriesWAndVerifyNamesAChangeMadeBehindIt) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat"), db = dir.filePath("r.sqlite");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    // One curve, five tests and masses: W within 0,2 % of each other.
    const QString runs = distinctTestsFile(dir.path(), 13);
    QList<double> ws;
    int test = -2;
    for (const char* mass : {"0,7612", "0,7605", "0,7620", "0,7608", "0,7615"}) {
        test += 3; // 1, 4, 7, 10, 13: the demo's test 1 each time
        const CliRun r = cli({"record", runs, "--test", QString::number(test), "--sample", "AB-2026", "--calibrate",
                              "--mass", mass, "--heat", "26454", "--db", db, "--json"});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        ws << QJsonDocument::fromJson(r.out.toUtf8()).object()["energy_equivalent"].toDouble();
    }
    double w = 0;
    for (const double x : ws)
        w += x / 5;
    CliRun r = cli({"record", dat, "--test", "2", "--sample", "CAR-9", "--mass", "0,98", "--db", db, "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QJsonObject sample = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_NEAR(sample["inputs"].toObject()["energy_equivalent"].toDouble(), w, 1e-6);
    EXPECT_EQ(sample["series"].toInt(), 1);
    EXPECT_EQ(sample["energy_equivalent_source"].toString(), "série 1 do calorímetro BC-200");
    EXPECT_TRUE(sample["warnings"].toArray().isEmpty() ||
                !sample["warnings"].toArray().first().toString().contains("série"));
    // The same result as calc gives with that W typed.
    r = cli({"calc", dat, "--test", "2", "--mass", "0,98", "--energy-equivalent", QString::number(w, 'g', 17), "--json"});
    EXPECT_NEAR(QJsonDocument::fromJson(r.out.toUtf8()).object()["gross_calorific_value"].toDouble(),
                sample["gross_calorific_value"].toDouble(), 1e-6);
    // A check standard outside the lab's tolerance is flagged, and told.
    r = cli({"record", runs, "--test", "2", "--sample", "AB-verif", "--mass", "0,98", "--db", db, "--check-standard",
             "26454", "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject check = QJsonDocument::fromJson(r.out.toUtf8()).object()["check_standard"].toObject();
    EXPECT_FALSE(check["within"].toBool());
    EXPECT_DOUBLE_EQ(check["tolerance_percent"].toDouble(), 0.2);
    EXPECT_EQ(cli({"record", dat, "--test", "1", "--sample", "x", "--calibrate", "--mass", "1", "--heat", "26454",
                   "--check-standard", "26454", "--db", db}).code, 1);

    r = cli({"results", "verify", "--db", db});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("íntegro: 9 entradas, 7 determinações")) << r.out.toStdString();
    r = cli({"results", "chart", "--calorimeter", "BC-200", "--out", dir.filePath("w.png"), "--db", db});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(QImage(dir.filePath("w.png")).size(), QSize(1100, 600));
    EXPECT_EQ(cli({"results", "chart", "--out", dir.filePath("x.png"), "--db", db}).code, 1);
    r = cli({"results", "chart", "--calorimeter", "BC-2OO", "--out", dir.filePath("x.png"), "--db", db});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("\"BC-2OO\" não consta do banco de resultados (há: BC-200)")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("x.png")));
    EXPECT_EQ(cli({"results", "history", "0", "--db", db}).code, 1);
    // A part changed: a new series, and the next sample warns until it is accepted.
    r = cli({"results", "new-series", "--calorimeter", "BC-200", "--reason", "troca de peça", "--db", db});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed(), "série 2 do calorímetro BC-200 iniciada");
    r = cli({"record", dat, "--test", "2", "--sample", "CAR-10", "--mass", "0,98", "--db", db});
    EXPECT_EQ(r.code, 1); // no accepted series, no W given, none in config.xml
    EXPECT_TRUE(r.err.contains("não tem série de calibração aceita")) << r.err.toStdString();

    // A figure changed behind the program.
    ASSERT_TRUE(behindTheProgram(db, "UPDATE determinations SET gross_calorific_value = gross_calorific_value + 50 WHERE id = 6"));
    r = cli({"results", "verify", "--db", db});
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE(r.err.contains("a determinação 6 difere do que a entrada 8 da trilha registrou")) << r.err.toStdString();
    r = cli({"results", "history", "6", "--db", db});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("Registrada por ") && r.out.contains("SHA-256 ")) << r.out.toStdString();
    // Times in the PC's own time, as the record shows them; a sample's "no series" unsaid.
    EXPECT_FALSE(r.out.contains(" UTC") || r.out.contains("Z\n") || r.out.contains("série 0")) << r.out.toStdString();
    EXPECT_EQ(cli({"results", "history", "99", "--db", db}).code, 5);
}

// Each record's figures are worked out again from its readings and inputs: a gross value
// changed in the database (here behind the trail too) is named with both figures.
TEST(Cli, AFigureThatDoesNotFollowFromItsReadingsIsNamed) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat"), db = dir.filePath("r.sqlite");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    for (const char* test : {"1", "2"})
        ASSERT_EQ(cli({"record", dat, "--test", test, "--sample", "CAR", "--mass", "0,98", "--energy-equivalent", "10100,5",
                       "--db", db}).code, 0);
    ASSERT_EQ(cli({"record", dat, "--test", "3", "--sample", "AB", "--calibrate", "--mass", "0,76", "--heat", "26454",
                   "--db", db}).code, 0);
    QString why;
    {
        const auto store = ses::openResults(db, &why);
        ASSERT_TRUE(store) << why.toStdString();
        const auto clean = ses::recheckFigures(*store, &why);
        ASSERT_TRUE(clean) << why.toStdString();
        EXPECT_TRUE(clean->isEmpty()) << clean->toStdString();
    }
    ASSERT_TRUE(behindTheProgram(db, "UPDATE determinations SET gross_calorific_value = gross_calorific_value * 1.05 WHERE id = 2"));
    const auto store = ses::openResults(db, &why);
    const auto forged = ses::recheckFigures(*store, &why);
    ASSERT_TRUE(forged) << why.toStdString();
    EXPECT_TRUE(forged->startsWith("a determinação 2 não confere com suas leituras e entradas: PCS gravado ")) << forged->toStdString();
    EXPECT_EQ(cli({"results", "verify", "--db", db}).code, 7);
}

// A results file as the lab may find it: damaged pages are refused before anything is written
// into them; a text an earlier version kept with a control character reaches the terminal
// written out and the CSV exactly; a file in a read-only folder is still listed and verified.
TEST(Cli, AResultsFileAsTheLabMayFindIt) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    auto recordInto = [&](const QString& db, const char* test) {
        return cli({"record", dat, "--test", test, "--sample", "CAR", "--mass", "0,98", "--energy-equivalent",
                    "10100,5", "--db", db});
    };
    {
        const QString db = dir.filePath("damaged.sqlite");
        for (const char* test : {"1", "2"})
            ASSERT_EQ(recordInto(db, test).code, 0);
        QFile f(db);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_GT(f.size(), 4 * 4096);
        f.seek(2 * 4096); // a page of the tables, past the file's header
        f.write(QByteArray(4096, '\x5a'));
        f.close();
        const qint64 size = QFileInfo(db).size();
        const CliRun r = recordInto(db, "3");
        EXPECT_EQ(r.code, 5);
        EXPECT_TRUE(r.err.contains("está danificado; nada foi gravado")) << r.err.toStdString();
        EXPECT_EQ(QFileInfo(db).size(), size);
    }
    {
        const QString db = dir.filePath("old.sqlite");
        ASSERT_EQ(recordInto(db, "1").code, 0);
        ASSERT_TRUE(behindTheProgram(db, "UPDATE determinations SET sample_code = 'CAR' || char(10) || 'X' || char(27) || '[31m'"));
        CliRun r = cli({"results", "list", "--db", db});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_EQ(r.out.count('\n'), 2) << "one line a record: " << r.out.toStdString();
        EXPECT_TRUE(r.out.contains("CAR\\nX\\x1b[31m")) << r.out.toStdString();
        EXPECT_FALSE(r.out.contains(QChar(27)));
        r = cli({"results", "show", "1", "--db", db});
        EXPECT_TRUE(r.out.contains("CAR\\nX\\x1b[31m")) << r.out.toStdString();
        r = cli({"results", "list", "--csv", "--db", db});
        EXPECT_TRUE(r.out.contains(QStringLiteral("CAR\nX\x1b[31m"))) << "the CSV keeps the text exactly";
    }
#ifndef Q_OS_WIN
    {
        // Read-only for whoever runs the program: the folder's mode, or another user when the
        // suite runs as root (whom no mode stops).
        QTemporaryDir shared(QDir::tempPath() + "/somente-leitura-XXXXXX");
        const QString db = shared.filePath("r.sqlite");
        ASSERT_EQ(recordInto(db, "1").code, 0);
        ASSERT_TRUE(QFile::setPermissions(db, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        ASSERT_TRUE(QFile::setPermissions(shared.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                              QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        auto asReader = [&](const QStringList& args) {
            if (::geteuid() != 0)
                return cli(args);
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("HOME", shared.path());
            p.setProcessEnvironment(env);
            p.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", binFile("registrador-cli")} + args);
            return collected(p);
        };
        for (const QStringList& args : {QStringList{"results", "list", "--db", db}, QStringList{"results", "show", "1", "--db", db},
                                        QStringList{"results", "verify", "--db", db}}) {
            const CliRun r = asReader(args);
            EXPECT_EQ(r.code, 0) << args.join(' ').toStdString() << ": " << r.err.toStdString();
        }
        const CliRun r = asReader({"results", "reject", "1", "--reason", "teste", "--db", db});
        EXPECT_EQ(r.code, 5);
        EXPECT_TRUE(r.err.contains("somente para leitura") || r.err.contains("não pôde ser aberto")) << r.err.toStdString();
        QFile::setPermissions(shared.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
#endif
}

// In a fresh account every program uses one default database, in the program's data folder;
// one that an earlier version left in a folder of its own is named, and moved on request.
TEST(Cli, OneDefaultDatabaseInTheDataFolderAndTheOldOneMoved) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "the data folder under XDG_DATA_HOME is Linux's";
#else
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_DATA_HOME", home.filePath("dados"));
    const QString fresh = home.filePath("dados/registrador/resultados.sqlite");
    const QString old = home.filePath("dados/Bomba Calorimétrica/resultados.sqlite");
    CliRun r = cli({"results", "where"}, env, home.path());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed(), fresh);
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    // An earlier version's database, with one record.
    ASSERT_TRUE(QDir().mkpath(QFileInfo(old).absolutePath()));
    const QString dat = home.filePath("d.dat");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    const QStringList sample{"--energy-equivalent", "10100,5", "--mass", "0,98"};
    ASSERT_EQ(cli(QStringList{"record", dat, "--test", "1", "--sample", "A", "--db", old} + sample).code, 0);
    r = cli({"results", "where"}, env, home.path());
    EXPECT_TRUE(r.err.contains("Há um banco de resultados de uma versão anterior em " + old)) << r.err.toStdString();
    EXPECT_EQ(cli({"results", "where", "--move"}, env, home.path()).code, 0);
    EXPECT_FALSE(QFile::exists(old));
    EXPECT_TRUE(QFile::exists(fresh));
    // Every command without --db, from any folder, finds it there.
    r = cli(QStringList{"record", dat, "--test", "2", "--sample", "B"} + sample, env, home.path());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = cli({"results", "list", "--json"}, env, QDir::tempPath());
    EXPECT_EQ(QJsonDocument::fromJson(r.out.toUtf8()).array().size(), 2) << r.out.toStdString();
    EXPECT_EQ(cli({"results", "where", "--move"}, env, home.path()).code, 1); // nothing left to move
    // A config.xml that cannot be read names no database: nothing is recorded anywhere.
    QFile config(home.filePath("config.xml"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("<?xml version=\"1.0\"?><DATAPACKET><METADATA><FIELDS><FIELD attrname=\"Key\"");
    config.close();
    r = cli(QStringList{"record", dat, "--test", "3", "--sample", "C"} + sample, env, home.path());
    EXPECT_EQ(r.code, 5);
    EXPECT_TRUE(r.err.startsWith("Arquivo de configuração inválido!")) << r.err.toStdString();
    r = cli({"results", "list", "--json", "--db", fresh}, env, QDir::tempPath());
    EXPECT_EQ(QJsonDocument::fromJson(r.out.toUtf8()).array().size(), 2);
#endif
}

// A server that takes the connection and never answers is given up after the connection's
// timeout, with the reason in words; nothing waits without end.
TEST(Cli, AServerThatNeverAnswersIsGivenUp) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "the Windows build has no PostgreSQL driver";
#else
    // A socket that listens, so the system takes connections, and never says a word.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(silent, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 8), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const QString db = QStringLiteral("postgresql://tecnico@127.0.0.1:%1/resultados?connect_timeout=2").arg(ntohs(address.sin_port));
    for (const QStringList& args : {QStringList{"results", "list", "--db", db}, QStringList{"results", "verify", "--db", db}}) {
        const CliRun r = cli(args);
        EXPECT_EQ(r.code, 5) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("o servidor não respondeu em 2 s")) << r.err.toStdString();
    }
    const CliRun tooShort = cli({"results", "list", "--db", "postgresql://tecnico@127.0.0.1/resultados?connect_timeout=1"});
    EXPECT_EQ(tooShort.code, 5);
    EXPECT_TRUE(tooShort.err.contains("connect_timeout=S], S de 2 s em diante")) << tooShort.err.toStdString();
    ::close(silent);
#endif
}

// A sample that took its series' W says so wherever it is shown once the series changes after
// it: a run rejected, then a later series started.
TEST(Cli, ASampleOnASeriesThatChangedSaysSo) {
    QTemporaryDir dir;
    const QString db = dir.filePath("r.sqlite"), runs = distinctTestsFile(dir.path(), 7, 1);
    for (int test = 1; test <= 5; ++test)
        ASSERT_EQ(cli({"record", runs, "--test", QString::number(test), "--sample", "AB", "--calibrate", "--mass",
                       QStringLiteral("0,76%1").arg(10 + test), "--heat", "26454", "--db", db}).code, 0);
    CliRun r = cli({"record", runs, "--test", "6", "--sample", "CAR-1", "--mass", "0,98", "--db", db, "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(r.out.toUtf8()).object()["series"].toInt(), 1);
    EXPECT_FALSE(QJsonDocument::fromJson(r.out.toUtf8()).object().contains("series_changed"));
    ASSERT_EQ(cli({"results", "reject", "3", "--reason", "bomba vazou", "--db", db}).code, 0);
    const QString changed = "a série 1 mudou depois do registro: a corrida 3 foi rejeitada";
    r = cli({"results", "show", "6", "--json", "--db", db});
    EXPECT_EQ(QJsonDocument::fromJson(r.out.toUtf8()).object()["series_changed"].toString(), changed) << r.out.toStdString();
    EXPECT_TRUE(cli({"results", "show", "6", "--db", db}).out.contains("Série mudou:                " + changed));
    EXPECT_TRUE(cli({"results", "list", "--db", db}).out.contains(changed));
    ASSERT_EQ(cli({"results", "new-series", "--calorimeter", "BC-200", "--reason", "troca de peça", "--db", db}).code, 0);
    r = cli({"results", "list", "--json", "--db", db, "--sample", "CAR-1"});
    const QString both = QJsonDocument::fromJson(r.out.toUtf8()).array()[0].toObject()["series_changed"].toString();
    EXPECT_TRUE(both.startsWith(changed + "; a série 2 começou em ")) << both.toStdString();
    EXPECT_TRUE(both.endsWith("(troca de peça)")) << both.toStdString();
    // Re-evaluating it is a replacement of the same test, recorded with what stands now.
    r = cli({"record", runs, "--test", "6", "--sample", "CAR-1", "--mass", "0,98", "--energy-equivalent", "10100",
             "--replaces", "6", "--reason", "série mudou", "--db", db, "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(r.out.toUtf8()).object()["replaces"].toInt(), 6);
    EXPECT_EQ(cli({"results", "verify", "--db", db}).code, 0);
}

// Five calibrations recorded from the command line make the calorimeter's series: its W, s
// and verdict are those a hand computation gives from the five records.
TEST(Cli, FiveCalibrationsGiveTheSeriesWAndVerdict) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("d.dat"), db = dir.filePath("r.sqlite");
    ASSERT_EQ(cli({"decode", dataFile("demo.img"), "--out", dat}).code, 0);
    QList<double> ws;
    const char* masses[] = {"0,7612", "0,7605", "0,7620", "0,7608", "0,7615"};
    const QString runs = distinctTestsFile(dir.path(), 6); // tests 1 … 6: the demo's 1, 2, 3, 1, 2, 3
    for (int i = 0; i < 5; ++i) {
        const CliRun r = cli({"record", runs, "--test", QString::number(1 + i), "--sample", "AB-2026",
                              "--calorimeter", "BC-200 nº 1", "--calibrate", "--mass", masses[i], "--heat", "26454",
                              "--test-date", QStringLiteral("2026-12-0%1").arg(1 + i), "--db", db, "--json"});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        ws << QJsonDocument::fromJson(r.out.toUtf8()).object()["energy_equivalent"].toDouble();
    }
    // A sample of the same calorimeter is no calibration; another calorimeter has its own series.
    ASSERT_EQ(cli({"record", dat, "--test", "1", "--sample", "CAR-1", "--calorimeter", "BC-200 nº 1", "--db", db,
                   "--energy-equivalent", "10100", "--mass", "1"}).code, 0);
    double mean = 0, sq = 0;
    for (const double w : ws)
        mean += w / 5;
    for (const double w : ws)
        sq += (w - mean) * (w - mean);
    const double s = std::sqrt(sq / 4);
    const auto [lo, hi] = std::minmax_element(ws.begin(), ws.end());
    const bool within = (*hi - *lo) / mean * 100 <= 0.4;
    for (const char* rule : {"din", "lab"}) {
        CliRun r = cli({"results", "calibrations", "--db", db, "--json", "--rule", rule, "--min-runs", "5", "--max-rsd", "0,5"});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const QJsonArray all = QJsonDocument::fromJson(r.out.toUtf8()).array();
        ASSERT_EQ(all.size(), 1);
        const QJsonObject series = all[0].toObject();
        EXPECT_EQ(series["calorimeter"].toString(), "BC-200 nº 1");
        EXPECT_EQ(series["n"].toInt(), 5);
        EXPECT_NEAR(series["mean"].toDouble(), mean, 1e-6);
        EXPECT_NEAR(series["s"].toDouble(), s, 1e-6);
        EXPECT_NEAR(series["rsd_percent"].toDouble(), s / mean * 100, 1e-9);
        EXPECT_EQ(series["runs"].toArray().size(), 5);
        EXPECT_EQ(series["rule"].toString(), QLatin1String(rule) == "din" ? "DIN 51900" : "Laboratório");
        if (QLatin1String(rule) == "din")
            EXPECT_EQ(series["accepted"].toBool(), within) << series["reason"].toString().toStdString();
        else
            EXPECT_EQ(series["accepted"].toBool(), s / mean * 100 <= 0.5) << series["reason"].toString().toStdString();
        if (series["accepted"].toBool()) {
            EXPECT_NEAR(series["energy_equivalent"].toDouble(), mean, 1e-6);
        }
    }
    // One more calibration prints where the series stands (the lab's default rule, DIN 51900).
    const CliRun sixth = cli({"record", runs, "--test", "6", "--sample", "AB-2026", "--calorimeter", "BC-200 nº 1",
                              "--calibrate", "--mass", "0,7610", "--heat", "26454", "--db", db});
    ASSERT_EQ(sixth.code, 0) << sixth.err.toStdString();
    EXPECT_TRUE(sixth.out.startsWith("7") && sixth.out.contains("\nBC-200 nº 1, série 1 (primeira série) — DIN 51900: "))
        << sixth.out.toStdString();
    const CliRun text = cli({"results", "calibrations", "--db", db});
    EXPECT_TRUE(text.out.startsWith("BC-200 nº 1, série 1 (primeira série) — DIN 51900: ")) << text.out.toStdString();
    EXPECT_EQ(cli({"results", "calibrations", "--db", db, "--rule", "iso"}).code, 1);
}

// The emulator records the synthetic run into an empty memory, 80 times faster than the logger;
// follow prints each reading once, the phases in their order, and at the end the evaluation
// that a download of the same memory and calc give.
TEST(Cli, FollowSeesTheTestGrowAndEvaluatesItAsCalcDoes) {
    REQUIRE_PSEUDO_TERMINAL();
    QTemporaryDir dir;
    const QString empty = dir.filePath("vazia.img");
    {
        QFile f(empty);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(32768, '\0'));
    }
    Emulator e(empty, {"--record", "synthetic", "--speed", "80"});
    ASSERT_TRUE(e.ok());
    CliRun r = cli({"follow", "--device", e.device(), "--json", "--poll-ms", "62"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QList<int> subs;
    QStringList phases;
    QJsonObject evaluation;
    for (const QString& l : r.out.split('\n', Qt::SkipEmptyParts)) {
        const QJsonObject o = QJsonDocument::fromJson(l.toUtf8()).object();
        if (o["event"] == "reading") {
            EXPECT_EQ(o["ensaio"].toInt(), 1);
            subs << o["subreg"].toInt();
        } else if (o["event"] == "phase") {
            phases << o["text"].toString();
        } else if (o["event"] == "evaluation") {
            evaluation = o;
        }
    }
    ASSERT_EQ(subs.size(), 288);
    for (int i = 0; i < subs.size(); ++i)
        ASSERT_EQ(subs[i], i + 1);
    const QStringList order{"Aguardando as primeiras leituras", "Período inicial: deriva", "Queima detectada às 5:",
                            "Período final:", "Ensaio completo: pode parar", "Ensaio encerrado pelo registrador"};
    ASSERT_EQ(phases.size(), order.size()) << phases.join(" / ").toStdString();
    for (int i = 0; i < order.size(); ++i)
        EXPECT_TRUE(phases[i].startsWith(order[i])) << phases.join(" / ").toStdString();
    // The same test downloaded and evaluated.
    ASSERT_EQ(cli({"download", "--device", e.device(), "--out", dir.filePath("d.dat")}).code, 0);
    r = cli({"calc", dir.filePath("d.dat"), "--test", "1", "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QJsonObject calc = QJsonDocument::fromJson(r.out.toUtf8()).object();
    evaluation.remove("event");
    EXPECT_EQ(evaluation, calc);
}
