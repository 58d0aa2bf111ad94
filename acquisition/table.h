#pragma once
// A small in-memory table with the operations the program relies on: field definitions,
// append/edit/post, an index order, the filter "Field = n", navigation over the visible rows,
// bookmarks, typed access, display texts and case-insensitive locate.
#include <QList>
#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>
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

private:
    struct Stored {
        Row values;
        bool deleted = false;
    };
    void ensureView() const;
    void invalidate();
    void notify(Change c);
    bool passesFilter(const Row& r) const;
    const Row* rowFor(Bookmark b) const;

    QList<FieldDef> defs_;
    std::vector<Stored> rows_;
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
