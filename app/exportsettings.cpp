#include "app/exportsettings.h"

#include <QDir>

QString ProgramSaveDialog::saveFile(const TdtSaveRequest& r) {
    return files_.saveFile(FileDialogSpec{r.title, r.filter, r.defaultExt, false, r.directory});
}

void ProgramErrorBox::error(const QString& text) { messages_.show(MsgKind::Error, text); }

void ProgramViewer::open(const QString& path) {
    if (!viewer_.open(path))
        messages_.show(MsgKind::Information, failedText_ + QLatin1Char('\n') + QDir::toNativeSeparators(path));
}

void connectExportSeams(TdtCustomExport& x, FileDialogs& files, MessageService& messages, FileViewer& viewer,
                        const QString& viewerFailedText) {
    x.setSaveDialog(std::make_unique<ProgramSaveDialog>(files));
    x.setErrorBox(std::make_unique<ProgramErrorBox>(messages));
    x.setViewer(std::make_unique<ProgramViewer>(viewer, messages, viewerFailedText));
}
