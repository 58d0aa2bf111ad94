#include "acquisition/measurements.h"

#include "acquisition/datapacket.h"
#include "acquisition/wholefile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <set>

namespace acq {

QList<FieldDef> measurementFields() {
    auto f = [](const QString& name, FieldType type, const QString& label, int width, const QString& format) {
        FieldDef d;
        d.name = name;
        d.type = type;
        d.displayLabel = label;
        d.displayWidth = width;
        d.displayFormat = format;
        d.readOnly = type == FieldType::AutoInc;
        return d;
    };
    return {
        f(field::Reg, FieldType::AutoInc, QStringLiteral("Registro"), 8, {}),
        f(field::Ensaio, FieldType::Integer, {}, 0, {}),
        f(field::SubReg, FieldType::Integer, QStringLiteral("Registro"), 8, {}),
        f(field::Tempo, FieldType::Float, {}, 0, QStringLiteral("0.00")),
        f(field::Tint, FieldType::Float, QStringLiteral("Temp. Int. (°C)"), 11, QStringLiteral("0.000")),
        f(field::Text, FieldType::Float, QStringLiteral("Temp. Ext. (°C)"), 11, QStringLiteral("0.000")),
        f(field::TMax, FieldType::Float, QStringLiteral("Temp. Máxima (°C)"), 11, QStringLiteral("0.000")),
        f(field::TMin, FieldType::Float, QStringLiteral("Temp. Mínima (°C)"), 11, QStringLiteral("0.000")),
    };
}

double rawToCelsius(quint32 raw) { return static_cast<double>(raw * 5u) / 1023.0 + 20.0; }

double sampleMinutes(int subReg) { return static_cast<double>((subReg - 1) * 5) / 60.0; }

double Row::number(int c) const {
    switch (c) {
    case ColReg: return reg;
    case ColEnsaio: return ensaio;
    case ColSubReg: return subReg;
    case ColTempo: return tempo;
    case ColTint: return tint;
    case ColText: return text;
    case ColTMax: return tmax;
    case ColTMin: return tmin;
    default: return 0;
    }
}

QVariant Row::value(int c) const {
    if (c < 0 || c >= kColumns || !has(c))
        return {};
    return c <= ColSubReg ? QVariant(static_cast<int>(number(c))) : QVariant(number(c));
}

QString TestRun::label() const {
    return occurrence > 1 ? QStringLiteral("%1 (%2)").arg(number).arg(occurrence) : QString::number(number);
}

QList<qint64> Measurements::testNumbers() const {
    std::set<qint64> seen;
    for (const Row& r : rows_)
        if (r.has(ColEnsaio))
            seen.insert(r.ensaio);
    return {seen.begin(), seen.end()};
}

QList<FieldDef> Measurements::fields() const { return measurementFields() + extraFields_; }

QVariant Measurements::value(int row, int column) const {
    if (column < kColumns)
        return rows_[static_cast<size_t>(row)].value(column);
    return extra_.empty() ? QVariant() : extra_[static_cast<size_t>(row)].value(column - kColumns);
}

QString Measurements::displayText(int row, int column) const {
    static const QList<FieldDef> ours = measurementFields();
    const FieldDef& f = column < kColumns ? ours[column] : extraFields_[column - kColumns];
    return acq::displayText(f, value(row, column));
}

void Measurements::startTest(int number) {
    int occurrence = 1;
    for (const TestRun& t : tests_)
        occurrence += t.number == number ? 1 : 0;
    tests_ << TestRun{number, occurrence, {}};
}

int Measurements::addSample(Row r) {
    r.reg = static_cast<int>(nextReg_++);
    rows_.push_back(r);
    if (!extra_.empty())
        extra_.emplace_back();
    const int index = rowCount() - 1;
    if (!tests_.isEmpty())
        tests_.back().rows.push_back(index);
    return index;
}

void Measurements::setExtremes(int row, double tmax, double tmin) {
    Row& r = rows_[static_cast<size_t>(row)];
    r.tmax = tmax;
    r.tmin = tmin;
}

void Measurements::removeRow(int index) {
    if (index < 0 || index >= rowCount())
        return;
    rows_.erase(rows_.begin() + index);
    if (!extra_.empty())
        extra_.erase(extra_.begin() + index);
    for (TestRun& t : tests_) {
        std::erase(t.rows, index);
        for (int& r : t.rows)
            r -= r > index ? 1 : 0;
    }
}

const Row* Measurements::firstRow(const TestRun& test) const {
    return test.rows.empty() ? nullptr : &rows_[static_cast<size_t>(test.rows.front())];
}

MeasurementRows::MeasurementRows(const Measurements& m, std::vector<int> rows)
    : m_(m), rows_(std::move(rows)), fields_(m.fields()) {}

QVariant MeasurementRows::valueAt(qsizetype row, int field) const {
    return m_.value(rows_[static_cast<size_t>(row)], field);
}

QString MeasurementRows::displayTextAt(qsizetype row, int field) const {
    const int r = rows_[static_cast<size_t>(row)];
    if (field >= ColTempo && field < kColumns) {
        const Row& s = m_.rows()[static_cast<size_t>(r)];
        return s.has(field) ? displayNumber(fields_[field], s.number(field)) : QString();
    }
    return m_.displayText(r, field);
}

QList<TestRun> testRuns(const std::vector<Row>& rows) {
    QList<TestRun> runs;
    // Per number: its latest run and the SubReg of that run's last row. A row continues that
    // run when its SubReg rises, so rows of tests written interleaved still go to their test.
    std::map<qint64, std::pair<qsizetype, qint64>> open;
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const Row& r = rows[static_cast<size_t>(i)];
        if (!r.has(ColEnsaio))
            continue;
        const qint64 n = r.ensaio;
        const qint64 s = r.has(ColSubReg) ? r.subReg : 0;
        auto it = open.find(n);
        if (it == open.end() || s <= it->second.second) {
            const int occurrence = it == open.end() ? 1 : runs[it->second.first].occurrence + 1;
            runs << TestRun{n, occurrence, {}};
            it = open.insert_or_assign(n, std::pair{runs.size() - 1, s}).first;
        }
        runs[it->second.first].rows.push_back(i);
        it->second.second = s;
    }
    // Listed by number, as a file's tests always were; tests sharing a number in their order.
    std::stable_sort(runs.begin(), runs.end(), [](const TestRun& a, const TestRun& b) {
        return std::pair(a.number, a.occurrence) < std::pair(b.number, b.occurrence);
    });
    return runs;
}

