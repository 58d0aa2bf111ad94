#include "acquisition/measurements.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
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
    const QString shown = QString::number(v, 'g', 10);
    if (column == ColTempo)
        return std::isfinite(v) && v >= 0 ? std::nullopt
                                           : std::optional(QStringLiteral("%1 não é um tempo válido").arg(shown));
    // The maximum and the minimum are 0 when the logger never wrote them.
    if ((column == ColTMax || column == ColTMin) && v == 0)
        return std::nullopt;
    if (std::isfinite(v) && v >= lowest && v <= highest + 1e-9)
        return std::nullopt;
    return QStringLiteral("%1 °C está fora do que o registrador mede (%2 a %3 °C)")
        .arg(shown, QString::number(lowest, 'f', 1), QString::number(highest, 'f', 1));
}

} // namespace

std::optional<Measurements> Measurements::fromRecords(const Records& p, QString* error) {
    auto refuse = [&](const QString& why) -> std::optional<Measurements> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QList<FieldDef> wanted = measurementFields();
    QList<int> source;
    for (const FieldDef& w : wanted) {
        const int at = p.fieldIndex(w.name);
        if (at < 0)
            return refuse(QStringLiteral("falta o campo \"%1\" da tabela de medições").arg(w.name));
        const FieldType t = p.fields[at].type;
        const bool intLike = t == FieldType::Integer || t == FieldType::LargeInt || t == FieldType::AutoInc;
        if (!(w.type == FieldType::Float ? (t == FieldType::Float || intLike) : intLike))
            return refuse(QStringLiteral("o campo \"%1\" tem um tipo que não é numérico").arg(w.name));
        source << at;
    }
    Measurements m;
    // The file's own extra fields come after ours, so that nothing it holds is dropped.
    QList<int> extras;
    for (int i = 0; i < p.width(); ++i)
        if (!source.contains(i)) {
            m.extraFields_ << p.fields[i];
            extras << i;
        }
    const qsizetype n = p.rowCount();
    m.rows_.reserve(static_cast<size_t>(n));
    if (!extras.isEmpty())
        m.extra_.reserve(static_cast<size_t>(n));
    for (qsizetype r = 0; r < n; ++r) {
        Row row;
        for (int k = 0; k < kColumns; ++k) {
            const QVariant& v = p.value(r, source[k]);
            if (v.isNull()) {
                row.empty |= static_cast<quint8>(1u << k);
                continue;
            }
            if (k <= ColSubReg) {
                // A wider integer (an i8 field) that does not fit ours is refused, never wrapped.
                const qint64 i = v.toLongLong();
                if (i < std::numeric_limits<int>::min() || i > std::numeric_limits<int>::max())
                    return refuse(QStringLiteral("o valor %1 do campo \"%2\" está fora do intervalo permitido")
                                      .arg(i).arg(wanted[k].name));
                (k == ColReg ? row.reg : k == ColEnsaio ? row.ensaio : row.subReg) = static_cast<int>(i);
                continue;
            }
            const double d = v.toDouble();
            if (const auto why = implausible(k, d))
                return refuse(QStringLiteral("linha %1, campo \"%2\": %3").arg(r + 1).arg(wanted[k].name, *why));
            (k == ColTempo ? row.tempo : k == ColTint ? row.tint : k == ColText ? row.text : k == ColTMax ? row.tmax : row.tmin) = d;
        }
        m.rows_.push_back(row);
        if (!extras.isEmpty()) {
            QList<QVariant> e;
            for (int i : extras)
                e << p.value(r, i);
            m.extra_.push_back(std::move(e));
        }
    }
    m.nextReg_ = p.autoIncValue;
    m.tests_ = testRuns(m.rows_);
    return m;
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
