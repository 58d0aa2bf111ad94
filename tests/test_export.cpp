// The export: spreadsheet writer records, the cell rule, the run's events, and the main
// window's "&Exportar..." read back by a real spreadsheet reader.
#include "acquisition/measurements.h"
#include "app/exportsettings.h"
#include "app/tform1.h"
#include "export/dtExport.h"
#include "export/dtNativeExcel.h"
#include "tests/support.h"
#include "tools/emulator/demoimage.h"
#include "tools/emulator/fakeseriallibrary.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QSize>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <bit>
#include <charconv>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

QByteArray hex(const char* h) { return QByteArray::fromHex(QByteArray(h).replace(' ', "")); }

using Window = MainWindowRig;

} // namespace

TEST(NativeExcel, EmptyDocuments) {
    TdtNativeExcel x;
    x.CloseDocument();
    EXPECT_EQ(x.buffer(), hex("09 08 06 00 00 02 10 00 00 00  42 00 02 00 E4 04"
                              "00 02 0A 00 00 00 FF FF 00 00 00 01 00 00  0A 00 00 00"));
    EXPECT_EQ(x.buffer().size(), 34);
    x.setBIFF(bvBIFF2);
    x.CloseDocument();
    EXPECT_EQ(x.buffer().size(), 30);
    EXPECT_TRUE(x.buffer().startsWith(hex("09 00 04 00 00 02 10 00")));
    EXPECT_EQ(x.buffer().mid(14, 12), hex("00 00 08 00 00 00 FF FF 00 00 00 01"));
    EXPECT_EQ(x.Version(), "1.23");
}

TEST(NativeExcel, CellsCursorAndSetters) {
    TdtNativeExcel x;
    const int start = static_cast<int>(x.buffer().size());
    x.WriteLabel(QString(300, QLatin1Char('a')));
    EXPECT_EQ(x.buffer().mid(start + 2, 2), hex("07 01")); // body length 263
    EXPECT_EQ(static_cast<unsigned char>(x.buffer()[start + 11]), 255);
    x.setColumn(256);
    x.setRow(10);
    x.WriteBlank();
    EXPECT_EQ(x.Row(), 11);
    EXPECT_EQ(x.Column(), 1);
    x.setRow(65535);
    x.setColumn(256);
    x.WriteBlank();
    EXPECT_EQ(x.Row(), 65535);
    EXPECT_EQ(x.Column(), 256); // stays: the next cell gets the same place again
    x.setRow(0);
    x.setColumn(257);
    EXPECT_EQ(x.Row(), 65535);
    EXPECT_EQ(x.Column(), 256);
    x.NewDocument();
    TdtFont f;
    for (int i = 0; i < 5; ++i)
        x.AddFont(&f);
    EXPECT_EQ(x.fontCount(), 4);
    x.setActiveFont(5);
    EXPECT_EQ(x.ActiveFont(), 0);
    x.setActiveFont(4);
    EXPECT_EQ(x.ActiveFont(), 4);
    x.CloseDocument();
    x.setActiveFont(0);
    x.setRow(1);
    x.setColumn(1);
    x.WriteInteger(0x12345);
    EXPECT_EQ(x.buffer(), hex("09 08 06 00 00 02 10 00 00 00  42 00 02 00 E4 04"
                              "00 02 0A 00 00 00 FF FF 00 00 00 01 00 00"
                              "02 00 09 00 00 00 00 00 40 00 00 45 23"));
    struct Name { const char* in; const char* out; } names[] = {
        {"C:\\dados\\ensaio", "C:\\dados\\ensaio.XLS"}, {"ensaio.txt", "ensaio.XLS"}, {"ensaio.xls", "ensaio.xls"}};
    for (const auto& n : names) {
        x.setFileName(n.in);
        EXPECT_EQ(x.FileName(), n.out);
    }
}

