#include "export/dtNativeExcel.h"

#include "acquisition/cp1252.h"
#include "acquisition/wholefile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cstring>

QByteArray excelText(const QString& text) {
    QByteArray b = acq::toCp1252(text);
    const auto nul = b.indexOf('\0');
    if (nul >= 0)
        b.truncate(nul);
    if (b.size() > 255)
        b.truncate(255);
    return b;
}

TdtNativeExcel::TdtNativeExcel() { NewDocument(); }

void TdtNativeExcel::word(quint16 w) {
    buf_.append(static_cast<char>(w & 0xFF));
    buf_.append(static_cast<char>(w >> 8));
}
void TdtNativeExcel::byte(quint8 b) { buf_.append(static_cast<char>(b)); }
void TdtNativeExcel::number(double d) {
    char raw[8];
    std::memcpy(raw, &d, 8); // IEEE 754, little-endian on every target we build for
    buf_.append(raw, 8);
}
void TdtNativeExcel::text(const QByteArray& bytes) {
    byte(static_cast<quint8>(bytes.size()));
    buf_.append(bytes);
}

void TdtNativeExcel::header(quint16 id, quint16 length) {
    if (finished_)
        NewDocument();
    word(id);
    word(length);
}

void TdtNativeExcel::NewDocument() {
    buf_.clear();
    buf_.reserve(64 * 1024); // grown in steps, not a byte at a time
    finished_ = false;
    fonts_ = 0;
    xfs_ = 0;
    static const quint16 bofId[] = {0x0009, 0x0209, 0x0409, 0x0809};
    const bool b2 = biff_ == bvBIFF2;
    word(bofId[biff_]);
    word(b2 ? 4 : 6);
    word(0x0200);
    word(0x0010);
    if (!b2)
        word(0);
    // Code page: Windows-1252, so that readers decode the texts (and accept the file at all).
    word(0x0042);
    word(2);
    word(0x04E4);
    word(b2 ? 0x0000 : 0x0200);
    word(b2 ? 8 : 10);
    word(0);
    word(0xFFFF);
    word(0);
    word(0x0100);
    if (!b2)
        word(0);
}

void TdtNativeExcel::CloseDocument() {
    header(0x000A, 0);
    finished_ = true;
}

bool TdtNativeExcel::SaveToFile(QString* error) const {
    // Through a sibling temporary file: a failed write leaves an existing file untouched, and
    // a name that something else created meanwhile (a link included) is replaced, not followed.
    QSaveFile f(fileName_);
    if (!f.open(QIODevice::WriteOnly) || f.write(buf_) != buf_.size() || !f.commit()) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(fileName_),
                                                   acq::writeFailureCause(fileName_, buf_.size(), f.errorString()));
        return false;
    }
    return true;
}

void TdtNativeExcel::move() {
    switch (MoveAfterEnter) {
    case maNone: break;
    case maUp:
        if (row_ > 1) --row_;
        else if (col_ > 1) { row_ = kLastRow; --col_; }
        break;
    case maDown:
        if (row_ < kLastRow) ++row_;
        else if (col_ < kLastColumn) { row_ = 1; ++col_; }
        break;
    case maLeft:
        if (col_ > 1) --col_;
        else if (row_ > 1) { col_ = kLastColumn; --row_; }
        break;
    case maRight:
        if (col_ < kLastColumn) ++col_;
        else if (row_ < kLastRow) { col_ = 1; ++row_; }
        break;
    }
}

char* TdtNativeExcel::grow(qsizetype n) {
    // Written in place: a cell costs one size check, not an insert per field.
    const qsizetype at = buf_.size();
    if (buf_.capacity() - at < n)
        buf_.reserve(std::max<qsizetype>(at + n, 2 * buf_.capacity()));
    buf_.resize(at + n);
    return buf_.data() + at;
}

namespace {
char* putWord(char* p, quint16 w) {
    p[0] = static_cast<char>(w & 0xFF);
    p[1] = static_cast<char>(w >> 8);
    return p + 2;
}
} // namespace

char* TdtNativeExcel::cellStart(quint16 id, quint16 length) {
    if (finished_)
        NewDocument();
    char* p = grow(4 + qsizetype(length));
    p = putWord(p, id);
    p = putWord(p, length);
    p = putWord(p, static_cast<quint16>(row_ - 1));
    p = putWord(p, static_cast<quint16>(col_ - 1));
    move();
    // The cell format (XF) bound to the active font, when one was written for it.
    const quint8 xf = activeFont_ < xfs_ ? static_cast<quint8>(activeFont_) : 0;
    *p++ = static_cast<char>((Locked ? 0x40 : 0) | (Hidden ? 0x80 : 0) | xf);
    static const quint8 fontBits[] = {0x00, 0x40, 0x80, 0xC0};
    *p++ = static_cast<char>(activeFont_ >= 0 && activeFont_ <= 3 ? fontBits[activeFont_] : 0);
    static const quint8 align[] = {0, 1, 3, 2, 4, 7};
    quint8 b3 = align[Alignment];
    if (Borders & ebLeft) b3 |= 0x08;
    if (Borders & ebRight) b3 |= 0x10;
    if (Borders & ebTop) b3 |= 0x20;
    if (Borders & ebBottom) b3 |= 0x40;
    if (Shading) b3 |= 0x80;
    *p++ = static_cast<char>(b3);
    return p;
}

