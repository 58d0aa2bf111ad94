// Start-up configuration: value syntax, "config.xml" and the creation step of the main window.
#include "acquisition/configtable.h"
#include "app/tform1.h"
#include "tests/support.h"
#include "tools/emulator/fakeseriallibrary.h"

#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace acq;

TEST(ConfigValues, ComPort) {
    struct Case { const char* text; std::optional<qint32> v; } cases[] = {
        {"1", 1}, {" 2", 2}, {"\t3", 3}, {"+2", 2}, {"-2", -2}, {"007", 7},
        {"$3", 3}, {"0x3", 3}, {"0X3", 3}, {"x3", 3}, {"X1f", 31}, {"$7FFFFFFF", 0x7FFFFFFF},
        {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
        {"2 ", std::nullopt}, {"2.0", std::nullopt}, {"", std::nullopt}, {" ", std::nullopt},
        {"-$3", std::nullopt}, {"$", std::nullopt}, {"0x", std::nullopt}, {"2147483648", std::nullopt},
        {"$100000000", std::nullopt}, {"$80000000", std::nullopt}, {"1a", std::nullopt}, {"+", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseComPort(QString::fromUtf8(c.text)), c.v) << c.text;
}

TEST(ConfigValues, IntAq) {
    struct Case { const char* text; std::optional<qint64> v; } cases[] = {
        {"25", 25}, {"  -25", -25}, {"$19", 25}, {"0x19", 25}, {"-$19", -25},
        {"9223372036854775807", INT64_MAX}, {"9223372036854775808", std::nullopt},
        {"x19", std::nullopt}, {"25 ", std::nullopt}, {"", std::nullopt}, {"2,5", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseIntAq(QString::fromUtf8(c.text)), c.v) << c.text;
}

TEST(ConfigValues, Single) {
    struct Case { const char* text; std::optional<float> v; } cases[] = {
        {"1", 1.f}, {"1.5", 1.5f}, {"-0.25", -0.25f}, {"1e3", 1000.f}, {" +2.5E-1", 0.25f},
        {"0", 0.f}, {".5", 0.5f}, {"1.", 1.f},
        {"1,5", std::nullopt}, {"1e", std::nullopt}, {"1.5 ", std::nullopt}, {"", std::nullopt},
        {".", std::nullopt}, {"e5", std::nullopt}, {"1e99", std::nullopt}, {"0x1", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseSingle(QString::fromUtf8(c.text)), c.v) << c.text;
}

namespace {

struct Startup {
    QTemporaryDir dir;
    ScriptedMessages messages;
    ScriptedFiles files;
    RecordingViewer viewer;
    RecordingClock clock;
    emu::FakeSerialLibrary serial;
    lnk::PortMap ports;
    ScriptedDialogs dialogs;
    ExportScript exportScript;
    ScriptedExportUi::Factory exportWindows{&exportScript};
    std::unique_ptr<TForm1> form;

    void start() {
        form = std::make_unique<TForm1>(
            Services{serial, clock, messages, files, viewer, dialogs, ports, dir.path(), exportWindows});
    }
    void startWith(QList<std::pair<QString, QString>> rows) {
        writeConfig(dir.path(), rows);
        start();
    }
};

QList<std::pair<QString, QString>> withValue(const QString& key, const QString& value) {
    auto rows = builtInConfigRows();
    for (auto& r : rows)
        if (r.first == key)
            r.second = value;
    return rows;
}

QList<std::pair<QString, QString>> without(const QString& key) {
    auto rows = builtInConfigRows();
    rows.removeIf([&](const auto& r) { return r.first == key; });
    return rows;
}

} // namespace

TEST(StartUp, BuiltInContentStartsOnCom2AtStartupSpeedWithServiceHidden) {
    Startup s;
    s.startWith(builtInConfigRows());
    EXPECT_FALSE(s.form->terminationRequested());
    EXPECT_TRUE(s.messages.shown.isEmpty());
    EXPECT_EQ(s.form->channel().port(), 1);
    EXPECT_EQ(s.serial.calls.mid(0, 2), (QStringList{"reset(1,1024,1024)", "baud(1,19200)"}));
    EXPECT_FALSE(s.form->Service1->isVisible());
    EXPECT_FALSE(s.form->Dados1->menuAction()->isVisible());
    EXPECT_FALSE(s.form->Parar1->isEnabled());
    EXPECT_FALSE(s.form->N2->isVisible());
    EXPECT_EQ(s.form->windowTitle(), "Bomba Calorimétrica - Registrador de Dados");
}

TEST(StartUp, KeysMatchInAnyCaseAndDeviceRowsNameThePorts) {
    Startup s;
    auto rows = without("ComPort");
    rows.prepend({"comport", "0"});
    rows.append(std::pair<QString, QString>{"com1", "/dev/pts/77"});
    s.startWith(rows);
    EXPECT_FALSE(s.form->terminationRequested());
    EXPECT_EQ(s.form->channel().port(), 0);
    EXPECT_EQ(s.ports.device(0), "/dev/pts/77");
    EXPECT_EQ(s.ports.device(1), lnk::PortMap::defaultDevice(1));
}

TEST(StartUp, DebugShowsServiceOnlyForExactlyOne) {
    struct Case { const char* value; bool shown; } cases[] = {
        {"1", true}, {"0", false}, {"true", false}, {"01", false}, {" 1", false}, {"", false}};
    for (const auto& c : cases) {
        Startup s;
        s.startWith(withValue("Debug", c.value));
        EXPECT_EQ(s.form->Service1->isVisible(), c.shown) << c.value;
        EXPECT_TRUE(s.messages.shown.isEmpty()) << c.value;
        EXPECT_FALSE(s.form->Dados1->menuAction()->isVisible());
    }
}

TEST(StartUp, InvalidValuesEndStartUp) {
    const QList<std::pair<QString, QString>> bad = {
        {"ComPort", "2 "}, {"ComPort", "2.0"}, {"ComPort", ""}, {"IntAq", "x19"},
        {"Coef1", "1,5"}, {"Coef2", "abc"}, {"Desl1", "1e"}, {"Desl2", " "}};
    for (const auto& [key, value] : bad) {
        Startup s;
        s.startWith(withValue(key, value));
        EXPECT_TRUE(s.form->terminationRequested()) << key.toStdString();
        ASSERT_EQ(s.messages.shown.size(), 1) << key.toStdString();
        EXPECT_EQ(s.messages.shown[0].text, kMsgConfigInvalid);
        EXPECT_EQ(s.messages.shown[0].kind, MsgKind::Error);
    }
    for (const char* key : {"ComPort", "IntAq", "Coef1", "Debug"}) {
        Startup s;
        s.startWith(without(key));
        EXPECT_TRUE(s.form->terminationRequested()) << key;
        EXPECT_EQ(s.messages.texts(), QStringList{kMsgConfigInvalid}) << key;
    }
}

TEST(StartUp, AfterTheFirstFailureLaterBoxesCloseByThemselves) {
    Startup s;
    auto rows = withValue("ComPort", "x");
    rows[1].second = "?";
    s.serial.openablePorts = {};
    s.startWith(rows);
    EXPECT_TRUE(s.form->terminationRequested());
    ASSERT_EQ(s.messages.shown.size(), 3);
    EXPECT_FALSE(s.messages.shown[0].autoClosed);
    EXPECT_TRUE(s.messages.shown[1].autoClosed);
    EXPECT_EQ(s.messages.shown[2].text, kMsgPortFailed); // the port is still opened
    EXPECT_TRUE(s.messages.shown[2].autoClosed);
}

TEST(StartUp, MissingFileUsesBuiltInRowsWithOneMessage) {
    Startup s;
    s.start();
    EXPECT_TRUE(s.form->terminationRequested());
    EXPECT_EQ(s.messages.texts(), QStringList{kMsgConfigMissing});
    EXPECT_EQ(s.form->channel().port(), 1);
}

TEST(StartUp, AFileThatIsNoTableEndsStartUpWithoutACrash) {
    const QList<QByteArray> contents = {"garbage", "<?xml version=\"1.0\"?><DATAPACKET><METADATA>",
                                        "<OTHER/>", ""};
    for (const QByteArray& c : contents) {
        Startup s;
        QFile f(s.dir.filePath("config.xml"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c);
        f.close();
        s.start();
        EXPECT_TRUE(s.form->terminationRequested());
        ASSERT_FALSE(s.messages.shown.isEmpty());
        EXPECT_EQ(s.messages.shown[0].text, kMsgConfigInvalid);
    }
}

TEST(StartUp, PortThatDoesNotOpenWarnsAndRunsOn) {
    Startup s;
    s.serial.openablePorts = {0, 1, 2, 3};
    s.startWith(withValue("ComPort", "7"));
    EXPECT_FALSE(s.form->terminationRequested());
    ASSERT_EQ(s.messages.shown.size(), 1);
    EXPECT_EQ(s.messages.shown[0].text, kMsgPortFailed);
    EXPECT_EQ(s.messages.shown[0].kind, MsgKind::Warning);
    EXPECT_EQ(s.serial.calls.mid(0, 2), (QStringList{"reset(7,1024,1024)", "baud(7,19200)"}));
}