TEST(NativeExcel, WriteValueChoosesTheRecordByKind) {
    struct Case { QVariant v; int id; } cases[] = {
        {QVariant(), 0x01}, {QVariant(7), 0x02}, {QVariant(2.5), 0x03}, {QVariant(QString("12")), 0x04},
        {QVariant(true), 0x05}, {QVariant(QDateTime(QDate(2024, 5, 1), QTime(0, 0))), 0x04},
        {QVariant::fromValue(QSize(1, 1)), -1},
    };
    for (const auto& c : cases) {
        TdtNativeExcel x;
        const auto before = x.buffer().size();
        x.WriteValue(c.v);
        if (c.id < 0) {
            EXPECT_EQ(x.buffer().size(), before);
            EXPECT_EQ(x.Column(), 1);
        } else {
            EXPECT_EQ(static_cast<unsigned char>(x.buffer()[before]), c.id) << c.v.typeName();
        }
    }
    TdtNativeExcel x;
    x.WriteValue(QVariant(QDateTime(QDate(2024, 5, 1), QTime(0, 0))));
    EXPECT_TRUE(x.buffer().endsWith("1/5/2024"));
    x.WriteError(eeNA);
    EXPECT_TRUE(x.buffer().endsWith(hex("2A 01")));
}

TEST(CellRule, Grammars) {
    struct Case { const char* text; const char* kind; double value; } cases[] = {
        {"23.456", "number", 23.456}, {"  12", "number", 12}, {".", "number", 0}, {"E5", "number", 0},
        {"-1.5e2", "number", -150}, {"+7", "number", 7}, {"5.", "number", 5},
        {"23,456", "label", 0}, {"12 ", "label", 0}, {"1.234,5", "label", 0}, {"", "label", 0},
        {"1e", "label", 0}, {"-", "label", 0}, {"-$1F", "label", 0}, {"$", "label", 0},
        {"$1F", "integer", 31}, {"0x1F", "integer", 31}, {" X1f", "integer", 31}, {"$FFFFFFFF", "integer", 4294967295.0},
        {"$100000000", "label", 0},
    };
    for (const auto& c : cases) {
        const QString t = QString::fromUtf8(c.text);
        const auto d = dtexcel::decimalNumber(t);
        const auto h = d ? std::nullopt : dtexcel::hexInteger(t);
        const char* kind = d ? "number" : h ? "integer" : "label";
        EXPECT_STREQ(kind, c.kind) << c.text;
        if (d) {
            EXPECT_DOUBLE_EQ(*d, c.value) << c.text;
        }
        if (h) {
            EXPECT_EQ(*h, static_cast<quint32>(c.value)) << c.text;
        }
    }
    EXPECT_EQ(dtexcel::rowNumberInteger(" -12"), -12);
    EXPECT_EQ(dtexcel::rowNumberInteger("2147483648"), std::nullopt);
    EXPECT_EQ(dtexcel::rowNumberInteger("N. 1"), std::nullopt);
}

// The decimal grammar's own conversion against the library's correctly rounded parser, bit for
// bit, on texts of every length, point position and exponent (a fixed seed: the same texts
// every run).
TEST(CellRule, DecimalValuesAsTheLibraryParserReadsThem) {
    std::mt19937_64 random(20261209);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int n = 0; n < 200000; ++n) {
        std::string body;
        const int digits = pick(1, 24);
        const int point = pick(-1, digits);
        for (int d = 0; d < digits; ++d) {
            if (d == point)
                body += '.';
            body += static_cast<char>('0' + (d == 0 && pick(0, 3) == 0 ? 0 : pick(0, 9)));
        }
        if (pick(0, 2) == 0) {
            body += pick(0, 1) ? 'e' : 'E';
            body += pick(0, 2) == 0 ? "-" : pick(0, 1) ? "+" : "";
            body += std::to_string(pick(0, 40));
        }
        const int sign = pick(0, 2);
        const std::string text = std::string(pick(0, 2), ' ') + (sign == 1 ? "-" : sign == 2 ? "+" : "") + body;
        double want = 0;
        const auto r = std::from_chars(body.data(), body.data() + body.size(), want);
        ASSERT_EQ(r.ec, std::errc()) << text;
        if (sign == 1)
            want = -want;
        const auto got = dtexcel::decimalNumber(QString::fromStdString(text));
        ASSERT_TRUE(got) << text;
        ASSERT_EQ(std::bit_cast<quint64>(*got), std::bit_cast<quint64>(want)) << text;
    }
}

