#include "app/filedialogs.h"
#include "app/services.h"

#include "export/dtExportSelect.h"

#include <QDialog>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

QString qtFilter(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        if (!name.contains(QLatin1Char('(')))
            name += QStringLiteral(" (%1)").arg(QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')));
        out << name;
    }
    return out.join(QStringLiteral(";;"));
}

namespace {

QString run(const FileDialogSpec& opts, bool save) {
    QFileDialog d(QApplication::activeWindow(), opts.title, opts.directory, qtFilter(opts.filter));
    d.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    d.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    d.setDefaultSuffix(opts.defaultSuffix);
    d.setOption(QFileDialog::DontConfirmOverwrite, !opts.confirmOverwrite);
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty())
        return {};
    return d.selectedFiles().constFirst();
}

} // namespace

QString documentsFolder() {
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !docs.isEmpty() && QFileInfo(docs).isDir() ? docs : QDir::homePath();
}

RememberingFileDialogs::RememberingFileDialogs(FileDialogs& inner, QString firstFolder)
    : inner_(inner), first_(std::move(firstFolder)) {}

QString RememberingFileDialogs::folderFor(const QString& suffix) const {
    const auto it = last_.find(suffix.toLower());
    return it != last_.end() ? it->second : first_;
}

FileDialogSpec RememberingFileDialogs::placed(FileDialogSpec opts) const {
    const QString own = QCoreApplication::applicationDirPath();
    if (opts.directory.isEmpty() || QDir(opts.directory) == QDir(own))
        opts.directory = folderFor(opts.defaultSuffix);
    else if (!opts.directory.contains(QLatin1Char('/')) && !opts.directory.contains(QLatin1Char('\\')))
        opts.directory = QDir(folderFor(opts.defaultSuffix)).filePath(opts.directory);
    return opts;
}

QString RememberingFileDialogs::remember(const FileDialogSpec& opts, const QString& path) {
    if (!path.isEmpty())
        last_[opts.defaultSuffix.toLower()] = QFileInfo(path).absolutePath();
    return path;
}

QString RememberingFileDialogs::openFile(const FileDialogSpec& opts) {
    return remember(opts, inner_.openFile(placed(opts)));
}

QString RememberingFileDialogs::saveFile(const FileDialogSpec& opts) {
    return remember(opts, inner_.saveFile(placed(opts)));
}

QString QtFileDialogs::openFile(const FileDialogSpec& opts) { return run(opts, false); }
QString QtFileDialogs::saveFile(const FileDialogSpec& opts) { return run(opts, true); }

int QtDialogRunner::exec(QDialog& d) { return d.exec(); }

std::unique_ptr<TdtExportUi> QtExportWindows::create() { return std::make_unique<QtExportUi>(); }
