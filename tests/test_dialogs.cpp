// Data files, the communication dialog, the service dialog and the about box, through the
// real main window offscreen.
#include "acquisition/datapacket.h"
#include "acquisition/lendo.h"
#include "acquisition/memorydecoder.h"
#include "app/about.h"
#include "app/config.h"
#include "app/service.h"
#include "app/tablemodel.h"
#include "app/tform1.h"
#include "export/dtExportProgress.h"
#include "export/dtExportSelect.h"
#include "link/commands.h"
#include "link/systemseriallibrary.h"
#include "tests/support.h"
#include "records/store.h"
#include "tools/emulator/demoimage.h"
#include "tools/emulator/fakeseriallibrary.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QStyleOption>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>
#include <QRadioButton>
#include <QMessageBox>
#include <QTimer>
#include <QTemporaryDir>
#include <QDir>
#include "app/evaluationdialog.h"
#include "app/recorddialog.h"
#include "app/resultswindow.h"
#include "app/sampleswindow.h"
#include "app/serieswindow.h"
#include "app/signdialog.h"
#include <QStandardPaths>
#include <QTableView>
#include <QTextDocument>
#include <QtMath>
#include <QTableWidget>
#include <QToolButton>
#include <gtest/gtest.h>

const AsWindowProgram kAsWindowProgram;

