#pragma once
// TFormLendo: the small window that shows how far the memory download has come.
#include <QWidget>

class QProgressBar;
class QLabel;

class TFormLendo : public QWidget {
    Q_OBJECT
public:
    explicit TFormLendo(QWidget* parent = nullptr);
    QProgressBar* ProgressBar1;
    QLabel* Label1;

    static constexpr QSize kOuterSize{234, 84}; ///< frame included
    static constexpr QPoint kFramePos{365, 263};

    /// While a download runs: its close button and Escape ask it to stop.
    void setCancellable(bool on);

Q_SIGNALS:
    void cancelRequested();

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    bool cancellable_ = false;
};
