#pragma once
// TdtNativeExcel: builds a BIFF worksheet record by record in memory (BIFF2 cell records under
// a BOF of the chosen generation) and writes it to a file in one piece.
#include <QByteArray>
#include <QString>
#include <QVariant>

enum TdtBIFFVersion { bvBIFF2, bvBIFF3, bvBIFF4, bvBIFF5 };
enum TdtMoveAfterEnter { maNone, maUp, maDown, maLeft, maRight };
enum TdtExcelBorder { ebTop = 1, ebBottom = 2, ebLeft = 4, ebRight = 8 };
using TdtExcelBorderSet = int; ///< TdtExcelBorder bits
inline constexpr TdtExcelBorderSet kAllBorders = ebTop | ebBottom | ebLeft | ebRight;
enum TdtExcelAlignment { eaGeneral, eaLeft, eaRight, eaCenter, eaFill, eaMultiPlan };
enum TdtExcelError { eeNull, eeDiv0, eeValue, eeRef, eeName, eeNum, eeNA };
enum TdtMarginSide { msLeft, msRight, msTop, msBottom };

struct TdtFont {
    QString name = QStringLiteral("MS Sans Serif");
    int size = 8; ///< points
    bool bold = false, italic = false, underline = false, strikeout = false;
};

class TdtNativeExcel {
public:
    static constexpr int kLastRow = 65535;
    static constexpr int kLastColumn = 256;

    TdtNativeExcel();
    virtual ~TdtNativeExcel() = default;

    virtual void NewDocument();
    virtual void CloseDocument();
    /// Writes the whole buffer to FileName; false with `error` set when the file cannot be written.
    bool SaveToFile(QString* error = nullptr) const;

    void WriteBlank();
    void WriteInteger(qint32 value);
    void WriteNumber(double value);
    void WriteLabel(const QString& text);
    void WriteBoolean(bool value);
    void WriteError(TdtExcelError e);
    /// One cell chosen by the value's kind: empty → BLANK, integers → INTEGER, floating point →
    /// NUMBER, text → LABEL, date-time → LABEL of its text, boolean → BOOLERR; other kinds write
    /// nothing and leave the cursor where it is.
    void WriteValue(const QVariant& v);
    void AddFont(const TdtFont* font);
    /// A BIFF2 cell format bound to a font, with the given border byte.
    void WriteXF(int font, quint8 borderByte);
    void WriteHeader(const QString& text);
    void WriteFooter(const QString& text);
    void WriteColumnWidth(int first, int last, int width);
    void WriteMargin(TdtMarginSide side, double inches);
    void WriteProtect(bool on);

    const QByteArray& buffer() const { return buf_; }
    /// Room for a document of about `bytes` bytes; what it holds is unchanged.
    void reserve(qsizetype bytes) { buf_.reserve(bytes); }

    TdtBIFFVersion BIFF() const { return biff_; }
    void setBIFF(TdtBIFFVersion v);
    QString FileName() const { return fileName_; }
    void setFileName(const QString& name);
    int Row() const { return row_; }
    void setRow(int r);
    int Column() const { return col_; }
    void setColumn(int c);
    int ActiveFont() const { return activeFont_; }
    void setActiveFont(int f);
    int fontCount() const { return fonts_; }

    TdtMoveAfterEnter MoveAfterEnter = maRight;
    bool Shading = false;
    TdtExcelBorderSet Borders = 0;
    TdtExcelAlignment Alignment = eaGeneral;
    bool Hidden = false;
    bool Locked = true;
    QString Version() const { return QStringLiteral("1.23"); }

private:
    void header(quint16 id, quint16 length);
    void word(quint16 w);
    void byte(quint8 b);
    void number(double d);
    void text(const QByteArray& bytes);
    /// n more bytes at the end of the buffer, to be written in place.
    char* grow(qsizetype n);
    /// Header, position, cursor move and attributes of a cell whose body is `length` bytes;
    /// where its value goes.
    char* cellStart(quint16 id, quint16 length);
    void move();

    QByteArray buf_;
    TdtBIFFVersion biff_ = bvBIFF5;
    bool finished_ = false;
    QString fileName_;
    int row_ = 1, col_ = 1;
    int fonts_ = 0, xfs_ = 0;
    int activeFont_ = 0;
};

/// Windows-1252 bytes of a text, cut at its first NUL and to 255 bytes.
QByteArray excelText(const QString& text);
