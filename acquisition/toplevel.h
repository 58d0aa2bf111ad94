#pragma once
// How the program's top-level windows sit on a desktop: sizes and places counted with the
// window frame, as the reference layout counts them, and accelerator keys that act as on
// Windows. Shared by every window of the program, so it lives beside the lowest widget
// library; inline, so that each library that shows a window takes it without linking another.
#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QKeySequence>
#include <QList>
#include <QMargins>
#include <QPoint>
#include <QScreen>
#include <QSize>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <functional>

namespace toplevel {

namespace detail {

inline QMargins knownFrame(const QWidget* w) {
    // The platform window knows the frame as soon as the window manager has told it.
    if (const QWindow* h = w->windowHandle(); h && w->isVisible()) return h->frameMargins();
    const QRect f = w->frameGeometry();
    const QRect g = w->geometry();
    return {g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom()};
}

} // namespace detail

/// The frame around `w`. A window manager tells a frame only once the window has been shown;
/// until then the frame of another visible window of the program stands in for it (they are
/// decorated alike). No frame at all offscreen.
inline QMargins frameMargins(const QWidget* w) {
    const QMargins own = detail::knownFrame(w);
    if (!own.isNull()) return own;
    for (const QWidget* t : QApplication::topLevelWidgets()) {
        if (t == w || !t->isVisible() || t->windowType() == Qt::Popup ||
            t->windowType() == Qt::ToolTip)
            continue;
        const QMargins m = detail::knownFrame(t);
        if (!m.isNull()) return m;
    }
    return {};
}

/// Client size that gives the outer size `outer` with the frame of `frameMargins(w)`.
inline QSize clientFor(const QWidget* w, QSize outer) {
    const QMargins m = frameMargins(w);
    return {std::max(1, outer.width() - m.left() - m.right()),
            std::max(1, outer.height() - m.top() - m.bottom())};
}

/// Puts the frame's top-left corner of `w` at `framePos` (screen coordinates).
inline void placeFrameAt(QWidget* w, QPoint framePos) {
    // The client's place, not move(): once a window exists, move() counts the frame it knows,
    // which is none before the first showing.
    const QMargins m = frameMargins(w);
    w->setGeometry(QRect(framePos + QPoint(m.left(), m.top()), w->size()));
}

/// Centres `w`, frame included, on the available area of its screen.
inline void centreOnScreen(QWidget* w) {
    const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!s) return;
    const QRect area = s->availableGeometry();
    const QSize outer = w->size().grownBy(frameMargins(w));
    placeFrameAt(w, area.topLeft() + QPoint((area.width() - outer.width()) / 2,
                                            (area.height() - outer.height()) / 2));
}

enum class Showings { Every, First };

namespace detail {

class Placer : public QObject {
public:
    Placer(QWidget* w, std::function<void()> place, Showings when)
        : QObject(w), w_(w), place_(std::move(place)), when_(when) {}

    bool eventFilter(QObject* o, QEvent* e) override {
        if (o != w_ || busy_) return false;
        if (e->type() == QEvent::Show && (when_ == Showings::Every || !shown_)) {
            shown_ = true;
            run();
        } else if ((e->type() == QEvent::Move || e->type() == QEvent::Resize ||
                    e->type() == QEvent::Paint) &&
                   shown_ && w_->isVisible()) {
            // A window manager tells the frame after the window appears, without moving it:
            // by the first paint it is known.
            const QMargins now = knownFrame(w_);
            if (!now.isNull() && now != used_) {
                used_ = now;
                QMetaObject::invokeMethod(
                    this, [this] { run(); }, Qt::QueuedConnection);
            }
        }
        return false;
    }

private:
    void run() {
        busy_ = true;
        used_ = frameMargins(w_);
        place_();
        busy_ = false;
    }

    QWidget* w_;
    std::function<void()> place_;
    Showings when_;
    QMargins used_;
    bool shown_ = false;
    bool busy_ = false;
};

} // namespace detail

/// Runs `place` (which sizes and places `w` from `frameMargins`) when `w` is shown — on every
/// showing or on the first only — and again when the frame turns out other than it was taken
/// to be, once the window manager has told it.
inline void placeWhenShown(QWidget* w, std::function<void()> place,
                           Showings when = Showings::Every) {
    w->installEventFilter(new detail::Placer(w, std::move(place), when));
}

/// Of the buttons in `window` that share an accelerator ("&Ler Dados", "&Limpar Memória"),
/// the first in tab order keeps it, so the key clicks that button instead of only moving the
/// focus between them. Run again after captions change.
inline void keepFirstMnemonics(QWidget* window) {
    QList<QKeySequence> taken;
    QWidget* w = window->nextInFocusChain();
    for (int guard = 0; w && w != window && guard < 10000; ++guard, w = w->nextInFocusChain()) {
        auto* b = qobject_cast<QAbstractButton*>(w);
        if (!b || b->window() != window) continue;
        const QKeySequence key = QKeySequence::mnemonic(b->text());
        if (key.isEmpty()) continue;
        if (taken.contains(key)) {
            b->setShortcut(QKeySequence()); // the caption keeps its underline
        } else {
            taken << key;
            b->setShortcut(key);
        }
    }
}

} // namespace toplevel
