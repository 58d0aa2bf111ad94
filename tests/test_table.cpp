// The measurements, config.xml's keys and values, and the data file form.
#include "acquisition/configtable.h"
#include "acquisition/cp1252.h"
#include "acquisition/datapacket.h"
#include "acquisition/measurements.h"
#include "tests/support.h"

#include <QDir>
#include <QFile>
#include <bit>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <optional>

using namespace acq;

namespace {

// Rows of a data file, (Ensaio, SubReg, Tint) each, numbered 1, 2, 3, … in this order.
Records sampleRecords(std::initializer_list<std::tuple<int, int, double>> rows) {
    Records r(measurementFields());
    for (const auto& [e, sub, tint] : rows)
        r.appendRow({int(r.rowCount() + 1), e, sub, sampleMinutes(sub), tint, 21.0, 0.0, 0.0});
    r.autoIncValue = r.rowCount() + 1;
    return r;
}

Measurements samples(std::initializer_list<std::tuple<int, int, double>> rows) {
    QString error;
    auto m = Measurements::fromRecords(sampleRecords(rows), &error);
    EXPECT_TRUE(m) << error.toStdString();
    return m ? *m : Measurements{};
}

QList<QList<QVariant>> allRows(const Records& r) {
    QList<QList<QVariant>> out;
    for (qsizetype i = 0; i < r.rowCount(); ++i)
        out << r.row(i);
    return out;
}

QList<int> regs(const Measurements& m, const std::vector<int>& rows) {
    QList<int> out;
    for (int i : rows)
        out << m.rows()[static_cast<size_t>(i)].reg;
    return out;
}

} // namespace

TEST(Measurements, TestsByNumberWithTheirRowsInSubRegOrder) {
    // Tests written interleaved; a SubReg that does not rise begins another test of its number.
    Measurements m = samples({{2, 1, 22.0}, {1, 1, 22.1}, {2, 2, 22.2}, {1, 2, 22.3}, {1, 1, 22.4}});
    QStringList captions;
    for (const TestRun& t : m.tests())
        captions << t.caption();
    EXPECT_EQ(captions, (QStringList{"Ensaio 1", "Ensaio 1 (2)", "Ensaio 2"}));
    EXPECT_EQ(regs(m, m.inOrder(m.tests()[0])), (QList<int>{2, 4}));
    EXPECT_EQ(regs(m, m.inOrder(m.tests()[1])), (QList<int>{5}));
    EXPECT_EQ(regs(m, m.inOrder(m.tests()[2])), (QList<int>{1, 3}));
    EXPECT_EQ(m.testNumbers(), (QList<qint64>{1, 2}));
    // A row without a SubReg begins a test of its own.
    Records r = sampleRecords({{4, 2, 22}, {4, 3, 22}});
    r.appendRow({3, 4});
    const auto n = Measurements::fromRecords(r, nullptr);
    ASSERT_TRUE(n);
    ASSERT_EQ(n->tests().size(), 2);
    EXPECT_EQ(regs(*n, n->inOrder(n->tests()[1])), (QList<int>{3}));
    // A test begun anew numbers its rows after the file's.
    m.startTest(3);
    const int at = m.addSample(Row{0, 3, 1});
    EXPECT_EQ(m.rows()[static_cast<size_t>(at)].reg, 6);
    EXPECT_EQ(m.tests().back().rows, std::vector<int>{at});
    // Fresh measurements number from 1.
    Measurements fresh;
    fresh.startTest(1);
    EXPECT_EQ(fresh.rows()[static_cast<size_t>(fresh.addSample(Row{}))].reg, 1);
}

TEST(Measurements, RemovingARowKeepsTheTestsInTheirPlaces) {
    Measurements m = samples({{1, 1, 21}, {1, 2, 22}, {2, 1, 23}, {1, 3, 24}});
    m.removeRow(0);
    ASSERT_EQ(m.tests().size(), 2);
    EXPECT_EQ(regs(m, m.inOrder(m.tests()[0])), (QList<int>{2, 4}));
    EXPECT_EQ(regs(m, m.tests()[1].rows), (QList<int>{3}));
    m.removeRow(1); // test 2's only row: the test stays listed, without rows
    EXPECT_EQ(m.tests().size(), 2);
    EXPECT_TRUE(m.tests()[1].rows.empty());
    EXPECT_EQ(m.toRecords().autoIncValue, 5); // a removed row's number is never given again
}

TEST(Measurements, DisplayFormatsAndConversions) {
    struct Case { quint32 raw; double c; const char* shown; } cases[] = {
        {0, 20.0, "20.000"}, {1023, 25.0, "25.000"}, {1, 20.0048875855327, "20.005"},
        {2046, 30.0, "30.000"}, {0x01F4, 22.4437927663734, "22.444"},
    };
    const QList<FieldDef> f = measurementFields();
    for (const auto& c : cases) {
        EXPECT_NEAR(rawToCelsius(c.raw), c.c, 1e-9);
        EXPECT_EQ(displayText(f[ColTint], rawToCelsius(c.raw)), c.shown);
    }
    EXPECT_EQ(rawToCelsius(1023), 25.0);
    EXPECT_EQ(displayText(f[ColTempo], sampleMinutes(1)), "0.00");
    EXPECT_EQ(displayText(f[ColTempo], sampleMinutes(2)), "0.08");
    EXPECT_EQ(displayText(f[ColTempo], sampleMinutes(13)), "1.00");
    EXPECT_EQ(f[ColTint].displayName(), "Temp. Int. (°C)");
    EXPECT_EQ(f[ColEnsaio].displayName(), "Ensaio");
}

