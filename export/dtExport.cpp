#include "export/dtExport.h"

#include "acquisition/table.h"
#include "link/framecodec.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <charconv>
#include <exception>
#include <cmath>

// ---- formatting helpers ----------------------------------------------------------------------

std::optional<QString> formatRowNumber(const QString& p, qint64 value) {
    QString out;
    bool used = false;
    for (qsizetype i = 0; i < p.size(); ++i) {
        if (p[i] != QLatin1Char('%')) {
            out += p[i];
            continue;
        }
        if (++i >= p.size())
            return std::nullopt;
        if (p[i] == QLatin1Char('%')) {
            out += QLatin1Char('%');
            continue;
        }
        bool left = false, plus = false, space = false, zero = false;
        for (; i < p.size(); ++i) {
            const QChar c = p[i];
            if (c == QLatin1Char('-')) left = true;
            else if (c == QLatin1Char('+')) plus = true;
            else if (c == QLatin1Char(' ')) space = true;
            else if (c == QLatin1Char('0')) zero = true;
            else if (c == QLatin1Char('#')) {}
            else break;
        }
        int width = 0, prec = -1;
        for (; i < p.size() && p[i].isDigit(); ++i)
            width = std::min(width * 10 + p[i].digitValue(), 1000);
        if (i < p.size() && p[i] == QLatin1Char('.')) {
            prec = 0;
            for (++i; i < p.size() && p[i].isDigit(); ++i)
                prec = std::min(prec * 10 + p[i].digitValue(), 1000);
        }
        if (i >= p.size() || p[i] != QLatin1Char('d') || used)
            return std::nullopt; // another conversion, or a second one: the pattern is refused
        used = true;
        QString digits = QString::number(value < 0 ? -value : value);
        if (prec >= 0) {
            if (prec == 0 && value == 0)
                digits.clear();
            digits = digits.rightJustified(prec, QLatin1Char('0'));
        }
        const QString sign = value < 0 ? QStringLiteral("-") : plus ? QStringLiteral("+") : space ? QStringLiteral(" ") : QString();
        QString cell = sign + digits;
        if (cell.size() < width) {
            if (left)
                cell = cell.leftJustified(width, QLatin1Char(' '));
            else if (zero && prec < 0)
                cell = sign + digits.rightJustified(width - sign.size(), QLatin1Char('0'));
            else
                cell = cell.rightJustified(width, QLatin1Char(' '));
        }
        out += cell;
    }
    return used ? std::optional<QString>(out) : std::nullopt;
}

