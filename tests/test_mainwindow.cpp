// The main window driven offscreen against the in-process logger model.
#include "acquisition/lendo.h"
#include "app/tablemodel.h"
#include <QChartView>
#include <QPushButton>
#include "app/tform1.h"
#include "tests/support.h"
#include "tools/emulator/demoimage.h"
#include "tools/emulator/fakeseriallibrary.h"

#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QTableView>
#include <QDir>
#include <QTest>
#include <QTimer>
#include "tools/emulator/loggermodel.h"
#include <gtest/gtest.h>

namespace {

using Window = MainWindowRig;

} // namespace

TEST(MainWindow, LayoutMenusAndInitialState) {
    Window w;
    QStringList top;
    for (QAction* a : w.form->menuBar()->actions())
        if (a->isVisible())
            top << a->text();
    EXPECT_EQ(top, (QStringList{"&Arquivo", "&Configurar", "A&juda"}));
    QStringList file;
    for (QAction* a : w.form->Arquivo1->actions())
        if (a->isVisible())
            file << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(file, (QStringList{"&Abrir...", "&Salvar como...", "&Exportar...", "-", "S&air"}));
    EXPECT_EQ(w.form->LabelTMin->text(), "0.000 °C");
    EXPECT_EQ(w.form->LabelTMax->text(), "0.000 °C");
    auto* m = w.form->gridModel();
    QStringList titles;
    for (int c = 0; c < m->columnCount(); ++c)
        titles << m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(titles, (QStringList{"Registro", "Tempo (min)", "Temp. Int. (°C)", "Temp. Ext. (°C)"}));
    EXPECT_EQ(w.form->DBGrid1->columnWidth(0), 56);
    EXPECT_EQ(w.form->Chart1->geometry(), QRect(320, 64, 297, 281));
    EXPECT_EQ(m->rowCount(), 0);
    EXPECT_TRUE(w.form->FormCloseQuery()); // nothing unsaved at start
}

TEST(MainWindow, WorkedExampleDownloadShowsTheTest) {
    Window w;
    QTest::mouseClick(w.form->btnLerDados, Qt::LeftButton);
    EXPECT_TRUE(w.messages.shown.isEmpty());
    EXPECT_EQ(w.tests(), QStringList{"Ensaio 1"});
    EXPECT_EQ(w.form->ComboBox1->currentIndex(), 0);
    ASSERT_EQ(w.form->gridModel()->rowCount(), 2);
    EXPECT_EQ(w.gridRow(0), (QStringList{"1", "0.00", "22.444", "21.955"}));
    EXPECT_EQ(w.gridRow(1), (QStringList{"2", "0.08", "22.502", "21.979"}));
    EXPECT_EQ(w.form->LabelTMin->text(), "22.424 °C");
    EXPECT_EQ(w.form->LabelTMax->text(), "22.581 °C");
    EXPECT_EQ(w.form->chartParts().Series1->count(), 2);
    EXPECT_EQ(w.form->chartParts().Series2->count(), 2);
    EXPECT_FALSE(w.form->FormLendo->isVisible());
    EXPECT_EQ(w.form->ClientDataSet1().currentPosition(), 1); // the walk leaves the last row
}

TEST(MainWindow, TestViewSelectsByTheEntrysNumber) {
    Window w;
    auto t = [](int n, int samples) {
        QList<quint16> v{0xFFFF, quint16(n)};
        for (int i = 0; i < samples; ++i) v << quint16(0x200 + i) << 0x100;
        return v << 0x300 << 0xFCFC << 0x100 << 0xFCFC;
    };
    w.model->setMemory(emu::buildImage(t(2, 3) + t(7, 5) + t(3, 1)));
    w.form->btnLerDadosClick();
    EXPECT_EQ(w.tests(), (QStringList{"Ensaio 2", "Ensaio 7", "Ensaio 3"}));
    EXPECT_EQ(w.form->gridModel()->rowCount(), 3);
    w.form->ComboBox1->setCurrentIndex(1);
    w.form->ComboBox1Change();
    EXPECT_EQ(w.form->gridModel()->rowCount(), 5);
    EXPECT_EQ(w.form->chartParts().Series1->count(), 5);
    w.form->ComboBox1Change(); // same entry twice: same chart, not doubled
    EXPECT_EQ(w.form->chartParts().Series1->count(), 5);
    w.form->ComboBox1->setCurrentIndex(2);
    w.form->ComboBox1Change();
    EXPECT_EQ(w.form->gridModel()->rowCount(), 1);
}

