// The export's chooser and progress windows, and the boxes asked over them.
#include "acquisition/records.h"
#include "app/exportsettings.h"
#include "app/messageservice.h"
#include "export/dtExportProgress.h"
#include "export/dtExportSelect.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>


namespace {
QStringList entries(const Tfrm_Selection& w) {
    QStringList out;
    for (int i = 0; i < w.SelectionCombo->count(); ++i)
        out << w.SelectionCombo->itemText(i);
    return out;
}
} // namespace

TEST(Chooser, OneFormatIsOfferedSelectedWithItsIcon) {
    TdtDataSetExport x;
    x.setExportTypes(typeBit(xtExcel));
    x.Messages.SelectFormat = QStringLiteral("&Formato");
    Tfrm_Selection w;
    w.fill(x);
    EXPECT_EQ(entries(w), QStringList{"Microsoft Excel"});
    EXPECT_EQ(w.SelectionCombo->currentIndex(), 0);
    EXPECT_EQ(w.SelectionCombo->maxVisibleItems(), 1);
    EXPECT_EQ(w.GroupBox->title(), " &Formato ");
    EXPECT_EQ(formatIcon(x.ExportType()), 5);
    EXPECT_TRUE(w.rdo_View->isChecked());
}

TEST(Chooser, AllFormatsInTheFixedOrderAndTheClipboardGreysTheChoice) {
    TdtDataSetExport x;
    Tfrm_Selection w;
    w.fill(x);
    EXPECT_EQ(entries(w), (QStringList{"HTML", "Microsoft Word", "Microsoft Excel", "Text", "Rich Text",
                                       "Comma-Separated Text", "Tab-Separated Text", "Data Interchange Format",
                                       "SYLK Format", "Clipboard"}));
    w.SelectionCombo->setCurrentIndex(9);
    EXPECT_FALSE(w.rdo_View->isEnabled());
    EXPECT_EQ(x.ExportType(), xtClipboard);
    EXPECT_EQ(x.ExportStyle, xsView); // unchanged while greyed
    w.SelectionCombo->setCurrentIndex(1);
    EXPECT_TRUE(w.rdo_View->isEnabled());
    EXPECT_EQ(x.ExportType(), xtWord);
    w.rdo_File->click(); // kept even if the window is then cancelled
    EXPECT_EQ(x.ExportStyle, xsFile);
    EXPECT_EQ(w.ImageList.size(), 8);
    for (const QPixmap& p : w.ImageList)
        EXPECT_EQ(p.size(), QSize(31, 31));
}

TEST(ProgressWindow, LayoutFollowsTheMessages) {
    Tfrm_ProgressForm p;
    p.prepare(300, 80, "Exportando os dados", "Processando...", 0);
    EXPECT_EQ(p.windowTitle(), "Exportando os dados");
    EXPECT_EQ(p.ProgressBar->maximum(), 0);
    EXPECT_EQ(p.ProgressBar->width(), 300 - 16);
    EXPECT_EQ(p.ProgressLabel->text(), "Processando...");
    const int withLabel = p.ProgressBar->y();
    p.prepare(300, 80, "x", "", 5);
    EXPECT_EQ(p.ProgressLabel->text(), "Processando..."); // left as it was
    EXPECT_EQ(p.ProgressBar->y(), (80 - 16 - 16) / 2);
    EXPECT_GT(withLabel, p.ProgressLabel->geometry().bottom()); // the bar never over the text
}

TEST(Chooser, AltEConfirmsWithTheButtonThatSharesItsLetterWithARadio) {
    TdtDataSetExport x;
    acq::Records table;
    configureMeasurementExport(x); // "&Exporta" on the button and on rdo_File
    x.DataSet = &table;
    QtExportUi ui;
    Tfrm_Selection* w = ui.chooser();
    bool pressed = false;
    QTimer::singleShot(0, w, [&] {
        w->raise();
        w->activateWindow();
        QApplication::setActiveWindow(w);
        if (QTest::qWaitForWindowActive(w)) {
            QTest::keyClick(w, Qt::Key_E, Qt::AltModifier);
            pressed = true;
        }
    });
    QTimer::singleShot(10000, w, [w] { w->done(-1); }); // never hangs the run
    EXPECT_TRUE(ui.choose(x));
    EXPECT_TRUE(pressed);
    EXPECT_EQ(x.ExportStyle, xsView); // the radio of the same letter was not chosen
    EXPECT_EQ(w->btn_Selection->shortcut(), QKeySequence(Qt::ALT | Qt::Key_E));
    EXPECT_TRUE(w->rdo_File->shortcut().isEmpty());
    EXPECT_EQ(w->rdo_File->text(), "&Exporta");
}

TEST(ProgressWindow, LabelAndBarApartFromTheFirstShowing) {
    struct Case { int width, height; const char* text; } cases[] = {
        {300, 80, "Processando..."}, {186, 61, "Processando..."}, {300, 80, ""}, {240, 60, "Exportando"}};
    for (const auto& c : cases) {
        Tfrm_ProgressForm p; // never shown before
        p.prepare(c.width, c.height, "Exportando os dados", c.text, 10);
        p.show();
        QApplication::processEvents();
        const QString name = QStringLiteral("%1x%2 \"%3\"").arg(c.width).arg(c.height).arg(c.text);
        const QRect bar = p.ProgressBar->geometry();
        // The asked size, or taller when the frame leaves too little room for text and bar.
        EXPECT_EQ(p.frameGeometry().width(), c.width) << name.toStdString();
        if (p.frameGeometry().height() != c.height) {
            EXPECT_GT(p.frameGeometry().height(), c.height) << name.toStdString();
            EXPECT_EQ(bar.bottom() + 1 + 4, p.height()) << name.toStdString();
        }
        EXPECT_TRUE(p.rect().contains(bar)) << name.toStdString();
        EXPECT_EQ(bar.width(), p.width() - 16) << name.toStdString();
        if (*c.text) {
            EXPECT_FALSE(bar.intersects(p.ProgressLabel->geometry())) << name.toStdString();
            EXPECT_GE(p.ProgressLabel->width(), p.ProgressLabel->fontMetrics().horizontalAdvance(c.text));
        }
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        // A window manager of X (under Wine) may apply the place a moment after the showing.
        auto offCentre = [&] { return (p.frameGeometry().center() - screen.center()).manhattanLength(); };
        QTest::qWaitFor([&] { return offCentre() <= 1; }, 5000);
        EXPECT_LE(offCentre(), 1) << name.toStdString();
    }
}

TEST(ProgressWindow, AQuestionAskedWhileItShowsComesAboveIt) {
    TdtDataSetExport x;
    acq::Records table;
    configureMeasurementExport(x);
    x.DataSet = &table;
    QtExportUi ui;
    ui.progressShow(x, 10);
    ASSERT_TRUE(ui.progress()->isVisible());
    QWidget* parent = nullptr;
    bool onTop = false;
    QObject scope; // the timers end with the test
    QTimer::singleShot(0, &scope, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        parent = box->parentWidget();
        onTop = box->windowFlags() & Qt::WindowStaysOnTopHint;
        box->buttons().first()->click();
    });
    QTimer::singleShot(10000, &scope, [] { // never hangs the run
        if (QWidget* m = QApplication::activeModalWidget())
            m->close();
    });
    QtMessageService messages;
    messages.ask(MsgKind::Confirmation, "Arquivo já existe! Deseja gravar mesmo assim?", MsgButtons::YesNo);
    EXPECT_EQ(parent, ui.progress());
    EXPECT_TRUE(onTop);
    ui.progressClose();
}
