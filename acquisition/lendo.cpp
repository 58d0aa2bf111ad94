#include "acquisition/lendo.h"

#include "acquisition/toplevel.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>

TFormLendo::TFormLendo(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FormLendo"));
    setWindowTitle(QStringLiteral("Lendo memória"));
    setFixedSize(kOuterSize);
    move(kFramePos);
    Label1 = new QLabel(QStringLiteral("Lendo memória..."), this);
    Label1->move(8, 8);
    Label1->adjustSize();
    ProgressBar1 = new QProgressBar(this);
    // Below the label even when the platform's font is taller than the reference one.
    ProgressBar1->setGeometry(8, std::max(24, Label1->geometry().bottom() + 2), 209, 17);
    ProgressBar1->setTextVisible(false);
    // 234 × 84 is the size with the frame, which is known only once a window has been shown.
    toplevel::placeWhenShown(this, [this] {
        setFixedSize(toplevel::clientFor(this, kOuterSize));
        toplevel::placeFrameAt(this, kFramePos);
    });
}

void TFormLendo::setCancellable(bool on) { cancellable_ = on; }

void TFormLendo::closeEvent(QCloseEvent* e) {
    if (!cancellable_) {
        QWidget::closeEvent(e);
        return;
    }
    // The window goes when the download has stopped, not before: it shows how far it came.
    e->ignore();
    Q_EMIT cancelRequested();
}

void TFormLendo::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && cancellable_) {
        Q_EMIT cancelRequested();
        return;
    }
    QWidget::keyPressEvent(e);
}
