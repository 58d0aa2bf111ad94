// Data files, the communication dialog, the service dialog and the about box, through the
// real main window offscreen.
#include "acquisition/datapacket.h"
#include "app/about.h"
#include "app/config.h"
#include "app/service.h"
#include "app/tablemodel.h"
#include "app/tform1.h"
#include "link/commands.h"
#include "link/qtseriallibrary.h"
#include "tests/support.h"
#include "tools/emulator/demoimage.h"
#include "tools/emulator/fakeseriallibrary.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>
#include <QRadioButton>
#include <QTableView>
#include <gtest/gtest.h>

namespace {

QList<acq::Table::Row> rowsOf(TForm1& f) { return f.ClientDataSet1().allRows(); }

// Rows equal field by field; numbers to the 16 significant digits that the file keeps.
void expectSameRows(const QList<acq::Table::Row>& a, const QList<acq::Table::Row>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (int r = 0; r < a.size(); ++r) {
        ASSERT_EQ(a[r].size(), b[r].size());
        for (int c = 0; c < a[r].size(); ++c)
            EXPECT_NEAR(a[r][c].toDouble(), b[r][c].toDouble(), 1e-13 * std::max(1.0, std::abs(a[r][c].toDouble())))
                << "row " << r << " field " << c;
    }
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(DataFiles, SaveWithOneTestSelectedThenReopenEverything) {
    MainWindowRig w;
    w.model->setMemory(emu::demoImage());
    w.form->btnLerDadosClick();
    w.form->ComboBox1->setCurrentIndex(1);
    w.form->ComboBox1Change();
    const auto before = rowsOf(*w.form);
    const QString path = w.dir.filePath("ensaios.dat");
    w.files.paths = {path};
    w.form->Salvar1Click();
    EXPECT_EQ(w.files.asked[0].title, "Salvar dados");
    EXPECT_EQ(w.files.asked[0].filter, "Arquivos de dados (*.dat)|*.dat|Todos os arquivos (*.*)|*.*");
    EXPECT_EQ(w.files.asked[0].defaultSuffix, "dat");
    EXPECT_TRUE(w.files.asked[0].confirmOverwrite);
    EXPECT_TRUE(w.form->ClientDataSet1().saved()); // the table now equals the file

    // A new run of the program opens it.
    w.start();
    w.files.paths = {path};
    w.form->Abrir1Click();
    EXPECT_EQ(w.files.asked.last().title, "Abrir dados");
    EXPECT_TRUE(w.files.asked.last().mustExist);
    EXPECT_EQ(w.tests(), (QStringList{"Ensaio 1", "Ensaio 2", "Ensaio 3"}));
    EXPECT_EQ(w.form->ComboBox1->currentIndex(), 0);
    expectSameRows(rowsOf(*w.form), before);
    EXPECT_EQ(w.form->ClientDataSet1().autoIncValue(), 3 * 168 + 1);
    EXPECT_EQ(w.form->gridModel()->rowCount(), 168);
    EXPECT_FALSE(w.form->LabelTMax->text().isEmpty());
    EXPECT_TRUE(w.messages.shown.isEmpty());
    EXPECT_TRUE(w.form->ClientDataSet1().saved());
}

TEST(DataFiles, FailedSaveOrOpenLeavesTheSavedFlag) {
    MainWindowRig w;
    w.form->btnLerDadosClick();
    ASSERT_FALSE(w.form->ClientDataSet1().saved());
    w.files.paths = {w.dir.filePath("no/such/folder/a.dat")};
    w.form->Salvar1Click();
    EXPECT_FALSE(w.form->ClientDataSet1().saved());
    EXPECT_TRUE(w.messages.texts().value(0).contains("a pasta não existe")) << w.messages.texts().value(0).toStdString();
    QFile bad(w.dir.filePath("bad.dat"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("<DATAPACKET");
    bad.close();
    w.files.paths = {bad.fileName()};
    w.messages.answers = {MsgAnswer::Yes};
    w.form->Abrir1Click();
    EXPECT_FALSE(w.form->ClientDataSet1().saved());
    EXPECT_EQ(w.form->gridModel()->rowCount(), 2); // what was there stays
}

TEST(DataFiles, TestZeroAndOutOfOrderNumbersAllGetEntries) {
    MainWindowRig w;
    auto& t = w.form->ClientDataSet1();
    for (int n : {2, 0, 5, 0}) {
        t.append();
        t.setValue(acq::field::Ensaio, n);
        t.setValue(acq::field::SubReg, 1);
        t.post();
    }
    const QString path = w.dir.filePath("z.dat");
    w.files.paths = {path};
    w.form->Salvar1Click();
    w.files.paths = {path};
    w.form->Abrir1Click();
    EXPECT_EQ(w.tests(), (QStringList{"Ensaio 0", "Ensaio 2", "Ensaio 5"}));
    EXPECT_EQ(w.form->gridModel()->rowCount(), 2); // test 0 shown first
}

TEST(DataFiles, HandWrittenFileWithAChangeLogOpensWithItsCurrentRows) {
    MainWindowRig w;
    const QString path = w.dir.filePath("old.dat");
    writeFile(path,
              "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
              "<FIELD attrname=\"Reg\" fieldtype=\"i4\" readonly=\"true\" SUBTYPE=\"Autoinc\"/>"
              "<FIELD attrname=\"Ensaio\" fieldtype=\"i4\"/><FIELD attrname=\"SubReg\" fieldtype=\"i4\"/>"
              "<FIELD attrname=\"Tempo\" fieldtype=\"r8\"/><FIELD attrname=\"Tint\" fieldtype=\"r8\"/>"
              "<FIELD attrname=\"Text\" fieldtype=\"r8\"/><FIELD attrname=\"TMax\" fieldtype=\"r8\"/>"
              "<FIELD attrname=\"TMin\" fieldtype=\"r8\"/></FIELDS><PARAMS CHANGE_LOG=\"1 0 4 2 1 8\" "
              "AUTOINCVALUE=\"3\"/></METADATA><ROWDATA>"
              "<ROW RowState=\"1\" Reg=\"1\" Ensaio=\"1\" SubReg=\"1\" Tempo=\"0\" Tint=\"22\" Text=\"21\" TMax=\"25\" TMin=\"20.5\"/>"
              "<ROW RowState=\"8\" Tint=\"22.5\"/>"
              "<ROW RowState=\"4\" Reg=\"2\" Ensaio=\"1\" SubReg=\"2\" Tempo=\"0.0833333333333333\" Tint=\"23\" Text=\"21\" TMax=\"0\" TMin=\"0\"/>"
              "<ROW RowState=\"2\" Reg=\"3\" Ensaio=\"1\" SubReg=\"3\" Tempo=\"0.1666\" Tint=\"24\" Text=\"21\" TMax=\"0\" TMin=\"0\"/>"
              "</ROWDATA></DATAPACKET>");
    w.files.paths = {path};
    w.form->Abrir1Click();
    EXPECT_EQ(w.tests(), QStringList{"Ensaio 1"});
    ASSERT_EQ(w.form->gridModel()->rowCount(), 2);
    EXPECT_EQ(w.gridRow(0), (QStringList{"1", "0.00", "22.500", "21.000"}));
    EXPECT_EQ(w.form->LabelTMin->text(), "20.500 °C");
}

TEST(DataFiles, BadFilesChangeNothing) {
    MainWindowRig w;
    w.form->btnLerDadosClick();
    w.form->ClientDataSet1().setSaved(true);
    const auto before = rowsOf(*w.form);
    QByteArray good = acq::writeDatapacket(w.form->ClientDataSet1());
    const QList<QByteArray> bad = {"garbage", good.left(good.size() - 20), "",
                                   QByteArray(good).replace("attrname=\"Tint\" fieldtype=\"r8\"",
                                                            "attrname=\"Tint\" fieldtype=\"string\""),
                                   QByteArray(good).replace("attrname=\"TMin\"", "attrname=\"Outro\"")};
    for (const QByteArray& b : bad) {
        const QString path = w.dir.filePath("bad.dat");
        writeFile(path, b);
        w.messages.shown.clear();
        w.files.paths = {path};
        w.form->Abrir1Click();
        ASSERT_EQ(w.messages.shown.size(), 1);
        EXPECT_EQ(w.messages.shown[0].kind, MsgKind::Error);
        EXPECT_TRUE(w.messages.shown[0].text.contains("bad.dat"));
        EXPECT_EQ(rowsOf(*w.form), before);
        EXPECT_EQ(w.tests(), QStringList{"Ensaio 1"});
        EXPECT_EQ(w.form->gridModel()->rowCount(), 2);
        EXPECT_TRUE(w.form->DBGrid1->isVisibleTo(w.form.get()));
    }
}

TEST(DataFiles, OpeningOverUnsavedDataAsks) {
    MainWindowRig w;
    w.form->btnLerDadosClick();
    const QString path = w.dir.filePath("a.dat");
    w.files.paths = {path};
    w.form->Salvar1Click();
    // A row deleted in the grid makes the table differ from the file again.
    w.form->show();
    w.form->DBGrid1->setCurrentIndex(w.form->gridModel()->index(0, 0));
    w.messages.answers = {MsgAnswer::Ok};
    QTest::keyClick(w.form->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
    w.messages.shown.clear();
    w.files.paths = {path};
    w.messages.answers = {MsgAnswer::Cancel};
    w.form->Abrir1Click();
    EXPECT_EQ(w.messages.texts(), QStringList{kMsgUnsavedReplace});
    EXPECT_EQ(w.form->ClientDataSet1().allRows().size(), 1);
    w.messages.answers = {MsgAnswer::Yes};
    w.files.paths = {path};
    w.form->Abrir1Click();
    EXPECT_EQ(w.form->ClientDataSet1().allRows().size(), 2);
}

TEST(DataFiles, FailedSaveShowsTheErrorAndKeepsTheOldFile) {
    MainWindowRig w;
    w.form->btnLerDadosClick();
    w.files.paths = {w.dir.filePath("nope/a.dat")};
    w.form->Salvar1Click();
    ASSERT_EQ(w.messages.shown.size(), 1);
    EXPECT_TRUE(w.messages.shown[0].text.contains("nope"));
}

TEST(CommunicationDialog, ChoosingAPortWritesConfigAndKeepsOtherRows) {
    MainWindowRig w;
    auto rows = builtInConfigRows();
    rows.prepend(std::pair<QString, QString>{"Nota", "livre"});
    rows.append(std::pair<QString, QString>{"COM2", "/dev/pts/9"});
    rows[1].first = "comport"; // any case
    writeConfig(w.dir.path(), rows);
    w.start();
    EXPECT_EQ(w.form->FormComunicacao->selected(), -1);
    w.serial->calls.clear();
    w.onDialog = [&](QDialog&) {
        EXPECT_EQ(w.form->FormComunicacao->selected(), 1); // preselected
        w.form->FormComunicacao->items[2]->setChecked(true);
        return int(QDialog::Accepted);
    };
    w.form->Comunicao1Click();
    EXPECT_EQ(w.serial->calls, (QStringList{"done(1)", "reset(2,1024,1024)", "baud(2,19200)"}));
    EXPECT_EQ(w.form->channel().port(), 2);
    QString err;
    const auto p = acq::loadDatapacket(w.dir.filePath("config.xml"), &err);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->rows.size(), rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(p->rows[i][0].toString(), rows[i].first);
        EXPECT_EQ(p->rows[i][1].toString(), i == 1 ? "2" : rows[i].second);
    }
    // The next start-up reads it back.
    w.start();
    EXPECT_FALSE(w.form->terminationRequested());
    EXPECT_EQ(w.form->channel().port(), 2);
}

TEST(CommunicationDialog, CancelAndOutOfRangeIndices) {
    MainWindowRig w;
    const QByteArray before = readAllOf(w.dir.filePath("config.xml"));
    w.serial->calls.clear();
    w.onDialog = [](QDialog&) { return int(QDialog::Rejected); };
    w.form->Comunicao1Click();
    EXPECT_TRUE(w.serial->calls.isEmpty());
    EXPECT_EQ(readAllOf(w.dir.filePath("config.xml")), before);

    struct Case { const char* stored; int preselected; int written; } cases[] = {{"7", 3, 3}, {"-2", -1, -1}};
    for (const auto& c : cases) {
        auto rows = builtInConfigRows();
        rows[0].second = c.stored;
        writeConfig(w.dir.path(), rows);
        w.start();
        w.onDialog = [&](QDialog&) {
            EXPECT_EQ(w.form->FormComunicacao->selected(), c.preselected);
            return int(QDialog::Accepted);
        };
        w.messages.shown.clear();
        w.form->Comunicao1Click();
        EXPECT_EQ(w.form->channel().port(), c.written);
        const auto p = acq::loadDatapacket(w.dir.filePath("config.xml"), nullptr);
        ASSERT_TRUE(p);
        EXPECT_EQ(p->rows[0][1].toString(), QString::number(c.written));
    }
    EXPECT_EQ(w.messages.texts(), QStringList{kMsgPortFailed}); // -1 does not open
}

TEST(CommunicationDialog, ConfigGoneOrWithoutComPort) {
    MainWindowRig w;
    QFile::remove(w.dir.filePath("config.xml"));
    w.form->Comunicao1Click();
    EXPECT_EQ(w.messages.texts(), QStringList{kMsgConfigNotSaved});
    EXPECT_EQ(w.form->channel().port(), 1); // in force for this run
    auto rows = builtInConfigRows();
    rows.removeFirst();
    writeConfig(w.dir.path(), rows);
    const QByteArray before = readAllOf(w.dir.filePath("config.xml"));
    w.messages.shown.clear();
    w.form->Comunicao1Click();
    EXPECT_EQ(w.messages.texts(), QStringList{kMsgConfigNotSaved});
    EXPECT_EQ(readAllOf(w.dir.filePath("config.xml")), before);
}

TEST(ServiceDialog, WorkedRequestsAndTheNoLoggerCase) {
    MainWindowRig w;
    TFormService& s = *w.form->FormService;
    s.SpinEdit1->setValue(0);
    s.SpinEdit2->setValue(2);
    s.Button2Click();
    EXPECT_EQ(s.Edit3->text(), ":0300000002FB\r\n");
    EXPECT_EQ(s.Edit4->text(), ":030401004400B4\r\n");
    s.SpinEdit1->setValue(16);
    s.SpinEdit2->setValue(32);
    s.Button2Click();
    EXPECT_EQ(s.Edit3->text(), ":0300100020CD\r\n");
    s.SpinEdit3->setValue(1);
    s.SpinEdit4->setValue(255);
    s.Button3Click();
    EXPECT_EQ(s.Edit7->text(), ":06000100FFFA\r\n");
    EXPECT_EQ(s.Edit8->text(), ":06000100FFFA\r\n");
    EXPECT_TRUE(w.messages.shown.isEmpty());
    s.SpinEdit2->setValue(500);
    EXPECT_EQ(s.SpinEdit2->value(), 125);
    s.SpinEdit4->setValue(0);
    EXPECT_EQ(s.SpinEdit4->value(), 1);
    s.Button2Click();
    EXPECT_EQ(s.Edit4->text().size(), 509);
    s.Button1Click();
    EXPECT_EQ(w.messages.texts(), QStringList{":08F8\r\nOK"});
    EXPECT_EQ(w.clock.pauses.mid(w.clock.pauses.size() - 8), (QList<int>{1, 1, 1, 1, 1, 1, 1, 100}));
    w.serial->loggerPort = 3;
    w.messages.shown.clear();
    s.Button1Click();
    s.Button2Click();
    EXPECT_EQ(w.messages.texts(), (QStringList{"Erro", "Erro"}));
    EXPECT_TRUE(s.Edit4->text().isEmpty());
    w.serial->loggerPort = 1;
    s.btnLimpaClick(); // no question asked
    EXPECT_EQ(w.messages.texts().last(), ":41BF\r\nOK");
    EXPECT_EQ(w.model->memory()[0], '\0');
}

TEST(ServiceDialog, ReadOf125RegistersOverARealTerminal) {
    Emulator emu(dataFile("demo.img"));
    ASSERT_TRUE(emu.ok());
    lnk::QtSerialLibrary lib;
    lnk::SystemClock clock;
    lnk::SerialChannel ch(lib, clock);
    lib.portMap().setDevice(1, emu.device());
    ASSERT_TRUE(ch.openPort(1));
    ch.setBaudRate(1, 19200);
    ScriptedMessages m;
    TFormService s(ch, m);
    s.SpinEdit1->setValue(0);
    s.SpinEdit2->setValue(125);
    s.Button2Click();
    EXPECT_EQ(s.Edit4->text().size(), 509);
    EXPECT_TRUE(m.shown.isEmpty());
}

TEST(Menus, ServiceAndAboutOpenTheirWindows) {
    MainWindowRig w;
    w.form->Sobre1Click();
    w.form->Service1Click();
    EXPECT_EQ(w.dialogsShown, (QStringList{"Sobre", "Serviço - Teste de Comunicação com o Registrador"}));
    EXPECT_EQ(w.form->AboutBox->Version->text(), "Versão 1.2");
    EXPECT_EQ(w.form->AboutBox->ProgramIcon->pixmap().size(), QSize(215, 51));
}

// Pictures of the windows for the documentation: REGISTRADOR_SHOTS=DIR to write them.
TEST(Screenshots, MainWindowAndDialogs) {
    const QString dir = qEnvironmentVariable("REGISTRADOR_SHOTS");
    if (dir.isEmpty())
        GTEST_SKIP() << "set REGISTRADOR_SHOTS to a folder to write the pictures";
    MainWindowRig w;
    w.model->setMemory(emu::demoImage());
    w.form->show();
    w.form->btnLerDadosClick();
    QApplication::processEvents();
    EXPECT_TRUE(w.form->grab().save(dir + "/main-window.png"));
    w.form->FormComunicacao->select(1);
    EXPECT_TRUE(w.form->FormComunicacao->grab().save(dir + "/communication-dialog.png"));
    w.form->FormService->SpinEdit2->setValue(2);
    w.form->FormService->Button2Click();
    EXPECT_TRUE(w.form->FormService->grab().save(dir + "/service-dialog.png"));
    EXPECT_TRUE(w.form->AboutBox->grab().save(dir + "/about-box.png"));
}
