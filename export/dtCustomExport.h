#pragma once
// TdtCustomExport: format and destination, the output pass that walks a source and drives a
// writer through six calls, the per-cell services, and its events. Failures are reported
// through OnError with a code, never raised to the caller.
#include "export/dtExportSeams.h"
#include "export/dtExportTypes.h"
#include "export/dtNativeExcel.h"

#include <QStringList>
#include <functional>
#include <memory>

/// One format's writer behind the six calls of the output pass.
class TdtExportWriter {
public:
    virtual ~TdtExportWriter() = default;
    virtual void BeginDocument(const QString& fileName) = 0;
    virtual void WriteTitleLines(const QStringList& lines) = 0;
    virtual void WriteCaptionRow(const TdtValues& values) = 0;
    virtual void WriteRow(const TdtValues& values) = 0;
    virtual void WriteFooterLines(const QStringList& lines, const QString& dateLine) = 0;
    virtual void EndDocument(const QString& fileName) = 0;
};

/// A failure inside the output pass; the run turns it into xeExportFailed.
struct TdtExportFailure {
    QString text;
};

class TdtCustomExport {
public:
    TdtCustomExport();
    virtual ~TdtCustomExport();

    // Source operations
    virtual void SaveSourceState() {}
    virtual void RestoreSourceState() {}
    virtual void FirstRow() = 0;
    virtual TdtColumnAlignment ColumnAlignment(int) { return caNone; }
    virtual bool SourceReady() = 0;
    virtual bool EndOfRows() = 0;
    virtual bool ColumnVisible(int index) = 0;
    virtual bool RowSelected(int index) = 0;
    virtual int SourceColumnWidth(int index) = 0;
    virtual QString SourceColumnCaption(int index) = 0;
    virtual int ColumnCount() = 0;
    virtual void ReadRow(TdtValues& values) = 0;
    virtual int RowCount() = 0;

    // Properties
    QStringList Captions;
    QStringList ColumnWidths;
    QString DateFormat = QStringLiteral("dd/MM/yyyy");
    QString TimeFormat = QStringLiteral("hh:mm");
    QString DateTimeFormat = QStringLiteral("hh:mm dd/MM/yyyy");
    TdtExportType ExportType() const { return type_; }
    void setExportType(TdtExportType t);
    TdtExportTypeSet ExportTypes() const { return types_; }
    void setExportTypes(TdtExportTypeSet s);
    TdtExportStyle ExportStyle = xsView;
    QString FileName;
    TdtHTMLOptions HTML;
    TdtMessagesOptions Messages;
    QString TempDir() const { return tempDir_; }
    void setTempDir(const QString& dir);
    QString TruncateSymbol = QStringLiteral("...");
    QString RowNumberFormat() const { return rowFormat_; }
    /// Takes the pattern only when it holds "%d"; otherwise says so and keeps the old one.
    bool setRowNumberFormat(const QString& f);
    TdtExcelOptions EXCEL;
    TdtExportOptionSet Options = opt(xoClipboardMessage) | opt(xoFooterLine) | opt(xoHeaderLine) |
                                 opt(xoShowExportDate) | opt(xoShowHeader) | opt(xoShowProgress) |
                                 opt(xoUseAlignments);
    bool has(TdtExportOption o) const { return (Options & opt(o)) != 0; }
    QString Version() const { return QStringLiteral("2.36"); }

    // Events
    std::function<void()> OnBeginExport, OnEndExport;
    std::function<void(QString& extension)> OnGetExtension;
    std::function<void(TdtExportError)> OnError;
    std::function<void(quint32 current, quint32 total, TdtValues& values, bool canExport)> OnExport;
    std::function<void(quint32 recordCount, QString& header)> OnGetHeader, OnGetFooter;
    std::function<void(const QString& fileName, bool& canOverWrite)> OnFileExist;

    // Platform seams (dtExportSeams.h). The windows are widgets, so the factory makes them when
    // they are first needed; without one there are none (TdtNoWindows). A seam set to null
    // is the default again.
    TdtExportUi& windows();
    /// Not owned: it outlives the component.
    void setWindowsFactory(TdtWindowsFactory* factory);
    void setSaveDialog(std::unique_ptr<TdtSaveDialog> dialog);
    void setErrorBox(std::unique_ptr<TdtErrorBox> box);
    void setViewer(std::unique_ptr<TdtViewer> viewer);

    // Running
    void ChooseAndExport();
    void RunExport();
    void WriteOutput(const QString& outputFile);

    // Services for writers
    int ResolvedColumnWidth(int index);
    QString CellText(const QVariant& value, int width) const;
    void RowNumberText(QString& text, int& width) const;
    QString DefaultExtension() const;
    QString SaveFilter() const;
    int RecordCount = 0, Visited = 0, Exported = 0;

    TdtNativeExcel& excelWriter() { return excel_; }
    /// The text of the last failure inside an output pass, for diagnostics.
    QString lastFailure() const { return lastFailure_; }

    static QString chooserText(TdtExportType t);

private:
    std::unique_ptr<TdtExportWriter> writerFor(TdtExportType t);
    void raise(TdtExportError e) {
        if (OnError)
            OnError(e);
    }

    TdtExportType type_ = xtExcel;
    TdtExportTypeSet types_ = kAllExportTypes;
    QString tempDir_;
    QString rowFormat_ = QStringLiteral("%d");
    TdtNativeExcel excel_;
    TdtWindowsFactory* windowsFactory_;
    std::unique_ptr<TdtExportUi> windows_;
    TdtNoWindows noWindows_;
    std::unique_ptr<TdtSaveDialog> saveDialog_;
    std::unique_ptr<TdtErrorBox> errorBox_;
    std::unique_ptr<TdtViewer> viewer_;
    QString lastFailure_;
};
