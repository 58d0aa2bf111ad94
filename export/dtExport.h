#pragma once
// The export component: format and destination, the output pass that walks a source and
// drives a writer through six calls, the per-cell services, and its events. Failures are
// reported through OnError with a code, never raised to the caller.
#include "export/dtNativeExcel.h"

#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>

namespace acq { class Table; }

enum TdtExportType { xtHTML, xtExcel, xtWord, xtTXT, xtCSV, xtTAB, xtRTF, xtDIF, xtSYLK, xtClipboard };
using TdtExportTypeSet = quint16; ///< bit = ordinal
inline constexpr TdtExportTypeSet typeBit(TdtExportType t) { return static_cast<TdtExportTypeSet>(1u << t); }
inline constexpr TdtExportTypeSet kAllExportTypes = 0x03FF;
enum TdtExportStyle { xsFile, xsView };
enum TdtExportOption {
    xoClipboardMessage, xoExportInvisibles, xoFooterLine, xoHeaderLine, xoRowNumbers,
    xoShowExportDate, xoShowHeader, xoShowProgress, xoSelectedRowsOnly, xoTruncate, xoUseAlignments
};
using TdtExportOptionSet = quint16;
inline constexpr TdtExportOptionSet opt(TdtExportOption o) { return static_cast<TdtExportOptionSet>(1u << o); }
enum TdtExportError { xeNoFileName, xeOverwriteRefused, xeNoSource, xeExportFailed, xeSaveCancelled };
enum TdtColumnAlignment { caNone, caLeft, caRight, caCenter };
enum TdtExportExcelOption { reCellsAsText = 1, reSetColumnWidths = 2, reSetMargins = 4, reUseBorders = 8 };
enum TdtExcelVersion { xls21, xls30, xls40, xls50 };
enum TdtHTMLExtension { exHTM, exHTML };

using TdtValues = QVector<QVariant>;

struct TdtDocumentFilter {
    QString HTML = QStringLiteral("HTML Documents"), Excel = QStringLiteral("Excel Files"),
            Word = QStringLiteral("Word Documents"), Text = QStringLiteral("Text Files"),
            Comma = QStringLiteral("CSV (Comma delimited)"), Tab = QStringLiteral("Text (Tab delimited)"),
            RTF = QStringLiteral("Rich Text Format"), DIF = QStringLiteral("Data Interchange Format"),
            SYLK = QStringLiteral("SYLK Files");
};

struct TdtMessagesOptions {
    QString Caption = QStringLiteral("Export");
    QString CopiedToClipboard = QStringLiteral("Data was copied to clipboard!");
    QString CancelCaption = QStringLiteral("&Cancel");
    QString CreatedText = QStringLiteral("Created:");
    TdtDocumentFilter DocumentFilter;
    QString ExportCaption = QStringLiteral("&Export");
    QString ExportToFile = QStringLiteral("Export &to file");
    QString FalseText = QStringLiteral("False");
    int Height = 80;
    QString SaveTitle = QStringLiteral("Save document");
    QString SelectFormat = QStringLiteral("E&xport formats:");
    QString Text = QStringLiteral("Processing...");
    QString TrueText = QStringLiteral("True");
    int Width = 300;
    QString ViewOnly = QStringLiteral("&View only");
};

struct TdtExcelOptions {
    int Options = reSetMargins | reUseBorders;
    int ColumnWidth = 20;
    bool Protected = false;
    QString Header;
    QString Footer = QStringLiteral("&P");
    TdtExcelVersion ExcelVersion = xls50;
    TdtFont DefaultFont;
    TdtFont HeaderFont = [] { TdtFont f; f.bold = true; return f; }();
    TdtFont TableFont;
    double TopMargin = 0.3, BottomMargin = 0.3, LeftMargin = 0.3, RightMargin = 0.3;
};

struct TdtHTMLOptions {
    TdtHTMLExtension Extension = exHTML;
};

class TdtCustomExport;

/// The component's windows and dialogs; absent in a program without a display.
class TdtExportUi {
public:
    virtual ~TdtExportUi() = default;
    /// Shows the chooser filled from the component; true when confirmed.
    virtual bool choose(TdtCustomExport& c) = 0;
    /// The save dialog; empty when cancelled.
    virtual QString saveFile(const QString& title, const QString& filter, const QString& defaultExt,
                             const QString& dir) = 0;
    virtual void progressShow(TdtCustomExport& c, int recordCount) = 0;
    virtual void progressPosition(int position) = 0;
    virtual void progressClose() = 0;
    virtual void error(const QString& text) = 0;
};

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
    std::function<void(const QString& path)> OpenViewer; ///< the program associated with the file type

    // Windows and dialogs; created when first needed by the factory, absent without a display.
    std::function<std::unique_ptr<TdtExportUi>()> uiFactory;
    TdtExportUi* ui();

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
    std::unique_ptr<TdtExportUi> ui_;
    QString lastFailure_;
};

/// The component over a table of the table engine: its fields are the columns, its visible
/// rows (order and filter) the rows.
class TdtDataSetExport : public TdtCustomExport {
public:
    TdtDataSetExport();
    acq::Table* DataSet = nullptr;

    void SaveSourceState() override;
    void RestoreSourceState() override;
    void FirstRow() override;
    bool SourceReady() override;
    bool EndOfRows() override;
    bool ColumnVisible(int index) override;
    bool RowSelected(int) override { return true; }
    int SourceColumnWidth(int index) override;
    QString SourceColumnCaption(int index) override;
    int ColumnCount() override;
    void ReadRow(TdtValues& values) override;
    int RowCount() override;

private:
    int bookmark_ = -1;
};

/// The spreadsheet format: the cell rule and its two number grammars.
namespace dtexcel {
std::optional<double> decimalNumber(const QString& text);
std::optional<quint32> hexInteger(const QString& text);
std::optional<qint32> rowNumberInteger(const QString& text);
} // namespace dtexcel

/// printf-like formatting of one integer, done by us: literal text, "%%" and one "%d" with
/// optional flags, width and precision. Nothing for any other pattern.
std::optional<QString> formatRowNumber(const QString& pattern, qint64 value);
