#pragma once
// The one font of our reports and charts, carried inside the program.
#include <QFont>

/// The reports' font family, loaded from the program's own copy on first use.
QString reportFontFamily();
/// The reports' font at `points`, as bold as asked.
QFont reportFont(qreal points, bool bold = false);
