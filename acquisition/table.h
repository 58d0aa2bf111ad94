#pragma once
// A small in-memory table with the operations the program relies on: field definitions,
// append/edit/post, an index order, the filter "Field = n", navigation over the visible rows,
// bookmarks, typed access, display texts and case-insensitive locate.
#include <QList>
#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>
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

/// Rows of one width stored compactly: 16 bytes a value for numbers and booleans, any other
/// value kept aside. A row reads as a list of variants, built when it is asked for. Copies
/// share their cells until one of them is changed.
class RowStore {
public:
    using Row = QVector<QVariant>;

    RowStore() : RowStore(0) {}
    explicit RowStore(int width);

    int width() const;
    qsizetype size() const;
    bool isEmpty() const { return size() == 0; }
    void reserve(qsizetype rows);
    /// A row of null values at the end; its index.
    qsizetype appendRow();
    /// A row at the end, cut or padded to the width.
    void append(const Row& r);
    RowStore& operator<<(const Row& r) {
        append(r);
        return *this;
    }
    /// Makes the rows `w` values wide, the new values null.
    void widen(int w);

    QVariant value(qsizetype row, int field) const;
    bool isNull(qsizetype row, int field) const; ///< as value(row, field).isNull()
    double toDouble(qsizetype row, int field) const; ///< as value(row, field).toDouble()
    qint64 toLongLong(qsizetype row, int field) const; ///< as value(row, field).toLongLong()
    /// Whether the value is held as an int, a double, or neither (null and other kinds).
    bool holdsInt(qsizetype row, int field) const;
    bool holdsDouble(qsizetype row, int field) const;
    /// Whether every value of a field is null or held as an int (a double).
    bool onlyInts(int field) const;
    bool onlyDoubles(int field) const;
    void set(qsizetype row, int field, const QVariant& v);
    void setInt(qsizetype row, int field, int v);
    void setLongLong(qsizetype row, int field, qint64 v);
    void setDouble(qsizetype row, int field, double v);

    Row row(qsizetype r) const;
    Row operator[](qsizetype r) const { return row(r); }
    Row at(qsizetype r) const { return row(r); }

    class const_iterator {
    public:
        const_iterator(const RowStore* s, qsizetype i) : s_(s), i_(i) {}
        Row operator*() const { return s_->row(i_); }
        const_iterator& operator++() {
            ++i_;
            return *this;
        }
        bool operator==(const const_iterator& o) const { return i_ == o.i_; }
        bool operator!=(const const_iterator& o) const { return i_ != o.i_; }

    private:
        const RowStore* s_;
        qsizetype i_;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    /// Whether both hold the very same cells (a copy that has not been changed since).
    bool sharesWith(const RowStore& o) const { return d_ == o.d_; }

private:
    struct Data;
    Data& detach();
    std::shared_ptr<Data> d_;
};

class Table {
public:
    using Bookmark = int; ///< a stable row id; -1 means none
    using Row = QVector<QVariant>;
    enum class State { Inactive, Browse, Insert, Edit };
    enum class Change { Data, Current };
    using Observer = std::function<void(Change)>;

    Table() = default;
    explicit Table(QList<FieldDef> defs) : defs_(std::move(defs)) {}

    // Structure
    const QList<FieldDef>& fields() const { return defs_; }
    QList<FieldDef>& fieldDefs() { return defs_; }
    void setFieldDefs(QList<FieldDef> defs);
    int fieldIndex(const QString& name) const; ///< case-insensitive; -1 when absent
    int fieldCount() const { return static_cast<int>(defs_.size()); }

    // Life cycle
    void createDataSet(); ///< open and empty; auto-increment starts again at 1
    void close();
    bool isOpen() const { return state_ != State::Inactive; }
    State state() const { return state_; }

    // Navigation over the visible rows (index order, filter)
    void first();
    void next();
    bool eof() const { return eof_; }
    int recordCount() const;
    bool isEmpty() const { return recordCount() == 0; }
    Bookmark bookmark() const { return cur_; }
    bool gotoBookmark(Bookmark b);
    /// Visible row `i` (0-based) without moving the cursor; -1 when out of range.
    Bookmark visibleRow(int i) const;
    /// Position of the current row among the visible rows, or -1.
    int currentPosition() const;

