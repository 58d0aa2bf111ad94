#pragma once
// Tfrm_Selection: the format chooser (format, view or file), and the Qt side of the
// component's windows and dialogs.
#include "export/dtExport.h"

#include <QDialog>
#include <QPixmap>
#include <QVector>

class QComboBox;
class QGroupBox;
class QPushButton;
class QRadioButton;
class Tfrm_ProgressForm;

class Tfrm_Selection : public QDialog {
    Q_OBJECT
public:
    explicit Tfrm_Selection(QWidget* parent = nullptr);
    QPushButton* btn_Selection;
    QPushButton* btn_Cancel;
    QGroupBox* GroupBox;
    QComboBox* SelectionCombo;
    QRadioButton* rdo_View;
    QRadioButton* rdo_File;
    QWidget* IconImage;
    QVector<QPixmap> ImageList; ///< eight 31 × 31 icons

    /// Fills the window from the component; the user's choices go back to it at once.
    void fill(TdtCustomExport& c);
    /// The shared handler of the list (tag 30) and the two radio buttons (tags 10, 20).
    void ApplyChooserChoice(QObject* sender);
    void PaintFormatIcon();

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    TdtCustomExport* c_ = nullptr;
};

/// Icon index of each export type.
int formatIcon(TdtExportType t);
/// The eight icons, drawn by the program.
QVector<QPixmap> formatIcons();

/// The component's windows on Qt: the chooser and the progress window. The save dialog and the
/// error box are the program's own (its file-dialog and message seams).
class QtExportUi : public TdtExportUi {
public:
    QtExportUi();
    ~QtExportUi() override;
    bool choose(TdtCustomExport& c) override;
    void progressShow(TdtCustomExport& c, int recordCount) override;
    void progressPosition(int position) override;
    void progressClose() override;

    Tfrm_Selection* chooser() const { return chooser_; }
    Tfrm_ProgressForm* progress() const { return progress_; }

private:
    Tfrm_Selection* chooser_;
    Tfrm_ProgressForm* progress_;
};
