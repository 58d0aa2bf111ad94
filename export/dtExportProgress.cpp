#include "export/dtExportProgress.h"

#include "acquisition/toplevel.h"

#include <QLabel>
#include <algorithm>
#include <QProgressBar>

namespace {
constexpr int kBarHeight = 16;
constexpr int kMinGap = 4; ///< between the label and the bar when the room is short
} // namespace

Tfrm_ProgressForm::Tfrm_ProgressForm(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(QStringLiteral("frm_ProgressForm"));
    resize(186, 61);
    ProgressLabel = new QLabel(this);
    ProgressLabel->move(8, 8);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setGeometry(8, 32, 169, kBarHeight);
    ProgressBar->setTextVisible(false);
    toplevel::placeWhenShown(this, [this] { fitToOuter(); });
}

void Tfrm_ProgressForm::prepare(int width, int height, const QString& caption, const QString& text,
                                int recordCount) {
    outer_ = QSize(width, height);
    setWindowTitle(caption);
    ProgressBar->setRange(0, recordCount);
    ProgressBar->setValue(0);
    withText_ = !text.isEmpty();
    if (withText_) {
        ProgressLabel->move(8, 8);
        ProgressLabel->setText(text);
        ProgressLabel->adjustSize();
    }
    fitToOuter();
}

void Tfrm_ProgressForm::fitToOuter() {
    QSize client = toplevel::clientFor(this, outer_);
    // A frame taller than the asked height allows (a Windows title bar) would push the bar out
    // of the window: the window grows instead, so text and bar are always whole.
    if (withText_)
        client.setHeight(std::max(client.height(), ProgressLabel->geometry().bottom() + 1 + kMinGap + kBarHeight + kMinGap));
    if (size() != client)
        resize(client);
    toplevel::centreOnScreen(this);
    layOut();
}

void Tfrm_ProgressForm::layOut() {
    // From the client area the window really has: the frame's height is what the outer height
    // leaves over.
    const int client = height();
    const int frame = std::max(0, outer_.height() - client);
    ProgressBar->setGeometry(8, ProgressBar->y(), std::max(1, width() - 16), kBarHeight);
    int top;
    if (withText_) {
        top = frame + (client - ProgressLabel->height() - 16 - kBarHeight) / 2;
        // Never over the label, and inside the window while there is room.
        top = std::min(top, client - kBarHeight - kMinGap);
        top = std::max(top, ProgressLabel->geometry().bottom() + 1 + kMinGap);
    } else {
        top = (frame + client - kBarHeight - 16) / 2;
    }
    ProgressBar->move(8, top);
}
