#include "acquisition/measurementtable.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <map>
#include <set>

namespace acq {

QList<FieldDef> measurementFields() {
    auto f = [](const QString& name, FieldType type, const QString& label, int width,
                const QString& format) {
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

QString testFilter(qint64 number) { return QStringLiteral("Ensaio = %1").arg(number); }

MeasurementTable::MeasurementTable() : Table(measurementFields()) {
    setIndexFieldNames(field::SubReg);
    createDataSet();
}

void MeasurementTable::recreate() {
    close();
    setFieldDefs(measurementFields());
    setIndexFieldNames(field::SubReg);
    createDataSet();
}

namespace {

// Whether every stored value is one the logger can produce; otherwise names the first row and
// field that is not. `source[k]`: the packet's field for our field k.
bool valuesPlausible(const Datapacket& p, const QList<int>& source, QString* error) {
    const double lowest = rawToCelsius(0), highest = rawToCelsius(0xFFFF);
    const QList<FieldDef> ours = measurementFields();
    auto refuse = [&](qsizetype row, int k, const QString& what) {
        if (error)
            *error = QStringLiteral("linha %1, campo \"%2\": %3").arg(row + 1).arg(ours[k].name, what);
        return false;
    };
    auto temperature = [&](double v) { return std::isfinite(v) && v >= lowest && v <= highest + 1e-9; };
    for (qsizetype r = 0; r < p.rows.size(); ++r) {
        for (int k = 3; k < ours.size(); ++k) { // Tempo and the four temperatures
            if (p.rows.isNull(r, source[k]))
                continue;
            const double v = p.rows.toDouble(r, source[k]);
            const QString shown = QString::number(v, 'g', 10);
            if (ours[k].name == field::Tempo) {
                if (!std::isfinite(v) || v < 0)
                    return refuse(r, k, QStringLiteral("%1 não é um tempo válido").arg(shown));
                continue;
            }
            // The maximum and the minimum are 0 when the logger never wrote them.
            const bool unset = (ours[k].name == field::TMax || ours[k].name == field::TMin) && v == 0;
            if (!unset && !temperature(v))
                return refuse(r, k, QStringLiteral("%1 °C está fora do que o registrador mede (%2 a %3 °C)")
                                        .arg(shown, QString::number(lowest, 'f', 1), QString::number(highest, 'f', 1)));
        }
    }
    return true;
}

} // namespace

bool MeasurementTable::takePacket(const Datapacket& p, QString* error) {
    const QList<FieldDef> wanted = measurementFields();
    QList<int> source;
    for (const FieldDef& w : wanted) {
        int at = -1;
        for (int i = 0; i < p.fields.size(); ++i)
            if (p.fields[i].name.compare(w.name, Qt::CaseInsensitive) == 0)
                at = i;
        if (at < 0) {
            if (error)
                *error = QStringLiteral("falta o campo \"%1\" da tabela de medições").arg(w.name);
            return false;
        }
        const FieldType t = p.fields[at].type;
        const bool intLike = t == FieldType::Integer || t == FieldType::LargeInt || t == FieldType::AutoInc;
        const bool fits = w.type == FieldType::Float ? (t == FieldType::Float || intLike) : intLike;
        if (!fits) {
            if (error)
                *error = QStringLiteral("o campo \"%1\" tem um tipo que não é numérico").arg(w.name);
            return false;
        }
        source << at;
    }
    if (!valuesPlausible(p, source, error))
        return false;
    // Keep the file's own extra fields after ours, so that nothing it holds is dropped.
    QList<FieldDef> defs = wanted;
    QList<int> extras;
    for (int i = 0; i < p.fields.size(); ++i)
        if (!source.contains(i)) {
            defs << p.fields[i];
            extras << i;
        }
    // A file in our own layout (our fields first, in our order, held as our types) is taken
    // as it is read: the table shares the packet's rows instead of copying them.
    bool ownLayout = true;
    for (int k = 0; k < wanted.size() && ownLayout; ++k)
        ownLayout = source[k] == k && (wanted[k].type == FieldType::Float ? p.rows.onlyDoubles(k) : p.rows.onlyInts(k));
    if (ownLayout && p.rows.width() == defs.size()) {
        setIndexFieldNames(field::SubReg);
        assign(defs, p.rows, p.autoIncValue);
        return true;
    }
    // Otherwise every row is converted, and checked before the table is touched: a refused
    // file leaves it as it was.
    RowStore rows(static_cast<int>(defs.size()));
    rows.reserve(p.rows.size());
    for (qsizetype r = 0; r < p.rows.size(); ++r) {
        const qsizetype out = rows.appendRow();
        for (int k = 0; k < wanted.size(); ++k) {
            const int from = source[k];
            if (p.rows.isNull(r, from))
                continue;
            if (wanted[k].type == FieldType::Float) {
                rows.setDouble(out, k, p.rows.toDouble(r, from));
                continue;
            }
            // A wider integer (an i8 field) that does not fit ours is refused, never wrapped.
            const qint64 n = p.rows.toLongLong(r, from);
            if (n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max()) {
                if (error)
                    *error = QStringLiteral("o valor %1 do campo \"%2\" está fora do intervalo permitido")
                                 .arg(n).arg(wanted[k].name);
                return false;
            }
            rows.setInt(out, k, static_cast<int>(n));
        }
        for (int e = 0; e < extras.size(); ++e)
            rows.set(out, static_cast<int>(wanted.size()) + e, p.rows.value(r, extras[e]));
    }
    setIndexFieldNames(field::SubReg);
    assign(defs, rows, p.autoIncValue);
    return true;
}

QString TestRun::label() const {
    return occurrence > 1 ? QStringLiteral("%1 (%2)").arg(number).arg(occurrence) : QString::number(number);
}

QList<TestRun> testRuns(const Table& table) {
    const int ensaio = table.fieldIndex(field::Ensaio), sub = table.fieldIndex(field::SubReg);
    QList<TestRun> runs;
    // Per number: its latest run and the SubReg of that run's last row. A row continues that
    // run when its SubReg rises, so rows of tests written interleaved still go to their test.
    std::map<qint64, std::pair<qsizetype, qint64>> open;
    for (const Table::Bookmark r : table.storedRows()) {
        if (table.isNullAt(r, ensaio))
            continue;
        const qint64 n = table.integerAt(r, ensaio);
        const qint64 s = table.isNullAt(r, sub) ? 0 : table.integerAt(r, sub);
        auto it = open.find(n);
        if (it == open.end() || s <= it->second.second) {
            const int occurrence = it == open.end() ? 1 : runs[it->second.first].occurrence + 1;
            runs << TestRun{n, occurrence, r, r, 0};
            it = open.insert_or_assign(n, std::pair{runs.size() - 1, s}).first;
        }
        TestRun& run = runs[it->second.first];
        run.last = r;
        ++run.rows;
        it->second.second = s;
    }
    // Listed by number, as a file's tests always were; tests sharing a number in their order.
    std::stable_sort(runs.begin(), runs.end(), [](const TestRun& a, const TestRun& b) {
        return std::pair(a.number, a.occurrence) < std::pair(b.number, b.occurrence);
    });
    return runs;
}

std::vector<Table::Bookmark> rowsOf(const Table& table, const TestRun& test) {
    const int ensaio = table.fieldIndex(field::Ensaio);
    std::vector<Table::Bookmark> out;
    for (Table::Bookmark r = test.first; r >= 0 && r <= test.last; ++r)
        if (table.isStored(r) && !table.isNullAt(r, ensaio) && table.integerAt(r, ensaio) == test.number)
            out.push_back(r);
    return out;
}

QList<qint64> MeasurementTable::testNumbers() const {
    std::set<qint64> seen;
    const int f = fieldIndex(field::Ensaio);
    for (Bookmark b : storedRows())
        if (!isNullAt(b, f))
            seen.insert(integerAt(b, f));
    return {seen.begin(), seen.end()};
}

} // namespace acq