namespace {

using Rows = QList<QList<QVariant>>;

Rows rowsOf(TForm1& f) {
    const acq::Records r = f.ClientDataSet1().toRecords();
    Rows out;
    for (qsizetype i = 0; i < r.rowCount(); ++i)
        out << r.row(i);
    return out;
}

// Rows equal field by field; numbers to the 16 significant digits that the file keeps.
void expectSameRows(const Rows& a, const Rows& b) {
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
    EXPECT_EQ(w.tests(), (QStringList{"Ensaio 1", "Ensaio 2", "Ensaio 3"}));
    EXPECT_EQ(w.form->ComboBox1->currentIndex(), 0);
    expectSameRows(rowsOf(*w.form), before);
    EXPECT_EQ(w.form->ClientDataSet1().toRecords().autoIncValue, 3 * 168 + 1);
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
        t.startTest(n);
        t.addSample(acq::Row{0, n, 1, 0, 0, 0, 0, 0, quint8(0xF8)}); // Tempo and the temperatures empty
    }
    const QString path = w.dir.filePath("z.dat");
    w.files.paths = {path};
    w.form->Salvar1Click();
    w.files.paths = {path};
    w.form->Abrir1Click();
    // The two rows of test 0 each begin at SubReg 1: two tests that share the number.
    EXPECT_EQ(w.tests(), (QStringList{"Ensaio 0", "Ensaio 0 (2)", "Ensaio 2", "Ensaio 5"}));
    EXPECT_EQ(w.form->gridModel()->rowCount(), 1); // test 0 shown first
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
    QByteArray good = acq::writeDatapacket(w.form->ClientDataSet1().toRecords());
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

// A file cut short inside its third test: the user is asked, and only a yes changes the window.
TEST(DataFiles, ACutFileOffersItsWholeTestsAndChangesNothingUntilYes) {
    MainWindowRig w;
    w.form->btnLerDadosClick();
    w.form->ClientDataSet1().setSaved(true);
    const auto before = rowsOf(*w.form);
    const QString path = w.dir.filePath("cut.dat");
    QFile week(REGISTRADOR_DATA_DIR "/semana.img");
    ASSERT_TRUE(week.open(QIODevice::ReadOnly));
    const QByteArray whole = acq::writeDatapacket(acq::decodeMemory(week.readAll()).data.toRecords());
    ASSERT_FALSE(whole.isEmpty());
    const qsizetype third = whole.indexOf("Ensaio=\"3\"");
    writeFile(path, whole.left(third + 2000));
    w.messages.answers = {MsgAnswer::No};
    w.files.paths = {path};
    w.form->Abrir1Click();
    ASSERT_EQ(w.messages.shown.size(), 1);
    EXPECT_TRUE(w.messages.shown[0].text.contains("está incompleto ou danificado: não é um arquivo XML válido: ") &&
                w.messages.shown[0].text.contains("(posição "))
        << "the reader's cause whole: " << w.messages.shown[0].text.toStdString();
    EXPECT_TRUE(w.messages.shown[0].text.contains("(1, 2); o ensaio 3, onde o arquivo se interrompe")) << w.messages.shown[0].text.toStdString();
    EXPECT_EQ(rowsOf(*w.form), before);
    EXPECT_EQ(w.tests(), QStringList{"Ensaio 1"});
    w.messages.answers = {MsgAnswer::Yes};
    w.files.paths = {path};
    w.form->Abrir1Click();
    EXPECT_EQ(w.tests(), (QStringList{"Ensaio 1", "Ensaio 2"}));
    EXPECT_FALSE(w.form->ClientDataSet1().saved()) << "the file holds more than is shown";
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
    EXPECT_EQ(w.form->ClientDataSet1().rowCount(), 1);
    w.messages.answers = {MsgAnswer::Yes};
    w.files.paths = {path};
    w.form->Abrir1Click();
    EXPECT_EQ(w.form->ClientDataSet1().rowCount(), 2);
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
    // Beside each index the device it means, and whether it is there.
    w.ports.setDevice(2, w.dir.filePath("config.xml"));
    w.ports.setDevice(3, w.dir.filePath("nenhum"));
    w.onDialog = [&](QDialog&) {
        EXPECT_EQ(w.form->FormComunicacao->selected(), 1); // preselected
        EXPECT_TRUE(w.form->FormComunicacao->devices[1]->text().startsWith(QDir::toNativeSeparators("/dev/pts/9")));
        EXPECT_TRUE(w.form->FormComunicacao->devices[2]->text().endsWith("config.xml (presente)"))
            << w.form->FormComunicacao->devices[2]->text().toStdString();
        EXPECT_TRUE(w.form->FormComunicacao->devices[3]->text().endsWith("nenhum (ausente)"));
        EXPECT_EQ(w.form->FormComunicacao->devices[3]->toolTip(), QDir::toNativeSeparators(w.dir.filePath("nenhum")) + ": ausente");
        w.form->FormComunicacao->items[2]->setChecked(true);
        return int(QDialog::Accepted);
    };
    w.form->Comunicao1Click();
    EXPECT_EQ(w.serial->calls, (QStringList{"done(1)", "reset(2,1024,1024)", "baud(2,19200)"}));
    EXPECT_EQ(w.form->channel().port(), 2);
    QString err;
    const auto p = acq::loadDatapacket(w.dir.filePath("config.xml"), &err);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->rowCount(), rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(p->value(i, 0).toString(), rows[i].first);
        EXPECT_EQ(p->value(i, 1).toString(), i == 1 ? "2" : rows[i].second);
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
        EXPECT_EQ(p->value(0, 1).toString(), QString::number(c.written));
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
    REQUIRE_PSEUDO_TERMINAL();
    Emulator emu(dataFile("demo.img"));
    ASSERT_TRUE(emu.ok());
    lnk::SystemSerialLibrary lib;
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
    EXPECT_EQ(w.form->AboutBox->Version->text(), "Versão " REGISTRADOR_VERSION);
    EXPECT_EQ(w.form->AboutBox->ProgramIcon->pixmap().size(), QSize(215, 51));
}

// ---- every window as a technician sees it -----------------------------------------------------

namespace {

QString described(const QWidget* w, const QString& text) {
    return QStringLiteral("%1/%2 \"%3\"")
        .arg(w->window()->objectName().isEmpty() ? w->window()->windowTitle() : w->window()->objectName(),
             w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName(), text);
}

QString withoutAccelerator(QString s) { return s.remove(QLatin1Char('&')); }

bool isControl(const QWidget* w) {
    return qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w) ||
           qobject_cast<const QGroupBox*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QProgressBar*>(w) || qobject_cast<const QAbstractScrollArea*>(w);
}

// Parts that a composite control draws itself (a spin field's editor, a grid's viewport).
bool insideComposite(const QWidget* w) {
    for (const QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (qobject_cast<const QAbstractSpinBox*>(p) || qobject_cast<const QComboBox*>(p) ||
            qobject_cast<const QAbstractScrollArea*>(p))
            return true;
    return false;
}

QRect groupTitleRect(const QGroupBox* g) {
    QStyleOptionGroupBox opt;
    opt.initFrom(g);
    opt.text = g->title();
    opt.lineWidth = 1;
    opt.midLineWidth = 0;
    opt.textAlignment = g->alignment();
    opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    opt.features = g->isFlat() ? QStyleOptionFrame::Flat : QStyleOptionFrame::None;
    return g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
}

/// Every caption of `window` that does not fit the room it is given, and every control that
/// leaves its parent or lies over another.
QStringList cutOrOverlapping(QWidget* window) {
    QStringList out;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->isWindow() || !isControl(w) || insideComposite(w))
            continue;
        const QFontMetrics fm(w->font());
        QWidget* parent = w->parentWidget();
        const auto* frame = qobject_cast<const QFrame*>(parent);
        const QRect room = frame && !qobject_cast<const QAbstractScrollArea*>(parent) ? parent->contentsRect()
                                                                                       : parent->rect();
        if (!room.contains(w->geometry()))
            out << described(w, "") + QStringLiteral(" leaves its parent");
        for (QWidget* s : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (s != w && s->isVisible() && !s->isWindow() && isControl(s) && w < s &&
                w->geometry().intersects(s->geometry()))
                out << described(w, "") + QStringLiteral(" lies over ") + described(s, "");
        if (auto* g = qobject_cast<const QGroupBox*>(parent); g && !g->title().isEmpty() &&
                                                              w->geometry().intersects(groupTitleRect(g)))
            out << described(w, "") + QStringLiteral(" lies over the title of ") + described(g, g->title());

        auto tooNarrow = [&](const QString& text, int needed, int has) {
            if (needed > has)
                out << described(w, text) + QStringLiteral(" needs %1 pixels, has %2 (%3 %4 px)")
                                                .arg(needed).arg(has).arg(QFontInfo(w->font()).family())
                                                .arg(QFontInfo(w->font()).pixelSize());
        };
        if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().isEmpty()) {
            const QRect r = l->contentsRect();
            const int indent = l->indent() >= 0 ? l->indent() : (l->frameWidth() > 0 ? fm.horizontalAdvance('x') / 2 : 0);
            const QString text = l->buddy() ? withoutAccelerator(l->text()) : l->text();
            if (l->textFormat() == Qt::RichText || (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(text))) {
                // Rich text is measured as laid out, not as its markup.
                QTextDocument doc;
                doc.setDocumentMargin(0);
                doc.setDefaultFont(l->font());
                doc.setHtml(text);
                if (l->wordWrap())
                    doc.setTextWidth(r.width());
                tooNarrow(text.left(40) + QStringLiteral("…"), qCeil(l->wordWrap() ? doc.size().width() : doc.idealWidth()), r.width());
                tooNarrow(text.left(40) + QStringLiteral("… (height)"), qCeil(doc.size().height()), r.height());
            } else if (l->wordWrap())
                tooNarrow(text, l->heightForWidth(l->width()), l->height());
            else
                tooNarrow(text, QFontMetrics(l->font()).horizontalAdvance(text) + 2 * l->margin() + indent, r.width());
            tooNarrow(text + QStringLiteral(" (height)"), fm.height(), r.height());
        } else if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty()) {
            QStyleOptionButton opt;
            opt.initFrom(b);
            opt.text = b->text();
            auto* push = qobject_cast<QPushButton*>(b);
            if (push && (push->autoDefault() || push->isDefault()))
                opt.features |= QStyleOptionButton::AutoDefaultButton;
            const QStyle::SubElement e = push ? QStyle::SE_PushButtonContents
                                         : qobject_cast<QRadioButton*>(b) ? QStyle::SE_RadioButtonContents
                                                                          : QStyle::SE_CheckBoxContents;
            // A tool button draws its text in its whole face, less a small margin.
            const QRect r = qobject_cast<QToolButton*>(b) ? b->rect().adjusted(2, 2, -2, -2)
                                                           : b->style()->subElementRect(e, &opt, b);
            const QString text = withoutAccelerator(b->text());
            tooNarrow(text, fm.horizontalAdvance(text) + (push ? 4 : 0), r.width());
            tooNarrow(text + QStringLiteral(" (height)"), fm.height(), r.height());
        } else if (auto* g = qobject_cast<QGroupBox*>(w); g && !g->title().isEmpty()) {
            const QRect r = groupTitleRect(g);
            const QString text = withoutAccelerator(g->title());
            tooNarrow(text, fm.horizontalAdvance(text), r.width());
            if (!g->rect().contains(r))
                out << described(w, text) + QStringLiteral(": title outside the box");
        } else if (auto* grid = qobject_cast<QTableView*>(w)) {
            QHeaderView* h = grid->horizontalHeader();
            const int margin = h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
            const QFontMetrics hfm(h->font());
            const bool wraps = h->defaultAlignment() & Qt::TextWordWrap;
            for (int c = 0; c < h->count(); ++c) {
                const QString text = grid->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
                const int width = h->sectionSize(c) - 2 * margin;
                const QRect need = wraps ? hfm.boundingRect(QRect(0, 0, width, 10000), Qt::AlignCenter | Qt::TextWordWrap, text)
                                         : QRect(0, 0, hfm.horizontalAdvance(text), hfm.height());
                tooNarrow(text, need.width(), width);
                tooNarrow(text + QStringLiteral(" (height)"), need.height(), h->height() - 2 * margin);
            }
        }
    }
    return out;
}

