#pragma once
// The export component's enumerations, option sets and settings: what the component, its
// windows and the program's settings share.
#include "export/dtNativeExcel.h"

#include <QString>
#include <QVariant>
#include <QVector>

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
