#include "export/dtExportSelect.h"

#include "export/dtExportProgress.h"

#include "acquisition/toplevel.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

int formatIcon(TdtExportType t) {
    switch (t) {
    case xtRTF: return 0;
    case xtCSV: return 1;
    case xtHTML: return 2;
    case xtTXT: return 3;
    case xtWord: return 4;
    case xtExcel: return 5;
    case xtTAB:
    case xtDIF:
    case xtSYLK: return 6;
    case xtClipboard: return 7;
    }
    return 6;
}

QVector<QPixmap> formatIcons() {
    // A sheet of paper with a coloured band and a short tag; the clipboard gets its clip.
    struct Look { QColor band; const char* tag; };
    const Look looks[8] = {{QColor(128, 0, 128), "RTF"}, {QColor(0, 128, 0), "CSV"},
                           {QColor(230, 110, 0), "<>"},  {QColor(90, 90, 90), "TXT"},
                           {QColor(30, 80, 200), "W"},   {QColor(20, 130, 60), "X"},
                           {QColor(0, 120, 140), "..."}, {QColor(150, 100, 40), ""}};
    QVector<QPixmap> out;
    for (int i = 0; i < 8; ++i) {
        QPixmap pm(31, 31);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        if (i == 7) {
            p.setBrush(looks[i].band);
            p.setPen(Qt::black);
            p.drawRoundedRect(5, 4, 21, 25, 2, 2);
            p.setBrush(Qt::white);
            p.drawRect(8, 8, 15, 18);
            p.setBrush(Qt::lightGray);
            p.drawRect(11, 2, 9, 5);
        } else {
            p.setPen(Qt::black);
            p.setBrush(Qt::white);
            p.drawPolygon(QPolygon({QPoint(5, 2), QPoint(20, 2), QPoint(26, 8), QPoint(26, 29), QPoint(5, 29)}));
            p.fillRect(6, 17, 20, 11, looks[i].band);
            p.setPen(Qt::white);
            QFont f = p.font();
            f.setPixelSize(8);
            f.setBold(true);
            p.setFont(f);
            p.drawText(QRect(6, 17, 20, 11), Qt::AlignCenter, QString::fromLatin1(looks[i].tag));
            p.setPen(QColor(160, 160, 160));
            for (int y = 6; y < 16; y += 3)
                p.drawLine(8, y, 20, y);
        }
        out << pm;
    }
    return out;
}

Tfrm_Selection::Tfrm_Selection(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(QStringLiteral("Exporting..."));
    setFixedSize(322, 123);
    btn_Selection = new QPushButton(this);
    btn_Selection->setGeometry(240, 8, 75, 25);
    btn_Selection->setDefault(true);
    connect(btn_Selection, &QPushButton::clicked, this, &QDialog::accept);
    btn_Cancel = new QPushButton(this);
    btn_Cancel->setGeometry(240, 40, 75, 25);
    connect(btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);
    GroupBox = new QGroupBox(QStringLiteral("E&xport formats: "), this);
    GroupBox->setGeometry(8, 8, 225, 113);
    SelectionCombo = new QComboBox(GroupBox);
    SelectionCombo->setGeometry(8, 24, 209, 21);
    SelectionCombo->setProperty("tag", 30);
    rdo_View = new QRadioButton(GroupBox);
    rdo_View->setGeometry(8, 60, 113, 17);
    rdo_View->setProperty("tag", 10);
    rdo_File = new QRadioButton(GroupBox);
    rdo_File->setGeometry(8, 80, 113, 17);
    rdo_File->setProperty("tag", 20);
    IconImage = new QWidget(GroupBox);
    IconImage->setGeometry(176, 64, 40, 40);
    IconImage->installEventFilter(this);
    ImageList = formatIcons();
    connect(SelectionCombo, &QComboBox::currentIndexChanged, this, [this] { ApplyChooserChoice(SelectionCombo); });
    connect(rdo_View, &QRadioButton::clicked, this, [this] { ApplyChooserChoice(rdo_View); });
    connect(rdo_File, &QRadioButton::clicked, this, [this] { ApplyChooserChoice(rdo_File); });
}