TEST(MainWindow, EmptyTestClearsLabelsAndChart) {
    Window w;
    w.model->setMemory(emu::buildImage({0xFFFF, 1, 0x300, 0xFCFC, 0x100, 0xFCFC}));
    w.form->btnLerDadosClick();
    EXPECT_EQ(w.tests(), QStringList{"Ensaio 1"});
    EXPECT_EQ(w.form->LabelTMin->text(), "");
    EXPECT_EQ(w.form->LabelTMax->text(), "");
    EXPECT_EQ(w.form->chartParts().Series1->count(), 0);
}

TEST(MainWindow, UnsavedDataIsNeverReplacedWithoutAsking) {
    Window w;
    w.form->btnLerDadosClick();
    ASSERT_FALSE(w.form->ClientDataSet1().saved());
    const int requests = static_cast<int>(w.serial->requests.size());
    w.messages.answers = {MsgAnswer::Cancel};
    w.form->btnLerDadosClick();
    EXPECT_EQ(w.messages.texts(), QStringList{kMsgUnsavedReplace});
    EXPECT_EQ(w.serial->requests.size(), requests); // nothing sent
    EXPECT_EQ(w.form->gridModel()->rowCount(), 2);
    // Yes goes on; an empty memory then empties the table and says so.
    w.model->setMemory(emu::buildImage({}, 0, 0));
    w.messages.answers = {MsgAnswer::Yes};
    w.form->btnLerDadosClick();
    EXPECT_EQ(w.messages.texts().last(), "Memória está vazia!");
    EXPECT_EQ(w.messages.shown.last().kind, MsgKind::Information);
    EXPECT_TRUE(w.tests().isEmpty());
    EXPECT_TRUE(w.form->ClientDataSet1().saved());
}

TEST(MainWindow, DownloadFailuresShowTheirMessage) {
    struct Case { emu::Faults f; const char* text; int tests; } cases[] = {
        {{.silent = true}, "Erro de comunicação!", 0},
        {{.lastingBadLrcBlock = 2}, "Erro de comunicação!", 1},
    };
    for (const auto& c : cases) {
        Window w;
        w.model->setMemory(emu::demoImage());
        w.model->faults = c.f;
        w.form->btnLerDadosClick();
        EXPECT_EQ(w.messages.texts(), QStringList{c.text});
        ASSERT_FALSE(w.messages.shown.isEmpty());
        EXPECT_EQ(w.messages.shown[0].kind, MsgKind::Error);
        EXPECT_EQ(w.tests().size(), c.tests);
        EXPECT_EQ(w.form->ComboBox1->currentIndex(), -1);
        EXPECT_FALSE(w.form->FormLendo->isVisible());
    }
}

TEST(MainWindow, CloseQueryAnswers) {
    Window w;
    w.form->show();
    w.form->btnLerDadosClick();
    w.messages.answers = {MsgAnswer::Cancel};
    EXPECT_FALSE(w.form->close());
    EXPECT_EQ(w.messages.texts(), QStringList{kMsgUnsavedQuit});
    EXPECT_EQ(w.form->gridModel()->rowCount(), 2);
    w.messages.answers = {MsgAnswer::Yes};
    w.form->Sair1Click();
    EXPECT_FALSE(w.form->isVisible());
    w.form.reset();
    EXPECT_TRUE(w.serial->calls.contains("done(1)"));
}

TEST(MainWindow, MemoryClearAsksFirst) {
    Window w;
    w.messages.answers = {MsgAnswer::No};
    w.form->Limpar1Click();
    EXPECT_TRUE(w.serial->requests.isEmpty());
    w.form->btnLerDadosClick();
    w.messages.shown.clear();
    w.form->btnLimparClick();
    EXPECT_EQ(w.messages.texts(), (QStringList{kMsgClearAsk, kMsgClearOk}));
    EXPECT_EQ(w.serial->requests.last(), ":41BF\r\n");
    EXPECT_EQ(w.form->gridModel()->rowCount(), 2); // what was downloaded stays
    w.model->faults.silent = true;
    w.form->btnLimparClick();
    EXPECT_EQ(w.messages.texts().last(), kMsgClearFailed);
}

