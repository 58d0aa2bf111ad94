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
#include <cmath>
#include <gtest/gtest.h>
#include <optional>

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
    addSample(t, 3, 1, 20.0 + 1.0 / 3.0);
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
        t.setValue(field::TMin, i % 1000 == 0 ? 20.0 + 1.0 / 3.0 : 0.0);
        t.post();
    }
    // Values no logger gives: the file form keeps them bit for bit, the measurement table
    // refuses them.
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
    const QList<Table::Row> a = t.allRows();
    ASSERT_EQ(a.size(), p->rows.size());
    int differing = 0;
    for (int r = 0; r < a.size(); ++r)
        for (int f = 0; f < a[r].size(); ++f)
            if (a[r][f].isNull() != p->rows.isNull(r, f) ||
                std::bit_cast<quint64>(a[r][f].toDouble()) != std::bit_cast<quint64>(p->rows.toDouble(r, f)))
                ++differing;
    EXPECT_EQ(differing, 0);
    MeasurementTable back;
    EXPECT_FALSE(back.takePacket(*p, &error));
    EXPECT_TRUE(error.startsWith("linha 8193, campo \"Tint\": 4.940656458e-324 °C está fora")) << error.toStdString();
    // Without them, the logger's own values come back bit for bit.
    t.setFiltered(false);
    while (t.gotoBookmark(t.storedRows().back()) && t.asInteger(field::Ensaio) == 99)
        t.deleteCurrent();
    ASSERT_TRUE(saveTable(t, dir.filePath("g.dat"), &error)) << error.toStdString();
    const auto q = loadDatapacket(dir.filePath("g.dat"), &error);
    ASSERT_TRUE(q && back.takePacket(*q, &error)) << error.toStdString();
    const QList<Table::Row> c = t.allRows(), b = back.allRows();
    ASSERT_EQ(c.size(), b.size());
    differing = 0;
    for (int r = 0; r < c.size(); ++r)
        for (int f = 0; f < c[r].size(); ++f)
            if (c[r][f].isNull() != b[r][f].isNull() ||
                std::bit_cast<quint64>(c[r][f].toDouble()) != std::bit_cast<quint64>(b[r][f].toDouble()))
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