TEST(RowNumbers, OwnFormatterAndFallback) {
    struct Case { const char* pattern; qint64 v; std::optional<QString> out; } cases[] = {
        {"%d", 7, "7"}, {"N. %d", 7, "N. 7"}, {"%05d", 42, "00042"}, {"%-4d|", 3, "3   |"},
        {"%+d", 5, "+5"}, {"%.3d", 5, "005"}, {"100%% %d", 1, "100% 1"}, {"%4d", -3, "  -3"},
        {"%d %d", 1, std::nullopt}, {"%s%d", 1, std::nullopt}, {"%n%d", 1, std::nullopt},
        {"%d%", 1, std::nullopt}, {"text", 1, std::nullopt}, {"%ld", 1, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatRowNumber(c.pattern, c.v), c.out) << c.pattern;
    TdtDataSetExport x;
    EXPECT_FALSE(x.setRowNumberFormat("Row"));
    EXPECT_EQ(x.RowNumberFormat(), "%d");
    EXPECT_TRUE(x.setRowNumberFormat("%d and %d"));
    x.Exported = 4;
    x.RecordCount = 120;
    QString text;
    int width = 0;
    x.RowNumberText(text, width);
    EXPECT_EQ(text, "5"); // the pattern wants two numbers: fall back to "%d"
    EXPECT_EQ(width, 3);
}

TEST(ExportComponent, PropertyRulesAndServices) {
    TdtDataSetExport x;
    x.setExportTypes(0);
    EXPECT_EQ(x.ExportTypes(), typeBit(xtExcel));
    x.setExportType(xtCSV);
    EXPECT_EQ(x.ExportTypes(), typeBit(xtExcel) | typeBit(xtCSV));
    EXPECT_EQ(x.Messages.Caption, "Exporting DataSet");
    EXPECT_EQ(x.Version(), "2.36");
    x.setExportType(xtExcel);
    EXPECT_EQ(x.SaveFilter(), "Excel Files (*.xls)|*.XLS");
    x.Options |= opt(xoTruncate);
    EXPECT_EQ(x.CellText(QString("abcdefgh"), 5), "ab...");
    EXPECT_EQ(x.CellText(QString("abcdefgh"), 2), "...");
    EXPECT_EQ(x.CellText(QString("abcdefgh"), 0), "abcdefgh");
    EXPECT_EQ(x.CellText(QVariant(), 20), "** NULL **");
    EXPECT_EQ(x.CellText(QVariant(), 7), "** N...");
}

TEST(ExportRun, ProgramFileByteForByteAndReadBackByXlrd) {
    Window w;
    w.form->btnLerDadosClick();
    const QString path = w.dir.filePath("ensaio");
    w.files.paths = {path};
    w.form->Exportar1Click();
    EXPECT_EQ(w.messages.texts(), QStringList{kMsgExportOk});
    EXPECT_TRUE(w.form->ClientDataSet1().saved());
    EXPECT_TRUE(w.form->dtDataSetExport1.FileName.isEmpty());
    const QByteArray f = readAllOf(path + ".XLS");
    ASSERT_FALSE(f.isEmpty());
    const QByteArray font = hex("0D") + "MS Sans Serif";
    QByteArray head = hex("09 08 06 00 00 02 10 00 00 00  42 00 02 00 E4 04"
                          "00 02 0A 00 00 00 FF FF 00 00 00 01 00 00");
    head += hex("31 00 12 00 A0 00 00 00") + font + hex("31 00 12 00 A0 00 01 00") + font +
            hex("31 00 12 00 A0 00 00 00") + font;
    head += hex("43 00 04 00 00 00 40 00  43 00 04 00 01 00 40 78  43 00 04 00 02 00 40 78");
    head += hex("15 00 03 00 02 26 50");
    for (const char* id : {"26 00", "29 00", "28 00", "27 00"})
        head += hex(id) + hex("08 00 33 33 33 33 33 33 D3 3F");
    EXPECT_EQ(f.left(head.size()), head);
    // The caption of column 3 ("Tempo") and the number of the first data row's column 0.
    EXPECT_TRUE(f.contains(hex("04 00 0D 00 00 00 03 00 41 40 78 05") + "Tempo"));
    QByteArray one = hex("03 00 0F 00 01 00 00 00 42 80 78");
    const double v = 1.0;
    one.append(reinterpret_cast<const char*>(&v), 8);
    EXPECT_TRUE(f.contains(one));
    EXPECT_TRUE(f.contains(hex("0F") + "Temp. Int. (\xB0" "C)"));
    EXPECT_TRUE(f.endsWith(hex("0A 00 00 00")));

    int rc = 0;
    const auto out = runPython(QStringLiteral(REGISTRADOR_DATA_DIR "/../tests/read_xls.py"), {path + ".XLS"}, &rc);
    if (!out || rc == 77)
        GTEST_SKIP() << "python3-xlrd is not installed";
    ASSERT_EQ(rc, 0) << out->toStdString();
    const QStringList lines = QString::fromUtf8(*out).split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains("0\t4\ttext\tTemp. Int. (°C)\t1"));
    EXPECT_TRUE(lines.contains("1\t4\tnumber\t22.444\t0"));
    EXPECT_TRUE(lines.contains("2\t5\tnumber\t21.979\t0"));
    EXPECT_TRUE(lines.contains("1\t6\tnumber\t22.581\t0"));
    EXPECT_EQ(lines.size(), 8 * 3);
}