/// Every letter that two controls of `window` take as their accelerator (Alt+letter): the key
/// then only moves the focus between them, and neither is pressed.
QStringList sharedAccelerators(QWidget* window) {
    std::map<QChar, QStringList> taken;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != window)
            continue;
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        else if (auto* l = qobject_cast<QLabel*>(w); l && l->buddy())
            text = l->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            text = g->title();
        const qsizetype at = text.replace(QStringLiteral("&&"), QString()).indexOf(QLatin1Char('&'));
        if (at >= 0 && at + 1 < text.size())
            taken[text[at + 1].toLower()] << withoutAccelerator(text);
    }
    QStringList out;
    for (const auto& [key, texts] : taken)
        if (texts.size() > 1)
            out << QStringLiteral("%1: Alt+%2 is taken by %3").arg(window->windowTitle(), key, texts.join(QStringLiteral(", ")));
    return out;
}

/// Every number of `window` written with a decimal point, where a Brazilian reader reads a
/// thousands separator ("25.435 MJ/kg"): labels, fields, list cells and texts.
QStringList pointNumbers(QWidget* window) {
    static const QRegularExpression point(QStringLiteral("\\d\\.\\d"));
    QStringList texts;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != window)
            continue;
        if (auto* l = qobject_cast<QLabel*>(w))
            texts << l->text();
        else if (auto* e = qobject_cast<QLineEdit*>(w))
            texts << e->text();
        else if (auto* t = qobject_cast<QPlainTextEdit*>(w))
            texts << t->toPlainText();
        else if (auto* x = qobject_cast<QTextEdit*>(w))
            texts << x->toPlainText();
        else if (auto* v = qobject_cast<QTableWidget*>(w))
            for (int r = 0; r < v->rowCount(); ++r)
                for (int c = 0; c < v->columnCount(); ++c)
                    if (const QTableWidgetItem* i = v->item(r, c))
                        texts << i->text();
    }
    QStringList out;
    for (const QString& t : texts)
        if (t.contains(point))
            out << window->windowTitle() + QStringLiteral(": ") + t;
    return out;
}

} // namespace

