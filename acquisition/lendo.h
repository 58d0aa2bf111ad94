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
};
