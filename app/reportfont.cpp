#include "app/reportfont.h"

#include <QFontDatabase>
#include <QStringList>

// At global scope: the resource's initialiser is declared where it is called.
static void initFontResources() { Q_INIT_RESOURCE(fonts); }

QString reportFontFamily() {
    static const QString family = [] {
        initFontResources();
        QString name = QStringLiteral("DejaVu Sans");
        for (const char* file : {":/fonts/DejaVuSans.ttf", ":/fonts/DejaVuSans-Bold.ttf"}) {
            const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(file));
            if (id >= 0 && !QFontDatabase::applicationFontFamilies(id).isEmpty())
                name = QFontDatabase::applicationFontFamilies(id).first();
        }
        return name;
    }();
    return family;
}

QFont reportFont(qreal points, bool bold) {
    QFont f(reportFontFamily());
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}