// The windows of the results: registering, the list, one determination. Each fits its
// captions, gives each accelerator to one control and writes numbers with the decimal comma,
// the evaluation window's included.
TEST(Windows, TheResultsWindowsFitAndEachAcceleratorPressesOneControl) {
    MainWindowRig w;
    // A results database of its own: nothing left by another run (or another process still
    // holding a file, as Wine may) reaches this one.
    writeConfig(w.dir.path(), builtInConfigRows() + QList<std::pair<QString, QString>>{
                                                        {"Resultados", w.dir.filePath("resultados.sqlite")}});
    w.start();
    w.model->setMemory(emu::demoImage());
    w.form->btnLerDadosClick();
    QStringList seen;
    auto check = [&](QDialog& d) {
        d.show();
        QApplication::processEvents();
        seen << d.windowTitle();
        QStringList problems = cutOrOverlapping(&d) + sharedAccelerators(&d) + pointNumbers(&d);
        if (!d.screen()->availableGeometry().contains(d.frameGeometry()))
            problems << QStringLiteral("%1 is %2×%3 at %4,%5, outside the screen")
                            .arg(d.windowTitle())
                            .arg(d.frameGeometry().width())
                            .arg(d.frameGeometry().height())
                            .arg(d.frameGeometry().x())
                            .arg(d.frameGeometry().y());
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    };
    w.onDialog = [&](QDialog& d) {
        if (auto* e = dynamic_cast<TFormAvaliacao*>(&d)) {
            e->RadioAmostra->setChecked(true);
            e->EditMassa->setText("0,98");
            e->EditEquivalente->setText("10100,5");
            check(d);
            const QSize before = d.size();
            e->btnMedidaAcido->click();
            e->btnRegistrar->click();
            QApplication::processEvents();
            EXPECT_EQ(d.size(), before) << "the window holds still when a record's sentence appears";
            EXPECT_FALSE(e->LabelRegistro->text().isEmpty());
            e->btnResultados->click();
        } else if (auto* f = dynamic_cast<TFormRegistro*>(&d)) {
            check(d);
            f->EditAmostra->setText("CAR-2026-0147");
            f->RegistrarClick();
        } else if (auto* a = dynamic_cast<TFormAmostras*>(&d)) {
            check(d);
            // A sample with a long code and description, its mass typed with a long reason.
            a->EditCodigo->setText("CAR-2026-0147-LOTE-12");
            a->EditDescricao->setText("Carvão vegetal, lote 12, fornecedor do interior");
            a->IncluirClick();
            a->EditMassa->setText("0,98");
            a->EditMotivo->setText("balança em manutenção preventiva até amanhã");
            a->DigitarClick();
            EXPECT_EQ(a->Lista->item(0, 6)->text(), "pesada");
            check(d);
        } else if (auto* r = dynamic_cast<TFormResultados*>(&d)) {
            check(d);
            EXPECT_EQ(r->Lista->rowCount(), 1);
            r->Lista->selectRow(0);
            r->AbrirClick();
            r->HistoricoClick();
            r->SeriesClick();
            // Opened from the main window, it offers the signatures too.
            if (r->btnAprovar->isVisibleTo(r))
                r->AprovarClick();
        } else if (auto* a = dynamic_cast<TFormAssinatura*>(&d)) {
            check(d);
            EXPECT_TRUE(a->TextoHistorico->toPlainText().contains("Registrada por "));
        } else if (auto* h = dynamic_cast<TFormHistorico*>(&d)) {
            check(d);
            // In words; the trail's links only under "Detalhes".
            EXPECT_TRUE(h->Texto->toPlainText().contains("Registrada por ")) << h->Texto->toPlainText().toStdString();
            EXPECT_FALSE(h->Texto->toPlainText().contains("SHA-256 "));
            h->CheckDetalhes->setChecked(true);
            EXPECT_TRUE(h->Texto->toPlainText().contains("SHA-256 "));
        } else if (auto* s = dynamic_cast<TFormSeries*>(&d)) {
            check(d);
            EXPECT_EQ(s->ComboCalorimetro->currentText(), "BC-200");
            EXPECT_TRUE(s->TextoSeries->toPlainText().contains("nenhuma calibração registrada") ||
                        s->TextoSeries->toPlainText().contains("0 de 5 corridas"))
                << s->TextoSeries->toPlainText().toStdString();
        } else {
            check(d);
        }
        d.hide();
        return int(QDialog::Accepted);
    };
    w.form->Amostras1->trigger();
    w.form->AvaliarEnsaio1->trigger();
    w.form->Resultados1->trigger();
    const QString samples = "Amostras do dia " + QDate::currentDate().toString("dd/MM/yyyy");
    EXPECT_EQ(seen, (QStringList{samples, samples, "Avaliação do Ensaio 1", "Correção ácida", "Registrar determinação", "Resultados",
                                 "Determinação nº 1", "Histórico da determinação nº 1", "Séries de calibração", "Resultados",
                                 "Determinação nº 1", "Histórico da determinação nº 1", "Séries de calibração",
                                 "Aprovar a determinação nº 1"}));
    EXPECT_TRUE(w.messages.shown.isEmpty()) << w.messages.texts().join(" / ").toStdString();
}

