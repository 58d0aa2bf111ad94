#pragma once
#include <map>
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

/// The dialogs as the user meets them: the first time in the documents folder, then in the
/// folder last used for that kind of file (by its suffix) while the program runs; never the
/// program's own folder, where nothing can be written once it is installed. A directory that
/// ends in a file name keeps that name, proposed in the remembered folder when it has no folder.
class RememberingFileDialogs : public FileDialogs {
public:
    RememberingFileDialogs(FileDialogs& inner, QString firstFolder);
    QString openFile(const FileDialogSpec& opts) override;
    QString saveFile(const FileDialogSpec& opts) override;
    /// The folder the next dialog for files with this suffix opens in.
    QString folderFor(const QString& suffix) const;

private:
    FileDialogSpec placed(FileDialogSpec opts) const;
    QString remember(const FileDialogSpec& opts, const QString& path);
    FileDialogs& inner_;
    QString first_;
    std::map<QString, QString> last_;
};

/// The user's documents folder, or the home folder when there is none.
QString documentsFolder();

class QtFileDialogs : public FileDialogs {
public:
    QString openFile(const FileDialogSpec& opts) override;
    QString saveFile(const FileDialogSpec& opts) override;
};