bool Tfrm_Selection::eventFilter(QObject* o, QEvent* e) {
    if (o == IconImage && e->type() == QEvent::Paint) {
        PaintFormatIcon();
        return true;
    }
    return QDialog::eventFilter(o, e);
}

void Tfrm_Selection::PaintFormatIcon() {
    if (!c_)
        return;
    QPainter p(IconImage);
    p.drawPixmap(0, 0, ImageList[formatIcon(c_->ExportType())]);
}

void Tfrm_Selection::fill(TdtCustomExport& c) {
    c_ = nullptr; // no choices are written while the window is being filled
    const TdtMessagesOptions& m = c.Messages;
    setWindowTitle(m.Caption);
    btn_Selection->setText(m.ExportCaption);
    btn_Cancel->setText(m.CancelCaption);
    GroupBox->setTitle(QStringLiteral(" %1 ").arg(m.SelectFormat));
    c.setExportTypes(c.ExportTypes());
    SelectionCombo->clear();
    static const TdtExportType order[] = {xtHTML, xtWord, xtExcel, xtTXT, xtRTF, xtCSV, xtTAB, xtDIF, xtSYLK, xtClipboard};
    int selected = -1;
    for (TdtExportType t : order) {
        if (!(c.ExportTypes() & typeBit(t)))
            continue;
        SelectionCombo->addItem(TdtCustomExport::chooserText(t));
        if (t == c.ExportType())
            selected = SelectionCombo->count() - 1;
    }
    SelectionCombo->setMaxVisibleItems(std::max(1, SelectionCombo->count()));
    SelectionCombo->setCurrentIndex(selected);
    rdo_View->setText(m.ViewOnly);
    rdo_File->setText(m.ExportToFile);
    rdo_View->setChecked(c.ExportStyle == xsView);
    rdo_File->setChecked(c.ExportStyle == xsFile);
    c_ = &c;
    ApplyChooserChoice(SelectionCombo);
    // "&Exporta" may be the caption of the confirm button and of a radio button at once: the
    // button, first in tab order, takes the key.
    toplevel::keepFirstMnemonics(this);
}

void Tfrm_Selection::ApplyChooserChoice(QObject* sender) {
    if (!c_)
        return;
    const int tag = sender->property("tag").toInt();
    if (sender == rdo_View || sender == rdo_File) {
        if (tag == 10) c_->ExportStyle = xsView;
        else if (tag == 20) c_->ExportStyle = xsFile;
        return;
    }
    if (sender == SelectionCombo && tag == 30) {
        const QString text = SelectionCombo->currentText();
        const bool notClipboard = text != QLatin1String("Clipboard");
        rdo_View->setEnabled(notClipboard);
        rdo_File->setEnabled(notClipboard);
        for (int t = xtHTML; t <= xtClipboard; ++t)
            if (TdtCustomExport::chooserText(static_cast<TdtExportType>(t)) == text)
                c_->setExportType(static_cast<TdtExportType>(t));
        IconImage->update();
    }
}

QtExportUi::QtExportUi()
    : chooser_(new Tfrm_Selection(QApplication::activeWindow())),
      progress_(new Tfrm_ProgressForm(QApplication::activeWindow())) {}

QtExportUi::~QtExportUi() {
    delete chooser_;
    delete progress_;
}

bool QtExportUi::choose(TdtCustomExport& c) {
    chooser_->fill(c);
    toplevel::centreOnScreen(chooser_);
    return chooser_->exec() == QDialog::Accepted;
}

void QtExportUi::progressShow(TdtCustomExport& c, int recordCount) {
    progress_->prepare(c.Messages.Width, c.Messages.Height, c.Messages.Caption, c.Messages.Text, recordCount);
    progress_->show();
    progress_->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtExportUi::progressPosition(int position) { progress_->ProgressBar->setValue(position); }

void QtExportUi::progressClose() { progress_->hide(); }

