// The export run: choosing, naming the output, and the output pass over the source.
#include "export/dtCustomExport.h"

#include "export/dtExcelFormat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <exception>
#include <new>

std::unique_ptr<TdtExportWriter> TdtCustomExport::writerFor(TdtExportType t) {
    if (t == xtExcel)
        return dtexcel::excelFormat(*this);
    return nullptr; // the program offers the spreadsheet only
}

void TdtCustomExport::ChooseAndExport() {
    types_ |= typeBit(type_);
    if (!windows().choose(*this))
        return;
    if (FileName.isEmpty() && ExportStyle == xsFile) {
        const QString path = saveDialog_->saveFile(
            {Messages.SaveTitle, SaveFilter(), DefaultExtension(), QCoreApplication::applicationDirPath()});
        if (path.isEmpty()) {
            raise(xeSaveCancelled);
            return;
        }
        FileName = path;
    }
    RunExport();
}

void TdtCustomExport::RunExport() {
    if (!SourceReady()) {
        raise(xeNoSource);
        return;
    }
    SaveSourceState();
    if (FileName.isEmpty() && ExportStyle == xsFile) {
        raise(xeNoFileName);
        RestoreSourceState();
        return;
    }
    QString ext = DefaultExtension();
    if (OnGetExtension)
        OnGetExtension(ext);
    QString out;
    if (ExportStyle == xsView) {
        for (quint32 n = 1;; ++n) {
            out = QDir(tempDir_).filePath(QStringLiteral("QEX") + QString::number(n, 16).toUpper() + QLatin1Char('.') + ext);
            if (!QFileInfo::exists(out) && !QFileInfo(out).isSymLink())
                break;
        }
    } else {
        const QFileInfo fi(FileName);
        const QString base = fi.suffix().isEmpty() ? FileName : FileName.left(FileName.size() - fi.suffix().size() - 1);
        out = base + QLatin1Char('.') + ext;
    }
    WriteOutput(out);
    if (ExportStyle == xsView)
        viewer_->open(out);
    RestoreSourceState();
}

void TdtCustomExport::WriteOutput(const QString& outputFile) {
    if (OnBeginExport)
        OnBeginExport();
    TdtValues values;
    QStringList titles, footers;
    RecordCount = RowCount();
    // The windows only when progress is shown: an export without it makes no widget.
    TdtExportUi* progress = has(xoShowProgress) ? &windows() : nullptr;
    if (progress)
        progress->progressShow(*this, RecordCount);
    bool ended = true;
    try {
        if (QFileInfo::exists(outputFile)) {
            bool can = true;
            if (OnFileExist)
                OnFileExist(outputFile, can);
            if (!can) {
                raise(xeOverwriteRefused);
                throw TdtExportFailure{QStringLiteral("overwrite refused")};
            }
        }
        Visited = 0;
        Exported = 0;
        FirstRow();
        const int columns = ColumnCount();
        if (columns == 0) {
            ended = false;
        } else {
            std::unique_ptr<TdtExportWriter> w = writerFor(type_);
            if (!w)
                throw TdtExportFailure{QStringLiteral("no writer for %1").arg(chooserText(type_))};
            w->BeginDocument(outputFile);
            QString header;
            if (OnGetHeader)
                OnGetHeader(static_cast<quint32>(RecordCount), header);
            if (!header.isEmpty())
                titles = header.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
            w->WriteTitleLines(titles);
            if (has(xoShowHeader)) {
                values.resize(columns);
                for (int i = 0; i < columns; ++i)
                    values[i] = i < Captions.size() ? Captions[i] : SourceColumnCaption(i);
                w->WriteCaptionRow(values);
            }
            while (!EndOfRows()) {
                ReadRow(values);
                const bool selected = has(xoSelectedRowsOnly) ? RowSelected(Visited) : true;
                if (OnExport)
                    OnExport(static_cast<quint32>(Visited), static_cast<quint32>(RecordCount), values, selected);
                if (progress)
                    progress->progressPosition(Visited);
                if (selected) {
                    w->WriteRow(values);
                    ++Exported;
                }
                ++Visited;
            }
            QString footer;
            if (OnGetFooter)
                OnGetFooter(static_cast<quint32>(RecordCount), footer);
            if (!footer.isEmpty())
                footers = footer.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
            const QString dateLine = has(xoShowExportDate)
                                         ? Messages.CreatedText + QLatin1Char(' ') +
                                               QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"))
                                         : QString();
            w->WriteFooterLines(footers, dateLine);
            w->EndDocument(outputFile);
        }
    } catch (const TdtExportFailure& f) {
        lastFailure_ = f.text;
        raise(xeExportFailed);
    } catch (const std::bad_alloc&) {
        lastFailure_ = QStringLiteral("out of memory");
        raise(xeExportFailed);
    } catch (const std::exception& e) {
        // A handler, the source or the writer failed in a way of its own: the run still ends
        // as promised, with the error event, the progress window closed and the views back.
        lastFailure_ = QString::fromLocal8Bit(e.what());
        raise(xeExportFailed);
    } catch (...) {
        lastFailure_ = QStringLiteral("unexpected failure");
        raise(xeExportFailed);
    }
    if (progress)
        progress->progressClose();
    if (ended && OnEndExport)
        OnEndExport();
}
