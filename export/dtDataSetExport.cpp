#include "export/dtDataSetExport.h"

#include "acquisition/table.h"

#include <QDateTime>
#include <algorithm>

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

namespace {
// A text into a row's value, in the string the value already holds when it holds one of its
// own: thousands of cells then cost no variant made and destroyed, only the text itself.
void setText(QVariant& value, QString&& text) {
    if (value.typeId() == QMetaType::QString)
        *static_cast<QString*>(value.data()) = std::move(text);
    else
        value = std::move(text);
}
} // namespace

void TdtDataSetExport::ReadRow(TdtValues& values) {
    const int n = ColumnCount();
    values.resize(n);
    QVariant* out = values.data();
    const QList<acq::FieldDef>& fields = DataSet->fields();
    for (int i = 0; i < n; ++i) {
        // The raw value only where the cell is not the display text.
        switch (fields[i].type) {
        case acq::FieldType::Binary: out[i] = QStringLiteral("** BINARY **"); break;
        case acq::FieldType::Boolean: out[i] = DataSet->value(i).toBool() ? Messages.TrueText : Messages.FalseText; break;
        case acq::FieldType::String: {
            QVariant v = DataSet->value(i);
            out[i] = v.isNull() ? QVariant() : std::move(v);
            break;
        }
        default: setText(out[i], DataSet->displayText(i)); break;
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
