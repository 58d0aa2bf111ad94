#pragma once
// The measurements: one row per temperature sample, tagged with its test ("Ensaio"), the
// tests as listed, and the saved flag beside them. A value: the session owns one, the download
// and the data files make one, and every view reads it.
#include "acquisition/records.h"

#include <optional>
#include <vector>

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

/// The eight fields in their order; a file's own extra fields follow them.
enum Column : int { ColReg, ColEnsaio, ColSubReg, ColTempo, ColTint, ColText, ColTMax, ColTMin, kColumns };

/// The eight fields, in order, with their labels, widths and display formats.
QList<FieldDef> measurementFields();

/// Raw logger value → °C: r × 5 (as an integer) ÷ 1023 + 20.
double rawToCelsius(quint32 raw);
/// Minutes of the n-th sample of a test: (n − 1) × 5 ÷ 60.
double sampleMinutes(int subReg);

/// One sample. TMax and TMin are the test's, on its first row; 0 on every other row.
struct Row {
    int reg = 0;
    int ensaio = 0;
    int subReg = 0;
    double tempo = 0, tint = 0, text = 0, tmax = 0, tmin = 0;
    /// Bit c set: column c holds no value (only files written by other programs have such).
    quint8 empty = 0;

    bool has(int column) const { return (empty >> column & 1) == 0; }
    double number(int column) const;
    QVariant value(int column) const; ///< null when empty
};

/// One test as listed: its number, which test of that number it is, and its rows.
struct TestRun {
    qint64 number = 0;
    int occurrence = 1;
    std::vector<int> rows; ///< indices of its rows, in the order they are stored

    /// "5", and "5 (2)" for the second test numbered 5.
    QString label() const;
    /// "Ensaio 5", "Ensaio 5 (2)".
    QString caption() const { return QStringLiteral("Ensaio ") + label(); }
    bool sameTest(const TestRun& o) const { return number == o.number && occurrence == o.occurrence; }
};

class Measurements {
public:
    const std::vector<Row>& rows() const { return rows_; }
    int rowCount() const { return static_cast<int>(rows_.size()); }
    bool isEmpty() const { return rows_.empty(); }
    /// The tests in the order they are listed (a download's tests without rows included).
    const QList<TestRun>& tests() const { return tests_; }
    /// The distinct test numbers, ascending.
    QList<qint64> testNumbers() const;

    /// Whether the measurements are saved: an export or a data file holds them.
    bool saved() const { return saved_; }
    void setSaved(bool s) { saved_ = s; }

    /// Our eight fields and then a file's own extra ones, as a file or a spreadsheet has them.
    QList<FieldDef> fields() const;
    QVariant value(int row, int column) const;
    QString displayText(int row, int column) const;

    /// A test begins: listed now, its rows come with addSample.
    void startTest(int number);
    /// A sample of the test begun last, numbered by the table (Reg); its index.
    int addSample(Row r);
    /// The test's maximum and minimum, onto its first row.
    void setExtremes(int row, double tmax, double tmin);
    /// Removes one row; the tests keep their places in the list.
    void removeRow(int index);

    /// The rows of `test` in SubReg order, as the grid lists them. A test's rows are stored in
    /// that order: a SubReg that does not rise begins another test.
    const std::vector<int>& inOrder(const TestRun& test) const { return test.rows; }
    /// The test's first row in SubReg order, or nothing when it has no rows.
    const Row* firstRow(const TestRun& test) const;

    /// The measurements a file holds, when it has every field with a fitting type and only
    /// values the logger can give; otherwise nothing, and why.
    static std::optional<Measurements> fromRecords(const Records& r, QString* error);
    /// A data file read and checked at once. Nothing, with `error`, when it cannot be read as a
    /// table (`isTable` false) or is no file of measurements (`isTable` true).
    static std::optional<Measurements> load(const QString& path, QString* error, bool* isTable);
    /// What a data file cut short or damaged still holds whole: every test before the one the
    /// damage cut, which is left out (`leftOut`, its label) since its end is unknown.
    /// Nothing when not even one test is whole, or the file is no such file.
    struct WholeTests;
    static std::optional<WholeTests> loadWholeTests(const QString& path);
    /// Writes every row to a data file, whole or not at all.
    bool save(const QString& path, QString* error) const;
    /// As written to a data file: the eight fields, the file's extra ones, every row.
    Records toRecords() const;
    /// The same fields, with only the given rows in the given order (one test, as shown).
    Records toRecords(const std::vector<int>& rows) const;

private:
    friend class MeasurementSink;
    /// The measurements read, unless the reading refused them.
    std::optional<Measurements> finish(const QString& refusal, QString* error);

    std::vector<Row> rows_;
    QList<TestRun> tests_;
    qint64 nextReg_ = 1;
    bool saved_ = true;
    QList<FieldDef> extraFields_;
    std::vector<QList<QVariant>> extra_; ///< per row, when a file brought extra fields
};

struct Measurements::WholeTests {
    Measurements data;
    QString leftOut;
};

/// Some rows of the measurements in a given order (one test as the grid lists it), read as a
/// file or a spreadsheet sees them.
class MeasurementRows : public RowSource {
public:
    MeasurementRows(const Measurements& m, std::vector<int> rows);
    const QList<FieldDef>& fieldList() const override { return fields_; }
    qsizetype rows() const override { return static_cast<qsizetype>(rows_.size()); }
    QVariant valueAt(qsizetype row, int field) const override;
    QString displayTextAt(qsizetype row, int field) const override;

private:
    const Measurements& m_;
    std::vector<int> rows_;
    QList<FieldDef> fields_;
};

/// The tests of rows by number, tests sharing a number in the order their rows were added
/// (rows without a number left out). A row belongs to the latest test of its number while its
/// SubReg rises; otherwise it begins a new test of that number.
QList<TestRun> testRuns(const std::vector<Row>& rows);

} // namespace acq
