// The session's operations headless, with the fake serial library and real files.
#include "session/session.h"
#include "tests/support.h"
#include "tools/emulator/demoimage.h"
#include "tools/emulator/fakeseriallibrary.h"
#include "tools/emulator/loggermodel.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using ses::Outcome;

namespace {


struct Rig {
    QTemporaryDir dir;
    emu::LoggerModel model{emu::demoImage()};
    emu::FakeSerialLibrary lib{&model};
    RecordingClock clock;
    lnk::PortMap ports;
    ses::Session s{lib, clock, &ports, dir.path()};
    ProgressListener listener;
    explicit Rig(const QList<std::pair<QString, QString>>& config = builtInConfigRows()) {
        writeConfig(dir.path(), config);
    }
};

} // namespace

TEST(Session, StartUpReadsTheKeysAndOpensThePort) {
    auto rows = builtInConfigRows();
    rows << std::pair<QString, QString>{"com3", "/dev/ttyUSB7"};
    Rig r(rows);
    const ses::StartupReport rep = r.s.startUp();
    EXPECT_TRUE(rep.failures.isEmpty());
    EXPECT_TRUE(rep.portOpened);
    EXPECT_EQ(r.s.config().port, 1);
    EXPECT_EQ(r.ports.device(2), "/dev/ttyUSB7");
    EXPECT_EQ(r.lib.baudOf(1), 19200);

    struct Case { QList<std::pair<QString, QString>> rows; QStringList failures; } cases[] = {
        {{{"ComPort", "x"}, {"IntAq", "25"}, {"Coef1", "1"}, {"Coef2", "1"}, {"Desl1", "0"}, {"Desl2", "0"}, {"Debug", "0"}},
         {ses::msg::ConfigInvalid}},
        {{{"ComPort", "1"}}, QStringList(6, ses::msg::ConfigInvalid)},
    };
    for (const auto& c : cases) {
        Rig bad(c.rows);
        EXPECT_EQ(bad.s.startUp().failures, c.failures);
    }
    Rig missing;
    QFile::remove(missing.dir.filePath("config.xml"));
    EXPECT_EQ(missing.s.startUp().failures.value(0), ses::msg::ConfigMissing);
}

TEST(Session, DownloadOutcomesAndTheirTexts) {
    struct Case { const char* name; emu::Faults faults; QByteArray image; Outcome::Status status; QString text;
                  Outcome::Severity severity; bool recreated; } cases[] = {
        {"done", {}, emu::demoImage(), Outcome::Status::Ok, {}, Outcome::Severity::None, true},
        {"silent", {.silent = true}, emu::demoImage(), Outcome::Status::Communication, ses::msg::CommunicationError,
         Outcome::Severity::Error, false},
        {"empty", {}, emu::buildImage({}, 0, 0), Outcome::Status::Empty, ses::msg::MemoryEmpty,
         Outcome::Severity::Information, true},
        {"no room", {}, emu::buildImage({}, 1, 2), Outcome::Status::Contents, ses::msg::InvalidContents,
         Outcome::Severity::Error, false},
    };
    for (const auto& c : cases) {
        Rig r;
        r.s.startUp();
        r.model.setMemory(c.image);
        r.model.faults = c.faults;
        const Outcome o = r.s.download(r.listener);
        EXPECT_EQ(o.status, c.status) << c.name;
        EXPECT_EQ(o.text, c.text) << c.name;
        EXPECT_EQ(o.severity, c.severity) << c.name;
        EXPECT_EQ(r.s.tableRecreated(), c.recreated) << c.name;
    }
}

