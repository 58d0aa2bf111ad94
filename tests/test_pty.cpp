// End to end over a real pseudo-terminal with registrador-emulador and real pauses.
#include "acquisition/download.h"
#include "link/commands.h"
#include "link/framecodec.h"
#include "link/qtseriallibrary.h"
#include "tests/support.h"
#include "tools/emulator/fakeseriallibrary.h"
#include "tools/emulator/loggermodel.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

struct Link {
    lnk::QtSerialLibrary lib;
    lnk::SystemClock clock;
    lnk::SerialChannel ch{lib, clock};
    explicit Link(const QString& device, int baud = 19200) {
        lib.portMap().setDevice(1, device);
        ch.setPort(1);
        EXPECT_TRUE(ch.openPort(1)) << lib.lastError().toStdString();
        ch.setBaudRate(1, baud);
    }
};
} // namespace

TEST(Pty, DiagnosticsAndHeaderOfTheWorkedExample) {
    Emulator emu(dataFile("exemplo.img"), {"--require-baud", "19200"});
    ASSERT_TRUE(emu.ok());
    Link l(emu.device());
    EXPECT_EQ(l.ch.exchange(lnk::cmd::kDiagnosticsFrame, lnk::cmd::kDownloadProbe), ":08F8\r\n");
    EXPECT_EQ(l.ch.exchange(lnk::cmd::kHeaderRequest, lnk::cmd::kDownloadHeader), ":030401004400B4\r\n");
    const QByteArray block = l.ch.exchange(":0300020020DB\r\n", lnk::cmd::kDownloadBlock);
    EXPECT_EQ(block.size(), 137);
    EXPECT_TRUE(block.endsWith("AD\r\n"));
}

TEST(Pty, WrongLineSpeedGetsNoAnswer) {
    Emulator emu(dataFile("exemplo.img"), {"--require-baud", "19200"});
    ASSERT_TRUE(emu.ok());
    Link l(emu.device(), 9600);
    EXPECT_TRUE(l.ch.exchange(lnk::cmd::kDiagnosticsFrame, lnk::cmd::kDownloadProbe).isEmpty());
}

TEST(Pty, DemoDownloadAndAWholeServiceRead) {
    Emulator emu(dataFile("demo.img"));
    ASSERT_TRUE(emu.ok());
    Link l(emu.device());
    acq::Measurements t;
    ProgressListener listener;
    EXPECT_EQ(downloadInto(l.ch, t, listener), acq::DownloadResult::Done);
    EXPECT_EQ(testNumbers(t), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(t.rowCount(), 3 * 168);
    const QByteArray resp = l.ch.exchange(lnk::cmd::readRequest(0, 125), lnk::cmd::kServiceRead);
    EXPECT_EQ(resp.size(), 509);
    EXPECT_TRUE(lnk::VerifyMessage(resp));
}

namespace {
// Every row of the table, every field, in the order the download stored them.
QList<QStringList> allRows(const acq::Measurements& t) {
    QList<QStringList> out;
    for (const acq::Row& row : t.rows()) {
        QStringList r;
        for (int c = acq::ColEnsaio; c < acq::kColumns; ++c)
            r << QString::number(row.number(c), 'g', 17);
        out << r;
    }
    return out;
}
} // namespace

TEST(Pty, PassingFaultsAreSurvivedWithEveryRowOfACleanDownload) {
    emu::LoggerModel model(readAllOf(dataFile("demo.img")));
    emu::FakeSerialLibrary fake(&model);
    RecordingClock clock;
    lnk::SerialChannel inProcess(fake, clock);
    inProcess.setPort(1);
    inProcess.openPort(1);
    acq::Measurements clean;
    ProgressListener cleanListener;
    ASSERT_EQ(downloadInto(inProcess, clean, cleanListener), acq::DownloadResult::Done);
    const QList<QStringList> expected = allRows(clean);
    ASSERT_EQ(expected.size(), 3 * 168);

    const QStringList cases[] = {
        {"--bad-lrc-block", "2"},
        {"--cut-block", "3"},
        {"--hold-block", "2", "--hold-ms", "60"},
        // A slow logger: every answer ends after the 100 ms wait, one is held back past it.
        {"--reply-delay", "40", "--reply-jitter", "40", "--hold-block", "2", "--hold-ms", "250"},
        // A logger that begins every answer 150 ms after its request, past the fixed wait.
        {"--reply-delay", "150"},
    };
    for (const auto& args : cases) {
        Emulator emu(dataFile("demo.img"), args);
        ASSERT_TRUE(emu.ok());
        Link l(emu.device());
        acq::Measurements t;
        ProgressListener listener;
        EXPECT_EQ(downloadInto(l.ch, t, listener), acq::DownloadResult::Done) << args.join(' ').toStdString();
        EXPECT_EQ(testNumbers(t), (QStringList{"1", "2", "3"}));
        EXPECT_EQ(allRows(t), expected) << args.join(' ').toStdString();
    }
}

TEST(Pty, LastingFaultsEndTheDownload) {
    struct Case { QStringList args; acq::DownloadResult r; bool rows; } cases[] = {
        {{"--silent"}, acq::DownloadResult::CommunicationError, false},
        {{"--cut-block-always", "2"}, acq::DownloadResult::CommunicationError, true},
        {{"--bad-lrc-block-always", "1"}, acq::DownloadResult::CommunicationError, false},
    };
    for (const auto& c : cases) {
        Emulator emu(dataFile("demo.img"), c.args);
        ASSERT_TRUE(emu.ok());
        Link l(emu.device());
        acq::Measurements t;
        ProgressListener listener;
        EXPECT_EQ(downloadInto(l.ch, t, listener), c.r) << c.args.join(' ').toStdString();
        EXPECT_EQ(t.rowCount() > 0, c.rows) << c.args.join(' ').toStdString();
    }
}
