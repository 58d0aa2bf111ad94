// registrador-cli end to end over a real pseudo-terminal with the emulator.
#include "tests/support.h"

#include <QFile>
#include <QImage>
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