TEST(MainWindow, CtrlDeleteAsksAndDeletesTheRow) {
    Window w;
    w.form->show();
    w.form->btnLerDadosClick();
    w.form->DBGrid1->setCurrentIndex(w.form->gridModel()->index(0, 0));
    w.messages.answers = {MsgAnswer::Cancel};
    QTest::keyClick(w.form->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(w.form->gridModel()->rowCount(), 2);
    QTest::keyClick(w.form->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(w.messages.texts(), (QStringList{"Delete record?", "Delete record?"}));
    EXPECT_EQ(w.form->gridModel()->rowCount(), 1);
    EXPECT_EQ(w.gridRow(0)[0], "2");
}

TEST(MainWindow, CloseDuringADownloadWaitsForItsEnd) {
    Window w;
    w.model->setMemory(emu::demoImage());
    w.form->show();
    // The progress window lets timers run: a close arrives in the middle of the download.
    bool closedDuring = false;
    QTimer::singleShot(0, w.form.get(), [&] { closedDuring = !w.form->close(); });
    w.messages.answers = {MsgAnswer::Cancel};
    w.form->btnLerDadosClick();
    EXPECT_TRUE(closedDuring);
    EXPECT_TRUE(w.messages.texts().isEmpty()); // nothing asked while the download ran
    EXPECT_EQ(w.tests().size(), 3);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.messages.texts(), QStringList{kMsgUnsavedQuit});
    EXPECT_TRUE(w.form->isVisible()); // Cancel keeps the window and every row
    w.form->ClientDataSet1().setFiltered(false);
    EXPECT_EQ(w.form->ClientDataSet1().recordCount(), 3 * 168);
}

TEST(MainWindow, AnEmptiedTableShowsNoOldTest) {
    struct Case { const char* name; std::function<void(emu::LoggerModel&)> change; QString text; } cases[] = {
        {"memory empty", [](emu::LoggerModel& m) { m.setMemory(emu::buildImage({}, 0, 0)); }, "Memória está vazia!"},
        {"block refused every time", [](emu::LoggerModel& m) { m.faults.lastingBadLrcBlock = 1; },
         "Erro de comunicação!"},
    };
    for (const auto& c : cases) {
        Window w;
        w.model->setMemory(emu::demoImage());
        w.form->btnLerDadosClick();
        ASSERT_FALSE(w.form->LabelTMax->text().isEmpty());
        ASSERT_GT(w.form->chartParts().Series1->count(), 0);
        w.form->ClientDataSet1().setSaved(true);
        c.change(*w.model);
        w.form->btnLerDadosClick();
        EXPECT_EQ(w.messages.texts().last(), c.text) << c.name;
        EXPECT_TRUE(w.form->LabelTMax->text().isEmpty()) << c.name;
        EXPECT_TRUE(w.form->LabelTMin->text().isEmpty()) << c.name;
        EXPECT_EQ(w.form->chartParts().Series1->count(), 0) << c.name;
        EXPECT_EQ(w.form->chartParts().Series2->count(), 0) << c.name;
    }
    // A probe that fails leaves the table, and so the view, as it was.
    Window w;
    w.form->btnLerDadosClick();
    const QString shown = w.form->LabelTMax->text();
    w.model->faults.silent = true;
    w.form->ClientDataSet1().setSaved(true);
    w.form->btnLerDadosClick();
    EXPECT_EQ(w.form->LabelTMax->text(), shown);
}

TEST(MainWindow, AViewerThatCannotStartIsToldWithThePath) {
    Window w;
    w.form->btnLerDadosClick();
    w.viewer.canOpen = false;
    w.exportScript.style = xsView;
    w.form->Exportar1Click();
    ASSERT_EQ(w.viewer.opened.size(), 1);
    const QStringList texts = w.messages.texts();
    ASSERT_FALSE(texts.isEmpty());
    EXPECT_TRUE(texts.contains(kMsgViewerFailed + "\n" + QDir::toNativeSeparators(w.viewer.opened[0])))
        << texts.join(" | ").toStdString();
}