namespace {

// A Key/Value table file with the given rows markup, optionally with a prologue before it.
QByteArray keyValueFile(const QByteArray& rows, const QByteArray& prologue = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>") {
    return prologue +
           "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"Key\" fieldtype=\"string\" WIDTH=\"32\"/>"
           "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"32\"/></FIELDS><PARAMS/></METADATA><ROWDATA>" +
           rows + "</ROWDATA></DATAPACKET>";
}

// Writes the bytes to a file of its own and opens it as the program does.
std::optional<Datapacket> loadBytes(const QByteArray& bytes, QString* error) {
    static int n = 0;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f%1.dat").arg(++n));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return std::nullopt;
    f.close();
    return loadDatapacket(path, error);
}

QList<std::pair<QString, QString>> keyValues(const Datapacket& p) {
    QList<std::pair<QString, QString>> out;
    for (const Table::Row& r : p.rows)
        out << std::pair{r[0].toString(), r[1].toString()};
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
    ASSERT_EQ(p->rows.size(), 1);
    EXPECT_EQ(p->rows[0], (Table::Row{QString("a"), 7, 0.5}));
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
        EXPECT_EQ(std::bit_cast<quint64>(p->rows[0][0].toDouble()), std::bit_cast<quint64>(d)) << text;
        EXPECT_EQ(p->rows[1][1], QVariant(static_cast<int>(i))) << text;
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

TEST(Table, OpenedRowsAreTheTablesOwnOnceChanged) {
    MeasurementTable t;
    for (int i = 1; i <= 3; ++i)
        addSample(t, 1, i, 20 + i);
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(saveTable(t, dir.filePath("a.dat"), &error)) << error.toStdString();
    const auto p = loadDatapacket(dir.filePath("a.dat"), &error);
    ASSERT_TRUE(p) << error.toStdString();
    MeasurementTable u;
    ASSERT_TRUE(u.takePacket(*p, &error)) << error.toStdString();
    u.first();
    ASSERT_TRUE(u.edit());
    u.setValue(field::Tint, 30.0);
    u.post();
    addSample(u, 2, 1, 25);
    EXPECT_EQ(p->rows.size(), 3); // the packet keeps what the file held
    EXPECT_EQ(p->rows[0][u.fieldIndex(field::Tint)].toDouble(), 21.0);
    EXPECT_EQ(u.valueAt(0, u.fieldIndex(field::Tint)).toDouble(), 30.0);
    EXPECT_EQ(u.allRows().size(), 4);
}

TEST(Table, AFieldAddedLaterIsNullInOlderRows) {
    Table t(configFields());
    t.createDataSet();
    t.append();
    t.setValue(0, QString("a"));
    t.post();
    FieldDef extra;
    extra.name = QStringLiteral("Extra");
    extra.type = FieldType::Integer;
    t.fieldDefs().append(extra);
    t.append();
    t.setValue(0, QString("b"));
    t.setValue(2, 5);
    t.post();
    EXPECT_TRUE(t.valueAt(0, 2).isNull());
    EXPECT_EQ(t.valueAt(1, 2), QVariant(5));
    EXPECT_TRUE(t.isNullAt(0, 2));
    EXPECT_EQ(t.integerAt(1, 2), 5);
}

TEST(Table, CheapReadsAgreeWithTheVariants) {
    Table t(configFields());
    t.createDataSet();
    const QList<QVariant> values = {QVariant(), 3, qint64(1) << 40, 2.75, -2.5, true, QString("12"), QString("x"),
                                    QDate(2024, 1, 2), QVariant::fromValue(nullptr)};
    for (const QVariant& v : values) {
        t.append();
        t.setValue(1, v);
        t.post();
    }
    const auto rows = t.storedRows();
    ASSERT_EQ(rows.size(), size_t(values.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        const QVariant& v = values[static_cast<qsizetype>(i)];
        EXPECT_EQ(t.valueAt(rows[i], 1), v) << i;
        EXPECT_EQ(t.valueAt(rows[i], 1).metaType(), v.metaType()) << i;
        EXPECT_EQ(t.isNullAt(rows[i], 1), v.isNull()) << i;
        EXPECT_EQ(t.floatAt(rows[i], 1), v.toDouble()) << i;
        EXPECT_EQ(t.integerAt(rows[i], 1), v.toLongLong()) << i;
    }
    // An edit that changes a value's kind, both ways.
    t.gotoBookmark(rows[7]);
    t.edit();
    t.setValue(1, 4.5);
    t.post();
    t.gotoBookmark(rows[1]);
    t.edit();
    t.setValue(1, QString("y"));
    t.post();
    EXPECT_EQ(t.valueAt(rows[7], 1), QVariant(4.5));
    EXPECT_EQ(t.valueAt(rows[1], 1), QVariant(QString("y")));
}

TEST(RowStore, CopiesShareTheirCellsUntilOneChanges) {
    RowStore a(2);
    a << Table::Row{1, QString("x")} << Table::Row{2.5};
    RowStore b = a;
    EXPECT_TRUE(b.sharesWith(a));
    b.setDouble(1, 1, 7.0);
    EXPECT_FALSE(b.sharesWith(a));
    EXPECT_EQ(a[1], (Table::Row{2.5, QVariant()}));
    EXPECT_EQ(b[1], (Table::Row{2.5, 7.0}));
    EXPECT_EQ(a[0], (Table::Row{1, QString("x")}));
    QList<Table::Row> seen;
    for (const Table::Row& r : a)
        seen << r;
    EXPECT_EQ(seen, (QList<Table::Row>{{1, QString("x")}, {2.5, QVariant()}}));
}

TEST(Datapacket, MeasurementFilesInAnotherLayoutAreConverted) {
    MeasurementTable t;
    addSample(t, 1, 1, 22);
    addSample(t, 2, 5, 23.5);
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
        MeasurementTable u;
        ASSERT_TRUE(u.takePacket(*p, &error)) << c.name << ": " << error.toStdString();
        ASSERT_GE(u.fieldCount(), 8) << c.name;
        for (int f = 0; f < 8; ++f)
            EXPECT_EQ(u.fields()[f].name, measurementFields()[f].name) << c.name;
        const QList<Table::Row> rows = u.allRows();
        ASSERT_EQ(rows.size(), 2) << c.name;
        EXPECT_EQ(rows[0].mid(0, 8), t.allRows()[0]) << c.name;
        EXPECT_EQ(rows[1][u.fieldIndex(field::Ensaio)], QVariant(2)) << c.name;
        EXPECT_EQ(rows[1][u.fieldIndex(field::SubReg)], QVariant(5)) << c.name;
        EXPECT_EQ(rows[1][u.fieldIndex(field::Tint)].metaType(), QMetaType::fromType<double>()) << c.name;
        if (u.fieldCount() > 8) {
            EXPECT_EQ(u.fields()[8].name, "Nota") << c.name;
            EXPECT_EQ(rows[0][8], QVariant(QString("a"))) << c.name;
            EXPECT_TRUE(rows[1][8].isNull()) << c.name;
        }
    }
}
