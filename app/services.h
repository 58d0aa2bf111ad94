#pragma once
// What the main window is given from outside: the serial library, the clock, and the seams
// for message boxes, file dialogs and the file viewer. The real program passes Qt's; tests
// pass fakes.
#include "app/filedialogs.h"
#include "app/messageservice.h"
#include "link/clock.h"
#include "link/portmap.h"
#include "link/seriallibrary.h"

#include <QString>
#include <functional>
#include <memory>

#include "export/dtExportSeams.h"
class QDialog;

class FileViewer {
public:
    virtual ~FileViewer() = default;
    /// Opens a file with the program associated with its type; false when none could start.
    virtual bool open(const QString& path) = 0;
};

/// Shows a dialog modally and returns its result.
class DialogRunner {
public:
    virtual ~DialogRunner() = default;
    virtual int exec(QDialog& d) = 0;
};

class QtDialogRunner : public DialogRunner {
public:
    int exec(QDialog& d) override;
};

/// The export component's windows (the chooser and the progress window) as Qt widgets.
class QtExportWindows : public TdtWindowsFactory {
public:
    std::unique_ptr<TdtExportUi> create() override;
};

struct Services {
    lnk::SerialLibrary& serial;
    lnk::Clock& clock;
    MessageService& messages;
    FileDialogs& files;
    FileViewer& viewer;
    DialogRunner& dialogs;
    lnk::PortMap& ports; ///< filled from the COM1 … COM4 rows of "config.xml"
    QString workDir;     ///< where "config.xml" is looked up
    TdtWindowsFactory& exportWindows;
};
