#include "export/dtDataSetExport.h"


#include <QDateTime>
#include <algorithm>

TdtDataSetExport::TdtDataSetExport() { Messages.Caption = QStringLiteral("Exporting DataSet"); }

bool TdtDataSetExport::SourceReady() { return DataSet != nullptr || Source != nullptr; }

const acq::RowSource* TdtDataSetExport::take() {
    if (DataSet) {
        current_ = DataSet;
    } else if (Source) {
        taken_ = Source();
        current_ = taken_.get();
    }
    return current_;
}

// The walk keeps its own place: the rows it reads are not changed by it.
void TdtDataSetExport::SaveSourceState() { row_ = 0; }

void TdtDataSetExport::RestoreSourceState() {
    row_ = 0;
    current_ = nullptr;
    taken_.reset();
}

void TdtDataSetExport::FirstRow() { row_ = 0; }
bool TdtDataSetExport::EndOfRows() { return !rows() || row_ >= rows()->rows(); }
int TdtDataSetExport::ColumnCount() { return rows() ? static_cast<int>(rows()->fieldList().size()) : 0; }

bool TdtDataSetExport::ColumnVisible(int i) { return i >= 0 && i < ColumnCount() && rows()->fieldList()[i].visible; }

QString TdtDataSetExport::SourceColumnCaption(int i) {
    if (i < 0 || i >= ColumnCount())
        return {};
    const acq::FieldDef& f = rows()->fieldList()[i];
    const QString name = f.displayName();
    return name.isEmpty() ? f.name : name;
}

int TdtDataSetExport::SourceColumnWidth(int i) {
    if (i < 0 || i >= ColumnCount())
        return 0;
    const acq::FieldDef& f = rows()->fieldList()[i];
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
    const acq::RowSource& source = *rows();
    const QList<acq::FieldDef>& fields = source.fieldList();
    for (int i = 0; i < n; ++i) {
        // The raw value only where the cell is not the display text.
        switch (fields[i].type) {
        case acq::FieldType::Binary: out[i] = QStringLiteral("** BINARY **"); break;
        case acq::FieldType::Boolean: out[i] = source.valueAt(row_, i).toBool() ? Messages.TrueText : Messages.FalseText; break;
        case acq::FieldType::String: out[i] = source.valueAt(row_, i); break;
        default: setText(out[i], source.displayTextAt(row_, i)); break;
        }
    }
    ++row_;
}

int TdtDataSetExport::RowCount() { return rows() ? static_cast<int>(rows()->rows()) : 0; }
