#pragma once
// The export's platform seams: what it asks of the windows and the desktop.
#include <QString>

class TdtCustomExport;

/// The component's windows and dialogs; absent in a program without a display.
class TdtExportUi {
public:
    virtual ~TdtExportUi() = default;
    /// Shows the chooser filled from the component; true when confirmed.
    virtual bool choose(TdtCustomExport& c) = 0;
    /// The save dialog; empty when cancelled.
    virtual QString saveFile(const QString& title, const QString& filter, const QString& defaultExt,
                             const QString& dir) = 0;
    virtual void progressShow(TdtCustomExport& c, int recordCount) = 0;
    virtual void progressPosition(int position) = 0;
    virtual void progressClose() = 0;
    virtual void error(const QString& text) = 0;
};