TEST(Windows, NoCaptionIsCutAndNoControlLiesOverAnother) {
    MainWindowRig w;
    w.model->setMemory(emu::demoImage());
    w.form->show();
    w.form->btnLerDadosClick();
    QtExportUi ui;
    ui.chooser()->fill(w.form->dtDataSetExport1);
    ui.progressShow(w.form->dtDataSetExport1, 168);
    QList<QWidget*> windows{w.form.get(), w.form->AboutBox, w.form->FormComunicacao, w.form->FormService,
                            w.form->FormLendo, ui.chooser(), ui.progress()};
    for (QWidget* win : windows)
        win->show();
    QApplication::processEvents();
    for (QWidget* win : windows) {
        const QStringList problems = cutOrOverlapping(win);
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
        win->hide();
    }
}

TEST(Windows, EscapeClosesNeitherTheServiceWindowNorTheAboutBox) {
    MainWindowRig w;
    struct Case { QDialog* d; bool closes; } cases[] = {
        {w.form->FormService, false}, {w.form->AboutBox, false}, {w.form->FormComunicacao, true}};
    for (const auto& c : cases) {
        c.d->show();
        QApplication::setActiveWindow(c.d);
        ASSERT_TRUE(QTest::qWaitForWindowActive(c.d));
        QTest::keyClick(c.d, Qt::Key_Escape);
        EXPECT_EQ(c.d->isVisible(), !c.closes) << c.d->windowTitle().toStdString();
        c.d->hide();
    }
}