TEST(ExportRun, FailureRowsAndTheirEvents) {
    {   // chooser cancelled: nothing at all
        Window w;
        w.form->btnLerDadosClick();
        w.exportScript.confirm = false;
        w.form->Exportar1Click();
        EXPECT_TRUE(w.messages.shown.isEmpty());
        EXPECT_FALSE(w.form->ClientDataSet1().saved());
    }
    {   // save dialog cancelled
        Window w;
        w.form->btnLerDadosClick();
        w.form->Exportar1Click();
        EXPECT_EQ(w.messages.texts(), QStringList{"Erro: cancelado pelo usuário"});
        EXPECT_FALSE(w.form->ClientDataSet1().saved());
    }
    {   // overwrite refused: the question only, the file untouched, data still unsaved
        Window w;
        w.form->btnLerDadosClick();
        const QString path = w.dir.filePath("x.XLS");
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        QList<int> codes;
        auto handler = w.form->dtDataSetExport1.OnError;
        w.form->dtDataSetExport1.OnError = [&](TdtExportError e) { codes << e; handler(e); };
        w.files.paths = {path};
        w.messages.answers = {MsgAnswer::No};
        w.form->Exportar1Click();
        EXPECT_EQ(codes, (QList<int>{xeOverwriteRefused, xeExportFailed}));
        EXPECT_EQ(w.messages.texts(), QStringList{kMsgExportExists});
        EXPECT_EQ(readAllOf(path), "old");
        EXPECT_TRUE(w.exportScript.events.contains("progress closed"));
        // Two exports in a row both ask for a name.
        w.files.paths = {path};
        w.form->Exportar1Click();
        EXPECT_EQ(w.files.asked.size(), 2);
        EXPECT_EQ(w.files.asked[0].title, "Salvar documento");
        EXPECT_TRUE(w.form->ClientDataSet1().saved());
    }
    {   // write failure: no message, not saved
        Window w;
        w.form->btnLerDadosClick();
        w.files.paths = {w.dir.filePath("missing/x.xls")};
        w.form->Exportar1Click();
        EXPECT_TRUE(w.messages.shown.isEmpty());
        EXPECT_FALSE(w.form->ClientDataSet1().saved());
    }
    {   // no source at all
        Window w;
        w.form->dtDataSetExport1.Source = nullptr;
        w.files.paths = {w.dir.filePath("y.xls")};
        w.form->Exportar1Click();
        EXPECT_EQ(w.messages.texts(), QStringList{"Erro: componente nulo"});
    }
}