// A download that ends on the line says which request failed and why, under the message.
TEST(Session, ALineFailureNamesItsRequestAndCause) {
    emu::Faults cut{.cutLength = 20, .lastingCutBlock = 1};
    struct Case { const char* name; emu::Faults faults; QString detail; } cases[] = {
        {"done", {}, {}},
        {"silent", {.silent = true},
         "Pedido de diagnóstico: o registrador não respondeu (3 tentativas).\n" + ses::msg::PortReopened},
        {"block 2 always bad", {.lastingBadLrcBlock = 2},
         "Leitura da memória a partir do registro 34: a resposta de 137 caracteres veio com formato, tamanho "
         "ou valor de verificação errado (3 tentativas)."},
        {"block 1 always cut", cut,
         "Leitura da memória a partir do registro 2: a resposta chegou interrompida, com 20 caracteres "
         "(3 tentativas)."},
    };
    for (const auto& c : cases) {
        Rig r;
        r.s.startUp();
        r.model.setMemory(emu::demoImage());
        r.model.faults = c.faults;
        const Outcome o = r.s.download(r.listener);
        EXPECT_EQ(o.detail, c.detail) << c.name;
        EXPECT_EQ(o.text, c.detail.isEmpty() ? QString() : ses::msg::CommunicationError) << c.name;
    }
}

// A logger unplugged and plugged back: the handle held since is dead, so a download that finds
// no logger opens the port again, and the one after it is read whole without any dialog.
TEST(Session, ALoggerPluggedBackIsReadAgain) {
    Rig r;
    r.s.startUp();
    ASSERT_TRUE(r.s.download(r.listener).ok());
    r.lib.unplug();
    Outcome o = r.s.download(r.listener);
    EXPECT_EQ(o.text, ses::msg::CommunicationError);
    EXPECT_TRUE(o.detail.endsWith("não pôde ser reaberta: o cabo ou o adaptador USB pode estar desconectado. Conecte-o e "
                                  "tente de novo."))
        << o.detail.toStdString();
    EXPECT_TRUE(o.detail.contains("COM2")) << o.detail.toStdString();
    r.lib.plugBack();
    o = r.s.download(r.listener);
    EXPECT_TRUE(o.ok()) << o.detail.toStdString();
    EXPECT_EQ(r.s.data().tests().size(), 3);

    // The same for clearing the memory.
    r.lib.unplug();
    o = r.s.clearMemory();
    EXPECT_EQ(o.text, ses::msg::ClearFailed);
    EXPECT_TRUE(o.detail.contains("COM2") && o.detail.contains("não pôde ser reaberta")) << o.detail.toStdString();
    r.lib.plugBack();
    o = r.s.clearMemory();
    EXPECT_TRUE(o.ok()) << o.detail.toStdString();
}

TEST(Session, SaveOpenAndTheSavedFlag) {
    Rig r;
    r.s.startUp();
    ASSERT_TRUE(r.s.download(r.listener).ok());
    EXPECT_FALSE(r.s.saved());
    const QString path = r.dir.filePath("d.dat");
    Outcome o = r.s.save(r.dir.filePath("none/d.dat"));
    EXPECT_EQ(o.status, Outcome::Status::File);
    EXPECT_TRUE(o.text.contains("a pasta não existe"));
    EXPECT_FALSE(r.s.saved());
    ASSERT_TRUE(r.s.save(path).ok());
    EXPECT_TRUE(r.s.saved());
    EXPECT_EQ(r.s.dataFile(), path);

    Rig other;
    other.s.data().setSaved(false);
    o = other.s.open(r.dir.filePath("config.xml")); // a table, but no data file
    EXPECT_EQ(o.status, Outcome::Status::File);
    EXPECT_TRUE(o.text.startsWith("O arquivo")) << o.text.toStdString();
    EXPECT_FALSE(other.s.saved());
    ASSERT_TRUE(other.s.open(path).ok());
    EXPECT_TRUE(other.s.saved());
    EXPECT_EQ(other.s.data().testNumbers(), (QList<qint64>{1, 2, 3}));
}

