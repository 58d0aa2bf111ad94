#pragma once
// The measurement table: one row per temperature sample, tagged with its test ("Ensaio"),
// with the two conversions from the logger's raw values and the saved flag beside it.
#include "acquisition/datapacket.h"
#include "acquisition/table.h"

namespace acq {

namespace field {
inline const QString Reg = QStringLiteral("Reg");
inline const QString Ensaio = QStringLiteral("Ensaio");
inline const QString SubReg = QStringLiteral("SubReg");
inline const QString Tempo = QStringLiteral("Tempo");
inline const QString Tint = QStringLiteral("Tint");
inline const QString Text = QStringLiteral("Text");
inline const QString TMax = QStringLiteral("TMax");
inline const QString TMin = QStringLiteral("TMin");
} // namespace field

/// The eight fields, in order, with their labels, widths and display formats.
QList<FieldDef> measurementFields();

/// Raw logger value → °C: r × 5 (as an integer) ÷ 1023 + 20.
double rawToCelsius(quint32 raw);
/// Minutes of the n-th sample of a test: (n − 1) × 5 ÷ 60.
double sampleMinutes(int subReg);

/// "Ensaio = n", the filter that shows one test.
QString testFilter(qint64 number);

/// One test as stored: rows one after another with one number and a rising SubReg. Two tests
/// that share a number are two runs, told apart by `occurrence` (1, 2, …) and never merged.
struct TestRun {
    qint64 number = 0;
    int occurrence = 1;
    Table::Bookmark first = -1; ///< its first and last stored row; -1 when it has none
    Table::Bookmark last = -1;
    int rows = 0;
    /// "5", and "5 (2)" for the second test numbered 5.
    QString label() const;
    /// "Ensaio 5", "Ensaio 5 (2)".
    QString caption() const { return QStringLiteral("Ensaio ") + label(); }
};

/// The tests of the table by number, tests sharing a number in the order their rows were added
/// (rows without a number left out). A row belongs to the latest test of its number while its
/// SubReg rises; otherwise it begins a new test of that number.
QList<TestRun> testRuns(const Table& table);

/// The stored rows of one test, in the order they were added: those of its span that carry its
/// number (another test of the same number lies outside the span).
std::vector<Table::Bookmark> rowsOf(const Table& table, const TestRun& test);

/// ClientDataSet1: the table with its saved flag.
class MeasurementTable : public Table {
public:
    MeasurementTable();
    /// Empties the table (auto-increment from 1) and keeps the order by SubReg.
    void recreate();

    bool saved() const { return saved_; }
    void setSaved(bool s) { saved_ = s; }

    /// Takes a loaded packet when it has every measurement field with a fitting type;
    /// otherwise leaves the table as it was and says why.
    bool takePacket(const Datapacket& p, QString* error);

    /// The distinct test numbers, ascending (all rows, whatever the filter).
    QList<qint64> testNumbers() const;

private:
    bool saved_ = true;
};

} // namespace acq
