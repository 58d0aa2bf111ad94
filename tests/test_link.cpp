// The logger link: frame codec, command frames, the channel's Exchange, and the logger model.
#include "link/balance.h"
#include "link/commands.h"
#include "link/framecodec.h"
#include "link/portmap.h"
#include "link/serialchannel.h"
#ifdef Q_OS_WIN
#include "link/win32seriallibrary.h"
#endif
#include "tests/support.h"
#include "tools/emulator/balancemodel.h"
#include "tools/emulator/demoimage.h"
#include "tools/emulator/fakeseriallibrary.h"

#include <gtest/gtest.h>

using namespace lnk;

TEST(FrameCodec, LrcCases) {
    struct Case { const char* text; int lrc; } cases[] = {
        {":08", 0xF8}, {":41", 0xBF}, {":0300000002", 0xFB}, {":0300100020", 0xCD},
        {":06000100FF", 0xFA}, {":0300020020", 0xDB},
        {":0", 0}, {"", 0}, {":", 0},            // shorter than 3 characters
        {"08F8", 0}, {"X08", 0},                 // no colon
        {":0G", 0}, {":08Z1", 0},                // not hexadecimal
        {":081", 0xF7},                          // odd digits: the last one counts alone (8 + 1)
        {":ff", 0x01}, {":Ff01", 0x00},          // either case
    };
    for (const auto& c : cases)
        EXPECT_EQ(LRC(QByteArray(c.text)), c.lrc) << c.text;
}

TEST(FrameCodec, VerifyMessageCases) {
    struct Case { QByteArray text; bool ok; } cases[] = {
        {":08F8\r\n", true}, {":41BF\r\n", true}, {":0300000002FB\r\n", true},
        {":030401004400B4\r\n", true},
        {":08f8\r\n", true},                        // lower-case check value
        {":0304ab00cd0000\r\n", false},
        {":08F7\r\n", false},                       // wrong check value
        {":08F8\r", false}, {"", false}, {":08F8", false}, // shorter than 7
        {":08F8xx", true},                          // colon alone is enough framing
        {"x08F8\r\n", true},                        // CR LF alone is enough framing
        {"x08F8\rx", true},                         // CR alone
        {"x08F8xx", false},                         // no framing mark at all
        {":0ZF8\r\n", false},                       // a data pair that is not hexadecimal
        {":08ZZ\r\n", false},                       // a check value that is not hexadecimal
    };
    for (const auto& c : cases)
        EXPECT_EQ(VerifyMessage(c.text), c.ok) << c.text.toStdString();
    QByteArray lower = ":0304ab00cd00";
    lower += hex2(LRC(lower)).toLower() + "\r\n";
    EXPECT_TRUE(VerifyMessage(lower));
}

TEST(FrameCodec, FieldsAndRequests) {
    EXPECT_EQ(hex2(0xAB), "AB");
    EXPECT_EQ(hex4(0x1F), "001F");
    EXPECT_EQ(decodeField(":030401004400B4\r\n", 6, 2), 0x01u);
    EXPECT_EQ(decodeField(":030401004400B4\r\n", 8, 4), 0x0044u);
    EXPECT_EQ(decodeField(":03fcFC", 4, 4), 0xFCFCu);
    EXPECT_FALSE(decodeField(":03GG", 4, 2));
    EXPECT_FALSE(decodeField(":03", 3, 4)); // runs past the end
    EXPECT_EQ(cmd::readRequest(0, 2), ":0300000002FB\r\n");
    EXPECT_EQ(cmd::readRequest(16, 32), ":0300100020CD\r\n");
    EXPECT_EQ(cmd::readRequest(2, 32), ":0300020020DB\r\n");
    EXPECT_EQ(cmd::writeRequest(1, 255), ":06000100FFFA\r\n");
    EXPECT_EQ(cmd::readRequest(65535, 125).size(), 15);
}

