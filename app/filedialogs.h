#pragma once
// The open and save dialogs behind a seam, so that handlers run headless in tests.
#include <QString>

struct FileDialogSpec {
    QString title;
    QString filter;        ///< "Name (*.ext)|*.ext|…", as the dialogs' designers write it
    QString defaultSuffix; ///< without the dot
    bool confirmOverwrite = false;
    QString directory;
};

/// "A (*.a)|*.a|B (*.*)|*.*" → "A (*.a);;B (*.*)".
QString qtFilter(const QString& pipeFilter);

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    /// The chosen path, or empty when the user cancelled.
    virtual QString openFile(const FileDialogSpec& opts) = 0;
    virtual QString saveFile(const FileDialogSpec& opts) = 0;
};

class QtFileDialogs : public FileDialogs {
public:
    QString openFile(const FileDialogSpec& opts) override;
    QString saveFile(const FileDialogSpec& opts) override;
};
