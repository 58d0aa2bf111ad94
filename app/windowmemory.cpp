#include "app/windowmemory.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <algorithm>

namespace mem {

namespace {

QSettings* kept = nullptr;

QString geometryKey(const QWidget* w) { return QStringLiteral("janelas/%1").arg(w->objectName()); }

// Keeps a window's size and place each time it is closed or hidden.
class GeometryKeeper : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Hide)
            if (auto* w = qobject_cast<QWidget*>(o); w && w->isWindow())
                setValue(geometryKey(w), w->saveGeometry());
        return false;
    }
};

} // namespace

void use(QSettings* settings) { kept = settings; }

QVariant value(const QString& key, const QVariant& fallback) { return kept ? kept->value(key, fallback) : fallback; }

void setValue(const QString& key, const QVariant& value) {
    if (kept)
        kept->setValue(key, value);
}

void placeWindow(QWidget* w, const QSize& preferred) {
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    QSize size = preferred;
    if (screen) {
        // The frame is not known before the window is shown: room for a title bar and borders.
        const QRect area = screen->availableGeometry();
        const QSize room = area.size() - QSize(16, 40);
        size = size.boundedTo(room).expandedTo(w->minimumSizeHint().boundedTo(room));
        w->resize(size);
        // The place is the frame's: its top left corner, centred with the frame's room.
        const QSize outer = size + QSize(16, 40);
        w->move(area.topLeft() + QPoint(std::max(0, area.width() - outer.width()) / 2,
                                        std::max(0, area.height() - outer.height()) / 2));
    } else {
        w->resize(size);
    }
    // Restored only inside a screen: the toolkit moves a place left on a screen now gone.
    const QByteArray last = value(geometryKey(w)).toByteArray();
    if (!last.isEmpty() && w->restoreGeometry(last) && screen) {
        // Never larger than the work area, whatever was kept (another screen, an older version).
        const QRect area = screen->availableGeometry();
        const QSize room = area.size() - QSize(16, 40);
        if (w->width() > room.width() || w->height() > room.height()) {
            w->resize(w->size().boundedTo(room));
            w->move(area.topLeft());
        }
    }
    w->installEventFilter(new GeometryKeeper(w));
}

} // namespace mem
