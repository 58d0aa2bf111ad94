// registrador-cli end to end over a real pseudo-terminal with the emulator.
#include "tests/support.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
struct CliRun {
    int code = -1;
    QString out, err;
};

CliRun cli(const QStringList& args) {
    QProcess p;
    p.start(binFile("registrador-cli"), args);
    CliRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        return r;
    }
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}
} // namespace

TEST(Cli, DownloadShowExportPlotOfTheWorkedExample) {
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
    QFile empty(dir.filePath("empty.img"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    {
        Emulator emu(empty.fileName());
        const CliRun r = cli({"download", "--device", emu.device(), "--out", dir.filePath("y.dat")});
        EXPECT_EQ(r.code, 4);
        EXPECT_TRUE(r.err.contains("Memória está vazia!"));
    }
    EXPECT_EQ(cli({"download", "--device", "/dev/nonexistent", "--out", dir.filePath("z.dat")}).code, 2);
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
    EXPECT_EQ(cli({"decode", cut, "--out", dir.filePath("no.dat")}).code, 3);
    EXPECT_FALSE(QFile::exists(dir.filePath("no.dat")));

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