TEST(Commands, ResponseChecks) {
    EXPECT_TRUE(cmd::headerResponseOk(":030401004400B4\r\n"));
    QByteArray wrongFn = ":040401004400";
    wrongFn += hex2(LRC(wrongFn)) + "\r\n";
    EXPECT_FALSE(cmd::headerResponseOk(wrongFn));
    QByteArray wrongCount = ":030601004400";
    wrongCount += hex2(LRC(wrongCount)) + "\r\n";
    EXPECT_FALSE(cmd::headerResponseOk(wrongCount));
    emu::LoggerModel m;
    const QByteArray block = m.respond(cmd::readRequest(2, 32));
    EXPECT_EQ(block.size(), 137);
    EXPECT_TRUE(cmd::blockResponseOk(block, 32));
    // A valid frame one character short of a 32-register block.
    QByteArray short136;
    const QByteArray stem = ":0340" + QByteArray(127, '0');
    for (char y : QByteArray("0123456789ABCDEF"))
        for (char z : QByteArray("0123456789ABCDEF")) {
            const QByteArray t = stem + y + z + "\r\n";
            if (short136.isEmpty() && VerifyMessage(t))
                short136 = t;
        }
    EXPECT_TRUE(VerifyMessage(short136));
    EXPECT_EQ(short136.size(), 136);
    EXPECT_FALSE(cmd::blockResponseOk(short136, 32));
}

TEST(PortMap, DefaultsAndOverrides) {
    PortMap m;
#ifdef Q_OS_WIN
    EXPECT_EQ(m.device(0), "COM1");
    EXPECT_EQ(m.device(3), "COM4");
#else
    EXPECT_EQ(m.device(0), "/dev/ttyS0");
    EXPECT_EQ(m.device(3), "/dev/ttyS3");
#endif
    EXPECT_TRUE(m.device(4).isEmpty());
    EXPECT_TRUE(m.device(-1).isEmpty());
    m.setDevice(1, "/dev/ttyUSB0");
    EXPECT_EQ(m.device(1), "/dev/ttyUSB0");
    EXPECT_EQ(PortMap::indexOfKey("com3"), 2);
    EXPECT_EQ(PortMap::indexOfKey("COM5"), -1);
}