namespace dtexcel {

namespace {
qsizetype skipSpaces(const QString& s) {
    qsizetype i = 0;
    while (i < s.size() && s[i] == QLatin1Char(' '))
        ++i;
    return i;
}
bool ascii(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }
} // namespace

std::optional<double> decimalNumber(const QString& s) {
    qsizetype i = skipSpaces(s);
    const qsizetype start = i;
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        ++i;
    if (i >= s.size())
        return std::nullopt;
    const qsizetype mantStart = i;
    qsizetype digits = 0;
    while (i < s.size() && ascii(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == QLatin1Char('.')) {
        ++i;
        while (i < s.size() && ascii(s[i])) {
            ++i;
            ++digits;
        }
    }
    const qsizetype mantEnd = i;
    if (i < s.size() && (s[i] == QLatin1Char('e') || s[i] == QLatin1Char('E'))) {
        ++i;
        if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
            ++i;
        qsizetype expDigits = 0;
        while (i < s.size() && ascii(s[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;
    if (digits == 0)
        return 0.0; // "." alone, or an exponent alone, reads as 0
    // Checked ASCII from here on: convert without the locale and without Qt's slower parser.
    char buf[128];
    qsizetype n = 0;
    bool neg = false;
    for (qsizetype k = start; k < s.size(); ++k) {
        const char c = static_cast<char>(s[k].unicode());
        if (k == start && (c == '+' || c == '-')) {
            neg = c == '-';
            continue;
        }
        if (n + 1 >= static_cast<qsizetype>(sizeof buf))
            return QStringView(s).mid(start).toDouble(); // very long: the library's parser
        buf[n++] = c;
    }
    double v = 0;
    const auto res = std::from_chars(buf, buf + n, v);
    if (res.ec == std::errc::result_out_of_range)
        v = QStringView(s).mid(mantStart).toDouble();
    Q_UNUSED(mantEnd);
    v = neg ? -v : v;
    return v;
}

std::optional<quint32> hexInteger(const QString& s) {
    qsizetype i = skipSpaces(s);
    if (i < s.size() && s[i] == QLatin1Char('$'))
        i += 1;
    else if (i + 1 < s.size() && s[i] == QLatin1Char('0') && (s[i + 1] == QLatin1Char('x') || s[i + 1] == QLatin1Char('X')))
        i += 2;
    else if (i < s.size() && (s[i] == QLatin1Char('x') || s[i] == QLatin1Char('X')))
        i += 1;
    else
        return std::nullopt;
    if (i >= s.size())
        return std::nullopt;
    quint64 v = 0;
    for (; i < s.size(); ++i) {
        const int d = lnk::hexDigitValue(s[i].unicode());
        if (d < 0)
            return std::nullopt;
        v = v * 16 + static_cast<quint64>(d);
        if (v > 0xFFFFFFFFull)
            return std::nullopt;
    }
    return static_cast<quint32>(v);
}

std::optional<qint32> rowNumberInteger(const QString& s) {
    if (const auto h = hexInteger(s))
        return static_cast<qint32>(*h);
    qsizetype i = skipSpaces(s);
    bool neg = false;
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) {
        neg = s[i] == QLatin1Char('-');
        ++i;
    }
    if (i >= s.size())
        return std::nullopt;
    qint64 v = 0;
    for (; i < s.size(); ++i) {
        if (!ascii(s[i]))
            return std::nullopt;
        v = v * 10 + s[i].digitValue();
        if (v > 2147483648LL)
            return std::nullopt;
    }
    v = neg ? -v : v;
    if (v > INT32_MAX)
        return std::nullopt;
    return static_cast<qint32>(v);
}

} // namespace dtexcel

// ---- the spreadsheet format ------------------------------------------------------------------

namespace {

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
            const auto n = (c_.EXCEL.Options & reCellsAsText) ? std::nullopt : dtexcel::rowNumberInteger(text);
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
        if (row1 < 1 || row1 > 16384)
            throw TdtExportFailure{QStringLiteral("mais de 16384 linhas: a planilha não comporta")};
    }

    void cells(const TdtValues& values, int font) {
        for (int i = 0; i < values.size(); ++i) {
            if (!c_.has(xoExportInvisibles) && !c_.ColumnVisible(i))
                continue;
            const QString text = c_.CellText(values[i], c_.ResolvedColumnWidth(i));
            if (c_.has(xoUseAlignments)) {
                static const TdtExcelAlignment map[] = {eaGeneral, eaLeft, eaRight, eaCenter};
                x_.Alignment = map[c_.ColumnAlignment(i)];
            }
            x_.setActiveFont(font);
            x_.Borders = (c_.EXCEL.Options & reUseBorders) ? kAllBorders : 0;
            if (c_.EXCEL.Options & reCellsAsText)
                x_.WriteLabel(text);
            else if (const auto d = dtexcel::decimalNumber(text))
                x_.WriteNumber(*d);
            else if (const auto h = dtexcel::hexInteger(text))
                x_.WriteInteger(static_cast<qint32>(*h));
            else
                x_.WriteLabel(text);
            x_.Alignment = eaGeneral;
        }
    }

    TdtCustomExport& c_;
    TdtNativeExcel& x_;
};

} // namespace

// ---- the component ---------------------------------------------------------------------------

TdtCustomExport::TdtCustomExport() : tempDir_(QDir::tempPath()) {}
TdtCustomExport::~TdtCustomExport() = default;

TdtExportUi* TdtCustomExport::ui() {
    if (!ui_ && uiFactory)
        ui_ = uiFactory();
    return ui_.get();
}

void TdtCustomExport::setExportType(TdtExportType t) {
    type_ = t;
    types_ |= typeBit(t);
}

void TdtCustomExport::setExportTypes(TdtExportTypeSet s) { types_ = (s & kAllExportTypes) | typeBit(type_); }

static QString normalisedDir(QString d) {
    if (d.endsWith(QLatin1Char('\\')) && !(d.size() == 3 && d[1] == QLatin1Char(':')))
        d.chop(1);
    return d;
}

void TdtCustomExport::setTempDir(const QString& dir) {
    if (normalisedDir(dir).compare(normalisedDir(tempDir_), Qt::CaseInsensitive) != 0)
        tempDir_ = dir;
}

bool TdtCustomExport::setRowNumberFormat(const QString& f) {
    if (!f.contains(QLatin1String("%d"))) {
        if (TdtExportUi* u = ui())
            u->error(QStringLiteral("The format has to contain %d string."));
        return false;
    }
    rowFormat_ = f;
    return true;
}

QString TdtCustomExport::chooserText(TdtExportType t) {
    static const char* const texts[] = {"HTML", "Microsoft Excel", "Microsoft Word", "Text",
                                        "Comma-Separated Text", "Tab-Separated Text", "Rich Text",
                                        "Data Interchange Format", "SYLK Format", "Clipboard"};
    return QString::fromLatin1(texts[t]);
}

QString TdtCustomExport::DefaultExtension() const {
    switch (type_) {
    case xtHTML: return HTML.Extension == exHTM ? QStringLiteral("HTM") : QStringLiteral("HTML");
    case xtExcel: return QStringLiteral("XLS");
    case xtWord: return QStringLiteral("DOC");
    case xtTXT:
    case xtTAB: return QStringLiteral("TXT");
    case xtCSV: return QStringLiteral("CSV");
    case xtRTF: return QStringLiteral("RTF");
    case xtDIF: return QStringLiteral("DIF");
    case xtSYLK: return QStringLiteral("SLK");
    case xtClipboard: return QStringLiteral("TMP");
    }
    return {};
}

QString TdtCustomExport::SaveFilter() const {
    const TdtDocumentFilter& f = Messages.DocumentFilter;
    const QString names[] = {f.HTML, f.Excel, f.Word, f.Text, f.Comma, f.Tab, f.RTF, f.DIF, f.SYLK, QString()};
    const QString ext = DefaultExtension();
    return QStringLiteral("%1 (*.%2)|*.%3").arg(names[type_], ext.toLower(), ext);
}

int TdtCustomExport::ResolvedColumnWidth(int index) {
    if (index < ColumnCount() && index < ColumnWidths.size()) {
        bool ok = false;
        const int w = ColumnWidths[index].toInt(&ok);
        if (ok)
            return w;
    }
    return SourceColumnWidth(index);
}

QString TdtCustomExport::CellText(const QVariant& value, int width) const {
    QString t = value.isNull() ? QStringLiteral("** NULL **") : value.toString();
    if (has(xoTruncate) && width > 0 && width < t.size()) {
        if (TruncateSymbol.size() >= width)
            return TruncateSymbol;
        t = t.left(width - TruncateSymbol.size()) + TruncateSymbol;
    }
    return t;
}

void TdtCustomExport::RowNumberText(QString& text, int& width) const {
    auto t = formatRowNumber(rowFormat_, Exported + 1);
    auto w = formatRowNumber(rowFormat_, RecordCount);
    if (!t || !w) {
        t = QString::number(Exported + 1);
        w = QString::number(RecordCount);
    }
    text = *t;
    width = static_cast<int>(w->size());
}

std::unique_ptr<TdtExportWriter> TdtCustomExport::writerFor(TdtExportType t) {
    if (t == xtExcel)
        return std::make_unique<ExcelFormat>(*this);
    return nullptr; // the program offers the spreadsheet only
}

void TdtCustomExport::ChooseAndExport() {
    types_ |= typeBit(type_);
    TdtExportUi* u = ui();
    if (!u || !u->choose(*this))
        return;
    if (FileName.isEmpty() && ExportStyle == xsFile) {
        const QString path = u->saveFile(Messages.SaveTitle, SaveFilter(), DefaultExtension(),
                                         QCoreApplication::applicationDirPath());
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
    if (ExportStyle == xsView && OpenViewer)
        OpenViewer(out);
    RestoreSourceState();
}

void TdtCustomExport::WriteOutput(const QString& outputFile) {
    if (OnBeginExport)
        OnBeginExport();
    TdtValues values;
    QStringList titles, footers;
    RecordCount = RowCount();
    TdtExportUi* progress = has(xoShowProgress) ? ui() : nullptr;
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

// ---- the dataset source ----------------------------------------------------------------------

TdtDataSetExport::TdtDataSetExport() { Messages.Caption = QStringLiteral("Exporting DataSet"); }

bool TdtDataSetExport::SourceReady() { return DataSet && DataSet->isOpen(); }

void TdtDataSetExport::SaveSourceState() {
    bookmark_ = DataSet->bookmark();
    DataSet->disableControls();
}

void TdtDataSetExport::RestoreSourceState() {
    if (!DataSet)
        return;
    if (bookmark_ >= 0)
        DataSet->gotoBookmark(bookmark_);
    bookmark_ = -1;
    DataSet->enableControls();
}

void TdtDataSetExport::FirstRow() { DataSet->first(); }
bool TdtDataSetExport::EndOfRows() { return DataSet->eof(); }
int TdtDataSetExport::ColumnCount() { return DataSet ? DataSet->fieldCount() : 0; }

bool TdtDataSetExport::ColumnVisible(int i) { return i >= 0 && i < ColumnCount() && DataSet->fields()[i].visible; }

QString TdtDataSetExport::SourceColumnCaption(int i) {
    if (i < 0 || i >= ColumnCount())
        return {};
    const acq::FieldDef& f = DataSet->fields()[i];
    const QString name = f.displayName();
    return name.isEmpty() ? f.name : name;
}

int TdtDataSetExport::SourceColumnWidth(int i) {
    if (i < 0 || i >= ColumnCount())
        return 0;
    const acq::FieldDef& f = DataSet->fields()[i];
    // Built only for the date columns: a local date-time costs a time-zone lookup.
    auto sample = [] { return QDateTime(QDate(1999, 12, 12), QTime(12, 12, 12, 12)); };
    switch (f.type) {
    case acq::FieldType::Integer:
    case acq::FieldType::LargeInt:
    case acq::FieldType::AutoInc:
    case acq::FieldType::Float: return 15;
    case acq::FieldType::Boolean: return static_cast<int>(std::max(Messages.TrueText.size(), Messages.FalseText.size()));
    case acq::FieldType::String: return f.size;
    case acq::FieldType::Date: return static_cast<int>(sample().date().toString(DateFormat).size());
    case acq::FieldType::Time: return static_cast<int>(sample().time().toString(TimeFormat).size());
    case acq::FieldType::DateTime: return static_cast<int>(sample().toString(DateTimeFormat).size());
    case acq::FieldType::Binary: return 12;
    }
    return 0;
}

void TdtDataSetExport::ReadRow(TdtValues& values) {
    const int n = ColumnCount();
    values.resize(n);
    for (int i = 0; i < n; ++i) {
        const acq::FieldDef& f = DataSet->fields()[i];
        const QVariant v = DataSet->value(i);
        switch (f.type) {
        case acq::FieldType::Binary: values[i] = QStringLiteral("** BINARY **"); break;
        case acq::FieldType::Boolean: values[i] = v.toBool() ? Messages.TrueText : Messages.FalseText; break;
        case acq::FieldType::String: values[i] = v.isNull() ? QVariant() : v; break;
        default: values[i] = DataSet->displayText(i); break;
        }
    }
    DataSet->next();
}

int TdtDataSetExport::RowCount() {
    int n = 0;
    for (DataSet->first(); !DataSet->eof(); DataSet->next())
        ++n;
    return n;
}
