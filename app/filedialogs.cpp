#include "app/filedialogs.h"
#include "app/services.h"

#include "export/dtExportSelect.h"

#include <QDialog>

#include <QApplication>
#include <QFileDialog>
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

QString QtFileDialogs::openFile(const FileDialogSpec& opts) { return run(opts, false); }
QString QtFileDialogs::saveFile(const FileDialogSpec& opts) { return run(opts, true); }

int QtDialogRunner::exec(QDialog& d) { return d.exec(); }

std::unique_ptr<TdtExportUi> QtExportWindows::create() { return std::make_unique<QtExportUi>(); }
