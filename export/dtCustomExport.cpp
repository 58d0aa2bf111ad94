// The component's construction, property rules and the services its writers use.
#include "export/dtCustomExport.h"

#include "export/dtRowNumber.h"

#include <QDir>

namespace {

// What a component has until it is given its own seams: a program without a display.
class NoWindowsFactory : public TdtWindowsFactory {
public:
    std::unique_ptr<TdtExportUi> create() override { return nullptr; }
};

class NoSaveDialog : public TdtSaveDialog {
public:
    QString saveFile(const TdtSaveRequest&) override { return {}; }
};

class NoErrorBox : public TdtErrorBox {
public:
    void error(const QString&) override {}
};

class NoViewer : public TdtViewer {
public:
    void open(const QString&) override {}
};

NoWindowsFactory noWindowsFactory;

} // namespace

TdtCustomExport::TdtCustomExport()
    : tempDir_(QDir::tempPath()), windowsFactory_(&noWindowsFactory), saveDialog_(std::make_unique<NoSaveDialog>()),
      errorBox_(std::make_unique<NoErrorBox>()), viewer_(std::make_unique<NoViewer>()) {}
TdtCustomExport::~TdtCustomExport() = default;

TdtExportUi& TdtCustomExport::windows() {
    // None kept while the factory has none: a component set up before its windows gets them later.
    if (!windows_)
        windows_ = windowsFactory_->create();
    return windows_ ? *windows_ : noWindows_;
}

void TdtCustomExport::setWindowsFactory(TdtWindowsFactory* factory) {
    windowsFactory_ = factory ? factory : &noWindowsFactory;
    windows_.reset();
}

void TdtCustomExport::setSaveDialog(std::unique_ptr<TdtSaveDialog> dialog) {
    saveDialog_ = dialog ? std::move(dialog) : std::make_unique<NoSaveDialog>();
}

void TdtCustomExport::setErrorBox(std::unique_ptr<TdtErrorBox> box) {
    errorBox_ = box ? std::move(box) : std::make_unique<NoErrorBox>();
}

void TdtCustomExport::setViewer(std::unique_ptr<TdtViewer> viewer) {
    viewer_ = viewer ? std::move(viewer) : std::make_unique<NoViewer>();
}

void TdtCustomExport::setExportType(TdtExportType t) {
    type_ = t;
    types_ |= typeBit(t);
}

void TdtCustomExport::setExportTypes(TdtExportTypeSet s) { types_ = (s & kAllExportTypes) | typeBit(type_); }

namespace {
QString normalisedDir(QString d) {
    if (d.endsWith(QLatin1Char('\\')) && !(d.size() == 3 && d[1] == QLatin1Char(':')))
        d.chop(1);
    return d;
}
} // namespace

void TdtCustomExport::setTempDir(const QString& dir) {
    if (normalisedDir(dir).compare(normalisedDir(tempDir_), Qt::CaseInsensitive) != 0)
        tempDir_ = dir;
}

bool TdtCustomExport::setRowNumberFormat(const QString& f) {
    if (!f.contains(QLatin1String("%d"))) {
        errorBox_->error(QStringLiteral("The format has to contain %d string."));
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
