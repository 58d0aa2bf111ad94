#pragma once
// What the user arranged in our windows and expects again next time: their sizes and places,
// the results' unit, sort and column widths, the last operator. The window program keeps them
// in one settings file; without one (the tests) nothing is remembered and every window opens
// at its own size.
#include <QVariant>

class QSettings;
class QSize;
class QWidget;

namespace mem {

/// The file the window program keeps them in; null forgets everything.
void use(QSettings* settings);

QVariant value(const QString& key, const QVariant& fallback = {});
void setValue(const QString& key, const QVariant& value);

/// Sizes `w` as `preferred`, within the screen's work area (the taskbar excluded) with room for
/// the title bar, and centres it there; then the size and place the user left it at last time,
/// kept again whenever it closes (by the window's object name).
void placeWindow(QWidget* w, const QSize& preferred);

} // namespace mem