TEST(ConfigTable, KeysIgnoreCaseAndOtherRowsStay) {
    auto t = ConfigTable::fromRecords(builtInConfig());
    ASSERT_TRUE(t);
    EXPECT_EQ(t->value("comport"), "1");
    EXPECT_EQ(t->value("DEBUG"), "0");
    EXPECT_EQ(t->value("Com"), std::nullopt);
    t->setValue("intaq", "30");
    t->setValue("Novo", "x");
    EXPECT_EQ(t->records().rowCount(), 8);
    EXPECT_EQ(t->records().value(1, 0), QVariant(QString("IntAq"))); // the key as it was written
    EXPECT_EQ(t->value("IntAq"), "30");
    EXPECT_EQ(t->value("novo"), "x");
    EXPECT_FALSE(ConfigTable::fromRecords(sampleRecords({})));
}

TEST(Datapacket, ConfigTableIsWrittenInTheToolkitForm) {
    const QByteArray bytes = writeDatapacket(builtInConfig());
    EXPECT_TRUE(bytes.startsWith(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\">"
        "<METADATA><FIELDS><FIELD attrname=\"Key\" fieldtype=\"string\" required=\"true\" WIDTH=\"32\"/>"
        "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"32\"/></FIELDS><PARAMS/></METADATA>"
        "<ROWDATA><ROW Key=\"ComPort\" Value=\"1\"/>"));
    EXPECT_TRUE(bytes.endsWith("<ROW Key=\"Debug\" Value=\"0\"/></ROWDATA></DATAPACKET>"));
    EXPECT_FALSE(bytes.contains('\n'));
}

TEST(Datapacket, MeasurementRoundTripKeepsRowsOrderAndAutoIncrement) {
    Records t = sampleRecords({{1, 1, 22.4437927663734}, {3, 1, 20.0 + 1.0 / 3.0}, {1, 2, 25}});
    t.value(0, ColTMax) = 26.123;
    QTemporaryDir dir;
    const QString path = dir.filePath("a.dat");
    QString error;
    ASSERT_TRUE(saveDatapacket(t, path, &error)) << error.toStdString();
    EXPECT_TRUE(readAllOf(path).contains("fieldtype=\"i4\" readonly=\"true\" SUBTYPE=\"Autoinc\""));
    EXPECT_TRUE(readAllOf(path).contains("<PARAMS AUTOINCVALUE=\"4\"/>"));
    const auto p = loadDatapacket(path, &error);
    ASSERT_TRUE(p) << error.toStdString();
    const auto u = Measurements::fromRecords(*p, &error);
    ASSERT_TRUE(u) << error.toStdString();
    EXPECT_EQ(allRows(u->toRecords()), allRows(t));
    EXPECT_EQ(u->toRecords().autoIncValue, 4);
    // Saved again, the same bytes.
    EXPECT_EQ(writeDatapacket(u->toRecords()), readAllOf(path));
}

TEST(Datapacket, ChangeLogGivesTheCurrentRows) {
    // As the older program leaves it: an original row, its edit, an insert and a deletion.
    const QByteArray file =
        "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
        "<FIELD attrname=\"Key\" fieldtype=\"string\" WIDTH=\"32\"/><FIELD attrname=\"Value\" "
        "fieldtype=\"string\" WIDTH=\"32\"/></FIELDS><PARAMS CHANGE_LOG=\"1 0 8 3 0 4 4 2 2\"/>"
        "</METADATA><ROWDATA><ROW RowState=\"1\" Key=\"ComPort\" Value=\"1\"/>"
        "<ROW RowState=\"8\" Value=\"2\"/><ROW Key=\"IntAq\" Value=\"25\"/>"
        "<ROW RowState=\"4\" Key=\"Observa\xE7\xE3o\" Value=\"&lt;a&amp;b&gt; &#013;&#010;\"/>"
        "<ROW RowState=\"2\" Key=\"Debug\" Value=\"1\"/></ROWDATA></DATAPACKET>";
    QString error;
    const auto p = readDatapacket(file, &error);
    ASSERT_TRUE(p) << error.toStdString();
    ASSERT_EQ(p->rowCount(), 3);
    EXPECT_EQ(p->value(0, 0).toString(), "ComPort");
    EXPECT_EQ(p->value(0, 1).toString(), "2");
    EXPECT_EQ(p->value(1, 0).toString(), "IntAq");
    EXPECT_EQ(p->value(2, 0).toString(), "Observação"); // Windows-1252 bytes
    EXPECT_EQ(p->value(2, 1).toString(), "<a&b> \r\n");
}

