#include "app/filedialogs.h"

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

QString run(const FileDialogSpec& spec, bool save) {
    QFileDialog d(QApplication::activeWindow(), spec.title, spec.directory, qtFilter(spec.filter));
    d.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    d.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    d.setDefaultSuffix(spec.defaultSuffix);
    d.setOption(QFileDialog::DontConfirmOverwrite, !spec.confirmOverwrite);
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty())
        return {};
    return d.selectedFiles().constFirst();
}

} // namespace

QString QtFileDialogs::openFile(const FileDialogSpec& spec) { return run(spec, false); }
QString QtFileDialogs::saveFile(const FileDialogSpec& spec) { return run(spec, true); }
