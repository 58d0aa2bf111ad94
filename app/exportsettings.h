#pragma once
// The export's platform seams on the program's own file-dialog, message and viewer seams, and
// (from the session) the program's settings of its export component.
#include "acquisition/records.h"
#include "app/filedialogs.h"
#include "app/messageservice.h"
#include "app/services.h"
#include "export/dtExport.h"
#include "session/exportsettings.h"

/// The export's save dialog on the program's file dialogs.
class ProgramSaveDialog : public TdtSaveDialog {
public:
    explicit ProgramSaveDialog(FileDialogs& files) : files_(files) {}
    QString saveFile(const TdtSaveRequest& r) override;

private:
    FileDialogs& files_;
};

/// The export's error box on the program's message boxes.
class ProgramErrorBox : public TdtErrorBox {
public:
    explicit ProgramErrorBox(MessageService& messages) : messages_(messages) {}
    void error(const QString& text) override;

private:
    MessageService& messages_;
};

/// The export's viewer on the program's; when no program could open the file, the user is told
/// `failedText`, a line break and the file's path.
class ProgramViewer : public TdtViewer {
public:
    ProgramViewer(FileViewer& viewer, MessageService& messages, QString failedText)
        : viewer_(viewer), messages_(messages), failedText_(std::move(failedText)) {}
    void open(const QString& path) override;

private:
    FileViewer& viewer_;
    MessageService& messages_;
    QString failedText_;
};

/// The three seams above, set on the component.
void connectExportSeams(TdtCustomExport& x, FileDialogs& files, MessageService& messages, FileViewer& viewer,
                        const QString& viewerFailedText);