namespace {

// Whether a value is one the logger can produce; otherwise why not.
std::optional<QString> implausible(int column, double v) {
    const double lowest = rawToCelsius(0), highest = rawToCelsius(0xFFFF);
    const auto shown = [v] { return QString::number(v, 'g', 10); };
    if (column == ColTempo)
        return std::isfinite(v) && v >= 0 ? std::nullopt
                                           : std::optional(QStringLiteral("%1 não é um tempo válido").arg(shown()));
    // The maximum and the minimum are 0 when the logger never wrote them.
    if ((column == ColTMax || column == ColTMin) && v == 0)
        return std::nullopt;
    if (std::isfinite(v) && v >= lowest && v <= highest + 1e-9)
        return std::nullopt;
    return QStringLiteral("%1 °C está fora do que o registrador mede (%2 a %3 °C)")
        .arg(shown(), QString::number(lowest, 'f', 1), QString::number(highest, 'f', 1));
}

} // namespace

// Measurements straight from a data file's values, checked as they come: our eight fields
// wherever the file has them, with fitting types, and only values the logger can give.
class MeasurementSink : public RecordSink {
public:
    explicit MeasurementSink(Measurements& m) : m_(m) {}

    void begin(const QList<FieldDef>& fields, qsizetype rowsAtMost) override {
        const QList<FieldDef> wanted = measurementFields();
        column_.fill(-1, fields.size());
        for (int k = 0; k < kColumns && refusal_.isEmpty(); ++k) {
            int at = -1;
            for (int i = 0; i < fields.size(); ++i)
                if (fields[i].name.compare(wanted[k].name, Qt::CaseInsensitive) == 0)
                    at = i;
            if (at < 0) {
                refusal_ = QStringLiteral("falta o campo \"%1\" da tabela de medições").arg(wanted[k].name);
                break;
            }
            const FieldType t = fields[at].type;
            const bool intLike = t == FieldType::Integer || t == FieldType::LargeInt || t == FieldType::AutoInc;
            if (!(wanted[k].type == FieldType::Float ? (t == FieldType::Float || intLike) : intLike))
                refusal_ = QStringLiteral("o campo \"%1\" tem um tipo que não é numérico").arg(wanted[k].name);
            column_[at] = k;
        }
        // The file's own extra fields come after ours, so that nothing it holds is dropped.
        for (int i = 0; i < fields.size(); ++i)
            if (column_[i] < 0) {
                column_[i] = kColumns + static_cast<int>(m_.extraFields_.size());
                m_.extraFields_ << fields[i];
            }
        if (refusal_.isEmpty())
            m_.rows_.reserve(static_cast<size_t>(rowsAtMost));
    }
    void newRow() override {
        if (!refusal_.isEmpty())
            return;
        Row r;
        r.empty = 0xFF;
        m_.rows_.push_back(r);
        if (!m_.extraFields_.isEmpty())
            m_.extra_.emplace_back(m_.extraFields_.size());
    }
    void setInt(int field, qint64 v) override {
        if (!refusal_.isEmpty())
            return;
        const int k = column_[field];
        if (k >= kColumns)
            return setExtra(k, QVariant(v));
        if (k > ColSubReg)
            return setNumber(k, static_cast<double>(v));
        // A wider integer (an i8 field) that does not fit ours is refused, never wrapped.
        if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) {
            refusal_ = QStringLiteral("o valor %1 do campo \"%2\" está fora do intervalo permitido")
                           .arg(v).arg(measurementFields()[k].name);
            return;
        }
        Row& r = m_.rows_.back();
        (k == ColReg ? r.reg : k == ColEnsaio ? r.ensaio : r.subReg) = static_cast<int>(v);
        r.empty &= static_cast<quint8>(~(1u << k));
    }
    void setDouble(int field, double v) override {
        if (!refusal_.isEmpty())
            return;
        const int k = column_[field];
        if (k >= kColumns)
            setExtra(k, QVariant(v));
        else
            setNumber(k, v);
    }
    void setValue(int field, QVariant v) override {
        if (!refusal_.isEmpty())
            return;
        const int k = column_[field];
        if (k >= kColumns)
            setExtra(k, std::move(v));
        else if (!v.isNull())
            k <= ColSubReg ? setInt(field, v.toLongLong()) : setNumber(k, v.toDouble());
    }
    void end(qint64 autoIncValue) override {
        // Never hand out a Reg that a row already has, whatever the file says is next (a file
        // whose Reg is no auto-increment field says nothing).
        qint64 next = autoIncValue;
        for (const Row& r : m_.rows_)
            next = std::max<qint64>(next, qint64(r.reg) + 1);
        m_.nextReg_ = next;
    }

    const QString& refusal() const { return refusal_; }