#ifdef Q_OS_WIN
// CreateFile reaches COM10 and above only through the device namespace.
TEST(PortMap, Win32NamesReachEveryComPort) {
    struct Case { const char* device; const char* opened; } cases[] = {
        {"COM1", "\\\\.\\COM1"}, {"COM12", "\\\\.\\COM12"}, {"com3", "\\\\.\\com3"},
        {"\\\\.\\COM5", "\\\\.\\COM5"}, {"COM", "COM"}, {"COM1:", "COM1:"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lnk::Win32SerialLibrary::win32Name(QString::fromLatin1(c.device)), QString::fromLatin1(c.opened));
}
#endif

class ChannelTest : public ::testing::Test {
protected:
    emu::LoggerModel model{emu::workedExampleImage()};
    emu::FakeSerialLibrary lib{&model};
    RecordingClock clock;
    SerialChannel ch{lib, clock};
    void SetUp() override { ASSERT_TRUE(ch.openPort(1)); }
};

TEST_F(ChannelTest, PacedExchangePausesAfterEveryCharacterThenWaits) {
    const QByteArray resp = ch.exchange(1, cmd::kDiagnosticsFrame, cmd::kDownloadProbe);
    EXPECT_EQ(resp, cmd::kDiagnosticsFrame);
    QList<int> expected(7, 1);
    expected << 100;
    EXPECT_EQ(clock.pauses, expected);
    EXPECT_EQ(lib.requests, QList<QByteArray>{cmd::kDiagnosticsFrame});
}

TEST_F(ChannelTest, WholeExchangeIsOneCallAndOnePause) {
    ch.exchange(1, cmd::kClearFrame, cmd::kMemoryClear);
    EXPECT_EQ(clock.pauses, QList<int>{100});
    EXPECT_TRUE(lib.calls.contains("puts(1,7)"));
    ch.exchange(1, cmd::readRequest(0, 125), cmd::kServiceRead);
    EXPECT_EQ(clock.pauses.last(), 700);
}

TEST_F(ChannelTest, CappedReadTakes255AndNextExchangeDropsTheRest) {
    const QByteArray longAnswer = model.respond(cmd::readRequest(0, 125));
    ASSERT_EQ(longAnswer.size(), 509);
    lib.inject(longAnswer);
    EXPECT_EQ(ch.receiveAvailable(1, 255), longAnswer.left(255));
    // What stayed behind is cleared before the next request goes out.
    EXPECT_EQ(ch.exchange(1, cmd::kDiagnosticsFrame, cmd::kDownloadProbe), cmd::kDiagnosticsFrame);
}

TEST_F(ChannelTest, UncappedReadTakesEverything) {
    const QByteArray resp = ch.exchange(1, cmd::readRequest(0, 125), cmd::kServiceRead);
    EXPECT_EQ(resp.size(), 509);
    EXPECT_TRUE(VerifyMessage(resp));
}

TEST_F(ChannelTest, NoLoggerGivesAnEmptyText) {
    lib.loggerPort = 2;
    EXPECT_TRUE(ch.exchange(1, cmd::kDiagnosticsFrame, cmd::kDownloadProbe).isEmpty());
    EXPECT_FALSE(ch.openPort(7));
}

TEST(LoggerModel, AnswersTheWorkedExampleByteForByte) {
    emu::LoggerModel m(emu::workedExampleImage());
    EXPECT_EQ(m.respond(cmd::kHeaderRequest), ":030401004400B4\r\n");
    QByteArray expected = ":0340FFFF000101F4019002000195" "0210FCFC01F0FCFC";
    for (int i = 0; i < 11; ++i) expected += "00000000";
    expected += "AD\r\n";
    EXPECT_EQ(m.respond(":0300020020DB\r\n"), expected);
    EXPECT_EQ(m.respond(cmd::kDiagnosticsFrame), cmd::kDiagnosticsFrame);
    EXPECT_EQ(m.respond(":06000100FFFA\r\n"), ":06000100FFFA\r\n");
    EXPECT_EQ(m.reg(1), 0x00FF);
    EXPECT_EQ(m.respond(cmd::kClearFrame), cmd::kClearFrame);
    EXPECT_EQ(m.memory()[0], '\0');
    EXPECT_TRUE(m.respond(":08F7\r\n").isEmpty()); // a corrupt request gets no answer
}

TEST(LoggerModel, Faults) {
    emu::LoggerModel m(emu::workedExampleImage());
    m.faults.badLrcBlock = 2;
    EXPECT_TRUE(VerifyMessage(m.respond(cmd::readRequest(2, 32))));
    EXPECT_FALSE(VerifyMessage(m.respond(cmd::readRequest(34, 32))));
    m.faults = {};
    m.faults.cutBlock = 3;
    EXPECT_EQ(m.respond(cmd::readRequest(66, 32)).size(), 135);
    m.faults.requiredBaud = 19200;
    EXPECT_TRUE(m.respond(cmd::kDiagnosticsFrame, 9600).isEmpty());
    EXPECT_FALSE(m.respond(cmd::kDiagnosticsFrame, 19200).isEmpty());
    m.faults.silent = true;
    EXPECT_TRUE(m.respond(cmd::kDiagnosticsFrame, 19200).isEmpty());
}

TEST(DemoImage, CommittedFilesMatchTheirGenerator) {
    EXPECT_EQ(readAllOf(dataFile("demo.img")), emu::demoImage());
    EXPECT_EQ(readAllOf(dataFile("exemplo.img")), emu::workedExampleImage());
    EXPECT_EQ(readAllOf(dataFile("semana.img")), emu::labWeekImage());
}

// What a balance says, line by line, in each protocol: a mass in grams or the reason there is
// none.
TEST(Balance, EachProtocolsAnswersReadAsGramsOrARefusal) {
    using lnk::balance::Protocol;
    using S = lnk::balance::Reading::State;
    struct Case { Protocol p; const char* line; S state; double grams; } cases[] = {
        {Protocol::MtSics, "S S      0.81234 g\r\n", S::Stable, 0.81234},
        {Protocol::MtSics, "S S    812.34 mg\r\n", S::Stable, 0.81234},
        {Protocol::MtSics, "S S      0.00081234 kg", S::Stable, 0.81234},
        {Protocol::MtSics, "S D      0.81100 g\r\n", S::Unstable, 0.811},
        {Protocol::MtSics, "S I\r\n", S::Busy, 0},
        {Protocol::MtSics, "S +\r\n", S::Overload, 0},
        {Protocol::MtSics, "S -\r\n", S::Underload, 0},
        {Protocol::MtSics, "ES\r\n", S::Error, 0},
        {Protocol::MtSics, "EL\r\n", S::Error, 0},
        {Protocol::MtSics, "S S      4.00000 PCS\r\n", S::NotGrams, 0},
        {Protocol::MtSics, "S S      0.8x234 g\r\n", S::Garbage, 0},
        {Protocol::MtSics, "\x01\x02\xff", S::Garbage, 0},
        {Protocol::MtSics, "", S::Garbage, 0},
        {Protocol::Sbi, "+   0.8123 g  \r\n", S::Stable, 0.8123},
        {Protocol::Sbi, "-   0.0012 g  \r\n", S::Stable, -0.0012},
        {Protocol::Sbi, "G     +   0.8123 g  \r\n", S::Stable, 0.8123}, // the 22-character form
        {Protocol::Sbi, "+   0.8120    \r\n", S::Unstable, 0.812},      // no unit: still moving
        {Protocol::Sbi, "+   812.30 mg \r\n", S::Stable, 0.8123},
        {Protocol::Sbi, "+        H    \r\n", S::Overload, 0},
        {Protocol::Sbi, "+        L    \r\n", S::Underload, 0},
        {Protocol::Sbi, "Stat     Cal.   \r\n", S::Error, 0},
        {Protocol::Sbi, "+ 0.8123 g\r\n", S::Garbage, 0},
        {Protocol::Ad, "ST,+000.8123  g\r\n", S::Stable, 0.8123},
        {Protocol::Ad, "US,+000.8110  g\r\n", S::Unstable, 0.811},
        {Protocol::Ad, "ST,+00812.30 mg\r\n", S::Stable, 0.8123},
        {Protocol::Ad, "OL,+9999999  g\r\n", S::Overload, 0},
        {Protocol::Ad, "OL,-9999999  g\r\n", S::Underload, 0},
        {Protocol::Ad, "ST,+000.8123 pc\r\n", S::NotGrams, 0},
        {Protocol::Ad, "XX,+000.8123  g\r\n", S::Garbage, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto r = lnk::balance::readLine(c.p, c.line);
        EXPECT_EQ(r.state, c.state) << r.reason.toStdString();
        EXPECT_EQ(r.stable(), c.state == S::Stable);
        EXPECT_EQ(r.raw, QString::fromLatin1(c.line).remove('\r').remove('\n'));
        if (c.state == S::Stable || c.state == S::Unstable) {
            EXPECT_NEAR(r.grams, c.grams, 1e-12);
        }
        EXPECT_EQ(r.reason.isEmpty(), c.state == S::Stable);
    }
    EXPECT_EQ(lnk::balance::readIdentity(Protocol::MtSics, "I4 A \"B123456789\"\r\n"), QString("B123456789"));
    EXPECT_FALSE(lnk::balance::readIdentity(Protocol::MtSics, "I4 I\r\n"));
    for (const char* name : {"mt-sics", "SBI", " ad "})
        EXPECT_EQ(lnk::balance::protocolName(*lnk::balance::protocolNamed(name)), QString(name).trimmed().toLower());
    EXPECT_FALSE(lnk::balance::protocolNamed("mettler"));
}

namespace {

// The balance model behind the port, its answers ready at once; time passes only in the
// waits of the clock.
class ModelPort : public lnk::balance::BalancePort {
public:
    ModelPort(emu::BalanceModel& model, RecordingClock& clock) : model_(model), clock_(clock) {}
    bool open(const QString&, const lnk::balance::LineSettings& line, QString*) override {
        baud_ = line.baud;
        return true;
    }
    void close() override {}
    bool write(const QByteArray& bytes) override {
        waiting_ += model_.respond(bytes, baud_);
        return true;
    }
    QByteArray read(int waitMs) override {
        if (waiting_.isEmpty())
            clock_.pause(waitMs);
        return std::exchange(waiting_, {});
    }
    void discardInput() override { waiting_.clear(); }

private:
    emu::BalanceModel& model_;
    RecordingClock& clock_;
    int baud_ = 0;
    QByteArray waiting_;
};

} // namespace

// A weighing in each protocol: the stable mass in grams once the balance settles, or the
// refusal with its reason, within the 10 s limit.
TEST(Balance, WeighingWaitsForTheStableMassOrRefusesWithItsReason) {
    using lnk::balance::Protocol;
    using S = lnk::balance::Reading::State;
    using F = emu::BalanceModel::Fault;
    struct Case {
        Protocol p;
        const char* unit;
        int unstable;
        F fault;
        const char* line; // the line the balance needs (empty: any)
        S state;
        const char* reason; // part of the refusal
    } cases[] = {
        {Protocol::MtSics, "g", 0, F::None, "", S::Stable, ""},
        {Protocol::MtSics, "mg", 3, F::None, "", S::Stable, ""},
        {Protocol::MtSics, "kg", 0, F::None, "", S::Stable, ""},
        {Protocol::MtSics, "g", 1000, F::None, "", S::Unstable, "não estabilizou em 10 s"},
        {Protocol::MtSics, "g", 0, F::Overload, "", S::Overload, "sobrecarga"},
        {Protocol::MtSics, "g", 0, F::Underload, "", S::Underload, "abaixo do mínimo"},
        {Protocol::MtSics, "PCS", 0, F::None, "", S::NotGrams, "\"PCS\""},
        {Protocol::MtSics, "g", 0, F::Silent, "", S::Garbage, "não respondeu em 2 s"},
        {Protocol::MtSics, "g", 0, F::Garbage, "", S::Garbage, "não é um peso"},
        {Protocol::Sbi, "g", 0, F::None, "9600 8O1", S::Stable, ""},
        {Protocol::Sbi, "g", 2, F::None, "9600 8O1", S::Stable, ""},
        {Protocol::Sbi, "mg", 0, F::None, "9600 8O1", S::Stable, ""},
        {Protocol::Sbi, "g", 0, F::Overload, "9600 8O1", S::Overload, "sobrecarga"},
        {Protocol::Sbi, "g", 0, F::None, "2400 8O1", S::Garbage, "caracteres inválidos"}, // another speed
        {Protocol::Ad, "g", 0, F::None, "", S::Stable, ""},
        {Protocol::Ad, "g", 4, F::None, "", S::Stable, ""},
        {Protocol::Ad, "g", 0, F::Underload, "", S::Underload, "abaixo do mínimo"},
        {Protocol::Ad, "g", 0, F::Silent, "", S::Garbage, "não respondeu"},
    };
    for (const bool sbiLong : {false, true})
        for (const Case& c : cases) {
            if (sbiLong && c.p != Protocol::Sbi)
                continue;
            SCOPED_TRACE(testing::Message() << lnk::balance::protocolName(c.p).toStdString() << " " << c.unit << " "
                                            << c.unstable << " fault " << int(c.fault) << " long " << sbiLong);
            emu::BalanceModel model(c.p);
            model.unit = QString::fromLatin1(c.unit);
            model.unstableFirst = c.unstable;
            model.sbiLong = sbiLong;
            model.place(0.81234);
            model.fault = c.fault;
            model.requiredBaud = 9600;
            RecordingClock clock;
            ModelPort port(model, clock);
            int seen = 0;
            const auto line = *lnk::balance::lineNamed(*c.line ? QString::fromLatin1(c.line) : lnk::balance::lineName(lnk::balance::defaultLine(c.p)), nullptr);
            const auto w = lnk::balance::weighOn(port, clock, QStringLiteral("/dev/balanca"), c.p, line,
                                                 [&](const lnk::balance::Reading&) { return ++seen > 0; });
            EXPECT_EQ(w.state, c.state) << w.refusal.toStdString();
            EXPECT_EQ(w.ok, c.state == S::Stable);
            EXPECT_TRUE(w.refusal.contains(QString::fromUtf8(c.reason))) << w.refusal.toStdString();
            EXPECT_LE(clock.total(), lnk::balance::Balance::kStableLimitMs + lnk::balance::Balance::kAnswerMs);
            if (!w.ok)
                continue;
            // Four decimals of a gram where the protocol writes four.
            EXPECT_NEAR(w.grams, 0.81234, c.p == Protocol::MtSics ? 1e-9 : 5e-5);
            EXPECT_EQ(seen, c.unstable + 1);
            EXPECT_EQ(lnk::balance::readLine(c.p, w.raw.toLatin1()).grams, w.grams);
            EXPECT_EQ(w.identity.serial, c.p == Protocol::MtSics ? QString("B123456789") : QString());
            EXPECT_TRUE(w.source().startsWith(c.p == Protocol::MtSics ? QString("balança Mettler Toledo XPR205 B123456789, ")
                        : c.p == Protocol::Sbi ? QString("balança Sartorius em /dev/balanca, ")
                                               : QString("balança A&D em /dev/balanca, ")))
                << w.source().toStdString();
        }
}

TEST(Balance, LineSettingsAreReadOrRefusedWithTheForm) {
    struct Case { const char* text; const char* name; } cases[] = {
        {"9600 8N1", "9600 8N1"}, {"9600,8o1", "9600 8O1"}, {" 2400 7E1 xon ", "2400 7E1 xon"},
        {"19200;8N2", "19200 8N2"}, {"9600", nullptr}, {"9601 8N1", nullptr}, {"9600 9N1", nullptr},
        {"9600 8X1", nullptr}, {"", nullptr},
    };
    for (const Case& c : cases) {
        QString why;
        const auto l = lnk::balance::lineNamed(QString::fromLatin1(c.text), &why);
        EXPECT_EQ(l.has_value(), c.name != nullptr) << c.text;
        if (l)
            EXPECT_EQ(lnk::balance::lineName(*l), QString::fromLatin1(c.name));
        else
            EXPECT_TRUE(why.contains("9600 8N1")) << why.toStdString();
    }
}
