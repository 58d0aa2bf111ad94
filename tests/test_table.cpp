// The table engine and its file form.
#include "acquisition/configtable.h"
#include "acquisition/cp1252.h"
#include "acquisition/datapacket.h"
#include "acquisition/measurementtable.h"
#include "tests/support.h"

#include <QDir>
#include <QFile>
#include <bit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace acq;

namespace {

void addSample(Table& t, int ensaio, int sub, double tint) {
    t.append();
    t.setValue(field::Ensaio, ensaio);
    t.setValue(field::SubReg, sub);
    t.setValue(field::Tempo, sampleMinutes(sub));
    t.setValue(field::Tint, tint);
    t.setValue(field::Text, 21.0);
    t.setValue(field::TMax, 0.0);
    t.setValue(field::TMin, 0.0);
    t.post();
}

QList<qint64> visible(Table& t, const QString& f) {
    QList<qint64> out;
    for (t.first(); !t.eof(); t.next())
        out << t.asInteger(f);
    return out;
}

} // namespace

TEST(Table, AppendOrderFilterAndAutoIncrement) {
    MeasurementTable t;
    addSample(t, 2, 1, 22.0);
    addSample(t, 1, 2, 22.1);
    addSample(t, 1, 1, 22.2);
    addSample(t, 2, 2, 22.3);
    EXPECT_EQ(t.recordCount(), 4);
    EXPECT_EQ(visible(t, field::Reg), (QList<qint64>{1, 3, 2, 4})); // by SubReg, ties in insertion order
    ASSERT_TRUE(t.setFilter("Ensaio = 1"));
    t.setFiltered(true);
    EXPECT_EQ(visible(t, field::Reg), (QList<qint64>{3, 2}));
    EXPECT_EQ(t.recordCount(), 2);
    addSample(t, 2, 3, 22.4); // stored although the filter hides it
    EXPECT_EQ(t.recordCount(), 2);
    t.setFiltered(false);
    EXPECT_EQ(t.recordCount(), 5);
    t.setIndexFieldNames(field::Ensaio);
    EXPECT_EQ(visible(t, field::Ensaio), (QList<qint64>{1, 1, 2, 2, 2}));
    EXPECT_FALSE(t.setFilter("Ensaio > 1"));
    EXPECT_EQ(t.filter(), "Ensaio = 1");
    t.recreate();
    addSample(t, 1, 1, 20);
    t.first();
    EXPECT_EQ(t.asInteger(field::Reg), 1); // starts again at 1
}

TEST(Table, NavigationBookmarksEditAndDelete) {
    MeasurementTable t;
    for (int i = 1; i <= 3; ++i)
        addSample(t, 1, i, 20 + i);
    t.first();
    t.next();
    const auto b = t.bookmark();
    t.next();
    t.next();
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.asInteger(field::SubReg), 3); // eof leaves the last row current
    ASSERT_TRUE(t.gotoBookmark(b));
    ASSERT_TRUE(t.edit());
    t.setValue(field::TMax, 30.5);
    t.post();
    EXPECT_DOUBLE_EQ(t.asFloat(field::TMax), 30.5);
    EXPECT_EQ(t.displayText(field::TMax), "30.500");
    EXPECT_TRUE(t.deleteCurrent());
    EXPECT_EQ(t.recordCount(), 2);
    EXPECT_FALSE(t.gotoBookmark(b));
}

TEST(Table, DisplayFormatsAndConversions) {
    struct Case { quint32 raw; double c; const char* shown; } cases[] = {
        {0, 20.0, "20.000"}, {1023, 25.0, "25.000"}, {1, 20.0048875855327, "20.005"},
        {2046, 30.0, "30.000"}, {0x01F4, 22.4437927663734, "22.444"},
    };
    MeasurementTable t;
    for (const auto& c : cases) {
        EXPECT_NEAR(rawToCelsius(c.raw), c.c, 1e-9);
        EXPECT_EQ(t.formatValue(t.fieldIndex(field::Tint), rawToCelsius(c.raw)), c.shown);
    }
    EXPECT_EQ(rawToCelsius(1023), 25.0);
    EXPECT_EQ(t.formatValue(t.fieldIndex(field::Tempo), sampleMinutes(1)), "0.00");
    EXPECT_EQ(t.formatValue(t.fieldIndex(field::Tempo), sampleMinutes(2)), "0.08");
    EXPECT_EQ(t.formatValue(t.fieldIndex(field::Tempo), sampleMinutes(13)), "1.00");
    EXPECT_EQ(t.fields()[t.fieldIndex(field::Tint)].displayName(), "Temp. Int. (°C)");
    EXPECT_EQ(t.fields()[t.fieldIndex(field::Ensaio)].displayName(), "Ensaio");
}

