// The main window driven offscreen against the in-process logger model.
#include "acquisition/datapacket.h"
#include "acquisition/lendo.h"
#include "app/tablemodel.h"
#include <QChartView>
#include <QPushButton>
#include "app/tform1.h"
#include "tests/support.h"
#include "tools/emulator/demoimage.h"
#include "tools/emulator/fakeseriallibrary.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLabel>
#include <QSet>
#include <QMenuBar>
#include <QTableView>
#include <QDir>
#include <QTest>
#include <QTimer>
#include <QSemaphore>
#include "tools/emulator/loggermodel.h"
#include <gtest/gtest.h>

const AsWindowProgram kAsWindowProgram;

namespace {

using Window = MainWindowRig;

// Plays the user at a known point of a download: when its clock has paused `n` times (24
// for the probe and the header, then 16 a block), `action` runs on the window's thread while
// the download waits for it to end.
void duringDownload(Window& w, int n, std::function<void()> action) {
    auto gate = std::make_shared<QSemaphore>(0);
    auto count = std::make_shared<int>(0);
    w.clock.onPause = [=, form = w.form.get()] {
        if (++*count != n)
            return;
        QMetaObject::invokeMethod(form, [=] { action(); gate->release(); }, Qt::QueuedConnection);
        gate->acquire();
    };
}

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
    EXPECT_EQ(w.form->DBGrid1->currentIndex().row(), 1); // the view is left on the last row
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

// Two tests numbered 5 (one without samples between them in memory) stay two entries, each
// showing its own rows, after the download and after the file is saved and opened again.
TEST(MainWindow, TestsSharingANumberAreKeptApart) {
    Window w;
    auto t = [](int n, int samples, quint16 first) {
        QList<quint16> v{0xFFFF, quint16(n)};
        for (int i = 0; i < samples; ++i) v << quint16(first + i) << 0x100;
        return v << 0x300 << 0xFCFC << 0x100 << 0xFCFC;
    };
    w.model->setMemory(emu::buildImage(t(5, 3, 0x200) + t(5, 0, 0) + t(5, 2, 0x280)));
    w.form->btnLerDadosClick();
    EXPECT_EQ(w.tests(), (QStringList{"Ensaio 5", "Ensaio 5 (2)", "Ensaio 5 (3)"}));
    const int rows[] = {3, 0, 2};
    for (int i = 0; i < 3; ++i) {
        w.form->ComboBox1->setCurrentIndex(i);
        w.form->ComboBox1Change();
        EXPECT_EQ(w.form->gridModel()->rowCount(), rows[i]) << i;
        EXPECT_EQ(w.form->chartParts().Series1->count(), rows[i]) << i;
    }
    EXPECT_EQ(w.gridRow(0)[2], QString::number(acq::rawToCelsius(0x280), 'f', 3));
    const QString path = w.dir.filePath("dup.dat");
    w.files.paths = {path};
    w.form->Salvar1Click();
    w.files.paths = {path};
    w.form->Abrir1Click();
    // A test without samples has no row to keep in a file.
    EXPECT_EQ(w.tests(), (QStringList{"Ensaio 5", "Ensaio 5 (2)"}));
    w.form->ComboBox1->setCurrentIndex(1);
    w.form->ComboBox1Change();
    EXPECT_EQ(w.form->gridModel()->rowCount(), 2);
    EXPECT_EQ(w.gridRow(0)[2], QString::number(acq::rawToCelsius(0x280), 'f', 3));
}

// A file without an end, a FIFO or one too large gives the message; what was shown stays.
TEST(MainWindow, EndlessOrOversizedFilesLeaveTheWindowAsItWas) {
    Window w;
    w.form->btnLerDadosClick();
    ASSERT_EQ(w.form->gridModel()->rowCount(), 2);
    QFile big(w.dir.filePath("big.dat"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(acq::kMaxDatapacketBytes + 1)); // sparse
    big.close();
    const QStringList unreadable = notRegularFiles(w.dir.path()) << big.fileName();
    for (const QString& path : unreadable) {
        w.messages.shown.clear();
        w.messages.answers = {MsgAnswer::Yes}; // replace the unsaved download: yes
        w.files.paths = {path};
        w.form->Abrir1Click();
        ASSERT_FALSE(w.messages.shown.isEmpty()) << path.toStdString();
        EXPECT_TRUE(w.messages.shown.back().text.contains("não pode ser lido como tabela de dados")) << path.toStdString();
        EXPECT_EQ(w.tests(), QStringList{"Ensaio 1"}) << path.toStdString();
        EXPECT_EQ(w.form->gridModel()->rowCount(), 2) << path.toStdString();
        EXPECT_FALSE(w.form->ClientDataSet1().saved());
    }
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
    struct Case { emu::Faults f; const char* text; int tests; const char* cause; } cases[] = {
        {{.silent = true}, "Erro de comunicação!", 0, "Pedido de diagnóstico: o registrador não respondeu"},
        {{.lastingBadLrcBlock = 2}, "Erro de comunicação!", 1, "Leitura da memória a partir do registro 34: a resposta"},
    };
    for (const auto& c : cases) {
        Window w;
        w.model->setMemory(emu::demoImage());
        w.model->faults = c.f;
        w.form->btnLerDadosClick();
        EXPECT_EQ(w.messages.texts(), QStringList{c.text});
        ASSERT_FALSE(w.messages.shown.isEmpty());
        EXPECT_EQ(w.messages.shown[0].kind, MsgKind::Error);
        EXPECT_TRUE(w.messages.shown[0].detail.startsWith(c.cause)) << w.messages.shown[0].detail.toStdString();
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
    // Downloaded and not saved: said first, and "No" leaves the logger as it was.
    w.messages.shown.clear();
    w.messages.answers = {MsgAnswer::No};
    const auto sent = w.serial->requests.size();
    w.form->btnLimparClick();
    EXPECT_EQ(w.messages.texts(), QStringList{ses::msg::ClearUnsaved});
    EXPECT_EQ(w.serial->requests.size(), sent);
    w.messages.shown.clear();
    w.form->btnLimparClick();
    EXPECT_EQ(w.messages.texts(), (QStringList{ses::msg::ClearUnsaved, kMsgClearAsk, kMsgClearOk}));
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

TEST(MainWindow, ADownloadCanBeCancelledAndWhatWasReadStays) {
    // Block 6 of 33 is being read when the user acts; tests 1 and 2 end in blocks 11 and 21.
    struct Case {
        const char* name;
        std::function<void(Window&)> act;
        std::deque<MsgAnswer> answers;
        QStringList texts;
        bool cancelled;
        bool closed;
    } cases[] = {
        {"Escape on the progress window", [](Window& w) { QTest::keyClick(w.form->FormLendo, Qt::Key_Escape); }, {},
         {ses::msg::DownloadCancelled}, true, false},
        {"its close button", [](Window& w) { w.form->FormLendo->close(); }, {}, {ses::msg::DownloadCancelled}, true, false},
        {"closing the main window, No to the cancel", [](Window& w) { EXPECT_FALSE(w.form->close()); },
         {MsgAnswer::No}, {ses::msg::DownloadCancelAsk}, false, false},
        {"closing the main window, Yes, then Cancel", [](Window& w) { EXPECT_FALSE(w.form->close()); },
         {MsgAnswer::Yes, MsgAnswer::Cancel}, {ses::msg::DownloadCancelAsk, kMsgUnsavedQuit}, true, false},
        {"closing the main window, Yes, then Yes", [](Window& w) { EXPECT_FALSE(w.form->close()); },
         {MsgAnswer::Yes, MsgAnswer::Yes}, {ses::msg::DownloadCancelAsk, kMsgUnsavedQuit}, true, true},
    };
    for (const auto& c : cases) {
        Window w;
        w.model->setMemory(emu::demoImage());
        w.form->show();
        bool formLendoShown = false;
        duringDownload(w, 24 + 16 * 5 + 3, [&] {
            formLendoShown = w.form->FormLendo->isVisible();
            c.act(w);
        });
        w.messages.answers = c.answers;
        w.form->btnLerDadosClick();
        QCoreApplication::processEvents(); // a close asked for runs after the download
        EXPECT_TRUE(formLendoShown) << c.name;
        EXPECT_FALSE(w.form->FormLendo->isVisible()) << c.name;
        EXPECT_EQ(w.messages.texts(), c.texts) << c.name;
        EXPECT_EQ(w.form->isVisible(), !c.closed) << c.name;
        if (!c.cancelled) {
            EXPECT_EQ(w.form->ClientDataSet1().rowCount(), 3 * 168) << c.name;
            EXPECT_EQ(w.form->ComboBox1->currentIndex(), 0) << c.name;
            continue;
        }
        // Six blocks of 16 records: the start record and 95 samples of test 1, never more.
        EXPECT_EQ(w.serial->requests.size(), 2 + 6) << c.name;
        EXPECT_EQ(w.form->ClientDataSet1().rowCount(), 95) << c.name;
        EXPECT_EQ(w.tests(), QStringList{"Ensaio 1"}) << c.name;
        EXPECT_EQ(w.form->ComboBox1->currentIndex(), -1) << c.name; // as after a failure
        EXPECT_FALSE(w.form->ClientDataSet1().saved()) << c.name;
    }
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

// ---- keys, chart and icon, as a technician uses them ------------------------------------------

namespace {

// Shown and active, so that accelerators reach it as they do on a desktop.
void showActive(QWidget* w) {
    w->show();
    QApplication::setActiveWindow(w);
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
}

bool waitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, 10000); }

} // namespace

TEST(MainWindowKeys, AltLDownloadsInsteadOfOnlyMovingTheFocus) {
    Window w;
    showActive(w.form.get());
    w.form->DBGrid1->setFocus();
    QTest::keyClick(w.form.get(), Qt::Key_L, Qt::AltModifier);
    ASSERT_TRUE(waitFor([&] { return !w.tests().isEmpty(); }));
    ASSERT_FALSE(w.serial->requests.isEmpty());
    EXPECT_EQ(w.serial->requests.first(), ":08F8\r\n"); // the probe opens the download
    EXPECT_TRUE(w.messages.texts().isEmpty()); // "&Limpar Memória" was not pressed
    // Both captions keep their underlined L; only the first in tab order answers the key.
    EXPECT_EQ(w.form->btnLerDados->shortcut(), QKeySequence(Qt::ALT | Qt::Key_L));
    EXPECT_TRUE(w.form->btnLimpar->shortcut().isEmpty());
    EXPECT_EQ(w.form->btnLimpar->text(), "&Limpar Memória");
}

TEST(MainWindowKeys, EnterOrReturnOnAFocusedButtonClicksIt) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        Window w;
        showActive(w.form.get());
        w.form->btnLerDados->setFocus();
        QTest::keyClick(w.form->btnLerDados, key);
        EXPECT_EQ(w.tests(), QStringList{"Ensaio 1"}) << key;
        w.form->btnLimpar->setFocus();
        w.form->ClientDataSet1().setSaved(true);
        w.messages.answers = {MsgAnswer::No};
        QTest::keyClick(w.form->btnLimpar, key);
        EXPECT_EQ(w.messages.texts(), QStringList{kMsgClearAsk}) << key;
    }
}

TEST(MainWindowKeys, TypingInTheTestListOpensItWithoutChangingTheTest) {
    Window w;
    w.model->setMemory(emu::demoImage());
    showActive(w.form.get());
    w.form->btnLerDadosClick();
    ASSERT_EQ(w.tests().size(), 3);
    w.form->ComboBox1->setFocus();
    QTest::keyClick(w.form->ComboBox1, Qt::Key_E); // "Ensaio 2" would be the next match
    EXPECT_TRUE(waitFor([&] { return w.form->ComboBox1->view()->isVisible(); }));
    EXPECT_EQ(w.form->ComboBox1->currentIndex(), 0);
    w.form->ComboBox1->hidePopup();
}

namespace {

QPointF rangeOf(const QValueAxis* a) { return {a->min(), a->max()}; }

// A small rectangle of the plot, as a drag of the mouse gives it.
void zoomSomewhere(TestChart& c) {
    const QRectF plot = c.chart()->plotArea();
    c.chart()->zoomIn(QRectF(plot.x() + plot.width() * 0.3, plot.y() + plot.height() * 0.80,
                             plot.width() * 0.05, plot.height() * 0.02));
}

} // namespace

TEST(MainWindowChart, NoZoomSurvivesAnotherTest) {
    struct Case { const char* name; std::function<void(Window&)> show; } cases[] = {
        {"another selection", [](Window& w) {
             w.form->ComboBox1->setCurrentIndex(1);
             w.form->ComboBox1Change();
         }},
        {"a download", [](Window& w) {
             w.form->ClientDataSet1().setSaved(true);
             w.form->btnLerDadosClick();
             w.form->ComboBox1->setCurrentIndex(1);
             w.form->ComboBox1Change();
         }},
        {"an open", [](Window& w) {
             const QString path = w.dir.filePath("ensaios.dat");
             w.files.paths = {path, path};
             w.form->Salvar1Click();
             w.form->Abrir1Click();
             w.form->ComboBox1->setCurrentIndex(1);
             w.form->ComboBox1Change();
         }},
    };
    for (const auto& c : cases) {
        Window w;
        w.model->setMemory(emu::demoImage());
        w.form->show();
        w.form->btnLerDadosClick();
        TestChart& chart = w.form->chartParts();
        w.form->ComboBox1->setCurrentIndex(1);
        w.form->ComboBox1Change();
        const QPointF fitted = rangeOf(chart.bottomAxis);
        w.form->ComboBox1->setCurrentIndex(0);
        w.form->ComboBox1Change();
        QApplication::processEvents();
        zoomSomewhere(chart);
        ASSERT_TRUE(chart.chart()->isZoomed()) << c.name;
        ASSERT_NE(rangeOf(chart.leftAxis), QPointF(20, 40)) << c.name;
        c.show(w);
        EXPECT_FALSE(chart.chart()->isZoomed()) << c.name;
        EXPECT_EQ(rangeOf(chart.leftAxis), QPointF(20, 40)) << c.name;
        EXPECT_EQ(rangeOf(chart.bottomAxis), fitted) << c.name;
        EXPECT_EQ(chart.Series1->count(), 168) << c.name;
    }
}

TEST(MainWindowChart, AxisLabelsStayWholeAndDistinctWhenZoomed) {
    Window w;
    w.model->setMemory(emu::demoImage());
    w.form->show();
    w.form->btnLerDadosClick();
    TestChart& chart = w.form->chartParts();
    auto labelsShown = [&] {
        QApplication::processEvents();
        QStringList out;
        for (QGraphicsItem* i : w.form->Chart1->scene()->items())
            if (auto* t = dynamic_cast<QGraphicsTextItem*>(i); t && t->isVisible())
                out << t->toPlainText();
        return out;
    };
    for (int zooms = 0; zooms < 3; ++zooms) {
        const QStringList shown = labelsShown();
        for (const QString& s : shown)
            EXPECT_FALSE(s.contains("...") || s.contains(QChar(0x2026))) << "cut label " << s.toStdString();
        for (const QValueAxis* a : {chart.leftAxis, chart.bottomAxis}) {
            const int decimals = a->labelFormat().mid(2, 1).toInt();
            const QStringList labels = tickLabels(a->min(), a->max(), {a->tickInterval(), decimals});
            EXPECT_EQ(QSet<QString>(labels.begin(), labels.end()).size(), labels.size()) << "zoom " << zooms;
            // A label on the very edge of the range may be left out by the toolkit; the others
            // are all drawn.
            int drawn = 0;
            for (const QString& l : labels)
                drawn += shown.contains(l) ? 1 : 0;
            EXPECT_GE(drawn, std::max<qsizetype>(std::min<qsizetype>(2, labels.size() - 1), labels.size() - 2))
                << "zoom " << zooms << ": " << labels.join(' ').toStdString() << " | " << shown.join(' ').toStdString();
        }
        zoomSomewhere(chart);
    }
    EXPECT_LT(chart.leftAxis->max() - chart.leftAxis->min(), 0.01); // far in: three decimals
}

TEST(MainWindowChart, LegendBelowThePlotWithWideSwatchesAndAShadow) {
    Window w;
    w.form->show();
    QApplication::processEvents();
    const TestChart& c = w.form->chartParts();
    EXPECT_EQ(c.legend->titles(), (QStringList{"Temp. Externa", "Temp. Interna"}));
    ASSERT_EQ(c.legend->swatches().size(), 2);
    for (const QRectF& s : c.legend->swatches())
        EXPECT_EQ(s.width(), 20);
    EXPECT_EQ(TestChart::kLegendShadow, 2);
    const QRectF box = c.legend->mapRectToParent(c.legend->boundingRect());
    EXPECT_TRUE(c.chart()->rect().contains(box));
    EXPECT_GT(box.top(), c.chart()->plotArea().bottom()); // below the plot and its time axis
    const QFontMetricsF fm(c.legend->font());
    EXPECT_LE(c.legend->swatches()[1].right() + fm.horizontalAdvance("Temp. Interna"), c.legend->box().right());
}

TEST(MainWindow, CarriesTheProgramsIcon) {
    Window w;
    const QIcon icon = w.form->windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_FALSE(icon.pixmap(32, 32).isNull()); // the svg icon engine is installed
}
