#pragma once
// The export's platform seams: its windows, its save dialog, its error box and the viewer of
// the file it wrote. Each is an interface; the program gives real ones (its own file-dialog,
// message and viewer seams, see app/exportsettings.h), tests give scripted ones. The component
// always holds one of each (until it is given its own: no windows, a save dialog that is
// cancelled, a silent box, no viewer), so the run never asks whether a seam is there.
#include <QString>
#include <memory>

class TdtCustomExport;

/// The chooser and the progress window.
class TdtExportUi {
public:
    virtual ~TdtExportUi() = default;
    /// Shows the chooser filled from the component; true when confirmed.
    virtual bool choose(TdtCustomExport& c) = 0;
    virtual void progressShow(TdtCustomExport& c, int recordCount) = 0;
    virtual void progressPosition(int position) = 0;
    virtual void progressClose() = 0;
};

/// Makes the windows when the export first needs them: they are widgets, made under the window
/// that is active then, and only by a program that has a display.
class TdtWindowsFactory {
public:
    virtual ~TdtWindowsFactory() = default;
    /// The windows; none (null) when this program has none to give.
    virtual std::unique_ptr<TdtExportUi> create() = 0;
};

/// What the save dialog is opened with: no other options, and it does not ask about
/// overwriting (OnFileExist does that later).
struct TdtSaveRequest {
    QString title;
    QString filter; ///< "Name (*.ext)|*.EXT"
    QString defaultExt;
    QString directory;
};

class TdtSaveDialog {
public:
    virtual ~TdtSaveDialog() = default;
    /// The chosen path; empty when cancelled.
    virtual QString saveFile(const TdtSaveRequest& request) = 0;
};

/// A modal box with the error icon and one OK button.
class TdtErrorBox {
public:
    virtual ~TdtErrorBox() = default;
    virtual void error(const QString& text) = 0;
};

/// Opens a file with the program associated with its type; its outcome is not the export's.
class TdtViewer {
public:
    virtual ~TdtViewer() = default;
    virtual void open(const QString& path) = 0;
};

/// Windows of a program without a display: the chooser is never confirmed, progress is not shown.
class TdtNoWindows : public TdtExportUi {
public:
    bool choose(TdtCustomExport&) override { return false; }
    void progressShow(TdtCustomExport&, int) override {}
    void progressPosition(int) override {}
    void progressClose() override {}
};
