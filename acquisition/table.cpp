#include "acquisition/table.h"

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

void Table::createDataSet() {
    rows_.clear();
    autoInc_ = 1;
    state_ = State::Browse;
    cur_ = -1;
    eof_ = true;
    setIndexFieldNames(indexName_);
    invalidate();
    notify(Change::Data);
}

void Table::close() {
    rows_.clear();
    state_ = State::Inactive;
    cur_ = -1;
    eof_ = true;
    invalidate();
    notify(Change::Data);
}

void Table::assign(QList<FieldDef> defs, const QList<Row>& rows, qint64 autoInc) {
    defs_ = std::move(defs);
    rows_.clear();
    rows_.reserve(static_cast<size_t>(rows.size()));
    for (const Row& r : rows) {
        Row v = r;
        v.resize(defs_.size());
        rows_.push_back({v, false});
    }
    autoInc_ = autoInc;
    state_ = State::Browse;
    filtered_ = false;
    setIndexFieldNames(indexName_);
    invalidate();
    first();
    notify(Change::Data);
}

bool Table::passesFilter(const Row& r) const {
    if (!filtered_ || filterField_ < 0)
        return true;
    const QVariant& v = r[filterField_];
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
    view_.reserve(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i)
        if (!rows_[i].deleted && passesFilter(rows_[i].values))
            view_.push_back(static_cast<int>(i));
    if (indexField_ >= 0) {
        const int f = indexField_;
        if (isNumeric(defs_[f].type)) {
            // Keys read once: comparing variants inside the sort costs more than the sort.
            std::vector<std::pair<double, int>> keyed;
            keyed.reserve(view_.size());
            for (int r : view_) {
                const QVariant& v = rows_[static_cast<size_t>(r)].values[f];
                keyed.emplace_back(v.isNull() ? -std::numeric_limits<double>::infinity() : v.toDouble(), r);
            }
            std::stable_sort(keyed.begin(), keyed.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            for (size_t i = 0; i < keyed.size(); ++i)
                view_[i] = keyed[i].second;
        } else {
            std::stable_sort(view_.begin(), view_.end(), [&](int a, int b) {
                const QVariant& va = rows_[static_cast<size_t>(a)].values[f];
                const QVariant& vb = rows_[static_cast<size_t>(b)].values[f];
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
    if (b < 0 || b >= static_cast<int>(rows_.size()) || rows_[static_cast<size_t>(b)].deleted)
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
    buffer_ = rows_[static_cast<size_t>(cur_)].values;
    state_ = State::Edit;
    return true;
}

bool Table::post() {
    if (state_ == State::Insert) {
        for (int i = 0; i < defs_.size(); ++i)
            if (defs_[i].type == FieldType::AutoInc)
                buffer_[i] = autoInc_++;
        rows_.push_back({buffer_, false});
        cur_ = static_cast<int>(rows_.size()) - 1;
        eof_ = false;
    } else if (state_ == State::Edit) {
        rows_[static_cast<size_t>(cur_)].values = buffer_;
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
    rows_[static_cast<size_t>(cur_)].deleted = true;
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

const Table::Row* Table::rowFor(Bookmark b) const {
    if (b < 0 || b >= static_cast<int>(rows_.size()))
        return nullptr;
    return &rows_[static_cast<size_t>(b)].values;
}

QVariant Table::value(int field) const {
    if (field < 0 || field >= defs_.size())
        return {};
    if (state_ == State::Insert || state_ == State::Edit)
        return buffer_[field];
    return valueAt(cur_, field);
}

QVariant Table::valueAt(Bookmark row, int field) const {
    const Row* r = rowFor(row);
    if (!r || field < 0 || field >= r->size())
        return {};
    return (*r)[field];
}

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
        const QVariant& v = rows_[static_cast<size_t>(b)].values[f];
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
    out.reserve(static_cast<qsizetype>(rows_.size()));
    for (const Stored& s : rows_)
        if (!s.deleted)
            out.push_back(s.values);
    return out;
}

} // namespace acq