TEST(ExportRun, ViewStylePicksTheFirstFreeTemporaryName) {
    Window w;
    w.form->btnLerDadosClick();
    for (const char* n : {"QEX1.XLS", "QEX2.XLS"}) {
        QFile f(w.dir.filePath(n));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    w.exportScript.style = xsView;
    w.form->Exportar1Click();
    EXPECT_EQ(w.viewer.opened, QStringList{w.dir.filePath("QEX3.XLS")});
    EXPECT_FALSE(readAllOf(w.dir.filePath("QEX3.XLS")).isEmpty());
    EXPECT_EQ(w.form->dtDataSetExport1.ExportStyle, xsView);
    EXPECT_EQ(w.messages.texts(), QStringList{kMsgExportOk});
}

TEST(ExportRun, FileStyleForcesTheExtensionAndKeepsFileName) {
    Window w;
    w.form->btnLerDadosClick();
    auto& x = w.form->dtDataSetExport1;
    x.ExportStyle = xsFile;
    x.FileName = w.dir.filePath("report.txt");
    x.RunExport();
    EXPECT_TRUE(QFile::exists(w.dir.filePath("report.XLS")));
    EXPECT_EQ(x.FileName, w.dir.filePath("report.txt"));
}

TEST(ExportRun, MoreRowsThanASheetHoldsFailsBeforeWriting) {
    Window w;
    fillMeasurements(w.form->ClientDataSet1(), 16384);
    w.form->ComboBox1Change(); // no entry in the list: no test shown
    auto& x = w.form->dtDataSetExport1;
    x.Source = [&] { return std::make_unique<acq::Records>(w.form->ClientDataSet1().toRecords()); };
    x.ExportStyle = xsFile;
    x.FileName = w.dir.filePath("big.xls");
    x.RunExport();
    EXPECT_FALSE(QFile::exists(w.dir.filePath("big.XLS")));
    EXPECT_TRUE(w.messages.shown.isEmpty());
}

TEST(ExportRun, AnyFailureInsideTheOutputPassEndsTheRunAsPromised) {
    struct Case { const char* name; std::function<void()> thrower; } cases[] = {
        {"a standard exception", [] { throw std::runtime_error("handler broke"); }},
        {"something else", [] { throw 42; }},
    };
    for (const auto& c : cases) {
        Window w;
        w.form->btnLerDadosClick();
        const QString path = w.dir.filePath("x.xls");
        QList<int> codes;
        int ends = 0;
        auto& x = w.form->dtDataSetExport1;
        x.OnError = [&](TdtExportError e) { codes << e; };
        x.OnEndExport = [&] { ++ends; };
        x.OnExport = [&](quint32, quint32, TdtValues&, bool) { c.thrower(); };
        w.files.paths = {path};
        w.form->Exportar1Click();
        EXPECT_EQ(codes, QList<int>{xeExportFailed}) << c.name;
        EXPECT_EQ(ends, 1) << c.name;
        EXPECT_FALSE(QFile::exists(path)) << c.name;
        EXPECT_TRUE(w.exportScript.events.contains("progress closed")) << c.name;
    }
}

// ---- the files as the export wrote them before it was split and sped up --------------------

namespace {

QString goldenPath(const QString& name) { return QStringLiteral(REGISTRADOR_DATA_DIR "/../tests/golden/") + name; }


// Texts that walk every branch of the cell rule and of the text conversion.
const char* const kMixedTexts[] = {
    "23.456", "  12", "12 ", "$1F", "0x1F", "-$1F", "1e", ".", "E5", "1.234,5", "", "-", "$",
    " X1f", "$FFFFFFFF", "$100000000", "+7", "5.", "-0", "-.", "1e400", "1e-400", "0.1", ".5",
    "5e+3", "123.456e-5", "   -0.000", "0.30000000000000004", "2.2250738585072011e-308",
    "4.9406564584124654e-324", "1.7976931348623157e308", "9007199254740993",
    "123456789012345678901234567890", "0.000000000000000000000000000001234567890123456789",
    "17976931348623157000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "00000000000000000000000000000000000000000",
    "2008", "ação € ° ç", "Ω omega", "abcdefghijklmnopqrstuvwxyz", "\xef\xbc\x91\xef\xbc\x92",
    "1٫5", "٣", "0x", "x", "0X7fffffff", "$fffffffff", "1e+", "1e-5x", "+", "++1", "1..2", "-1.5e2",
};

acq::Records mixedTable() {
    auto field = [](const char* name, acq::FieldType type, int size = 0, const char* format = "",
                    const char* label = "", bool visible = true) {
        acq::FieldDef d;
        d.name = QString::fromUtf8(name);
        d.type = type;
        d.size = size;
        d.displayFormat = QString::fromUtf8(format);
        d.displayLabel = QString::fromUtf8(label);
        d.visible = visible;
        return d;
    };
    using T = acq::FieldType;
    acq::Records t({field("Id", T::AutoInc), field("Big", T::LargeInt), field("Price", T::Float, 0, "0.00"),
                  field("Raw", T::Float), field("Name", T::String, 20), field("Flag", T::Boolean),
                  field("Day", T::Date), field("Hour", T::Time), field("When", T::DateTime),
                  field("Blob", T::Binary), field("Hidden", T::Integer, 0, "", "", false),
                  field("Label", T::String, 6, "", "Temp. (°C)")});
    const int n = static_cast<int>(std::size(kMixedTexts));
    for (int i = 0; i < n + 3; ++i) {
        const qsizetype r = t.appendRow();
        auto set = [&](int f, const QVariant& v) { t.value(r, f) = v; };
        set(0, qint64(i) + 1);
        set(1, qint64(i) * 123456789 - 5000000000LL);
        set(2, i * 1.005);
        set(3, i % 4 == 3 ? QVariant() : QVariant(i / 7.0));
        if (i < n)
            set(4, QString::fromUtf8(kMixedTexts[i]));
        else if (i == n)
            set(4, QString(300, QLatin1Char('w')));
        else if (i == n + 1)
            set(4, QStringLiteral("nul") + QChar(0) + QStringLiteral("after"));
        if (i % 3 != 2)
            set(5, i % 3 == 0);
        if (i % 5 != 4)
            set(6, QDate(2024, 1, 1).addDays(i * 17));
        set(7, QTime(i % 24, i % 60, (i * 7) % 60));
        set(8, QDateTime(QDate(2023, 12, 31).addDays(i), QTime(12, i % 60, 0)));
        set(9, QByteArray("blob"));
        set(10, i);
        set(11, QString::number(i * 1.5));
    }
    return t;
}

// A source that aligns its columns in turn, for the alignment path of the cell rule.
class AlignedExport : public TdtDataSetExport {
public:
    TdtColumnAlignment ColumnAlignment(int index) override { return static_cast<TdtColumnAlignment>(index % 4); }
};

void programSettings(TdtDataSetExport& x, const acq::Records& t) {
    configureMeasurementExport(x);
    x.DataSet = &t;
    x.ExportStyle = xsFile;
    x.Options &= ~opt(xoShowProgress);
}

void everyOption(TdtDataSetExport& x, const acq::Records& t) {
    programSettings(x, t);
    x.Options |= opt(xoRowNumbers) | opt(xoTruncate) | opt(xoExportInvisibles);
    x.setRowNumberFormat(QStringLiteral("%03d"));
    x.TruncateSymbol = QStringLiteral("~");
    x.ColumnWidths = QStringList{QString(), QStringLiteral("4"), QStringLiteral("x"), QStringLiteral("6"),
                                 QStringLiteral("3"), QStringLiteral("-2"), QStringLiteral("0")};
    x.Captions = QStringList{QStringLiteral("2008"), QStringLiteral("Código"), QStringLiteral("$10")};
    x.OnGetHeader = [](quint32 n, QString& h) { h = QStringLiteral("Relatório de %1\r\n12\nterceira").arg(n); };
    x.OnGetFooter = [](quint32, QString& f) { f = QStringLiteral("fim\r0x10"); };
    x.OnExport = [](quint32 cur, quint32, TdtValues& v, bool) {
        if (cur % 2 == 0 && v.size() > 2)
            v[2] = QStringLiteral("trocado %1").arg(cur);
    };
    x.EXCEL.Header = QStringLiteral("Cabeçalho");
    x.EXCEL.Footer = QStringLiteral("Página &P");
    x.EXCEL.Protected = true;
    x.EXCEL.Options = reSetColumnWidths | reSetMargins | reUseBorders;
    x.EXCEL.ColumnWidth = 13;
    x.EXCEL.ExcelVersion = xls21;
    x.EXCEL.LeftMargin = 0.5;
    x.EXCEL.TableFont.italic = true;
    x.EXCEL.TableFont.size = 10;
    x.EXCEL.DefaultFont.underline = true;
    x.EXCEL.DefaultFont.strikeout = true;
    x.EXCEL.DefaultFont.name = QStringLiteral("Arial");
}

void cellsAsText(TdtDataSetExport& x, const acq::Records& t) {
    programSettings(x, t);
    x.Options |= opt(xoRowNumbers);
    x.Options &= ~opt(xoShowHeader);
    x.EXCEL.Options = reCellsAsText;
    x.EXCEL.Footer.clear();
    x.EXCEL.ExcelVersion = xls30;
}

void labelledRowNumbers(TdtDataSetExport& x, const acq::Records& t) {
    programSettings(x, t);
    x.Options |= opt(xoRowNumbers) | opt(xoSelectedRowsOnly);
    x.Options &= ~opt(xoUseAlignments);
    x.setRowNumberFormat(QStringLiteral("Linha %d"));
    x.EXCEL.ExcelVersion = xls40;
    x.EXCEL.Options = 0;
}

struct Golden {
    const char* file;
    std::function<acq::Records()> table;
    std::function<void(TdtDataSetExport&, const acq::Records&)> settings;
    bool aligned = false;
};

acq::Records measurements(int n) {
    acq::Measurements m;
    fillMeasurements(m, n);
    return m.toRecords();
}

QByteArray exportToBytes(const Golden& g, const QString& dir) {
    const auto t = g.table();
    std::unique_ptr<TdtDataSetExport> x = g.aligned ? std::make_unique<AlignedExport>() : std::make_unique<TdtDataSetExport>();
    g.settings(*x, t);
    x->FileName = dir + QStringLiteral("/golden.xls");
    QList<int> errors;
    x->OnError = [&](TdtExportError e) { errors << e; };
    x->RunExport();
    EXPECT_TRUE(errors.isEmpty()) << g.file << " " << x->lastFailure().toStdString();
    return readAllOf(dir + QStringLiteral("/golden.XLS"));
}

const Golden kGoldens[] = {
    {"measurement-300.xls", [] { return measurements(300); }, programSettings},
    {"mixed-program.xls", mixedTable, programSettings},
    {"mixed-every-option.xls", mixedTable, everyOption},
    {"mixed-cells-as-text.xls", mixedTable, cellsAsText},
    {"mixed-row-labels.xls", mixedTable, labelledRowNumbers},
    {"mixed-aligned.xls", mixedTable, everyOption, true},
};

} // namespace

// Every golden file, written again by today's export, byte for byte. With
// REGISTRADOR_WRITE_GOLDEN=1 the files are written instead (only ever from a known-good export).
TEST(ExportGolden, SameBytesAsTheKeptFiles) {
    const bool write = qEnvironmentVariableIntValue("REGISTRADOR_WRITE_GOLDEN") == 1;
    for (const Golden& g : kGoldens) {
        QTemporaryDir dir;
        const QByteArray now = exportToBytes(g, dir.path());
        ASSERT_FALSE(now.isEmpty()) << g.file;
        if (write) {
            QFile f(goldenPath(QString::fromLatin1(g.file)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << g.file;
            f.write(now);
            continue;
        }
        const QByteArray kept = readAllOf(goldenPath(QString::fromLatin1(g.file)));
        ASSERT_FALSE(kept.isEmpty()) << g.file;
        EXPECT_EQ(now.size(), kept.size()) << g.file;
        qsizetype at = 0;
        while (at < now.size() && at < kept.size() && now[at] == kept[at])
            ++at;
        EXPECT_EQ(at, std::max(now.size(), kept.size())) << g.file << ": first difference at byte " << at;
    }
}

// The benchmark's 8 000-row test: too big to keep, so its digest is kept (taken from the same
// export that wrote the golden files).
TEST(ExportGolden, EightThousandRowsSameDigest) {
    QTemporaryDir dir;
    const Golden g{"", [] { return measurements(8000); }, programSettings};
    const QByteArray now = exportToBytes(g, dir.path());
    EXPECT_EQ(now.size(), 1216366);
    EXPECT_EQ(QCryptographicHash::hash(now, QCryptographicHash::Sha256).toHex().toStdString(), "79b3f8f2d625bddca22c764473bf8546fa623bf572bbf8dfa77ff8e2f5349aaa");
}

// ---- the platform seams ----------------------------------------------------------------------

namespace {

// Windows that confirm the chooser with "to file".
class TestWindows : public TdtExportUi {
public:
    TestWindows(QStringList& log, QString savePath) : log_(log), savePath_(std::move(savePath)) {}
    bool choose(TdtCustomExport& c) override {
        log_ << QStringLiteral("chooser");
        c.ExportStyle = xsFile;
        return true;
    }
    void progressShow(TdtCustomExport&, int) override {}
    void progressPosition(int) override {}
    void progressClose() override {}

private:
    QStringList& log_;
    QString savePath_;
};

// Windows from a factory, as a program with a display gives them; each making logged as `made`
// when it is given. A factory without windows stands for a program without a display.
class TestWindowsFactory : public TdtWindowsFactory {
public:
    TestWindowsFactory(QStringList& log, QString savePath, QString made, bool windows = true)
        : log_(log), savePath_(std::move(savePath)), made_(std::move(made)), windows_(windows) {}
    std::unique_ptr<TdtExportUi> create() override {
        if (!made_.isEmpty())
            log_ << made_;
        return windows_ ? std::make_unique<TestWindows>(log_, savePath_) : nullptr;
    }

private:
    QStringList& log_;
    QString savePath_;
    QString made_;
    bool windows_;
};

struct SeamRig {
    QTemporaryDir dir;
    acq::Records table;
    QStringList log;
    ScriptedFiles files;
    ScriptedMessages messages;
    RecordingViewer viewer;
    TestWindowsFactory factory{log, dir.filePath("escolhido"), QStringLiteral("windows made")};
    TestWindowsFactory quietFactory{log, dir.filePath("escolhido"), QString()};
    TestWindowsFactory emptyFactory{log, QString(), QStringLiteral("no windows"), false};
    TdtDataSetExport x;

    SeamRig() {
        table = measurements(3);
        programSettings(x, table);
        x.setTempDir(dir.path());
    }
    void giveWindows() {
        x.setWindowsFactory(&quietFactory);
    }
    // Choose and export to a file, refuse a row-number pattern, export to view.
    void play() {
        x.ChooseAndExport();
        log << (QFile::exists(dir.filePath("escolhido.XLS")) ? "file written" : "no file");
        x.setRowNumberFormat(QStringLiteral("Row"));
        x.ExportStyle = xsView;
        x.RunExport();
        log << (QFile::exists(dir.filePath("QEX1.XLS")) ? "viewed file written" : "no viewed file");
        for (const FileDialogSpec& s : files.asked)
            log << QStringLiteral("program's save dialog %1|%2|%3|%4|%5")
                       .arg(s.title, s.filter, s.defaultSuffix)
                       .arg(s.confirmOverwrite)
                       .arg(s.directory == QCoreApplication::applicationDirPath() ? "program folder" : s.directory);
        for (const ShownMessage& m : messages.shown)
            log << QStringLiteral("program's message %1 %2")
                       .arg(m.kind == MsgKind::Error ? "error" : m.kind == MsgKind::Information ? "information" : "other",
                            QString(m.text).replace(QDir::toNativeSeparators(dir.path()), "DIR").replace(dir.path(), "DIR"));
        for (const QString& p : viewer.opened)
            log << QStringLiteral("program's viewer ") + QFileInfo(p).fileName();
    }
};

} // namespace

TEST(ExportSeams, SaveDialogErrorBoxAndViewerByWiring) {
    const QString saveLine = QStringLiteral("Salvar documento|Arquivos do Microsoft Excel (*.xls)|*.XLS|XLS");
    const QString refused = QStringLiteral("The format has to contain %d string.");
    struct Case {
        const char* name;
        std::function<void(SeamRig&)> wire;
        QStringList expected;
    } cases[] = {
        {"no windows and no seams: headless", [](SeamRig&) {},
         {"no file", "viewed file written"}},
        {"the program's seams",
         [](SeamRig& r) {
             r.giveWindows();
             r.files.paths = {r.dir.filePath("escolhido")};
             connectExportSeams(r.x, r.files, r.messages, r.viewer, QStringLiteral("Sem visualizador:"));
         },
         {"chooser", "file written", "viewed file written",
          "program's save dialog " + saveLine + "|0|program folder", "program's message error " + refused,
          "program's viewer QEX1.XLS"}},
        {"the program's viewer cannot open the file: the user is told",
         [](SeamRig& r) {
             r.giveWindows();
             r.files.paths = {r.dir.filePath("escolhido")};
             r.viewer.canOpen = false;
             connectExportSeams(r.x, r.files, r.messages, r.viewer, QStringLiteral("Sem visualizador:"));
         },
         {"chooser", "file written", "viewed file written",
          "program's save dialog " + saveLine + "|0|program folder", "program's message error " + refused,
          "program's message information Sem visualizador:\n" + QDir::toNativeSeparators("DIR/QEX1.XLS"),
          "program's viewer QEX1.XLS"}},
        {"seams set back to none: a save dialog that is cancelled, no box, no viewer",
         [](SeamRig& r) {
             r.giveWindows();
             connectExportSeams(r.x, r.files, r.messages, r.viewer, QString());
             r.x.setSaveDialog(nullptr);
             r.x.setErrorBox(nullptr);
             r.x.setViewer(nullptr);
         },
         {"chooser", "no file", "viewed file written"}},
        {"windows from a factory, made once",
         [](SeamRig& r) {
             r.x.setWindowsFactory(&r.factory);
             r.files.paths = {r.dir.filePath("escolhido")};
             connectExportSeams(r.x, r.files, r.messages, r.viewer, QString());
         },
         {"windows made", "chooser", "file written", "viewed file written",
          "program's save dialog " + saveLine + "|0|program folder", "program's message error " + refused,
          "program's viewer QEX1.XLS"}},
        {"a factory that has no windows: none, asked again when needed",
         [](SeamRig& r) { r.x.setWindowsFactory(&r.emptyFactory); },
         {"no windows", "no file", "viewed file written"}},
    };
    for (const Case& c : cases) {
        SeamRig r;
        c.wire(r);
        r.play();
        EXPECT_EQ(r.log, c.expected) << c.name;
    }
}