// A data file as the older program leaves it after editing rows: `rows` are ROW elements
// after the field list, `log` its CHANGE_LOG.
QByteArray oldDataFile(const QByteArray& log, const QByteArray& rows) {
    return "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
           "<FIELD attrname=\"Reg\" fieldtype=\"i4\" readonly=\"true\" SUBTYPE=\"Autoinc\"/>"
           "<FIELD attrname=\"Ensaio\" fieldtype=\"i4\"/><FIELD attrname=\"SubReg\" fieldtype=\"i4\"/>"
           "<FIELD attrname=\"Tempo\" fieldtype=\"r8\"/><FIELD attrname=\"Tint\" fieldtype=\"r8\"/>"
           "<FIELD attrname=\"Text\" fieldtype=\"r8\"/><FIELD attrname=\"TMax\" fieldtype=\"r8\"/>"
           "<FIELD attrname=\"TMin\" fieldtype=\"r8\"/></FIELDS><PARAMS CHANGE_LOG=\"" + log +
           "\" AUTOINCVALUE=\"9\"/></METADATA><ROWDATA>" + rows + "</ROWDATA></DATAPACKET>";
}

QByteArray row(int reg, int ensaio, int sub, double tint, const char* extra = "") {
    return QStringLiteral("<ROW %1Reg=\"%2\" Ensaio=\"%3\" SubReg=\"%4\" Tempo=\"%5\" Tint=\"%6\" Text=\"21\" TMax=\"0\" TMin=\"0\"/>")
        .arg(QString::fromLatin1(extra)).arg(reg).arg(ensaio).arg(sub).arg(sampleMinutes(sub)).arg(tint)
        .toUtf8();
}

TEST(Datapacket, ChangeLogPutsEachModifiedRowWhereItsOriginalStood) {
    // Test 1: its first row modified after its samples (TMax/TMin filled in), as the older
    // program does at the end of a test; then test 2.
    const QByteArray firstThenSamples = row(1, 1, 1, 22.0, "RowState=\"1\" ") + row(2, 1, 2, 22.5, "RowState=\"4\" ") +
                                        row(3, 1, 3, 23.0, "RowState=\"4\" ") + row(4, 2, 1, 20.0, "RowState=\"4\" ");
    struct Case {
        const char* name;
        QByteArray file;
        QList<std::pair<int, double>> rows; // (Ensaio, Tint) of each current row, in order
        QList<double> tmaxOfTest1;          // TMax of test 1's first row
        int tests;
    } cases[] = {
        {"a test's first row modified after its samples",
         oldDataFile("1 0 4 2 0 4 3 0 4 4 0 4 5 1 8",
                     firstThenSamples + "<ROW RowState=\"8\" TMax=\"23\" TMin=\"22\"/>"),
         {{1, 22.0}, {1, 22.5}, {1, 23.0}, {2, 20.0}}, {23.0}, 2},
        {"a row modified twice",
         oldDataFile("1 0 4 2 0 4 3 0 4 4 0 4 5 1 8 6 5 8",
                     firstThenSamples + "<ROW RowState=\"9\" TMax=\"23\" TMin=\"22\"/>" +
                         "<ROW RowState=\"8\" Tint=\"22.1\"/>"),
         {{1, 22.1}, {1, 22.5}, {1, 23.0}, {2, 20.0}}, {23.0}, 2},
        {"a deleted row",
         oldDataFile("1 0 4 2 0 4 3 0 4 4 0 4 3 0 2", row(1, 1, 1, 22.0) + row(2, 1, 2, 22.5) +
                                                         row(3, 1, 3, 23.0, "RowState=\"2\" ") + row(4, 2, 1, 20.0)),
         {{1, 22.0}, {1, 22.5}, {2, 20.0}}, {0.0}, 2},
        {"a modified row that was then deleted",
         oldDataFile("5 1 8", firstThenSamples + "<ROW RowState=\"10\" TMax=\"23\"/>"),
         {{1, 22.5}, {1, 23.0}, {2, 20.0}}, {0.0}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        const auto p = readDatapacket(c.file, &error);
        ASSERT_TRUE(p) << error.toStdString();
        QList<std::pair<int, double>> got;
        for (qsizetype i = 0; i < p->rowCount(); ++i)
            got << std::pair{p->value(i, 1).toInt(), p->value(i, 4).toDouble()};
        EXPECT_EQ(got, c.rows);
        EXPECT_EQ(p->value(0, 6).toDouble(), c.tmaxOfTest1.value(0));
        const auto m = Measurements::fromRecords(*p, &error);
        ASSERT_TRUE(m) << error.toStdString();
        EXPECT_EQ(m->tests().size(), c.tests); // never "Ensaio 1 (2)"
    }
}

// A file whose Reg is no auto-increment field (or whose AUTOINCVALUE is behind its rows): the
// next number handed out is past every Reg there, so a save and re-read give the same file.
TEST(Datapacket, TheNextRegIsPastEveryRegOfTheFile) {
    for (const QByteArray& file : {oldDataFile("", row(7, 1, 1, 22.0)).replace("SUBTYPE=\"Autoinc\"", ""),
                                   oldDataFile("", row(7, 1, 1, 22.0)).replace("AUTOINCVALUE=\"9\"", "AUTOINCVALUE=\"2\"")}) {
        QString error;
        const auto read = readDatapacket(file, &error);
        ASSERT_TRUE(read) << error.toStdString();
        // Written as a table first: without an auto-increment field it says no next value.
        const auto p = readDatapacket(writeDatapacket(*read), &error);
        ASSERT_TRUE(p) << error.toStdString();
        const auto m = Measurements::fromRecords(*p, &error);
        ASSERT_TRUE(m) << error.toStdString();
        EXPECT_GE(m->toRecords().autoIncValue, 8);
        const auto back = Measurements::fromRecords(*readDatapacket(writeDatapacket(m->toRecords()), &error), &error);
        ASSERT_TRUE(back);
        EXPECT_EQ(writeDatapacket(back->toRecords()), writeDatapacket(m->toRecords()));
    }
}

TEST(Datapacket, ABrokenChangeLogIsRefused) {
    const QByteArray rows = row(1, 1, 1, 22.0, "RowState=\"1\" ") + "<ROW RowState=\"9\" Tint=\"1\"/>" +
                            "<ROW RowState=\"8\" Tint=\"2\"/>";
    for (const QByteArray& log : {QByteArray("1 0"), QByteArray("9 1 8"), QByteArray("a b c"), QByteArray("2 1 8 3 1 8")}) {
        SCOPED_TRACE(log.constData());
        QString error;
        EXPECT_FALSE(readDatapacket(oldDataFile(log, rows), &error));
        EXPECT_TRUE(error.contains("CHANGE_LOG")) << error.toStdString();
    }
}

TEST(Datapacket, EscapingAndNonAsciiSurviveARoundTrip) {
    Records t(configFields());
    t.appendRow({QString("Tést \"q\" 'a' <&>"), QString("a\tb\r\nc °C")});
    const QByteArray bytes = writeDatapacket(t);
    EXPECT_TRUE(bytes.contains("Key=\"Tést &quot;q&quot; &apos;a&apos; &lt;&amp;&gt;\""));
    EXPECT_TRUE(bytes.contains("Value=\"a&#009;b&#013;&#010;c °C\""));
    QString error;
    const auto p = readDatapacket(bytes, &error);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->row(0), t.row(0));
    const auto withBom = readDatapacket("\xEF\xBB\xBF" + bytes, &error);
    ASSERT_TRUE(withBom);
    EXPECT_EQ(withBom->row(0), t.row(0));
}

