// The export's chooser and progress windows.
#include "export/dtExportProgress.h"
#include "export/dtExportSelect.h"

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
    EXPECT_NE(withLabel, p.ProgressBar->y());
}