TEST(Table, LocateIgnoresCase) {
    Table t;
    fillBuiltInConfig(t);
    EXPECT_TRUE(t.locate("Key", "comport"));
    EXPECT_EQ(t.value(1).toString(), "1");
    EXPECT_TRUE(t.locate("Key", "DEBUG"));
    EXPECT_EQ(t.value(1).toString(), "0");
    EXPECT_FALSE(t.locate("Key", "Com"));
}

TEST(Datapacket, ConfigTableIsWrittenInTheToolkitForm) {
    Table t;
    fillBuiltInConfig(t);
    const QByteArray bytes = writeDatapacket(t);
    EXPECT_TRUE(bytes.startsWith(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\">"
        "<METADATA><FIELDS><FIELD attrname=\"Key\" fieldtype=\"string\" required=\"true\" WIDTH=\"32\"/>"
        "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"32\"/></FIELDS><PARAMS/></METADATA>"
        "<ROWDATA><ROW Key=\"ComPort\" Value=\"1\"/>"));
    EXPECT_TRUE(bytes.endsWith("<ROW Key=\"Debug\" Value=\"0\"/></ROWDATA></DATAPACKET>"));
    EXPECT_FALSE(bytes.contains('\n'));
}

TEST(Datapacket, MeasurementRoundTripKeepsRowsOrderAndAutoIncrement) {
    MeasurementTable t;
    addSample(t, 1, 1, 22.4437927663734);
    addSample(t, 3, 1, 1.0 / 3.0);
    addSample(t, 1, 2, 25);
    t.first();
    t.edit();
    t.setValue(field::TMax, 26.123);
    t.post();
    QTemporaryDir dir;
    const QString path = dir.filePath("a.dat");
    QString error;
    ASSERT_TRUE(saveTable(t, path, &error)) << error.toStdString();
    EXPECT_TRUE(readAllOf(path).contains("fieldtype=\"i4\" readonly=\"true\" SUBTYPE=\"Autoinc\""));
    EXPECT_TRUE(readAllOf(path).contains("<PARAMS AUTOINCVALUE=\"4\"/>"));
    const auto p = loadDatapacket(path, &error);
    ASSERT_TRUE(p) << error.toStdString();
    MeasurementTable u;
    ASSERT_TRUE(u.takePacket(*p, &error)) << error.toStdString();
    EXPECT_EQ(u.allRows(), t.allRows());
    EXPECT_EQ(u.autoIncValue(), 4);
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
    ASSERT_EQ(p->rows.size(), 3);
    EXPECT_EQ(p->rows[0][0].toString(), "ComPort");
    EXPECT_EQ(p->rows[0][1].toString(), "2");
    EXPECT_EQ(p->rows[1][0].toString(), "IntAq");
    EXPECT_EQ(p->rows[2][0].toString(), "Observação"); // Windows-1252 bytes
    EXPECT_EQ(p->rows[2][1].toString(), "<a&b> \r\n");
}

TEST(Datapacket, EscapingAndNonAsciiSurviveARoundTrip) {
    Table t(configFields());
    t.createDataSet();
    t.append();
    t.setValue(0, QString("Tést \"q\" 'a' <&>"));
    t.setValue(1, QString("a\tb\r\nc °C"));
    t.post();
    const QByteArray bytes = writeDatapacket(t);
    EXPECT_TRUE(bytes.contains("Key=\"Tést &quot;q&quot; &apos;a&apos; &lt;&amp;&gt;\""));
    EXPECT_TRUE(bytes.contains("Value=\"a&#009;b&#013;&#010;c °C\""));
    QString error;
    const auto p = readDatapacket(bytes, &error);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->rows[0], t.allRows()[0]);
    const auto withBom = readDatapacket("\xEF\xBB\xBF" + bytes, &error);
    ASSERT_TRUE(withBom);
    EXPECT_EQ(withBom->rows[0], t.allRows()[0]);
}

