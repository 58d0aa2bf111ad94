#include "export/dtExportProgress.h"

#include <QLabel>
#include <QProgressBar>

Tfrm_ProgressForm::Tfrm_ProgressForm(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(QStringLiteral("frm_ProgressForm"));
    resize(186, 61);
    ProgressLabel = new QLabel(this);
    ProgressLabel->move(8, 8);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setGeometry(8, 32, 169, 16);
    ProgressBar->setTextVisible(false);
}

void Tfrm_ProgressForm::prepare(int width, int height, const QString& caption, const QString& text,
                                int recordCount) {
    // Outer size as given; with no window frame offscreen, the client area is the whole window.
    const int frameH = frameGeometry().height() - geometry().height();
    resize(width, std::max(1, height - std::max(0, frameH)));
    setWindowTitle(caption);
    const int client = height - std::max(0, frameH);
    ProgressBar->setGeometry(8, ProgressBar->y(), width - 16, 16);
    ProgressBar->setRange(0, recordCount);
    ProgressBar->setValue(0);
    if (!text.isEmpty()) {
        ProgressLabel->move(8, 8);
        ProgressLabel->setText(text);
        ProgressLabel->adjustSize();
        ProgressBar->move(8, (height - client) + (client - ProgressLabel->height() - 16 - 16) / 2);
    } else {
        ProgressBar->move(8, (height - client + client - 16 - 16) / 2);
    }
    if (const QWidget* p = parentWidget())
        move(p->geometry().center() - rect().center());
}
