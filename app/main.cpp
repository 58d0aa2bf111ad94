// registrador: the main window of the calorimeter's data logger program.
#include "app/about.h"
#include "app/tform1.h"
#include "app/windowmemory.h"
#include "records/store.h"
#include "session/testevaluation.h"
#include "link/systemseriallibrary.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>
#include <QUrl>

namespace {
class DesktopViewer : public FileViewer {
public:
    bool open(const QString& path) override { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }
};
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(appTitle());
    // The toolkit's own dialogs (files, calendars, "Show Details…") in the program's language:
    // beside the program on Windows, Qt's folder elsewhere. The captions and buttons the
    // program sets itself stay as it sets them.
    QTranslator toolkit;
    for (const QString& dir : {QDir(QApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath)})
        if (toolkit.load(QStringLiteral("qtbase_pt_BR"), dir)) {
            QApplication::installTranslator(&toolkit);
            break;
        }
    ses::useDecimalComma(true); // the window's numbers as a Brazilian reader reads them
    // Window sizes and places, the results' unit and order, the last operator: the user's own.
    QSettings windows(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Registrador"), QStringLiteral("janelas"));
    mem::use(&windows);
    initAppResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/registrador.svg"))); // every window's
    rec::loadDrivers();
    lnk::SystemSerialLibrary serial;
    lnk::SystemClock clock;
    QtMessageService messages;
    QtFileDialogs files;
    DesktopViewer viewer;
    QtDialogRunner dialogs;
    QtExportWindows exportWindows;
    TForm1 form(Services{serial, clock, messages, files, viewer, dialogs, serial.portMap(), QDir::currentPath(),
                         exportWindows});
    if (form.terminationRequested())
        return 1;
    form.show();
    return app.exec();
}