TEST(Session, SwitchingThePortWritesConfigAndSaysWhatFailed) {
    Rig r;
    r.s.startUp();
    EXPECT_TRUE(r.s.switchPort(2).isEmpty());
    EXPECT_EQ(r.s.configValue("ComPort"), "2");
    EXPECT_EQ(r.s.config().port, 2);
    EXPECT_EQ(r.lib.baudOf(2), 19200);
    r.lib.openablePorts = {0, 1, 2};
    const QList<Outcome> notes = r.s.switchPort(3);
    ASSERT_EQ(notes.size(), 1);
    EXPECT_EQ(notes[0].text, ses::msg::PortFailed);
    EXPECT_EQ(notes[0].severity, Outcome::Severity::Warning);
    EXPECT_EQ(r.s.configValue("comport"), "3");
    // A new row is added, the others are kept.
    ASSERT_TRUE(r.s.setConfigValue("EquivalenteEnergetico", "10150.5", false).ok());
    EXPECT_EQ(r.s.configValue("EquivalenteEnergetico"), "10150.5");
    EXPECT_EQ(r.s.configValue("IntAq"), "25");
    EXPECT_EQ(r.s.setConfigValue("Nada", "1", true).text, ses::msg::ConfigNotSaved);
    QFile::remove(r.dir.filePath("config.xml"));
    const QList<Outcome> gone = r.s.switchPort(1);
    ASSERT_EQ(gone.size(), 1);
    EXPECT_EQ(gone[0].text, ses::msg::ConfigNotSaved);
}

// config.xml's later rows, one parser for all: a decimal comma or point, a bad value named with
// its row and the default used, an unreadable file said so (never taken for the defaults).
TEST(Settings, EachRowReadOnceWithItsDefaultAndItsWarning) {
    struct Case {
        QList<std::pair<QString, QString>> rows;
        std::optional<double> w;
        double r, tolerance;
        QStringList warned; // rows named by the warnings
    } cases[] = {
        {{}, std::nullopt, 120, 0.2, {}},
        {{{"EquivalenteEnergetico", "10100,5"}, {"Repetibilidade", "150.5"}, {"ToleranciaPadrao", " 0,3 "}},
         10100.5, 150.5, 0.3, {}},
        {{{"EquivalenteEnergetico", "10.100,5"}, {"Repetibilidade", "-1"}, {"ToleranciaPadrao", "100"}},
         std::nullopt, 120, 0.2, {"EquivalenteEnergetico", "Repetibilidade", "ToleranciaPadrao"}},
        {{{"Repetibilidade", "abc"}, {"Resultados", " /dados/r.sqlite "}, {"PapelRevisor", "revisores"}},
         std::nullopt, 120, 0.2, {"Repetibilidade"}},
        // Numbers no calorimeter has: a W of 1e-320 J/K would give a result of 2.5e-320 J/g.
        {{{"EquivalenteEnergetico", "1e-320"}, {"Repetibilidade", "inf"}, {"ToleranciaPadrao", "20"}},
         std::nullopt, 120, 0.2, {"EquivalenteEnergetico", "Repetibilidade", "ToleranciaPadrao"}},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        writeConfig(dir.path(), builtInConfigRows() + c.rows);
        const ses::Settings s = ses::readSettings(dir.filePath("config.xml"));
        EXPECT_EQ(s.energyEquivalent, c.w);
        EXPECT_EQ(s.repeatability, c.r);
        EXPECT_EQ(s.checkTolerance, c.tolerance);
        ASSERT_EQ(s.warnings.size(), c.warned.size()) << s.warnings.join('\n').toStdString();
        for (int i = 0; i < c.warned.size(); ++i)
            EXPECT_TRUE(s.warnings[i].startsWith("config.xml, linha " + c.warned[i] + ":")) << s.warnings[i].toStdString();
        EXPECT_TRUE(s.problem.isEmpty());
    }
    QTemporaryDir dir;
    writeConfig(dir.path(), {{"Resultados", "/dados/r.sqlite"}, {"PapelRevisor", "revisores"}});
    const ses::Settings named = ses::readSettings(dir.filePath("config.xml"));
    EXPECT_EQ(named.results, "/dados/r.sqlite");
    EXPECT_EQ(named.reviewerRole, "revisores");
    EXPECT_TRUE(ses::readSettings(dir.filePath("absent.xml")).problem.isEmpty());
    QFile f(dir.filePath("config.xml"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("<DATAPACKET><ROWDATA><ROW Key=\"Resultados\"");
    f.close();
    EXPECT_TRUE(ses::readSettings(dir.filePath("config.xml")).problem.startsWith("Arquivo de configuração inválido!"));
}