private:
    void setNumber(int k, double v) {
        if (const auto why = implausible(k, v)) {
            refusal_ = QStringLiteral("linha %1, campo \"%2\": %3")
                           .arg(m_.rows_.size())
                           .arg(measurementFields()[k].name, *why);
            return;
        }
        Row& r = m_.rows_.back();
        (k == ColTempo ? r.tempo : k == ColTint ? r.tint : k == ColText ? r.text : k == ColTMax ? r.tmax : r.tmin) = v;
        r.empty &= static_cast<quint8>(~(1u << k));
    }
    void setExtra(int k, QVariant v) { m_.extra_.back()[k - kColumns] = std::move(v); }

    Measurements& m_;
    QList<int> column_; ///< for each field of the file: our column, or kColumns + its extra index
    QString refusal_;
};

std::optional<Measurements> Measurements::fromRecords(const Records& p, QString* error) {
    Measurements m;
    MeasurementSink sink(m);
    sink.begin(p.fields, p.rowCount());
    for (qsizetype r = 0; r < p.rowCount() && sink.refusal().isEmpty(); ++r) {
        sink.newRow();
        for (int f = 0; f < p.width(); ++f)
            if (!p.value(r, f).isNull())
                sink.setValue(f, p.value(r, f));
    }
    sink.end(p.autoIncValue);
    return m.finish(sink.refusal(), error);
}