TEST(Datapacket, MalformedFilesAreRefusedWithAReason) {
    const QByteArray good = writeDatapacket(builtInConfig());
    const QList<QByteArray> bad = {
        "", "   ", "garbage", good.left(good.size() / 2), "<?xml version=\"1.0\"?><OTHER/>",
        "<DATAPACKET><METADATA/></DATAPACKET>",
        "<DATAPACKET><METADATA><FIELDS/></METADATA><ROWDATA/></DATAPACKET>",
        "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"a\" fieldtype=\"zz\"/></FIELDS></METADATA><ROWDATA/></DATAPACKET>",
        "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"a\" fieldtype=\"i4\"/></FIELDS></METADATA><ROWDATA><ROW a=\"x\"/></ROWDATA></DATAPACKET>",
        "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"a\" fieldtype=\"string\"/></FIELDS></METADATA><ROWDATA><ROW a=\"&bogus;\"/></ROWDATA></DATAPACKET>",
        QByteArray(good).replace("</ROWDATA>", "</ROWDATA"),
    };
    for (const QByteArray& b : bad) {
        QString error;
        EXPECT_FALSE(readDatapacket(b, &error)) << b.left(60).toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(Datapacket, MeasurementTableRefusesMissingOrWrongFields) {
    QString error;
    auto p = readDatapacket(writeDatapacket(builtInConfig()), &error);
    ASSERT_TRUE(p);
    EXPECT_FALSE(Measurements::fromRecords(*p, &error));
    EXPECT_TRUE(error.contains("Reg"));
    auto m = readDatapacket(QByteArray(writeDatapacket(sampleRecords({{1, 1, 22}})))
                                .replace("attrname=\"Tint\" fieldtype=\"r8\"", "attrname=\"Tint\" fieldtype=\"string\""),
                            &error);
    ASSERT_TRUE(m);
    EXPECT_FALSE(Measurements::fromRecords(*m, &error));
    EXPECT_TRUE(error.contains("Tint"));
}

TEST(Datapacket, FailedSaveLeavesTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("x.dat");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old");
    f.close();
    QString error;
    EXPECT_FALSE(saveDatapacket(builtInConfig(), dir.filePath("missing/x.dat"), &error));
    EXPECT_TRUE(error.contains("missing"));
    EXPECT_EQ(readAllOf(path), "old");
}

TEST(Cp1252, BothWays) {
    EXPECT_EQ(fromCp1252("\xB0\x80\xE7"), QString("°€ç"));
    EXPECT_EQ(toCp1252(QString("°€ç")), QByteArray("\xB0\x80\xE7"));
    EXPECT_EQ(toCp1252(QString("ж")), QByteArray("?"));
}

TEST(Datapacket, AFullMemoryComesBackBitForBit) {
    // Every raw value the logger can give, in every field that holds a temperature or a time.
    Records t(measurementFields());
    for (int i = 0; i < 8192; ++i)
        t.appendRow({i + 1, 1 + i / 1000, 1 + i % 1000, sampleMinutes(1 + i % 1000),
                     rawToCelsius(static_cast<quint32>(i % 1024)), rawToCelsius(static_cast<quint32>((i * 7) % 1024)),
                     i % 1000 == 0 ? rawToCelsius(1023) : 0.0, i % 1000 == 0 ? 20.0 + 1.0 / 3.0 : 0.0});
    t.autoIncValue = t.rowCount() + 1;
    const Records logger = t;
    // Values no logger gives: the file form keeps them bit for bit, the measurements refuse them.
    for (double v : {5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, -0.1, 0.1 + 0.2, 1e21, 123456789.123456789})
        t.appendRow({int(t.rowCount() + 1), 99, 1, QVariant(), v});
    auto differing = [](const Records& a, const Records& b) {
        int n = 0;
        for (qsizetype r = 0; r < a.rowCount(); ++r)
            for (int f = 0; f < a.width(); ++f)
                if (a.value(r, f).isNull() != b.value(r, f).isNull() ||
                    std::bit_cast<quint64>(a.value(r, f).toDouble()) != std::bit_cast<quint64>(b.value(r, f).toDouble()))
                    ++n;
        return n;
    };
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(saveDatapacket(t, dir.filePath("f.dat"), &error)) << error.toStdString();
    const auto p = loadDatapacket(dir.filePath("f.dat"), &error);
    ASSERT_TRUE(p) << error.toStdString();
    ASSERT_EQ(t.rowCount(), p->rowCount());
    EXPECT_EQ(differing(t, *p), 0);
    EXPECT_FALSE(Measurements::fromRecords(*p, &error));
    EXPECT_TRUE(error.startsWith("linha 8193, campo \"Tint\": 4.940656458e-324 °C está fora")) << error.toStdString();
    // Without them, the logger's own values come back bit for bit through the measurements.
    ASSERT_TRUE(saveDatapacket(logger, dir.filePath("g.dat"), &error)) << error.toStdString();
    const auto q = loadDatapacket(dir.filePath("g.dat"), &error);
    ASSERT_TRUE(q) << error.toStdString();
    const auto back = Measurements::fromRecords(*q, &error);
    ASSERT_TRUE(back) << error.toStdString();
    const Records b = back->toRecords();
    ASSERT_EQ(b.rowCount(), logger.rowCount());
    EXPECT_EQ(differing(logger, b), 0);
    EXPECT_EQ(writeDatapacket(b), readAllOf(dir.filePath("g.dat")));
}

TEST(Datapacket, HostileMeasurementFilesAreRefusedWithTheirReason) {
    const QByteArray good = writeDatapacket(sampleRecords({{1, 1, 22}}));
    struct Case { const char* name; QByteArray bytes; const char* reason; } cases[] = {
        {"test number beyond our integers (i8)",
         QByteArray(good).replace("attrname=\"Ensaio\" fieldtype=\"i4\"", "attrname=\"Ensaio\" fieldtype=\"i8\"")
             .replace("Ensaio=\"1\"", "Ensaio=\"4294967297\""), "fora do intervalo"},
        {"SubReg beyond our integers (i8)",
         QByteArray(good).replace("attrname=\"SubReg\" fieldtype=\"i4\"", "attrname=\"SubReg\" fieldtype=\"i8\"")
             .replace("SubReg=\"1\"", "SubReg=\"-9223372036854775808\""), "fora do intervalo"},
        {"NaN", QByteArray(good).replace("Tint=\"22\"", "Tint=\"nan\""), "Tint"},
        {"infinity", QByteArray(good).replace("Tint=\"22\"", "Tint=\"-inf\""), "Tint"},
        {"huge exponent", QByteArray(good).replace("Tint=\"22\"", "Tint=\"1e999\""), "Tint"},
        {"a temperature no logger gives", QByteArray(good).replace("Tint=\"22\"", "Tint=\"1.7e308\""),
         "linha 1, campo \"Tint\": 1.7e+308 °C está fora do que o registrador mede (20.0 a 340.3 °C)"},
        {"below the logger's lowest", QByteArray(good).replace("Text=\"21\"", "Text=\"19.99\""), "campo \"Text\""},
        {"a maximum no logger gives", QByteArray(good).replace("TMax=\"0\"", "TMax=\"-3\""), "campo \"TMax\""},
        {"a negative time", QByteArray(good).replace("Tempo=\"0\"", "Tempo=\"-0.5\""),
         "linha 1, campo \"Tempo\": -0.5 não é um tempo válido"},
    };
    for (const auto& c : cases) {
        ASSERT_NE(c.bytes, good) << c.name;
        QString error;
        const auto p = readDatapacket(c.bytes, &error);
        const bool refused = !p || !Measurements::fromRecords(*p, &error);
        EXPECT_TRUE(refused) << c.name;
        EXPECT_TRUE(error.contains(c.reason)) << c.name << ": " << error.toStdString();
    }
}

TEST(Datapacket, FilesTooLargeOrUnwritableSayWhy) {
    QTemporaryDir dir;
    QFile big(dir.filePath("big.dat"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(kMaxDatapacketBytes + 1024 * 1024)); // sparse: no disk used
    big.close();
    QString error;
    EXPECT_FALSE(loadDatapacket(big.fileName(), &error));
    EXPECT_TRUE(error.contains("o arquivo é grande demais para um arquivo de dados")) << error.toStdString();

    const Records t = builtInConfig();
    ASSERT_TRUE(QDir(dir.path()).mkdir("pasta"));
    struct Case { QString path; const char* cause; } cases[] = {
        {dir.filePath("pasta"), "já existe uma pasta com esse nome"},
        {dir.filePath("nada/x.dat"), "a pasta não existe"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(saveDatapacket(t, c.path, &error));
        EXPECT_TRUE(error.contains(c.cause)) << error.toStdString();
        EXPECT_FALSE(error.contains("Unknown error"));
    }
}

namespace {

// A Key/Value table file with the given rows markup, optionally with a prologue before it.
QByteArray keyValueFile(const QByteArray& rows, const QByteArray& prologue = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>") {
    return prologue +
           "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"Key\" fieldtype=\"string\" WIDTH=\"32\"/>"
           "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"32\"/></FIELDS><PARAMS/></METADATA><ROWDATA>" +
           rows + "</ROWDATA></DATAPACKET>";
}

// Writes the bytes to a file of its own and opens it as the program does.
std::optional<Records> loadBytes(const QByteArray& bytes, QString* error) {
    static int n = 0;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f%1.dat").arg(++n));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return std::nullopt;
    f.close();
    return loadDatapacket(path, error);
}

QList<std::pair<QString, QString>> keyValues(const Records& p) {
    QList<std::pair<QString, QString>> out;
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        out << std::pair{p.value(r, 0).toString(), p.value(r, 1).toString()};
    return out;
}

QByteArray nested(int depth) {
    QByteArray open, close;
    for (int i = 0; i < depth; ++i) {
        open += "<N>";
        close.prepend("</N>");
    }
    return open + close;
}

} // namespace

TEST(Datapacket, WhatXmlAndTheOlderProgramAllowIsRead) {
    using KV = QList<std::pair<QString, QString>>;
    struct Case { const char* name; QByteArray bytes; KV rows; } cases[] = {
        {"a document type whose entities are never used",
         keyValueFile("<ROW Key=\"a\" Value=\"1\"/>",
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE DATAPACKET [<!ENTITY e \"x\">]>"),
         {{"a", "1"}}},
        {"comments, processing instructions and text between the rows",
         keyValueFile("<!-- c --><?pi x?> texto <ROW Key=\"a\" Value=\"1\"/>\n<!-- d -->"), {{"a", "1"}}},
        {"single quotes and blanks around the equals sign", keyValueFile("<ROW Key = 'a' Value\t=\"1\" />"), {{"a", "1"}}},
        {"the first of repeated attributes", keyValueFile("<ROW Key=\"a\" KEY=\"b\" Value=\"1\" value=\"2\"/>"), {{"a", "1"}}},
        {"raw line breaks and tabs kept", keyValueFile("<ROW Key=\"a\r\nb\tc\" Value=\"\"/>"), {{"a\r\nb\tc", ""}}},
        {"character references in decimal and hexadecimal",
         keyValueFile("<ROW Key=\"&#65;&#x42;&#X43;&#176;\" Value=\"&quot;&apos;&lt;&gt;&amp;\"/>"), {{"ABC°", "\"'<>&"}}},
        {"UTF-8 with a byte-order mark",
         "\xEF\xBB\xBF" + keyValueFile("<ROW Key=\"Observa\xC3\xA7\xC3\xA3o\" Value=\"\xE2\x82\xAC\"/>"), {{"Observação", "€"}}},
        {"Windows-1252 named in the declaration",
         keyValueFile("<ROW Key=\"Observa\xE7\xE3o\" Value=\"\x80\"/>", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>"),
         {{"Observação", "€"}}},
        {"no declaration and bytes that are not UTF-8", keyValueFile("<ROW Key=\"\xB0\" Value=\"1\"/>", ""), {{"°", "1"}}},
        {"no declaration and UTF-8 bytes", keyValueFile("<ROW Key=\"\xC2\xB0\" Value=\"1\"/>", ""), {{"°", "1"}}},
        {"33 levels of elements", keyValueFile("<ROW Key=\"a\" Value=\"1\"/>" + nested(31)), {{"a", "1"}}},
        {"no rows", keyValueFile(""), {}},
    };
    for (const auto& c : cases) {
        QString error;
        const auto p = loadBytes(c.bytes, &error);
        ASSERT_TRUE(p) << c.name << ": " << error.toStdString();
        EXPECT_EQ(keyValues(*p), c.rows) << c.name;
    }
}

TEST(Datapacket, WhatIsNoWellFormedTableIsRefusedWithItsReason) {
    struct Case { const char* name; QByteArray bytes; const char* reason; } cases[] = {
        {"an empty file", "", "o arquivo está vazio"},
        {"a raw '<' in a value", keyValueFile("<ROW Key=\"a<b\" Value=\"1\"/>"), "'<' dentro de um valor de atributo"},
        {"an entity of the document type",
         keyValueFile("<ROW Key=\"&e;\" Value=\"1\"/>",
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE DATAPACKET [<!ENTITY e \"x\">]>"),
         "entidade desconhecida &e;"},
        {"an unknown entity in a deleted row", keyValueFile("<ROW RowState=\"2\" Key=\"&bogus;\"/>"), "entidade desconhecida"},
        {"an unknown entity in an attribute that is no field", keyValueFile("<ROW Key=\"a\" Outro=\"&x;\"/>"), "entidade desconhecida"},
        {"an unknown entity in the field list", QByteArray(keyValueFile("")).replace("<FIELDS>", "<FIELDS x=\"&y;\">"),
         "entidade desconhecida"},
        {"an entity without its semicolon", keyValueFile("<ROW Key=\"&amp\" Value=\"1\"/>"), "referência de entidade inválida"},
        {"a character reference to zero", keyValueFile("<ROW Key=\"&#0;\" Value=\"1\"/>"), "referência de caractere inválida"},
        {"two root elements", keyValueFile("") + "<DATAPACKET/>", "conteúdo após o fim do documento"},
        {"text before the root", "x" + keyValueFile("", ""), "elemento esperado"},
        {"text after the root", keyValueFile("") + "x", "conteúdo após o fim do documento"},
        {"34 levels of elements", keyValueFile(nested(32)), "elementos aninhados demais"},
        {"100 000 levels of elements", keyValueFile(nested(100000)), "elementos aninhados demais"},
        {"more elements than a data file has rows", keyValueFile(nested(300000)), "linhas demais"},
        {"a zero byte", keyValueFile(QByteArray("<ROW Key=\"a\0b\"/>", 16)), "caractere nulo"},
        {"an encoding we do not read", keyValueFile("", "<?xml version=\"1.0\" encoding=\"UTF-16\"?>"),
         "codificação de caracteres não suportada"},
        {"an element never closed", keyValueFile("<ROW Key=\"a\">"), "arquivo truncado"},
        {"a RowState that is no number", keyValueFile("<ROW RowState=\"x\" Key=\"a\"/>"), "RowState inválido"},
        {"a field defined twice", QByteArray(keyValueFile("")).replace("attrname=\"Value\"", "attrname=\"KEY\""),
         "campo \"KEY\" definido duas vezes"},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_FALSE(loadBytes(c.bytes, &error)) << c.name;
        EXPECT_TRUE(error.contains("não pode ser lido como tabela de dados")) << c.name << ": " << error.toStdString();
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.reason))) << c.name << ": " << error.toStdString();
    }
}

TEST(Datapacket, NamesOfElementsAttributesAndTypesMatchInAnyCase) {
    const QByteArray file =
        "<datapacket><Metadata><fields><field ATTRNAME=\"Key\" FieldType=\"STRING\"/>"
        "<Field attrName=\"Count\" fieldtype=\"I4\"/><FIELD attrname=\"Mean\" fieldtype=\"R8\"/></fields>"
        "<params autoincvalue=\"3\"/></Metadata><rowdata><row key=\"a\" COUNT=\"7\" mean=\"0.5\" rowstate=\"4\"/></rowdata>"
        "</datapacket>";
    QString error;
    const auto p = loadBytes(file, &error);
    ASSERT_TRUE(p) << error.toStdString();
    ASSERT_EQ(p->fields.size(), 3);
    EXPECT_EQ(p->fields[1].type, FieldType::Integer);
    EXPECT_EQ(p->fields[2].type, FieldType::Float);
    ASSERT_EQ(p->rowCount(), 1);
    EXPECT_EQ(p->row(0), (QList<QVariant>{QString("a"), 7, 0.5}));
    EXPECT_EQ(p->autoIncValue, 3);
}

TEST(Datapacket, NumbersAreReadAsQtReadsThem) {
    // Each text as an r8 and an i4 value: taken exactly when Qt's own reading of the trimmed
    // text takes it, and then the same number to the last bit.
    const char* texts[] = {
        "0", "-0", "1", "007", "1.5", "-2.25", ".5", "5.", "1e3", "1E-3", "2.5e+2", "+1", " 1", "1 ", "1e999",
        "-1e999", "1e-400", "4.9e-324", "5e-324", "2.2250738585072014e-308", "1.7976931348623157e308",
        "1.7976931348623159e308", "0.1000000000000000055511151231257827021181583404541015625",
        "123456789012345678901234567890", "9007199254740993", "2147483647", "2147483648", "-2147483648",
        "-2147483649", "999999999999999999", "9999999999999999999", "0x10", "1,5", "nan", "inf", "-", "1e", "e1",
        "1.e5", "22.443792766373412", "0.083333333333333329",
    };
    for (const char* text : texts) {
        const QByteArray file = "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"r\" fieldtype=\"r8\"/>"
                                "<FIELD attrname=\"i\" fieldtype=\"i4\"/></FIELDS></METADATA><ROWDATA><ROW r=\"" +
                                QByteArray(text) + "\"/><ROW i=\"" + QByteArray(text) + "\"/></ROWDATA></DATAPACKET>";
        bool okD = false, okI = false;
        const double d = QString(text).trimmed().toDouble(&okD);
        const qint64 i = QString(text).trimmed().toLongLong(&okI);
        const bool takesD = okD && std::isfinite(d);
        const bool takesI = okI && i >= INT32_MIN && i <= INT32_MAX;
        QString error;
        const auto p = readDatapacket(file, &error);
        EXPECT_EQ(bool(p), takesD && takesI) << text << ": " << error.toStdString();
        if (!takesD || !takesI) {
            // Each alone, so that both fields are seen.
            const QByteArray onlyR = QByteArray(file).replace("<ROW i=\"" + QByteArray(text) + "\"/>", "");
            const QByteArray onlyI = QByteArray(file).replace("<ROW r=\"" + QByteArray(text) + "\"/>", "");
            EXPECT_EQ(bool(readDatapacket(onlyR, &error)), takesD) << text;
            EXPECT_EQ(bool(readDatapacket(onlyI, &error)), takesI) << text;
            continue;
        }
        EXPECT_EQ(std::bit_cast<quint64>(p->value(0, 0).toDouble()), std::bit_cast<quint64>(d)) << text;
        EXPECT_EQ(p->value(1, 1), QVariant(static_cast<int>(i))) << text;
    }
}

TEST(Datapacket, AFileDenserThanATableIsStillReadWhole) {
    // Nodes far beyond what the text's size leads the reader to set aside for them.
    QByteArray rows;
    for (int i = 0; i < 200000; ++i)
        rows += "<X/>";
    rows += "<ROW Key=\"last\" Value=\"1\"/>";
    QString error;
    const auto p = loadBytes(keyValueFile(rows), &error);
    ASSERT_TRUE(p) << error.toStdString();
    EXPECT_EQ(keyValues(*p), (QList<std::pair<QString, QString>>{{"last", "1"}}));
}

TEST(Datapacket, MeasurementFilesInAnotherLayoutAreConverted) {
    const Records t = sampleRecords({{1, 1, 22}, {2, 5, 23.5}});
    const QByteArray own = writeDatapacket(t);
    const QByteArray extraFirst = QByteArray(own)
                                      .replace("<FIELD attrname=\"Reg\"", "<FIELD attrname=\"Nota\" fieldtype=\"string\" WIDTH=\"8\"/><FIELD attrname=\"Reg\"")
                                      .replace("<ROW Reg=\"1\"", "<ROW Nota=\"a\" Reg=\"1\"");
    struct Case { const char* name; QByteArray bytes; } cases[] = {
        {"our own layout", own},
        {"the fields in another order",
         QByteArray(own).replace("<FIELD attrname=\"Reg\" fieldtype=\"i4\" readonly=\"true\" SUBTYPE=\"Autoinc\"/>", "")
             .replace("</FIELDS>", "<FIELD attrname=\"Reg\" fieldtype=\"i4\" readonly=\"true\" SUBTYPE=\"Autoinc\"/></FIELDS>")},
        {"a temperature written as an integer field",
         QByteArray(own).replace("attrname=\"Tint\" fieldtype=\"r8\"", "attrname=\"Tint\" fieldtype=\"i4\"").replace("Tint=\"23.5\"", "Tint=\"23\"")},
        {"a field of the file's own before ours", extraFirst},
    };
    for (const auto& c : cases) {
        QString error;
        const auto p = loadBytes(c.bytes, &error);
        ASSERT_TRUE(p) << c.name << ": " << error.toStdString();
        const auto m = Measurements::fromRecords(*p, &error);
        ASSERT_TRUE(m) << c.name << ": " << error.toStdString();
        const Records u = m->toRecords();
        ASSERT_GE(u.width(), 8) << c.name;
        for (int f = 0; f < 8; ++f)
            EXPECT_EQ(u.fields[f].name, measurementFields()[f].name) << c.name;
        ASSERT_EQ(u.rowCount(), 2) << c.name;
        EXPECT_EQ(u.row(0).mid(0, 8), t.row(0)) << c.name;
        EXPECT_EQ(u.value(1, ColEnsaio), QVariant(2)) << c.name;
        EXPECT_EQ(u.value(1, ColSubReg), QVariant(5)) << c.name;
        EXPECT_EQ(u.value(1, ColTint).metaType(), QMetaType::fromType<double>()) << c.name;
        if (u.width() > 8) {
            EXPECT_EQ(u.fields[8].name, "Nota") << c.name;
            EXPECT_EQ(u.value(0, 8), QVariant(QString("a"))) << c.name;
            EXPECT_TRUE(u.value(1, 8).isNull()) << c.name;
            // Saved again, the file's own field comes after ours.
            EXPECT_TRUE(writeDatapacket(u).contains("Nota=\"a\"/>")) << c.name;
        }
    }
}
