#pragma once
// Tfrm_ProgressForm: the window shown while rows are written.
#include <QWidget>

class QLabel;
class QProgressBar;

class Tfrm_ProgressForm : public QWidget {
    Q_OBJECT
public:
    explicit Tfrm_ProgressForm(QWidget* parent = nullptr);
    QLabel* ProgressLabel;
    QProgressBar* ProgressBar;
    /// Size, caption, label and bar placed as the component's messages say.
    void prepare(int width, int height, const QString& caption, const QString& text, int recordCount);

private:
    /// The outer size asked for with the frame as now known, centred on the screen, and the bar
    /// placed in the client area that gives.
    void fitToOuter();
    void layOut();

    QSize outer_{186, 61};
    bool withText_ = false;
};