TEST(Windows, OuterSizesAndPlaces) {
    MainWindowRig w;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // Offscreen there is no frame: the outer size is the client size.
    w.form->FormLendo->show();
    EXPECT_EQ(w.form->FormLendo->frameGeometry(), QRect(365, 263, 234, 84));
    w.form->FormService->show();
    EXPECT_EQ(w.form->FormService->frameGeometry(), QRect(328, 184, 418, 428));
    // The two centred dialogs open in the same place every time.
    for (QDialog* d : {static_cast<QDialog*>(w.form->FormComunicacao), static_cast<QDialog*>(w.form->AboutBox)}) {
        QList<QRect> places;
        for (int i = 0; i < 3; ++i) {
            d->show();
            QApplication::processEvents();
            places << d->frameGeometry();
            d->hide();
        }
        EXPECT_EQ(places[0], places[1]) << d->windowTitle().toStdString();
        EXPECT_EQ(places[0], places[2]) << d->windowTitle().toStdString();
        EXPECT_LE((places[0].center() - screen.center()).manhattanLength(), 1) << d->windowTitle().toStdString();
    }
}

TEST(ServiceDialog, ATextThatIsNoIntegerReadsAsTheLowerBound) {
    struct Case { const char* text1; const char* text2; bool write; const char* request; } cases[] = {
        {"", "", false, ":0300000001FC\r\n"},
        {"16", "", false, ":0300100001EC\r\n"},
        {"", "32", false, ":0300000020DD\r\n"},
        {"", "", true, ":0600000001F9\r\n"},
    };
    for (const auto& c : cases) {
        MainWindowRig w;
        TFormService& s = *w.form->FormService;
        QSpinBox* a = c.write ? s.SpinEdit3 : s.SpinEdit1;
        QSpinBox* b = c.write ? s.SpinEdit4 : s.SpinEdit2;
        a->setValue(7);
        b->setValue(7);
        a->findChild<QLineEdit*>()->setText(c.text1);
        b->findChild<QLineEdit*>()->setText(c.text2);
        if (c.write)
            s.Button3Click();
        else
            s.Button2Click();
        EXPECT_EQ((c.write ? s.Edit7 : s.Edit3)->text(), c.request) << c.text1 << "|" << c.text2;
    }
}

TEST(Windows, TheWalkSeesCutCaptionsAndOverlaps) {
    struct Case { const char* name; std::function<void(QWidget&)> build; } cases[] = {
        {"label narrower than its text", [](QWidget& d) {
             auto* l = new QLabel("Qtd. de Registros:", &d);
             l->setGeometry(8, 8, 40, 20);
         }},
        {"button narrower than its caption", [](QWidget& d) {
             (new QPushButton("&Limpar Memória", &d))->setGeometry(8, 8, 40, 25);
         }},
        {"a field over a label", [](QWidget& d) {
             (new QLabel("Mensagem:", &d))->move(8, 8);
             (new QLineEdit(&d))->setGeometry(20, 4, 100, 21);
         }},
        {"a control outside its parent", [](QWidget& d) {
             (new QPushButton("OK", &d))->setGeometry(180, 8, 75, 25);
         }},
        {"a grid title cut", [](QWidget& d) {
             auto* grid = new QTableView(&d);
             auto* m = new QStandardItemModel(1, 1, grid);
             m->setHorizontalHeaderLabels({"Temp. Ext. (°C)"});
             grid->setModel(m);
             grid->setGeometry(8, 8, 150, 100);
             grid->setColumnWidth(0, 30);
         }},
    };
    for (const auto& c : cases) {
        QWidget d;
        d.setObjectName(c.name);
        d.resize(200, 120);
        c.build(d);
        d.show();
        QApplication::processEvents();
        EXPECT_FALSE(cutOrOverlapping(&d).isEmpty()) << c.name;
    }
}

