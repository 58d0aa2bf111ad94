#pragma once
// Rows of named, typed fields as a data file or a spreadsheet sees them: the form in which
// tables travel between the program and its files (config.xml, data files, exports).
#include <QList>
#include <QString>
#include <QVariant>
#include <vector>

namespace acq {

enum class FieldType { Integer, LargeInt, AutoInc, Float, String, Boolean, Date, Time, DateTime, Binary };

struct FieldDef {
    QString name;
    FieldType type = FieldType::String;
    int size = 0;               ///< characters, for strings
    QString displayLabel;       ///< empty: the field name is shown
    int displayWidth = 0;       ///< characters; 0: the type's default
    QString displayFormat;      ///< e.g. "0.000"
    bool readOnly = false;
    bool required = false;
    bool visible = true;
    QString fileType;           ///< type name as read from a file, written back unchanged

    QString displayName() const { return displayLabel.isEmpty() ? name : displayLabel; }
};

bool isNumeric(FieldType t);

/// A value as the user reads it: numbers in the field's display format ("0.000"), dates as
/// d/M/yyyy; empty for no value.
QString displayText(const FieldDef& field, const QVariant& value);
/// The same for a number of a floating-point field.
QString displayNumber(const FieldDef& field, double value);

/// Rows of typed fields read one value at a time: what an export walks.
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual const QList<FieldDef>& fieldList() const = 0;
    virtual qsizetype rows() const = 0;
    virtual QVariant valueAt(qsizetype row, int field) const = 0;
    virtual QString displayTextAt(qsizetype row, int field) const { return displayText(fieldList()[field], valueAt(row, field)); }
};

/// Rows of values, one per field each, row after row; a null value is an empty cell.
struct Records : RowSource {
    QList<FieldDef> fields;
    std::vector<QVariant> cells;
    qint64 autoIncValue = 1; ///< the next number of an auto-increment field

    Records() = default;
    explicit Records(QList<FieldDef> f) : fields(std::move(f)) {}

    int width() const { return static_cast<int>(fields.size()); }
    qsizetype rowCount() const { return width() == 0 ? 0 : static_cast<qsizetype>(cells.size()) / width(); }
    const QVariant& value(qsizetype row, int field) const { return cells[static_cast<size_t>(row * width() + field)]; }
    QVariant& value(qsizetype row, int field) { return cells[static_cast<size_t>(row * width() + field)]; }
    /// A row of empty values at the end; its index.
    qsizetype appendRow();
    void appendRow(const QList<QVariant>& values);
    QList<QVariant> row(qsizetype r) const;
    void removeRow(qsizetype r);
    /// Ignoring case; -1 when absent.
    int fieldIndex(const QString& name) const;
    /// The first row whose `field` holds `text`, ignoring case; -1 when none does.
    qsizetype find(int field, const QString& text) const;

    const QList<FieldDef>& fieldList() const override { return fields; }
    qsizetype rows() const override { return rowCount(); }
    QVariant valueAt(qsizetype row, int field) const override { return value(row, field); }
};

} // namespace acq