TEST(Datapacket, MalformedFilesAreRefusedWithAReason) {
    const QByteArray good = writeDatapacket([] {
        Table t;
        fillBuiltInConfig(t);
        return t;
    }());
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
    MeasurementTable t;
    addSample(t, 1, 1, 22);
    const auto before = t.allRows();
    QString error;
    Table cfg;
    fillBuiltInConfig(cfg);
    auto p = readDatapacket(writeDatapacket(cfg), &error);
    ASSERT_TRUE(p);
    EXPECT_FALSE(t.takePacket(*p, &error));
    EXPECT_TRUE(error.contains("Reg"));
    auto m = readDatapacket(QByteArray(writeDatapacket(t)).replace("attrname=\"Tint\" fieldtype=\"r8\"",
                                                                   "attrname=\"Tint\" fieldtype=\"string\""),
                            &error);
    ASSERT_TRUE(m);
    EXPECT_FALSE(t.takePacket(*m, &error));
    EXPECT_EQ(t.allRows(), before);
}

TEST(Datapacket, FailedSaveLeavesTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("x.dat");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old");
    f.close();
    Table t;
    fillBuiltInConfig(t);
    QString error;
    EXPECT_FALSE(saveTable(t, dir.filePath("missing/x.dat"), &error));
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
    MeasurementTable t;
    for (int i = 0; i < 8192; ++i) {
        t.append();
        t.setValue(field::Ensaio, 1 + i / 1000);
        t.setValue(field::SubReg, 1 + i % 1000);
        t.setValue(field::Tempo, sampleMinutes(1 + i % 1000));
        t.setValue(field::Tint, rawToCelsius(static_cast<quint32>(i % 1024)));
        t.setValue(field::Text, rawToCelsius(static_cast<quint32>((i * 7) % 1024)));
        t.setValue(field::TMax, i % 1000 == 0 ? rawToCelsius(1023) : 0.0);
        t.setValue(field::TMin, i % 1000 == 0 ? 1.0 / 3.0 : 0.0);
        t.post();
    }
    // Values no logger gives, but a table may hold: extremes and the smallest steps.
    for (double v : {5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, -0.1, 0.1 + 0.2, 1e21, 123456789.123456789}) {
        t.append();
        t.setValue(field::Ensaio, 99);
        t.setValue(field::SubReg, 1);
        t.setValue(field::Tint, v);
        t.post();
    }
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(saveTable(t, dir.filePath("f.dat"), &error)) << error.toStdString();
    const auto p = loadDatapacket(dir.filePath("f.dat"), &error);
    ASSERT_TRUE(p) << error.toStdString();
    MeasurementTable back;
    ASSERT_TRUE(back.takePacket(*p, &error)) << error.toStdString();
    const QList<Table::Row> a = t.allRows(), b = back.allRows();
    ASSERT_EQ(a.size(), b.size());
    int differing = 0;
    for (int r = 0; r < a.size(); ++r)
        for (int f = 0; f < a[r].size(); ++f)
            if (a[r][f].isNull() != b[r][f].isNull() ||
                std::bit_cast<quint64>(a[r][f].toDouble()) != std::bit_cast<quint64>(b[r][f].toDouble()))
                ++differing;
    EXPECT_EQ(differing, 0);
}

TEST(Datapacket, HostileMeasurementFilesAreRefusedWithTheirReason) {
    MeasurementTable t;
    addSample(t, 1, 1, 22);
    const QByteArray good = writeDatapacket(t);
    const auto before = t.allRows();
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
    };
    for (const auto& c : cases) {
        ASSERT_NE(c.bytes, good) << c.name;
        QString error;
        const auto p = readDatapacket(c.bytes, &error);
        const bool refused = !p || !t.takePacket(*p, &error);
        EXPECT_TRUE(refused) << c.name;
        EXPECT_TRUE(error.contains(c.reason)) << c.name << ": " << error.toStdString();
        EXPECT_EQ(t.allRows(), before) << c.name;
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

    Table t;
    fillBuiltInConfig(t);
    ASSERT_TRUE(QDir(dir.path()).mkdir("pasta"));
    struct Case { QString path; const char* cause; } cases[] = {
        {dir.filePath("pasta"), "já existe uma pasta com esse nome"},
        {dir.filePath("nada/x.dat"), "a pasta não existe"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(saveTable(t, c.path, &error));
        EXPECT_TRUE(error.contains(c.cause)) << error.toStdString();
        EXPECT_FALSE(error.contains("Unknown error"));
    }
}
