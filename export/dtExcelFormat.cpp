#include "export/dtExcelFormat.h"

#include "export/dtCellRule.h"
#include "export/dtCustomExport.h"

#include <algorithm>

namespace dtexcel {

namespace {

/// Rows a sheet of these record generations holds (0 … 16383).
constexpr int kSheetRows = 16384;

class ExcelFormat : public TdtExportWriter {
public:
    explicit ExcelFormat(TdtCustomExport& c) : c_(c), x_(c.excelWriter()) {}

    void BeginDocument(const QString& fileName) override {
        const TdtExcelOptions& e = c_.EXCEL;
        x_.setFileName(fileName);
        x_.MoveAfterEnter = maRight;
        x_.setColumn(1);
        x_.setRow(1);
        x_.Borders = 0;
        x_.Alignment = eaGeneral;
        x_.setBIFF(static_cast<TdtBIFFVersion>(e.ExcelVersion));
        x_.NewDocument();
        // Room for the whole sheet at once (a number cell is 19 bytes), no more than a sheet
        // holds: the buffer is not moved and copied again and again as it grows.
        const qsizetype rows = std::clamp(c_.RecordCount, 0, kSheetRows);
        const qsizetype columns = std::clamp(c_.ColumnCount() + 1, 0, TdtNativeExcel::kLastColumn);
        x_.reserve(4096 + rows * columns * 20);
        x_.AddFont(&e.DefaultFont);
        x_.AddFont(&e.HeaderFont);
        x_.AddFont(&e.TableFont);
        const quint8 border = (e.Options & reUseBorders) ? 0x78 : 0x00;
        x_.WriteXF(0, 0x00);
        x_.WriteXF(1, border);
        x_.WriteXF(2, border);
        if (!e.Header.isEmpty())
            x_.WriteHeader(e.Header);
        if (!e.Footer.isEmpty())
            x_.WriteFooter(e.Footer);
        if (e.Options & reSetMargins) {
            x_.WriteMargin(msLeft, e.LeftMargin);
            x_.WriteMargin(msBottom, e.BottomMargin);
            x_.WriteMargin(msTop, e.TopMargin);
            x_.WriteMargin(msRight, e.RightMargin);
        }
        if (e.Options & reSetColumnWidths)
            x_.WriteColumnWidth(1, 256, e.ColumnWidth);
    }

    void WriteTitleLines(const QStringList& lines) override {
        x_.MoveAfterEnter = maDown;
        x_.setActiveFont(0);
        x_.Borders = 0;
        for (const QString& l : lines) {
            checkRow(x_.Row());
            x_.WriteValue(l);
        }
        if (!lines.isEmpty())
            x_.WriteBlank();
        x_.MoveAfterEnter = maRight;
    }

    void WriteCaptionRow(const TdtValues& values) override {
        if (c_.has(xoRowNumbers)) {
            x_.setActiveFont(1);
            x_.WriteBlank();
        }
        cells(values, 1);
    }

    void WriteRow(const TdtValues& values) override {
        const int next = (x_.Row() + 1) & 0xFFFF;
        checkRow(next);
        x_.setRow(next);
        x_.setColumn(1);
        if (c_.has(xoRowNumbers)) {
            QString text;
            int width = 0;
            c_.RowNumberText(text, width);
            x_.setActiveFont(2);
            x_.Borders = (c_.EXCEL.Options & reUseBorders) ? kAllBorders : 0;
            const auto n = (c_.EXCEL.Options & reCellsAsText) ? std::nullopt : rowNumberInteger(text);
            if (n)
                x_.WriteInteger(*n);
            else
                x_.WriteLabel(text);
        }
        cells(values, 2);
    }

    void WriteFooterLines(const QStringList& lines, const QString&) override {
        x_.setRow((x_.Row() + 2) & 0xFFFF);
        x_.MoveAfterEnter = maDown;
        x_.setColumn(1);
        x_.setActiveFont(0);
        x_.Borders = 0;
        for (const QString& l : lines) {
            checkRow(x_.Row());
            x_.WriteValue(l);
        }
    }

    void EndDocument(const QString&) override {
        if (c_.EXCEL.Protected)
            x_.WriteProtect(true);
        x_.CloseDocument();
        QString error;
        if (!x_.SaveToFile(&error))
            throw TdtExportFailure{error};
    }

private:
    // A sheet of these record generations holds rows 0 … 16383: refuse more rather than write a
    // file that readers reject (or whose row numbers wrap over earlier rows).
    static void checkRow(int row1) {
        if (row1 < 1 || row1 > kSheetRows)
            throw TdtExportFailure{QStringLiteral("mais de 16384 linhas: a planilha não comporta")};
    }

    void cells(const TdtValues& values, int font) {
        // The settings are read once a row: only OnExport, between rows, may change them.
        const bool invisibles = c_.has(xoExportInvisibles), truncate = c_.has(xoTruncate),
                   aligned = c_.has(xoUseAlignments), asText = (c_.EXCEL.Options & reCellsAsText) != 0;
        const TdtExcelBorderSet borders = (c_.EXCEL.Options & reUseBorders) ? kAllBorders : 0;
        QString scratch;
        double number = 0;
        for (int i = 0; i < values.size(); ++i) {
            if (!invisibles && !c_.ColumnVisible(i))
                continue;
            const QString& text = cellText(values[i], i, truncate, scratch);
            if (aligned) {
                static const TdtExcelAlignment map[] = {eaGeneral, eaLeft, eaRight, eaCenter};
                x_.Alignment = map[c_.ColumnAlignment(i)];
            }
            x_.setActiveFont(font);
            x_.Borders = borders;
            if (asText)
                x_.WriteLabel(text);
            else if (decimalNumber(text, number))
                x_.WriteNumber(number);
            else if (const auto h = hexInteger(text))
                x_.WriteInteger(static_cast<qint32>(*h));
            else
                x_.WriteLabel(text);
            x_.Alignment = eaGeneral;
        }
    }

    // CellText without a copy when the value already is the text: a cell that is not cut is
    // its value's text, and the column's width matters only when it may be cut.
    const QString& cellText(const QVariant& v, int column, bool truncate, QString& scratch) {
        if (!truncate && v.typeId() == QMetaType::QString && !v.isNull())
            return *static_cast<const QString*>(v.constData());
        scratch = c_.CellText(v, truncate ? c_.ResolvedColumnWidth(column) : 0);
        return scratch;
    }

    TdtCustomExport& c_;
    TdtNativeExcel& x_;
};

} // namespace

std::unique_ptr<TdtExportWriter> excelFormat(TdtCustomExport& c) { return std::make_unique<ExcelFormat>(c); }

} // namespace dtexcel