// The questions whose Yes destroys something: Enter answers the safe way.
TEST(SafeQuestions, EnterNeverDestroys) {
    QtMessageService real;
    struct Case { bool destructive; MsgButtons buttons; MsgAnswer onEnter; } cases[] = {
        {true, MsgButtons::YesNo, MsgAnswer::No},
        {true, MsgButtons::YesCancel, MsgAnswer::Cancel},
        {false, MsgButtons::YesNo, MsgAnswer::Yes},
    };
    for (const auto& c : cases) {
        QTimer::singleShot(0, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box)
                QTest::keyClick(box, Qt::Key_Return);
        });
        const MsgAnswer a = c.destructive ? real.askDestructive(MsgKind::Confirmation, "?", c.buttons)
                                          : real.ask(MsgKind::Confirmation, "?", c.buttons);
        EXPECT_EQ(a, c.onEnter) << int(c.buttons) << " " << c.destructive;
    }
    // The window asks its three such questions that way.
    MainWindowRig w;
    w.form->btnLerDadosClick();
    w.messages.answers = {MsgAnswer::No};
    w.form->btnLimparClick();
    w.messages.answers = {MsgAnswer::Cancel};
    w.form->btnLerDadosClick(); // unsaved data would be replaced
    w.messages.answers = {MsgAnswer::Cancel};
    w.form->close(); // unsaved data would be lost
    int asked = 0;
    for (const ShownMessage& m : w.messages.shown)
        if (m.kind == MsgKind::Confirmation) {
            ++asked;
            EXPECT_TRUE(m.safeDefault) << m.text.toStdString();
        }
    EXPECT_EQ(asked, 3);
}

TEST(DataFiles, SavingAnEmptyTableWritesNothing) {
    MainWindowRig w;
    const QString path = w.dir.filePath("keep.dat");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("measurements");
    f.close();
    w.files.paths = {path};
    w.form->Salvar1Click();
    ASSERT_EQ(w.messages.shown.size(), 1);
    EXPECT_EQ(w.messages.shown[0].text, "Não há dados para salvar.");
    EXPECT_EQ(w.messages.shown[0].kind, MsgKind::Information);
    EXPECT_TRUE(w.files.asked.isEmpty());
    EXPECT_EQ(readAllOf(path), "measurements");
}

// The dialogs open where a user can write: the documents folder, then the folder last used
// for that kind of file; the report is proposed beside the data file.
TEST(DataFiles, DialogsStartWhereTheUserWorks) {
    MainWindowRig w;
    w.model->setMemory(emu::demoImage());
    w.form->btnLerDadosClick();
    const QString docs = documentsFolder();
    QTemporaryDir other;
    const QString dat = QDir(other.path()).filePath("ensaios.dat");
    w.files.paths = {dat};
    w.form->Salvar1Click();
    ASSERT_EQ(w.files.asked.size(), 1);
    EXPECT_EQ(w.files.asked[0].directory, docs);
    w.files.paths = {dat};
    w.form->Abrir1Click();
    EXPECT_EQ(w.files.asked[1].directory, other.path());
    w.files.paths = {QString()};
    w.form->SalvarGrafico1->trigger();
    EXPECT_EQ(w.files.asked[2].directory, docs); // pictures keep their own folder
    w.onDialog = [&](QDialog& d) {
        w.files.paths = {QString()};
        dynamic_cast<TFormAvaliacao&>(d).RelatorioClick();
        return int(QDialog::Accepted);
    };
    w.form->AvaliarEnsaio1->trigger();
    ASSERT_EQ(w.files.asked.size(), 4);
    EXPECT_EQ(w.files.asked[3].directory, QDir(other.path()).filePath("relatorio-ensaio1.pdf"));
    for (const FileDialogSpec& s : w.files.asked)
        EXPECT_NE(QDir(s.directory), QDir(QCoreApplication::applicationDirPath()));
}