void TdtNativeExcel::WriteBlank() { cellStart(0x0001, 7); }

void TdtNativeExcel::WriteInteger(qint32 value) {
    putWord(cellStart(0x0002, 9), static_cast<quint16>(value & 0xFFFF));
}

void TdtNativeExcel::WriteNumber(double value) {
    std::memcpy(cellStart(0x0003, 15), &value, 8); // IEEE 754, little-endian on every target we build for
}

void TdtNativeExcel::WriteLabel(const QString& t) {
    // The text up to its first NUL and at most 255 characters, one byte each in Windows-1252.
    const qsizetype nul = t.indexOf(QChar(0));
    const qsizetype n = std::min<qsizetype>(nul >= 0 ? nul : t.size(), 255);
    char* p = cellStart(0x0004, static_cast<quint16>(8 + n));
    *p++ = static_cast<char>(n);
    const QChar* c = t.constData();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = c[i].unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
            p[i] = static_cast<char>(u);
        else
            p[i] = acq::toCp1252(QString(c[i])).at(0); // the few characters the code page moves
    }
}

void TdtNativeExcel::WriteBoolean(bool value) {
    char* p = cellStart(0x0005, 9);
    p[0] = value ? 1 : 0;
    p[1] = 0;
}

void TdtNativeExcel::WriteError(TdtExcelError e) {
    static const quint8 codes[] = {0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A};
    char* p = cellStart(0x0005, 9);
    p[0] = static_cast<char>(codes[e]);
    p[1] = 1;
}

void TdtNativeExcel::WriteValue(const QVariant& v) {
    if (!v.isValid()) {
        WriteBlank();
        return;
    }
    if (v.isNull() && v.typeId() != QMetaType::QString) {
        WriteError(eeNull);
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UChar:
        WriteInteger(v.toInt());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        WriteNumber(v.toDouble());
        break;
    case QMetaType::QString:
    case QMetaType::QByteArray:
        WriteLabel(v.toString());
        break;
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        QString t = dt.date().toString(QStringLiteral("d/M/yyyy"));
        if (dt.time() != QTime(0, 0))
            t += QLatin1Char(' ') + dt.time().toString(QStringLiteral("hh:mm:ss"));
        WriteLabel(t);
        break;
    }
    case QMetaType::Bool:
        WriteBoolean(v.toBool());
        break;
    default:
        break;
    }
}

void TdtNativeExcel::AddFont(const TdtFont* font) {
    if (!font || fonts_ >= 4)
        return;
    const QByteArray name = excelText(font->name);
    header(0x0031, static_cast<quint16>(5 + name.size()));
    word(static_cast<quint16>(font->size * 20));
    word(static_cast<quint16>((font->bold ? 1 : 0) | (font->italic ? 2 : 0) |
                              (font->underline ? 4 : 0) | (font->strikeout ? 8 : 0)));
    text(name);
    ++fonts_;
}

void TdtNativeExcel::WriteXF(int font, quint8 borderByte) {
    header(0x0043, 4);
    byte(static_cast<quint8>(font));
    byte(0x00);
    byte(0x40);
    byte(borderByte);
    ++xfs_;
}

void TdtNativeExcel::WriteHeader(const QString& t) {
    const QByteArray b = excelText(t);
    header(0x0014, static_cast<quint16>(1 + b.size()));
    text(b);
}

void TdtNativeExcel::WriteFooter(const QString& t) {
    const QByteArray b = excelText(t);
    header(0x0015, static_cast<quint16>(1 + b.size()));
    text(b);
}

void TdtNativeExcel::WriteColumnWidth(int first, int last, int width) {
    header(0x0024, 4);
    byte(static_cast<quint8>(first - 1));
    byte(static_cast<quint8>(last - 1));
    word(static_cast<quint16>(width * 256));
}

void TdtNativeExcel::WriteMargin(TdtMarginSide side, double inches) {
    static const quint16 ids[] = {0x0026, 0x0027, 0x0028, 0x0029};
    header(ids[side], 8);
    number(inches);
}

void TdtNativeExcel::WriteProtect(bool on) {
    header(0x0012, 2);
    word(on ? 1 : 0);
}

void TdtNativeExcel::setBIFF(TdtBIFFVersion v) {
    if (v == biff_)
        return;
    biff_ = v;
    NewDocument();
}

void TdtNativeExcel::setFileName(const QString& name) {
    if (name == fileName_)
        return;
    const QFileInfo fi(name);
    if (fi.suffix().compare(QLatin1String("XLS"), Qt::CaseInsensitive) == 0 || name.isEmpty()) {
        fileName_ = name;
        return;
    }
    const QString base = fi.suffix().isEmpty() ? name : name.left(name.size() - fi.suffix().size() - 1);
    fileName_ = base + QStringLiteral(".XLS");
}

void TdtNativeExcel::setRow(int r) {
    if (r <= 0 || r == row_ || r > kLastRow)
        return;
    row_ = r;
}

void TdtNativeExcel::setColumn(int c) {
    if (c <= 0 || c == col_ || c > kLastColumn)
        return;
    col_ = c;
}

void TdtNativeExcel::setActiveFont(int f) {
    if (f == activeFont_ || f > fonts_ || f < 0)
        return;
    activeFont_ = f;
}