    // Editing
    void append();
    bool edit();
    bool post();
    void cancel();
    bool deleteCurrent();
    bool setValue(int field, const QVariant& v);
    bool setValue(const QString& field, const QVariant& v) { return setValue(fieldIndex(field), v); }

    // Reading the current row
    QVariant value(int field) const;
    QVariant value(const QString& field) const { return value(fieldIndex(field)); }
    double asFloat(const QString& field) const;
    qint64 asInteger(const QString& field) const;
    QString asString(const QString& field) const;
    QString displayText(int field) const;
    QString displayText(const QString& field) const { return displayText(fieldIndex(field)); }
    /// Reads any row by bookmark (for views that show rows without moving the cursor).
    QVariant valueAt(Bookmark row, int field) const;
    QString displayTextAt(Bookmark row, int field) const;
    /// Display text of a value with the field's format.
    QString formatValue(int field, const QVariant& v) const;

    bool locate(const QString& field, const QString& text, bool caseInsensitive = true);

    // Order and filter
    void setIndexFieldNames(const QString& names);
    QString indexFieldNames() const { return indexName_; }
    /// Accepts "Field = integer"; false (and the filter unchanged) for any other text.
    bool setFilter(const QString& text);
    /// The same, restricted to the stored rows from `first` to `last` (bookmarks): one test
    /// among several that share a number.
    bool setFilter(const QString& text, Bookmark first, Bookmark last);
    QString filter() const { return filterText_; }
    void setFiltered(bool on);
    bool filtered() const { return filtered_; }

    // Attached views: suspended while disabled (nests), told once when enabled again.
    void disableControls() { ++disabled_; }
    void enableControls();
    bool controlsDisabled() const { return disabled_ > 0; }
    int addObserver(Observer o);
    void removeObserver(int id);

    // Whole-table access for files
    qint64 autoIncValue() const { return autoInc_; }
    void setAutoIncValue(qint64 v) { autoInc_ = v; }
    /// All stored rows (deleted ones left out), in the order they were added.
    QList<Row> allRows() const;
    /// Replaces structure and rows at once (rows as loaded from a file); opens the table.
    void assign(QList<FieldDef> defs, const QList<Row>& rows, qint64 autoInc);
    /// The same from stored rows; rows as wide as `defs` are shared, not copied.
    void assign(QList<FieldDef> defs, const RowStore& rows, qint64 autoInc);

    // Whole-table reading without a variant per value (summaries, files, evaluation).
    /// Bookmarks of the stored rows (deleted ones left out), in the order they were added.
    std::vector<Bookmark> storedRows() const;
    bool isNullAt(Bookmark row, int field) const;
    /// Whether `row` is a stored row that was not deleted.
    bool isStored(Bookmark row) const {
        return row >= 0 && row < storedCount() && !deleted_[static_cast<size_t>(row)];
    }
    /// The same numbers as valueAt(row, field).toDouble() and .toLongLong().
    double floatAt(Bookmark row, int field) const;
    qint64 integerAt(Bookmark row, int field) const;

private:
    void clearRows();
    void ensureView() const;
    void invalidate();
    void notify(Change c);
    bool passesFilter(Bookmark row) const;
    qsizetype storedCount() const { return static_cast<qsizetype>(deleted_.size()); }

    QList<FieldDef> defs_;
    RowStore store_;
    std::vector<quint8> deleted_; ///< one per stored row
    State state_ = State::Inactive;
    Row buffer_;
    qint64 autoInc_ = 1;
    Bookmark cur_ = -1;
    bool eof_ = true;

    QString indexName_;
    int indexField_ = -1;
    QString filterText_;
    int filterField_ = -1;
    qint64 filterValue_ = 0;
    Bookmark spanFirst_ = -1, spanLast_ = -1;
    bool filtered_ = false;

    mutable std::vector<int> view_;
    mutable bool viewDirty_ = true;
    mutable int viewPos_ = -1;

    int disabled_ = 0;
    bool pendingData_ = false;
    bool pendingCurrent_ = false;
    std::vector<std::pair<int, Observer>> observers_;
    int nextObserver_ = 1;
};

} // namespace acq
