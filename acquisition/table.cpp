#include "acquisition/table.h"

#include "acquisition/bulkmemory.h"

#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <limits>

namespace acq {

namespace {

bool isNumeric(FieldType t) {
    return t == FieldType::Integer || t == FieldType::LargeInt || t == FieldType::AutoInc ||
           t == FieldType::Float;
}

// Decimals asked for by a display format such as "0.000"; -1 when the format has no point.
int formatDecimals(const QString& fmt) {
    const auto dot = fmt.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return -1;
    int n = 0;
    for (auto i = dot + 1; i < fmt.size() && (fmt[i] == QLatin1Char('0') || fmt[i] == QLatin1Char('#')); ++i)
        ++n;
    return n;
}

} // namespace

void Table::setFieldDefs(QList<FieldDef> defs) {
    close();
    defs_ = std::move(defs);
}

int Table::fieldIndex(const QString& name) const {
    for (int i = 0; i < defs_.size(); ++i)
        if (defs_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// ---- RowStore ----------------------------------------------------------------------------

namespace {

// A value in 16 bytes: numbers and booleans in place, any other kind of value by its index
// among the store's others.
struct Cell {
    enum Kind : quint8 { Null, Int, LongLong, Double, Bool, Other };
    union {
        qint64 i = 0; ///< Int, LongLong, Bool; the index into the others for Other
        double d;
    };
    Kind kind = Null;
};
static_assert(sizeof(Cell) == 16);

} // namespace

struct RowStore::Data {
    int width = 0;
    qsizetype rows = 0;
    std::vector<Cell, BulkAllocator<Cell>> cells; ///< row-major, `width` a row
    std::vector<QVariant> others;

    Cell& at(qsizetype r, int f) { return cells[static_cast<size_t>(r) * static_cast<size_t>(width) + static_cast<size_t>(f)]; }
    const Cell* find(qsizetype r, int f) const {
        if (r < 0 || r >= rows || f < 0 || f >= width)
            return nullptr;
        return &cells[static_cast<size_t>(r) * static_cast<size_t>(width) + static_cast<size_t>(f)];
    }
    QVariant variant(const Cell& c) const {
        switch (c.kind) {
        case Cell::Null: break;
        case Cell::Int: return QVariant(static_cast<int>(c.i));
        case Cell::LongLong: return QVariant(static_cast<qlonglong>(c.i));
        case Cell::Double: return QVariant(c.d);
        case Cell::Bool: return QVariant(c.i != 0);
        case Cell::Other: return others[static_cast<size_t>(c.i)];
        }
        return {};
    }
    void put(Cell& c, const QVariant& v) {
        const qint64 slot = c.kind == Cell::Other ? c.i : -1;
        switch (v.metaType().id()) {
        case QMetaType::UnknownType: c.kind = Cell::Null; c.i = 0; break;
        case QMetaType::Int: c.kind = Cell::Int; c.i = *static_cast<const int*>(v.constData()); break;
        case QMetaType::LongLong: c.kind = Cell::LongLong; c.i = *static_cast<const qlonglong*>(v.constData()); break;
        case QMetaType::Double: c.kind = Cell::Double; c.d = *static_cast<const double*>(v.constData()); break;
        case QMetaType::Bool: c.kind = Cell::Bool; c.i = *static_cast<const bool*>(v.constData()); break;
        default:
            if (slot >= 0) {
                others[static_cast<size_t>(slot)] = v;
            } else {
                c.i = static_cast<qint64>(others.size());
                others.push_back(v);
            }
            c.kind = Cell::Other;
            return;
        }
        if (slot >= 0)
            others[static_cast<size_t>(slot)] = QVariant(); // the slot stays, empty
    }
};

RowStore::RowStore(int width) : d_(std::make_shared<Data>()) { d_->width = std::max(width, 0); }

RowStore::Data& RowStore::detach() {
    if (d_.use_count() > 1)
        d_ = std::make_shared<Data>(*d_);
    return *d_;
}

int RowStore::width() const { return d_->width; }
qsizetype RowStore::size() const { return d_->rows; }

void RowStore::reserve(qsizetype rows) {
    Data& d = detach();
    d.cells.reserve(static_cast<size_t>(rows) * static_cast<size_t>(d.width));
}

qsizetype RowStore::appendRow() {
    Data& d = detach();
    d.cells.resize(d.cells.size() + static_cast<size_t>(d.width));
    return d.rows++;
}

void RowStore::append(const Row& r) {
    const qsizetype at = appendRow();
    for (int f = 0; f < width() && f < r.size(); ++f)
        set(at, f, r[f]);
}

void RowStore::widen(int w) {
    if (w <= width())
        return;
    Data& d = detach();
    std::vector<Cell, BulkAllocator<Cell>> cells(static_cast<size_t>(d.rows) * static_cast<size_t>(w));
    for (qsizetype r = 0; r < d.rows; ++r)
        std::copy_n(d.cells.begin() + r * d.width, d.width, cells.begin() + r * w);
    d.cells = std::move(cells);
    d.width = w;
}

QVariant RowStore::value(qsizetype row, int field) const {
    const Cell* c = d_->find(row, field);
    return c ? d_->variant(*c) : QVariant();
}

bool RowStore::isNull(qsizetype row, int field) const {
    const Cell* c = d_->find(row, field);
    if (!c || c->kind == Cell::Null)
        return true;
    return c->kind == Cell::Other && d_->others[static_cast<size_t>(c->i)].isNull();
}

double RowStore::toDouble(qsizetype row, int field) const {
    const Cell* c = d_->find(row, field);
    if (!c)
        return 0;
    switch (c->kind) {
    case Cell::Null: return 0;
    case Cell::Int:
    case Cell::LongLong: return static_cast<double>(c->i);
    case Cell::Double: return c->d;
    default: return d_->variant(*c).toDouble();
    }
}

qint64 RowStore::toLongLong(qsizetype row, int field) const {
    const Cell* c = d_->find(row, field);
    if (!c)
        return 0;
    switch (c->kind) {
    case Cell::Null: return 0;
    case Cell::Int:
    case Cell::LongLong: return c->i;
    default: return d_->variant(*c).toLongLong(); // Qt's own rounding of doubles
    }
}

bool RowStore::holdsInt(qsizetype row, int field) const {
    const Cell* c = d_->find(row, field);
    return c && c->kind == Cell::Int;
}

bool RowStore::holdsDouble(qsizetype row, int field) const {
    const Cell* c = d_->find(row, field);
    return c && c->kind == Cell::Double;
}

namespace {
bool columnOf(const std::vector<Cell, BulkAllocator<Cell>>& cells, int width, int field, Cell::Kind kind) {
    if (field < 0 || field >= width)
        return false;
    for (size_t i = static_cast<size_t>(field); i < cells.size(); i += static_cast<size_t>(width))
        if (cells[i].kind != Cell::Null && cells[i].kind != kind)
            return false;
    return true;
}
} // namespace

bool RowStore::onlyInts(int field) const { return columnOf(d_->cells, d_->width, field, Cell::Int); }
bool RowStore::onlyDoubles(int field) const { return columnOf(d_->cells, d_->width, field, Cell::Double); }

void RowStore::set(qsizetype row, int field, const QVariant& v) {
    Data& d = detach();
    d.put(d.at(row, field), v);
}

void RowStore::setInt(qsizetype row, int field, int v) {
    Data& d = detach();
    Cell& c = d.at(row, field);
    if (c.kind == Cell::Other)
        return d.put(c, QVariant(v));
    c.kind = Cell::Int;
    c.i = v;
}

void RowStore::setLongLong(qsizetype row, int field, qint64 v) {
    Data& d = detach();
    Cell& c = d.at(row, field);
    if (c.kind == Cell::Other)
        return d.put(c, QVariant(static_cast<qlonglong>(v)));
    c.kind = Cell::LongLong;
    c.i = v;
}

void RowStore::setDouble(qsizetype row, int field, double v) {
    Data& d = detach();
    Cell& c = d.at(row, field);
    if (c.kind == Cell::Other)
        return d.put(c, QVariant(v));
    c.kind = Cell::Double;
    c.d = v;
}

RowStore::Row RowStore::row(qsizetype r) const {
    Row out(width());
    for (int f = 0; f < width(); ++f)
        out[f] = value(r, f);
    return out;
}

// ---- Table -------------------------------------------------------------------------------

void Table::clearRows() {
    store_ = RowStore(static_cast<int>(defs_.size()));
    deleted_.clear();
}

void Table::createDataSet() {
    clearRows();
    autoInc_ = 1;
    state_ = State::Browse;
    cur_ = -1;
    eof_ = true;
    setIndexFieldNames(indexName_);
    invalidate();
    notify(Change::Data);
}

void Table::close() {
    clearRows();
    state_ = State::Inactive;
    cur_ = -1;
    eof_ = true;
    invalidate();
    notify(Change::Data);
}

void Table::assign(QList<FieldDef> defs, const QList<Row>& rows, qint64 autoInc) {
    RowStore store(static_cast<int>(defs.size()));
    store.reserve(rows.size());
    for (const Row& r : rows)
        store.append(r);
    assign(std::move(defs), store, autoInc);
}

void Table::assign(QList<FieldDef> defs, const RowStore& rows, qint64 autoInc) {
    defs_ = std::move(defs);
    if (rows.width() == defs_.size()) {
        store_ = rows;
    } else {
        store_ = RowStore(static_cast<int>(defs_.size()));
        store_.reserve(rows.size());
        for (const Row& r : rows)
            store_.append(r);
    }
    deleted_.assign(static_cast<size_t>(rows.size()), 0);
    autoInc_ = autoInc;
    state_ = State::Browse;
    filtered_ = false;
    setIndexFieldNames(indexName_);
    invalidate();
    first();
    notify(Change::Data);
}

bool Table::setFilter(const QString& text, Bookmark first, Bookmark last) {
    if (!setFilter(text))
        return false;
    spanFirst_ = first;
    spanLast_ = last;
    invalidate();
    if (filtered_)
        notify(Change::Data);
    return true;
}

bool Table::passesFilter(Bookmark row) const {
    if (!filtered_ || filterField_ < 0)
        return true;
    if (spanFirst_ >= 0 && (row < spanFirst_ || row > spanLast_))
        return false;
    if (store_.holdsInt(row, filterField_) || store_.holdsDouble(row, filterField_))
        return store_.toDouble(row, filterField_) == static_cast<double>(filterValue_);
    const QVariant v = store_.value(row, filterField_);
    if (v.isNull())
        return false;
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok && d == static_cast<double>(filterValue_);
}

void Table::ensureView() const {
    if (!viewDirty_)
        return;
    view_.clear();
    view_.reserve(deleted_.size());
    for (qsizetype i = 0; i < storedCount(); ++i)
        if (!deleted_[static_cast<size_t>(i)] && passesFilter(static_cast<Bookmark>(i)))
            view_.push_back(static_cast<int>(i));
    if (indexField_ >= 0) {
        const int f = indexField_;
        if (isNumeric(defs_[f].type)) {
            // Keys read once: comparing variants inside the sort costs more than the sort.
            std::vector<std::pair<double, int>> keyed;
            keyed.reserve(view_.size());
            for (int r : view_)
                keyed.emplace_back(isNullAt(r, f) ? -std::numeric_limits<double>::infinity() : floatAt(r, f), r);
            std::stable_sort(keyed.begin(), keyed.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            for (size_t i = 0; i < keyed.size(); ++i)
                view_[i] = keyed[i].second;
        } else {
            std::stable_sort(view_.begin(), view_.end(), [&](int a, int b) {
                const QVariant va = valueAt(a, f);
                const QVariant vb = valueAt(b, f);
                if (va.isNull() || vb.isNull())
                    return va.isNull() && !vb.isNull();
                return va.toString() < vb.toString();
            });
        }
    }
    viewDirty_ = false;
    viewPos_ = -1;
    if (cur_ >= 0) {
        auto it = std::find(view_.begin(), view_.end(), cur_);
        if (it != view_.end())
            viewPos_ = static_cast<int>(it - view_.begin());
    }
}

void Table::invalidate() { viewDirty_ = true; }

void Table::notify(Change c) {
    if (disabled_ > 0) {
        (c == Change::Data ? pendingData_ : pendingCurrent_) = true;
        return;
    }
    for (auto& [id, o] : observers_)
        o(c);
}

void Table::enableControls() {
    if (disabled_ == 0 || --disabled_ > 0)
        return;
    const bool data = pendingData_, current = pendingCurrent_;
    pendingData_ = pendingCurrent_ = false;
    if (data)
        notify(Change::Data);
    else if (current)
        notify(Change::Current);
}

int Table::addObserver(Observer o) {
    observers_.emplace_back(nextObserver_, std::move(o));
    return nextObserver_++;
}

void Table::removeObserver(int id) {
    std::erase_if(observers_, [id](const auto& p) { return p.first == id; });
}

void Table::first() {
    if (state_ == State::Insert || state_ == State::Edit)
        post();
    ensureView();
    if (view_.empty()) {
        cur_ = -1;
        viewPos_ = -1;
        eof_ = true;
    } else {
        viewPos_ = 0;
        cur_ = view_[0];
        eof_ = false;
    }
    notify(Change::Current);
}

void Table::next() {
    if (state_ == State::Insert || state_ == State::Edit)
        post();
    ensureView();
    if (viewPos_ + 1 < static_cast<int>(view_.size())) {
        ++viewPos_;
        cur_ = view_[static_cast<size_t>(viewPos_)];
        eof_ = false;
    } else {
        eof_ = true;
    }
    notify(Change::Current);
}

int Table::recordCount() const {
    if (!isOpen())
        return 0;
    ensureView();
    return static_cast<int>(view_.size());
}

bool Table::gotoBookmark(Bookmark b) {
    if (b < 0 || b >= storedCount() || deleted_[static_cast<size_t>(b)])
        return false;
    cur_ = b;
    eof_ = false;
    ensureView();
    auto it = std::find(view_.begin(), view_.end(), b);
    viewPos_ = it == view_.end() ? -1 : static_cast<int>(it - view_.begin());
    notify(Change::Current);
    return true;
}

Table::Bookmark Table::visibleRow(int i) const {
    ensureView();
    return (i < 0 || i >= static_cast<int>(view_.size())) ? -1 : view_[static_cast<size_t>(i)];
}

int Table::currentPosition() const {
    ensureView();
    return viewPos_;
}

void Table::append() {
    if (!isOpen())
        return;
    if (state_ == State::Insert || state_ == State::Edit)
        post();
    buffer_ = Row(defs_.size());
    state_ = State::Insert;
}

bool Table::edit() {
    if (!isOpen() || cur_ < 0)
        return false;
    if (state_ == State::Edit || state_ == State::Insert)
        return true;
    buffer_ = Row(defs_.size());
    for (int f = 0; f < defs_.size(); ++f)
        buffer_[f] = valueAt(cur_, f);
    state_ = State::Edit;
    return true;
}

bool Table::post() {
    if (state_ == State::Insert) {
        for (int i = 0; i < defs_.size(); ++i)
            if (defs_[i].type == FieldType::AutoInc)
                buffer_[i] = autoInc_++;
        // Fields added through fieldDefs() since the rows were stored: null in older rows.
        store_.widen(static_cast<int>(defs_.size()));
        cur_ = static_cast<int>(store_.appendRow());
        deleted_.push_back(0);
        for (int f = 0; f < buffer_.size() && f < store_.width(); ++f)
            store_.set(cur_, f, buffer_[f]);
        eof_ = false;
    } else if (state_ == State::Edit) {
        store_.widen(static_cast<int>(defs_.size()));
        for (int f = 0; f < buffer_.size() && f < store_.width(); ++f)
            store_.set(cur_, f, buffer_[f]);
    } else {
        return false;
    }
    state_ = State::Browse;
    invalidate();
    notify(Change::Data);
    return true;
}

void Table::cancel() {
    if (state_ == State::Insert || state_ == State::Edit)
        state_ = State::Browse;
}

bool Table::deleteCurrent() {
    if (!isOpen() || cur_ < 0)
        return false;
    cancel();
    ensureView();
    const int pos = viewPos_;
    deleted_[static_cast<size_t>(cur_)] = 1;
    invalidate();
    ensureView();
    if (view_.empty()) {
        cur_ = -1;
        eof_ = true;
    } else {
        viewPos_ = std::clamp(pos, 0, static_cast<int>(view_.size()) - 1);
        cur_ = view_[static_cast<size_t>(viewPos_)];
    }
    notify(Change::Data);
    return true;
}

bool Table::setValue(int field, const QVariant& v) {
    if (field < 0 || field >= defs_.size() || (state_ != State::Insert && state_ != State::Edit))
        return false;
    buffer_[field] = v;
    return true;
}

QVariant Table::value(int field) const {
    if (field < 0 || field >= defs_.size())
        return {};
    if (state_ == State::Insert || state_ == State::Edit)
        return buffer_[field];
    return valueAt(cur_, field);
}

QVariant Table::valueAt(Bookmark row, int field) const { return store_.value(row, field); }
bool Table::isNullAt(Bookmark row, int field) const { return store_.isNull(row, field); }
double Table::floatAt(Bookmark row, int field) const { return store_.toDouble(row, field); }
qint64 Table::integerAt(Bookmark row, int field) const { return store_.toLongLong(row, field); }

double Table::asFloat(const QString& field) const { return value(field).toDouble(); }
qint64 Table::asInteger(const QString& field) const { return value(field).toLongLong(); }
QString Table::asString(const QString& field) const { return value(field).toString(); }

QString Table::formatValue(int field, const QVariant& v) const {
    if (v.isNull() || field < 0 || field >= defs_.size())
        return {};
    const FieldDef& d = defs_[field];
    switch (d.type) {
    case FieldType::Float: {
        const int dec = formatDecimals(d.displayFormat);
        if (dec >= 0 && dec <= 30) {
            // Locale-free and fast: grids and exports format thousands of these.
            char buf[400];
            const auto r = std::to_chars(buf, buf + sizeof buf, v.toDouble(), std::chars_format::fixed, dec);
            if (r.ec == std::errc())
                return QString::fromLatin1(buf, static_cast<qsizetype>(r.ptr - buf));
            return QString::number(v.toDouble(), 'f', dec);
        }
        return QString::number(v.toDouble(), 'g', 15);
    }
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::AutoInc:
        return QString::number(v.toLongLong());
    case FieldType::Boolean:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Date:
        return v.toDate().toString(QStringLiteral("d/M/yyyy"));
    case FieldType::Time:
        return v.toTime().toString(QStringLiteral("hh:mm:ss"));
    case FieldType::DateTime:
        return v.toDateTime().toString(QStringLiteral("d/M/yyyy hh:mm:ss"));
    case FieldType::Binary:
        return QStringLiteral("(binário)");
    case FieldType::String:
        break;
    }
    return v.toString();
}

QString Table::displayText(int field) const { return formatValue(field, value(field)); }

QString Table::displayTextAt(Bookmark row, int field) const {
    return formatValue(field, valueAt(row, field));
}

bool Table::locate(const QString& field, const QString& text, bool caseInsensitive) {
    const int f = fieldIndex(field);
    if (f < 0 || !isOpen())
        return false;
    ensureView();
    const auto cs = caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
    for (int b : view_) {
        const QVariant v = valueAt(b, f);
        if (!v.isNull() && v.toString().compare(text, cs) == 0)
            return gotoBookmark(b);
    }
    return false;
}

void Table::setIndexFieldNames(const QString& names) {
    indexName_ = names;
    indexField_ = names.isEmpty() ? -1 : fieldIndex(names);
    invalidate();
    notify(Change::Data);
}

bool Table::setFilter(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^\\s*(\\w+)\\s*=\\s*([+-]?\\d+)\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return false;
    bool ok = false;
    const qint64 n = m.captured(2).toLongLong(&ok);
    const int f = fieldIndex(m.captured(1));
    if (!ok || f < 0)
        return false;
    filterText_ = text;
    filterField_ = f;
    filterValue_ = n;
    spanFirst_ = spanLast_ = -1;
    invalidate();
    if (filtered_)
        notify(Change::Data);
    return true;
}

void Table::setFiltered(bool on) {
    if (filtered_ == on)
        return;
    filtered_ = on;
    invalidate();
    notify(Change::Data);
}

QList<Table::Row> Table::allRows() const {
    QList<Row> out;
    out.reserve(storedCount());
    for (qsizetype r = 0; r < storedCount(); ++r) {
        if (deleted_[static_cast<size_t>(r)])
            continue;
        out.push_back(store_.row(r));
    }
    return out;
}

std::vector<Table::Bookmark> Table::storedRows() const {
    std::vector<Bookmark> out;
    out.reserve(deleted_.size());
    for (qsizetype r = 0; r < storedCount(); ++r)
        if (!deleted_[static_cast<size_t>(r)])
            out.push_back(static_cast<Bookmark>(r));
    return out;
}

} // namespace acq