std::optional<Measurements> Measurements::load(const QString& path, QString* error, bool* isTable) {
    Measurements m;
    MeasurementSink sink(m);
    const bool read = loadDatapacket(path, sink, error);
    if (isTable)
        *isTable = read;
    if (!read)
        return std::nullopt;
    return m.finish(sink.refusal(), error);
}

std::optional<Measurements::WholeTests> Measurements::loadWholeTests(const QString& path) {
    const auto bytes = readWholeFile(path, kMaxDatapacketBytes, nullptr, nullptr);
    if (!bytes)
        return std::nullopt;
    auto records = salvageDatapacket(*bytes);
    if (!records)
        return std::nullopt;
    // The last test read is where the file stops: its rows may go on past the damage.
    const int ensaio = records->fieldIndex(field::Ensaio);
    if (ensaio < 0)
        return std::nullopt;
    const QVariant last = records->value(records->rowCount() - 1, ensaio);
    while (records->rowCount() > 0 && records->value(records->rowCount() - 1, ensaio) == last)
        records->cells.resize(records->cells.size() - static_cast<size_t>(records->width()));
    if (records->rowCount() == 0)
        return std::nullopt;
    auto m = fromRecords(*records, nullptr);
    if (!m)
        return std::nullopt;
    // Told as the list would show it: "5", or "5 (2)" for a second test numbered 5.
    int occurrence = 1;
    for (const TestRun& t : m->tests())
        if (QVariant(t.number).toString() == last.toString())
            ++occurrence;
    TestRun cut;
    cut.number = last.toLongLong();
    cut.occurrence = occurrence;
    return WholeTests{std::move(*m), cut.label()};
}

std::optional<Measurements> Measurements::finish(const QString& refusal, QString* error) {
    if (!refusal.isEmpty()) {
        if (error)
            *error = refusal;
        return std::nullopt;
    }
    tests_ = testRuns(rows_);
    return std::move(*this);
}

bool Measurements::save(const QString& path, QString* error) const {
    std::vector<int> all(rows_.size());
    std::iota(all.begin(), all.end(), 0);
    return saveDatapacket(MeasurementRows(*this, std::move(all)), nextReg_, path, error);
}

Records Measurements::toRecords() const {
    std::vector<int> all(rows_.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<int>(i);
    return toRecords(all);
}

Records Measurements::toRecords(const std::vector<int>& rows) const {
    Records out(fields());
    out.autoIncValue = nextReg_;
    const int width = out.width();
    out.cells.reserve(rows.size() * static_cast<size_t>(width));
    for (const int r : rows) {
        for (int c = 0; c < kColumns; ++c)
            out.cells.push_back(rows_[static_cast<size_t>(r)].value(c));
        for (int e = kColumns; e < width; ++e)
            out.cells.push_back(extra_.empty() ? QVariant() : extra_[static_cast<size_t>(r)].value(e - kColumns));
    }
    return out;
}

} // namespace acq
