// The evaluation window offscreen on the demo tests, and its agreement with the command line.
#include "acquisition/datapacket.h"
#include "acquisition/download.h"
#include "app/evaluationdialog.h"
#include "app/recorddialog.h"
#include "app/resultswindow.h"
#include "app/sampleswindow.h"
#include "app/serieswindow.h"
#include "app/signdialog.h"
#include <QPlainTextEdit>
#include <deque>
#include <array>
#include "app/tform1.h"
#include "tests/pgserver.h"
#include "records/store.h"
#include "tests/support.h"
#include "app/windowmemory.h"
#include "tools/emulator/demoimage.h"
#include "tools/emulator/fakeseriallibrary.h"

#include <QCheckBox>
#include <QApplication>
#include <QHeaderView>
#include <QSettings>
#include <QTableWidget>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QClipboard>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QMenu>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QRadioButton>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

const AsWindowProgram kAsWindowProgram;

namespace {


struct Rig {
    emu::LoggerModel model{emu::demoImage()};
    emu::FakeSerialLibrary lib{&model};
    RecordingClock clock;
    lnk::SerialChannel ch{lib, clock};
    acq::Measurements table;
    ScriptedFiles files;
    ScriptedMessages messages;
    Rig() {
        ch.setPort(1);
        ch.openPort(1);
        ProgressListener l;
        EXPECT_EQ(downloadInto(ch, table, l), acq::DownloadResult::Done);
    }
};

} // namespace

TEST(EvaluationWindow, AutomaticThenDraggedLimitsMethodsAndCalorimetry) {
    Rig r;
    TFormAvaliacao d(r.table, r.table.tests().at(0), QStringLiteral("demo.dat"), {}, r.files, r.messages);
    EXPECT_EQ(d.windowTitle(), "Avaliação do Ensaio 1");
    ASSERT_TRUE(d.outcome().ok()) << d.outcome().error.toStdString();
    const eval::Result automatic = *d.outcome().result;
    EXPECT_TRUE(automatic.automatic);
    // Shown rounded, read back whole: the field means the limit found, not a neighbour of it.
    EXPECT_EQ(d.EditB->text(), ses::fixed(automatic.periods.b, 2));
    EXPECT_DOUBLE_EQ(d.EditB->value(), automatic.periods.b);
    const auto samples = ses::testSamples(r.table, r.table.tests().at(0));
    const eval::Outcome same = eval::evaluate(samples, eval::Method::RegnaultPfaundler);
    EXPECT_EQ(same.result->riseCorrected, automatic.riseCorrected);

    // Moving C as a drag would: the periods become the user's and the result follows.
    d.setLimit(2, automatic.periods.c - 1.0);
    ASSERT_TRUE(d.outcome().ok());
    EXPECT_FALSE(d.outcome().result->automatic);
    EXPECT_NEAR(d.outcome().result->periods.c, automatic.periods.c - 1.0, 0.006);
    EXPECT_NE(d.outcome().result->riseCorrected, automatic.riseCorrected);
    const auto given = eval::evaluate(samples, eval::Method::RegnaultPfaundler, d.inputs().periods);
    EXPECT_EQ(d.outcome().result->riseCorrected, given.result->riseCorrected);
    // A limit typed past its neighbour stops one reading before it.
    d.EditA->setValue(d.EditC->value() + 1);
    ASSERT_TRUE(d.inputs().periods);
    EXPECT_NEAR(d.inputs().periods->a, d.inputs().periods->b - 5.0 / 60, 1e-9);
    // What is not a number is refused on the spot, and no result stays on show.
    d.EditA->setText("1,2,3");
    EXPECT_FALSE(d.outcome().ok());
    EXPECT_TRUE(d.outcome().error.contains("\"1,2,3\" não é um número")) << d.outcome().error.toStdString();
    EXPECT_FALSE(d.btnRelatorio->isEnabled());
    EXPECT_FALSE(d.btnCopiar->isEnabled());
    d.EditA->setText("0");
    d.AutomaticoClick();
    ASSERT_TRUE(d.outcome().ok());
    EXPECT_EQ(d.outcome().result->riseCorrected, automatic.riseCorrected);

    d.ComboMetodo->setCurrentIndex(1);
    ASSERT_TRUE(d.outcome().ok());
    EXPECT_EQ(d.outcome().result->method, eval::Method::Dickinson);
    EXPECT_TRUE(d.outcome().result->b.has_value());

    // Calibration gives W; that W on the standard's own run gives its heat back.
    d.RadioCalibracao->setChecked(true);
    d.EditMassa->setValue(1.0);
    d.EditFio->setValue(50);
    ASSERT_TRUE(d.energyEquivalent());
    const double w = *d.energyEquivalent();
    EXPECT_NEAR(w, (1.0 * 26454 + 50) / d.outcome().result->riseCorrected, 1e-6);
    d.RadioAmostra->setChecked(true);
    d.EditEquivalente->setValue(std::round(w * 10) / 10);
    ASSERT_TRUE(d.outcome().result->grossCalorificValue);
    EXPECT_NEAR(*d.outcome().result->grossCalorificValue, 26454, 0.2);

    // The results as text, and the report through the file seam.
    d.CopiarClick();
    const QString sheet = QApplication::clipboard()->text();
    EXPECT_TRUE(sheet.contains(QStringLiteral("Elevação corrigida\t%1\tK").arg(ses::fixed(d.outcome().result->riseCorrected, 4).replace('.', ','))))
        << sheet.toStdString();
    EXPECT_EQ(sheet.count("Equivalente energético"), 1); // each figure once
    QTemporaryDir dir;
    r.files.paths = {dir.filePath("r.pdf")};
    d.RelatorioClick();
    EXPECT_TRUE(readAllOf(dir.filePath("r.pdf")).startsWith("%PDF"));
    EXPECT_TRUE(r.messages.shown.isEmpty());
    r.files.paths = {dir.filePath("no/such/r.pdf")};
    d.RelatorioClick();
    ASSERT_EQ(r.messages.shown.size(), 1);
    EXPECT_TRUE(r.messages.shown[0].text.contains("a pasta não existe"));
}

TEST(EvaluationWindow, ARunWithoutARiseSaysSoAndManualPeriodsStillWork) {
    Rig r;
    // A flat test: the external temperature rows of test 1 as if they were a whole test.
    acq::Measurements flat;
    flat.startTest(7);
    for (int i = 1; i <= 120; ++i)
        flat.addSample(acq::Row{0, 7, i, acq::sampleMinutes(i), acq::rawToCelsius(400 + (i % 2)), 22.0});
    TFormAvaliacao d(flat, flat.tests().at(0), {}, {}, r.files, r.messages);
    EXPECT_FALSE(d.outcome().ok());
    EXPECT_EQ(d.outcome().error, "Não foi possível identificar o período principal do ensaio.");
    EXPECT_TRUE(d.LabelResultado->text().contains("Não foi possível identificar"));
    d.ComboMetodo->setCurrentIndex(1); // equal period means leave Regnault-Pfaundler undefined
    d.EditD->setValue(9);
    d.EditC->setValue(6);
    d.EditB->setValue(3);
    d.EditA->setValue(0);
    // The limits are the user's, on readings; a run that never fired still gives no result.
    ASSERT_TRUE(d.inputs().periods);
    EXPECT_EQ(d.EditB->text(), "3,00");
    EXPECT_EQ(d.EditC->text(), "6,00");
    EXPECT_FALSE(d.outcome().ok());
    EXPECT_FALSE(d.outcome().error.isEmpty());
    EXPECT_FALSE(d.btnRelatorio->isEnabled());
}

TEST(EvaluationWindow, FromTheChartMenuWithTheEnergyEquivalentKeptInConfig) {
    MainWindowRig w;
    w.model->setMemory(emu::demoImage());
    w.form->btnLerDadosClick();
    QStringList menu;
    for (QAction* a : w.form->ChartMenu->actions())
        menu << a->text();
    EXPECT_EQ(menu, (QStringList{"Avaliar ensaio...", "Salvar gráfico como imagem...", "Restaurar zoom", "Resultados...", "Amostras do dia..."}));
    double calibrated = 0;
    w.onDialog = [&](QDialog& d) {
        auto& e = dynamic_cast<TFormAvaliacao&>(d);
        e.RadioCalibracao->setChecked(true);
        e.EditMassa->setValue(1.0);
        calibrated = e.energyEquivalent().value_or(0);
        return int(QDialog::Accepted);
    };
    w.form->AvaliarEnsaio1->trigger();
    EXPECT_EQ(w.dialogsShown, QStringList{"Avaliação do Ensaio 1"});
    ASSERT_GT(calibrated, 0);
    EXPECT_EQ(w.form->configValue("EquivalenteEnergetico"), QString::number(calibrated, 'f', 1));
    EXPECT_EQ(w.form->configValue("ComPort"), "1"); // the other rows untouched
    // The inputs are kept for the test; a new start-up ignores the new row.
    w.onDialog = [&](QDialog& d) {
        EXPECT_TRUE(dynamic_cast<TFormAvaliacao&>(d).RadioCalibracao->isChecked());
        return int(QDialog::Accepted);
    };
    w.form->AvaliarEnsaio1->trigger();
    w.messages.shown.clear();
    w.start();
    EXPECT_FALSE(w.form->terminationRequested());
    EXPECT_TRUE(w.messages.shown.isEmpty());
    // The next test starts from that energy equivalent.
    w.form->btnLerDadosClick();
    w.form->ComboBox1->setCurrentIndex(1);
    w.form->ComboBox1Change();
    w.onDialog = [&](QDialog& d) {
        auto& e = dynamic_cast<TFormAvaliacao&>(d);
        EXPECT_EQ(e.windowTitle(), "Avaliação do Ensaio 2");
        EXPECT_NEAR(e.EditEquivalente->value(), calibrated, 0.06);
        return int(QDialog::Accepted);
    };
    w.form->AvaliarEnsaio1->trigger();

    // The chart as a picture, through the file seam.
    QTemporaryDir dir;
    w.files.paths = {dir.filePath("g.png")};
    w.form->SalvarGrafico1->trigger();
    EXPECT_TRUE(readAllOf(dir.filePath("g.png")).startsWith("\x89PNG"));
}

namespace {
QString pdfText(const QString& pdf) {
    QProcess p;
    p.start("pdftotext", {"-layout", pdf, "-"});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
    // The date of writing and the data file's name are the only lines allowed to differ.
    lines.erase(std::remove_if(lines.begin(), lines.end(), [](const QString& l) {
        return l.contains("Data do relatório") || l.contains("Arquivo de dados") || l.contains("Página");
    }), lines.end());
    // Figures are compared, not where the layout put them.
    return lines.join('\n').simplified();
}
} // namespace

// Inputs never move the periods; limits are the user's alone. Whatever the user edits, the
// window, the command line given the same inputs and both reports agree on every figure.
TEST(EvaluationWindow, NoSequenceOfEditsChangesAResult) {
    Rig r;
    const acq::TestRun test = r.table.tests().at(0);
    TFormAvaliacao d(r.table, test, QStringLiteral("demo.dat"), {}, r.files, r.messages);
    ASSERT_TRUE(d.outcome().ok());
    const eval::Result automatic = *d.outcome().result;
    // Typing inputs keeps the automatic periods, at full precision.
    d.EditMassa->setText("0,98");
    d.EditEquivalente->setText("10100,5");
    d.ComboMetodo->setCurrentIndex(1);
    d.ComboMetodo->setCurrentIndex(0);
    d.EditFio->setText("50");
    ASSERT_TRUE(d.outcome().ok());
    EXPECT_TRUE(d.outcome().result->automatic);
    EXPECT_FALSE(d.inputs().periods);
    EXPECT_EQ(d.outcome().result->riseCorrected, automatic.riseCorrected);
    EXPECT_DOUBLE_EQ(d.inputs().calorimetry.mass, 0.98);
    EXPECT_EQ(d.LabelAvisos->text(), d.outcome().result->warnings.join('\n'));
    EXPECT_FALSE(d.LabelAvisos->text().isEmpty());
    // Limits typed with a comma, dragged and stepped: always onto a reading.
    d.EditC->setText("11,4");
    d.setLimit(1, automatic.periods.b + 0.03);
    QTest::keyClick(d.EditD, Qt::Key_Down);
    ASSERT_TRUE(d.outcome().ok()) << d.outcome().error.toStdString();
    const eval::Periods used = *d.inputs().periods;
    const auto samples = ses::testSamples(r.table, test);
    for (double limit : {used.a, used.b, used.c, used.d})
        EXPECT_EQ(samples[ses::nearestReading(samples, limit)].t, limit);
    EXPECT_EQ(used.c, samples[ses::nearestReading(samples, 11.4)].t);
    EXPECT_EQ(used.d, samples[ses::nearestReading(samples, automatic.periods.d) - 1].t);

    // The command line with the inputs as the window shows them.
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(acq::saveDatapacket(r.table.toRecords(), dir.filePath("d.dat"), &error)) << error.toStdString();
    const QString periods = QStringList{d.EditA->text(), d.EditB->text(), d.EditC->text(), d.EditD->text()}.join(';');
    const QStringList args{"--test", "1", "--periods", periods, "--mass", "0,98", "--energy-equivalent", "10100,5", "--fuse", "50"};
    QProcess cli;
    cli.start(binFile("registrador-cli"), QStringList{"calc", dir.filePath("d.dat"), "--json"} + args);
    ASSERT_TRUE(cli.waitForFinished(30000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const QJsonObject o = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
    const eval::Result& w = *d.outcome().result;
    EXPECT_EQ(o["rise_corrected"].toDouble(), w.riseCorrected);
    EXPECT_EQ(o["gross_calorific_value"].toDouble(), *w.grossCalorificValue);
    EXPECT_EQ(o["periods"].toObject()["main"].toArray()[1].toDouble(), w.periods.c);
    EXPECT_EQ(o["readings"].toObject()["after"].toInt(), w.countAfter);

    // Both reports, figure for figure.
    r.files.paths = {dir.filePath("window.pdf")};
    d.RelatorioClick();
    cli.start(binFile("registrador-cli"), QStringList{"report", dir.filePath("d.dat"), "--out", dir.filePath("cli.pdf")} + args);
    ASSERT_TRUE(cli.waitForFinished(30000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const QString a = pdfText(dir.filePath("window.pdf")), b = pdfText(dir.filePath("cli.pdf"));
    if (!a.isEmpty()) {
        EXPECT_EQ(a.toStdString(), b.toStdString());
        EXPECT_TRUE(a.contains(ses::fixed(w.riseCorrected, 4)));
    }
}

// "Registrar...": the form asks who and what, keeps what was typed when the database refuses,
// and the record written holds the window's figures.
TEST(EvaluationWindow, RegisteringWritesTheDeterminationOrKeepsTheForm) {
    Rig r;
    QTemporaryDir dir;
    ses::EvaluationRequest in;
    in.calorimetry.mode = eval::Calorimetry::Mode::Sample;
    in.calorimetry.mass = 0.98;
    in.calorimetry.energyEquivalent = 10100.5;
    TFormAvaliacao d(r.table, r.table.tests().at(0), QStringLiteral("demo.dat"), in, r.files, r.messages);
    EXPECT_FALSE(d.btnRegistrar->isVisibleTo(&d)); // no database given
    QString path = QStringLiteral("/proc/registrador/r.sqlite"); // where no database can be made
    int forms = 0;
    d.setResults([&](QString* why) { return ses::openResults(path, why); },
                 [&](QDialog& dialog) {
                     auto& f = static_cast<TFormRegistro&>(dialog);
                     ++forms;
                     if (forms == 1) {
                         f.RegistrarClick(); // no sample code yet: asked for, the form stays
                         f.EditAmostra->setText("CAR-7");
                         f.EditDescricao->setText("Carvão");
                         f.EditData->setDate(QDate(2026, 12, 8));
                         f.EditOxigenioNitrogenio->setText("8"); // without hydrogen: refused, kept
                         f.RegistrarClick();
                         EXPECT_FALSE(f.number());
                         f.EditUmidade->setText("8");
                         f.EditHidrogenio->setText("5,0");
                         f.RegistrarClick();
                         EXPECT_TRUE(f.number());
                     } else {
                         // Another test is another sample until said otherwise; this one is
                         // already recorded, and the form says so before anything is written.
                         EXPECT_EQ(f.EditAmostra->text(), "");
                         EXPECT_EQ(f.EditDescricao->text(), "");
                         EXPECT_EQ(f.EditData->date(), QDate(2026, 12, 8));
                         EXPECT_TRUE(f.LabelPrevia->text().startsWith("Este ensaio já foi registrado: determinação 1"))
                             << f.LabelPrevia->text().toStdString();
                         f.btnCancelar->click();
                     }
                     return f.result();
                 });
    EXPECT_TRUE(d.btnRegistrar->isVisibleTo(&d));
    d.RegistrarClick(); // the database cannot be opened: told, no form
    EXPECT_EQ(forms, 0);
    path = dir.filePath("resultados.sqlite");
    d.RegistrarClick();
    d.RegistrarClick();
    ASSERT_EQ(r.messages.shown.size(), 3);
    EXPECT_TRUE(r.messages.shown[0].text.startsWith("Não foi possível gravar no banco de resultados:"));
    EXPECT_EQ(r.messages.shown[1].text, ses::msg::RecordNeedsSample);
    EXPECT_EQ(r.messages.shown[2].text, ses::msg::RecordNotSaved.arg(ses::msg::NetNeeds));
    EXPECT_EQ(d.LabelRegistro->text(), "Determinação registrada com o número 1.");
    QString why;
    const auto store = ses::openResults(path, &why);
    ASSERT_TRUE(store) << why.toStdString();
    const auto back = store->determination(1, &why);
    ASSERT_TRUE(back) << why.toStdString();
    EXPECT_EQ(back->sampleCode, "CAR-7");
    EXPECT_EQ(back->description, "Carvão");
    EXPECT_EQ(back->testDate, QDate(2026, 12, 8));
    EXPECT_EQ(back->result.grossCalorificValue, d.outcome().result->grossCalorificValue);
    EXPECT_EQ(back->readings.size(), r.table.tests().at(0).rows.size());
    // The net value from the analysis typed, by ISO 1928's form on the dry basis.
    const double dry = *back->result.grossCalorificValue * 100 / 92;
    EXPECT_NEAR(*back->netCalorificValue, (dry - 212.2 * 5 - 0.8 * 8) * 0.92 - 24.43 * 8, 1e-9);
    EXPECT_EQ(back->moisture, 8);
    EXPECT_EQ(back->oxygenNitrogenDry, 8); // typed before the refusal, kept in the form
    // Once recorded, the window's report is the record's: its number, sample and operator.
    r.files.paths = {dir.filePath("registrada.pdf")};
    d.RelatorioClick();
    if (const QString text = pdfText(dir.filePath("registrada.pdf")); !text.isEmpty()) {
        EXPECT_TRUE(text.contains("Determinação nº 1") && text.contains("CAR-7") && text.contains("Operador:"))
            << text.toStdString();
    }
    d.RegistrarClick();
    EXPECT_EQ(forms, 3);
    EXPECT_EQ(store->list(&why)->size(), 1); // cancelled: nothing more
}

// The results window lists every determination with its sample's verdict, filters and sorts
// it, opens one from the record alone, reprints its report, exports the list, and rejects the
// one chosen with a reason, which then stays listed as rejected.
TEST(ResultsWindow, ListsFiltersSortsOpensReprintsExportsAndRejects) {
    Rig r;
    QTemporaryDir dir;
    const QString path = dir.filePath("resultados.sqlite");
    QString why;
    {
        const auto store = ses::openResults(path, &why);
        ASSERT_TRUE(store) << why.toStdString();
        ses::EvaluationRequest in;
        in.calorimetry.mass = 0.98;
        struct Made { const char* code; double w; const char* calorimeter; QDate date; bool calibration; } made[] = {
            {"A-1", 10100.0, "BC-200", QDate(2026, 12, 7), false},     {"A-1", 10140.0, "BC-200", QDate(2026, 12, 8), false},
            {"B-2", 10100.0, "BC-200 nº 2", QDate(2026, 12, 8), false}, {"B-2", 10400.0, "BC-200", QDate(2026, 12, 9), false},
            {"AB-7", 0, "BC-200 nº 2", QDate(2026, 12, 9), true},
        };
        for (const Made& m : made) {
            in.calorimetry.mode = m.calibration ? eval::Calorimetry::Mode::Calibration : eval::Calorimetry::Mode::Sample;
            in.calorimetry.energyEquivalent = m.w;
            const acq::TestRun& t = r.table.tests().at(0);
            const auto o = ses::evaluateTest(r.table, t, in);
            ASSERT_TRUE(o.ok());
            rec::Determination d = ses::determinationOf({m.code, {}, "Ana", m.calorimeter, m.date, {}, {}}, r.table, t, {}, in,
                                                        *o.result);
            d.readings[0].text += m.w / 1e6 + m.date.day() / 1e3; // each its own test
            ASSERT_TRUE(store->record(d, &why)) << why.toStdString();
        }
    }
    QList<QString> opened;
    TFormResultados w([&](QString* e) { return ses::openResults(path, e); }, r.messages, r.files, nullptr,
                      [&](QDialog& dialog) {
                          auto& f = static_cast<TFormDeterminacao&>(dialog);
                          opened << f.windowTitle() + "|" + f.LabelIdentidade->text() + "|" + f.LabelResultado->text();
                          r.files.paths = {dir.filePath("aberta.pdf")};
                          f.btnRelatorio->click();
                          return 0;
                      });
    ASSERT_TRUE(w.refresh());
    ASSERT_EQ(w.Lista->rowCount(), 5);
    auto cell = [&](int row, int col) { return w.Lista->item(row, col)->text(); };
    auto column = [&](int col) {
        QStringList c;
        for (int row = 0; row < w.Lista->rowCount(); ++row)
            c << cell(row, col);
        return c;
    };
    EXPECT_EQ(column(0), (QStringList{"5", "4", "3", "2", "1"})); // newest first
    EXPECT_EQ(cell(1, 7), "repetir");
    EXPECT_TRUE(cell(4, 7).startsWith("concordam: ")) << cell(4, 7).toStdString();
    EXPECT_EQ(cell(0, 7), ""); // a calibration has no duplicates
    EXPECT_EQ(cell(4, 8), "válida");
    EXPECT_EQ(w.LabelTotal->text(), "5 determinações");
    EXPECT_EQ(w.ComboCalorimetro->count(), 3); // "todos" and the two named

    // Each filter, then all cleared.
    struct Step { std::function<void()> set; QStringList ids; } steps[] = {
        {[&] { w.ComboTipo->setCurrentIndex(2); }, {"5"}},
        {[&] { w.ComboTipo->setCurrentIndex(1); }, {"4", "3", "2", "1"}},
        {[&] { w.ComboCalorimetro->setCurrentText("BC-200 nº 2"); }, {"3"}},
        {[&] { w.ComboCalorimetro->setCurrentIndex(0); w.EditDe->setDate(QDate(2026, 12, 8)); }, {"4", "3", "2"}},
        {[&] { w.EditAte->setDate(QDate(2026, 12, 8)); }, {"3", "2"}},
        {[&] { w.EditFiltro->setText("a-"); }, {"2"}},
        {[&] { w.EditFiltro->clear(); w.EditDe->setDate(w.EditDe->minimumDate()); w.EditAte->setDate(w.EditAte->minimumDate());
               w.ComboTipo->setCurrentIndex(0); }, {"5", "4", "3", "2", "1"}},
    };
    for (const Step& st : steps) {
        st.set();
        EXPECT_EQ(column(0), st.ids);
    }
    // Sorted by the result, in MJ/kg: the numbers, not their text.
    w.ComboUnidade->setCurrentText("MJ/kg");
    EXPECT_TRUE(cell(1, 5).endsWith(" MJ/kg")) << cell(1, 5).toStdString();
    w.Lista->sortByColumn(5, Qt::AscendingOrder);
    QList<double> values;
    for (int row = 0; row < w.Lista->rowCount(); ++row)
        if (cell(row, 1) == "amostra")
            values << eval::parseDecimal(cell(row, 5).section(' ', 0, 0)).value_or(-1);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(values.size(), 4);

    // Opened and reprinted from the record; the list exported as the lab's spreadsheet and CSV.
    w.AbrirClick(); // nothing chosen
    EXPECT_EQ(r.messages.texts().last(), ses::msg::ChooseDeterminationToOpen);
    w.Lista->sortByColumn(0, Qt::AscendingOrder);
    w.Lista->selectRow(0);
    w.AbrirClick();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].startsWith("Determinação nº 1|")) << opened[0].toStdString();
    EXPECT_TRUE(opened[0].contains("A-1")) << opened[0].toStdString();
    EXPECT_TRUE(opened[0].contains("Poder calorífico superior")) << opened[0].toStdString();
    EXPECT_TRUE(readAllOf(dir.filePath("aberta.pdf")).startsWith("%PDF"));
    r.files.paths = {dir.filePath("lista.csv")};
    w.ExportarClick();
    const QStringList lines = QString::fromUtf8(readAllOf(dir.filePath("lista.csv"))).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines[0].contains("Resultado (MJ/kg)")) << lines[0].toStdString();
    // In the order shown: sorted by number, ascending.
    EXPECT_TRUE(lines[1].startsWith("1;amostra;A-1;")) << lines[1].toStdString();
    EXPECT_TRUE(lines[5].startsWith("5;")) << lines[5].toStdString();
    r.files.paths = {dir.filePath("lista.xls")};
    w.ExportarClick();
    ASSERT_TRUE(QFile::exists(dir.filePath("lista.xls"))) << r.messages.texts().join(" / ").toStdString();
    EXPECT_TRUE(readAllOf(dir.filePath("lista.xls")).startsWith("\x09\x08")); // a BIFF workbook's first record
    int rc = 0;
    const auto cells = runPython(QStringLiteral(REGISTRADOR_DATA_DIR "/../tests/read_xls.py"), {dir.filePath("lista.xls")}, &rc);
    if (cells && rc == 0) {
        EXPECT_TRUE(QString::fromUtf8(*cells).contains("A-1")) << cells->toStdString();
    }

    // Enter in the filters or the reason neither closes the window nor rejects.
    w.show();
    for (QWidget* e : std::initializer_list<QWidget*>{w.EditFiltro, w.EditMotivo, w.EditDe, w.EditAte}) {
        if (auto* l = qobject_cast<QLineEdit*>(e))
            l->setText("a-1");
        e->setFocus();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(e, &enter);
        EXPECT_TRUE(w.isVisible()) << e->objectName().toStdString();
        EXPECT_EQ(w.result(), 0);
    }
    w.EditMotivo->clear();

    // Rejected with a reason; it stays listed, and the verdict counts only what is valid.
    w.EditFiltro->setText("a-1");
    ASSERT_EQ(w.Lista->rowCount(), 2);
    w.Lista->clearSelection();
    w.RejeitarClick(); // nothing chosen
    EXPECT_EQ(r.messages.texts().last(), ses::msg::ChooseDetermination);
    w.Lista->sortByColumn(0, Qt::DescendingOrder);
    w.Lista->selectRow(0);
    w.EditMotivo->setText("massa errada");
    w.RejeitarClick();
    ASSERT_EQ(w.Lista->rowCount(), 2);
    EXPECT_EQ(cell(0, 8), "rejeitada: massa errada");
    EXPECT_EQ(cell(1, 7), ""); // a single valid determination left: no verdict yet
    EXPECT_TRUE(w.EditMotivo->text().isEmpty());
    w.ComboSituacao->setCurrentIndex(2);
    EXPECT_EQ(column(0), (QStringList{"2"}));

    // The unit, the order, the columns and the size as the user left them, in the next run.
    QSettings kept(dir.filePath("janelas.ini"), QSettings::IniFormat);
    mem::use(&kept);
    auto open = [&](QString* e) { return ses::openResults(path, e); };
    {
        TFormResultados first(open, r.messages, r.files, nullptr, {});
        first.ComboUnidade->setCurrentText("cal/g");
        first.Lista->sortByColumn(2, Qt::AscendingOrder);
        first.Lista->setColumnWidth(2, 210);
        first.show();
        first.resize(700, 400);
        first.done(0);
    }
    TFormResultados next(open, r.messages, r.files, nullptr, {});
    mem::use(nullptr);
    EXPECT_EQ(next.ComboUnidade->currentText(), "cal/g");
    EXPECT_EQ(next.Lista->horizontalHeader()->sortIndicatorSection(), 2);
    EXPECT_EQ(next.Lista->columnWidth(2), 210);
    EXPECT_EQ(next.size(), QSize(700, 400));
}

// Calibrations of `calorimeter` with these W, straight into the results database.
void recordCalibrations(const QString& db, const QString& calorimeter, std::initializer_list<double> ws) {
    QString why;
    const auto store = ses::openResults(db, &why);
    ASSERT_TRUE(store) << why.toStdString();
    for (const double w : ws) {
        rec::Determination d;
        d.kind = rec::Determination::Kind::Calibration;
        d.sampleCode = "AB";
        d.operatorName = "Ana";
        d.calorimeter = calorimeter;
        d.testDate = QDate(2026, 12, 1);
        d.calorimetry.mode = eval::Calorimetry::Mode::Calibration;
        d.result.energyEquivalent = w;
        d.readings = {{1, 0, 20 + w / 1e6, 21}}; // each its own test
        ASSERT_TRUE(store->record(d, &why)) << why.toStdString();
    }
}

// A sample recorded from the window with its calorimeter's series' W: the window shows that W,
// and closing it leaves config.xml's EquivalenteEnergetico as it was (the series' W is the
// series', and a new series must not fall back to it).
TEST(EvaluationWindow, TheSeriesWIsNotKeptInConfig) {
    MainWindowRig w;
    const QString db = w.dir.filePath("resultados.sqlite");
    writeConfig(w.dir.path(), builtInConfigRows() << std::pair{QStringLiteral("Resultados"), db}
                                                  << std::pair{QStringLiteral("EquivalenteEnergetico"), QStringLiteral("10100.5")});
    w.start();
    w.model->setMemory(emu::demoImage());
    w.form->btnLerDadosClick();
    recordCalibrations(db, "BC-200", {9890, 9895, 9900, 9905, 9910});
    QString label;
    double shown = 0;
    w.onDialog = [&](QDialog& d) {
        if (auto* e = dynamic_cast<TFormAvaliacao*>(&d)) {
            e->RadioAmostra->setChecked(true);
            e->EditMassa->setValue(0.98);
            e->RegistrarClick();
            label = e->LabelRegistro->text();
            shown = e->EditEquivalente->value();
        } else if (auto* f = dynamic_cast<TFormRegistro*>(&d)) {
            // Told before it is written, and again for another calorimeter.
            EXPECT_TRUE(f->LabelPrevia->text().contains("W: 9900,0 J/K (série 1 do calorímetro BC-200)"))
                << f->LabelPrevia->text().toStdString();
            EXPECT_TRUE(f->CheckUsarW->isVisibleTo(f)); // the W typed differs: the user may choose it
            f->EditCalorimetro->setText("BC-300");
            emit f->EditCalorimetro->editingFinished();
            EXPECT_TRUE(f->LabelPrevia->text().contains("W: 10100,5 J/K (config.xml, EquivalenteEnergetico)\n"));
            EXPECT_TRUE(f->LabelPrevia->text().contains("O calorímetro BC-300 não tem série de calibração aceita"))
                << f->LabelPrevia->text().toStdString();
            EXPECT_FALSE(f->CheckUsarW->isVisibleTo(f));
            f->EditCalorimetro->setText("BC-200");
            emit f->EditCalorimetro->editingFinished();
            f->EditAmostra->setText("CAR-1");
            f->RegistrarClick();
            return f->result();
        }
        return int(QDialog::Accepted);
    };
    w.form->AvaliarEnsaio1->trigger();
    EXPECT_EQ(label, "Determinação registrada com o número 6, com o W da série 1 do calorímetro BC-200.")
        << w.messages.texts().join('/').toStdString();
    EXPECT_DOUBLE_EQ(shown, 9900);
    EXPECT_EQ(w.form->configValue("EquivalenteEnergetico"), "10100.5");
}

// The series window: a calorimeter's series with its verdict and chart, the lab's rule set,
// a new series started with its reason (asked first), the series' PDF; each change in the trail.
TEST(SeriesWindow, ShowsTheSeriesSetsTheRuleStartsASeriesAndPrints) {
    Rig r;
    QTemporaryDir dir;
    const QString db = dir.filePath("r.sqlite");
    QString why;
    recordCalibrations(db, "BC-200 nº 1", {10100, 10110, 10090, 10095, 10105});
    TFormSeries f([&](QString* e) { return ses::openResults(db, e); }, "BC-200 nº 1", r.messages, r.files);
    ASSERT_TRUE(f.refresh());
    EXPECT_EQ(f.ComboRegra->currentText(), "DIN 51900");
    EXPECT_FALSE(f.EditMinCorridas->isEnabled());
    EXPECT_TRUE(f.TextoSeries->toPlainText().startsWith("BC-200 nº 1, série 1 (primeira série) — DIN 51900: aceita"))
        << f.TextoSeries->toPlainText().toStdString();
    ASSERT_EQ(f.Grafico->chart().segments.size(), 1);
    EXPECT_DOUBLE_EQ(*f.Grafico->chart().segments[0].centre, 10100);

    // The lab's rule: 6 runs at least, so the five no longer make the series.
    f.ComboRegra->setCurrentIndex(2);
    EXPECT_TRUE(f.EditMinCorridas->isEnabled());
    f.EditMinCorridas->setValue(6);
    f.EditDprMax->setText("abc");
    f.AplicarRegraClick();
    EXPECT_EQ(r.messages.texts().last(), ses::msg::RsdLimitForm);
    f.EditDprMax->setText("0,2");
    f.AplicarRegraClick();
    EXPECT_TRUE(f.TextoSeries->toPlainText().contains("Laboratório: não aceita (5 de 6 corridas)"))
        << f.TextoSeries->toPlainText().toStdString();

    // A new series: the reason is asked for, then a confirmation; "No" leaves it as it was.
    f.NovaSerieClick();
    EXPECT_EQ(r.messages.texts().last(), ses::msg::NewSeriesNeedsReason);
    f.EditMotivo->setText("troca de peça");
    r.messages.answers = {MsgAnswer::No};
    f.NovaSerieClick();
    EXPECT_FALSE(f.TextoSeries->toPlainText().contains("série 2"));
    f.NovaSerieClick();
    EXPECT_TRUE(f.TextoSeries->toPlainText().startsWith("BC-200 nº 1, série 2 (troca de peça)"))
        << f.TextoSeries->toPlainText().toStdString();
    EXPECT_TRUE(f.EditMotivo->text().isEmpty());

    r.files.paths = {dir.filePath("series.pdf")};
    f.RelatorioClick();
    EXPECT_TRUE(readAllOf(dir.filePath("series.pdf")).startsWith("%PDF"));
    // Its runs listed, each with its date, W and whether the series uses it.
    if (const QString text = pdfText(dir.filePath("series.pdf")); !text.isEmpty()) {
        EXPECT_TRUE(text.contains(QRegularExpression("\\d\\d/\\d\\d/\\d{4} 10\\d{3},\\d J/K na média"))) << text.toStdString();
        EXPECT_FALSE(text.contains(QRegularExpression("\\d\\.\\d"))) << "one decimal comma: " << text.toStdString();
        EXPECT_TRUE(text.contains("série 2: troca de peça")) << "the last series' name whole: " << text.toStdString();
    }
    const auto store = ses::openResults(db, &why);
    const auto trail = store->verify(&why);
    ASSERT_TRUE(trail) << why.toStdString();
    EXPECT_TRUE(trail->intact) << trail->problem.toStdString();
    EXPECT_EQ(trail->entries, 2 + 5 + 1 + 1); // calorimeter, first series, records, rule, new series
}

// A determination registered in the window is listed by the command line with the window's
// figures, on a SQLite file and on a PostgreSQL server.
class WindowAndCli : public testing::TestWithParam<bool> {};

TEST_P(WindowAndCli, ARecordFromTheWindowIsListedWithTheSameFigures) {
#ifdef Q_OS_WIN
    if (GetParam())
        GTEST_SKIP() << "the PostgreSQL server of the tests runs on Linux";
#endif
    Rig r;
    QTemporaryDir dir;
    QString why;
    const QString db = GetParam() ? PostgresServer::instance().createDatabase("janela", &why) : dir.filePath("r.sqlite");
    ASSERT_FALSE(db.isEmpty()) << why.toStdString();
    ses::EvaluationRequest in;
    in.method = eval::Method::Dickinson;
    in.calorimetry.mode = eval::Calorimetry::Mode::Sample;
    in.calorimetry.mass = 0.9821;
    in.calorimetry.energyEquivalent = 10100.5;
    in.calorimetry.fuse = 96;
    const acq::TestRun& test = r.table.tests().at(1);
    TFormAvaliacao d(r.table, test, QStringLiteral("demo.dat"), in, r.files, r.messages);
    bool replace = false;
    d.setResults([&](QString* e) { return ses::openResults(db, e); },
                 [&](QDialog& dialog) {
                     auto& f = static_cast<TFormRegistro&>(dialog);
                     f.EditAmostra->setText("BIO-31");
                     f.EditCalorimetro->setText("BC-200 nº 2");
                     emit f.EditCalorimetro->editingFinished();
                     if (replace) {
                         EXPECT_TRUE(f.CheckSubstituir->isVisibleTo(&f));
                         f.CheckSubstituir->setChecked(true);
                         f.EditMotivo->setText("reavaliada com o W da série");
                     }
                     f.RegistrarClick();
                     if (f.result() != QDialog::Accepted)
                         f.btnCancelar->click();
                     return f.result();
                 });
    d.RegistrarClick();
    ASSERT_EQ(d.LabelRegistro->text(), "Determinação registrada com o número 1.") << r.messages.texts().join('/').toStdString();
    QProcess cli;
    cli.start(binFile("registrador-cli"), {"results", "list", "--json", "--db", db, "--calorimeter", "BC-200 nº 2"});
    ASSERT_TRUE(cli.waitForFinished(30000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const QJsonArray list = QJsonDocument::fromJson(cli.readAllStandardOutput()).array();
    ASSERT_EQ(list.size(), 1);
    const QJsonObject listed = list[0].toObject(), window = ses::resultJson(test, *d.outcome().result);
    for (const QString& k : window.keys())
        if (k != "warnings") {
            EXPECT_EQ(listed[k], window[k]) << k.toStdString();
        }
    // The record adds that the calorimeter has no accepted series yet.
    QJsonArray warnings = window["warnings"].toArray();
    warnings.append("O calorímetro BC-200 nº 2 não tem série de calibração aceita (nenhuma calibração registrada): o "
                    "equivalente energético deste resultado não vem de uma série aceita.");
    EXPECT_EQ(listed["warnings"].toArray(), warnings);
    EXPECT_EQ(listed["sample"].toString(), "BIO-31");
    EXPECT_EQ(listed["inputs"].toObject()["fuse"].toDouble(), 96);
    EXPECT_EQ(listed["energy_equivalent_source"].toString(), ses::msg::EnergyEquivalentTyped);

    // Five calibrations from the command line make an accepted series; the next record from the
    // window takes its W, and the window then shows the figures recorded.
    const QString dat = dir.filePath("d.dat");
    auto run = [&](const QStringList& args) {
        QProcess p;
        p.start(binFile("registrador-cli"), args);
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(p.readAllStandardOutput());
    };
    const QString tests = distinctTestsFile(dir.path(), 13);
    double w = 0;
    int k = 0;
    for (const char* mass : {"0,7612", "0,7605", "0,7620", "0,7608", "0,7615"})
        w += run({"record", tests, "--test", QString::number(++k * 3 - 2), "--sample", "AB", "--calibrate", "--mass", mass,
                  "--heat", "26454", "--calorimeter", "BC-200 nº 2", "--db", db, "--json"})
                 .object()["energy_equivalent"]
                 .toDouble() / 5;
    // The same test again is refused before anything is written; replacing it records the new
    // evaluation in its place.
    d.RegistrarClick();
    EXPECT_EQ(d.LabelRegistro->text(), "Determinação registrada com o número 1.");
    EXPECT_TRUE(r.messages.texts().last().startsWith("Este ensaio já foi registrado: determinação 1."))
        << r.messages.texts().join('/').toStdString();
    replace = true;
    d.RegistrarClick();
    EXPECT_EQ(d.LabelRegistro->text(), "Determinação registrada com o número 7, com o W da série 1 do calorímetro BC-200 nº 2.");
    EXPECT_NEAR(d.inputs().calorimetry.energyEquivalent, w, 1e-6);
    const QJsonObject seventh = run({"results", "show", "7", "--json", "--db", db}).object();
    EXPECT_EQ(seventh["series"].toInt(), 1);
    EXPECT_EQ(seventh["replaces"].toInt(), 1);
    EXPECT_EQ(seventh["gross_calorific_value"], ses::resultJson(test, *d.outcome().result)["gross_calorific_value"]);
    const QJsonObject first = run({"results", "show", "1", "--json", "--db", db}).object();
    EXPECT_EQ(first["reject_reason"].toString(), "reavaliada com o W da série (substituída pela determinação 7)");
}

INSTANTIATE_TEST_SUITE_P(Results, WindowAndCli, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& i) { return i.param ? "PostgreSQL" : "SQLite"; });

// Each correction from what the lab measured: the form shows its joules, the window takes
// them, a sulfur content follows the mass, joules typed by hand replace the measured values,
// and the record keeps each value as given.
TEST(EvaluationWindow, CorrectionsFromWhatTheLabMeasuredAreComputedAndKept) {
    Rig r;
    QTemporaryDir dir;
    const QString db = dir.filePath("r.sqlite");
    ses::EvaluationRequest in;
    in.calorimetry.mode = eval::Calorimetry::Mode::Sample;
    in.calorimetry.mass = 0.98;
    in.calorimetry.energyEquivalent = 10100.5;
    TFormAvaliacao d(r.table, r.table.tests().at(0), QStringLiteral("demo.dat"), in, r.files, r.messages);
    QStringList typed; // what the user types in the next measure form, field by field
    QString shown;
    d.setResults([&](QString* e) { return ses::openResults(db, e); },
                 [&](QDialog& dialog) {
                     if (auto* m = dynamic_cast<TFormMedida*>(&dialog)) {
                         for (int i = 0; i < typed.size(); ++i)
                             QTest::keyClicks(m->Edits[i], typed[i]);
                         shown = m->LabelJoules->text();
                         return m->btnOk->isEnabled() ? int(QDialog::Accepted) : int(QDialog::Rejected);
                     }
                     auto& f = static_cast<TFormRegistro&>(dialog);
                     f.EditAmostra->setText("CAR-9");
                     f.RegistrarClick();
                     return f.result();
                 });
    struct Step { QToolButton* button; QStringList typed; DecimalEdit* field; const char* joules; } steps[] = {
        {d.btnMedidaFio, {"10"}, d.EditFio, "96,0"},                     // 10 cm of Ni-Cr at the default 9,6 J/cm
        {d.btnMedidaAcido, {"7,2"}, d.EditAcido, "30,1"},                // 7,2 mL of 0,0709 N: 7,2 cal
        {d.btnMedidaEnxofre, {"1,2"}, d.EditEnxofre, "67,5"},            // 1,2 % × 0,98 g × 57,4 J
        {d.btnMedidaAuxiliar, {"0,0512", "46000"}, d.EditAuxiliar, "2355,2"}, // paraffin oil
    };
    for (const Step& s : steps) {
        typed = s.typed;
        s.button->click();
        EXPECT_EQ(s.field->text(), s.joules) << shown.toStdString();
        EXPECT_EQ(shown, QStringLiteral("= %1 J").arg(s.joules));
    }
    EXPECT_NEAR(d.inputs().calorimetry.acid, 7.2 * 4.1868, 1e-9);
    // The sulfur content follows the mass typed afterwards.
    d.EditMassa->clear();
    QTest::keyClicks(d.EditMassa, "1,5");
    EXPECT_EQ(d.EditEnxofre->text(), "103,3");
    EXPECT_NEAR(d.inputs().calorimetry.sulfur, 1.2 * 1.5 * 57.4, 1e-9);
    // Joules typed by hand: the wire's measured values no longer stand behind them.
    d.EditFio->clear();
    QTest::keyClicks(d.EditFio, "80");
    EXPECT_FALSE(d.inputs().given.contains("wire_cm"));
    // A form left without a number gives nothing.
    typed = {""};
    d.btnMedidaFio->click();
    EXPECT_EQ(d.EditFio->text(), "80");
    d.RegistrarClick();
    QString why;
    const auto back = ses::openResults(db, &why)->determination(1, &why);
    ASSERT_TRUE(back) << why.toStdString() << r.messages.texts().join('/').toStdString();
    const QJsonObject given = QJsonDocument::fromJson(back->inputsGiven.toUtf8()).object();
    EXPECT_EQ(given["titration_ml"].toDouble(), 7.2);
    EXPECT_EQ(given["normality"].toDouble(), 0.0709);
    EXPECT_EQ(given["sulfur_pct"].toDouble(), 1.2);
    EXPECT_EQ(given["aid_heat"].toDouble(), 46000);
    EXPECT_FALSE(given.contains("wire_cm"));
    EXPECT_EQ(back->calorimetry.fuse, 80);
    EXPECT_NEAR(back->calorimetry.aid, 0.0512 * 46000, 1e-9);
    EXPECT_NEAR(*back->result.grossCalorificValue,
                (10100.5 * back->result.riseCorrected - 80 - 7.2 * 4.1868 - 1.2 * 1.5 * 57.4 - 0.0512 * 46000) / 1.5, 1e-6);
}

// The figures the Registrar form shows are the ones recorded, and the command line given the
// same inputs records the same determination (W, its series, the warnings), in each case of
// the W policy.
TEST(EvaluationWindow, TheRegistrarFormShowsWhatIsRecordedAndTheCliRecordsTheSame) {
    Rig r;
    struct Case {
        const char* name;
        bool series;      // the calorimeter has an accepted series (W 9900)
        bool chooseTyped; // the user keeps the W typed over the series'
        bool calibration;
        std::optional<double> certified; // a check standard
        QStringList cli;  // the command line's inputs for the same
    } cases[] = {
        {"no accepted series: the W typed, with a warning", false, false, false, {}, {"--energy-equivalent", "10100,5"}},
        {"an accepted series: its W", true, false, false, {}, {}},
        {"the typed W chosen over the series'", true, true, false, {}, {"--energy-equivalent", "10100,5"}},
        {"a calibration joins the series", true, false, true, {}, {"--calibrate", "--heat", "26454"}},
        {"a check standard outside its tolerance", true, false, false, 26454.0, {"--check-standard", "26454"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString window = dir.filePath("janela.sqlite"), line = dir.filePath("cli.sqlite");
        if (c.series)
            for (const QString& db : {window, line})
                recordCalibrations(db, "BC-200", {9890, 9895, 9900, 9905, 9910});
        ses::EvaluationRequest in;
        in.calorimetry.mode = c.calibration ? eval::Calorimetry::Mode::Calibration : eval::Calorimetry::Mode::Sample;
        in.calorimetry.mass = 0.98;
        in.calorimetry.energyEquivalent = c.calibration ? 0 : 10100.5;
        in.calorimetry.heatOfCombustion = c.calibration ? 26454 : 0;
        TFormAvaliacao d(r.table, r.table.tests().at(1), QStringLiteral("demo.dat"), in, r.files, r.messages);
        QString preview;
        d.setResults([&](QString* e) { return ses::openResults(window, e); },
                     [&](QDialog& dialog) {
                         auto& f = static_cast<TFormRegistro&>(dialog);
                         f.EditAmostra->setText("S");
                         if (c.certified)
                             f.EditCertificado->setValue(*c.certified);
                         emit f.EditCertificado->editingFinished();
                         EXPECT_EQ(f.CheckUsarW->isVisibleTo(&f), c.series && !c.calibration);
                         f.CheckUsarW->setChecked(c.chooseTyped);
                         preview = f.LabelPrevia->text();
                         f.RegistrarClick();
                         return f.result();
                     });
        d.RegistrarClick();
        QString why;
        const auto stored = ses::openResults(window, &why)->list(&why)->first();
        ASSERT_TRUE(preview.contains(ses::resultText(stored, eval::Unit::JoulesPerGram))) << preview.toStdString();
        if (!c.calibration) {
            EXPECT_TRUE(preview.contains(QStringLiteral("W: %1 J/K (%2)").arg(ses::fixed(stored.calorimetry.energyEquivalent, 1),
                                                                          stored.energyEquivalentSource)))
                << preview.toStdString();
            EXPECT_DOUBLE_EQ(stored.calorimetry.energyEquivalent, c.series && !c.chooseTyped ? 9900 : 10100.5);
        }
        for (const QString& w : stored.result.warnings)
            EXPECT_TRUE(preview.contains(w)) << w.toStdString();
        // The command line, with the same test and inputs.
        auto cli = [](const QStringList& args) {
            QProcess p;
            p.start(binFile("registrador-cli"), args);
            EXPECT_TRUE(p.waitForFinished(60000));
            EXPECT_EQ(p.exitCode(), 0) << args.join(' ').toStdString() << ": " << p.readAllStandardError().toStdString();
            return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        };
        const QString dat = dir.filePath("d.dat");
        cli({"decode", dataFile("demo.img"), "--out", dat});
        const QJsonObject fromCli = cli(QStringList{"record", dat, "--test", "2", "--sample", "S", "--mass", "0,98", "--db",
                                                    line, "--json"} + c.cli),
                          fromWindow = ses::recordJson(stored);
        for (const char* k : {"gross_calorific_value", "energy_equivalent", "rise_corrected", "series", "warnings",
                              "check_standard", "samples_sha256"})
            EXPECT_EQ(fromCli[k], fromWindow[k]) << k << QJsonDocument(QJsonObject{{"cli", fromCli[k]}, {"w", fromWindow[k]}}).toJson().toStdString();
        EXPECT_EQ(fromCli["inputs"].toObject()["energy_equivalent"], fromWindow["inputs"].toObject()["energy_equivalent"]);
    }
}

// A results database that an earlier version kept in a folder of its own is offered, once, to be
// moved to the program's data folder; the window then lists what it held.
TEST(ResultsWindow, TheOldDefaultDatabaseIsMovedWithTheUsersYes) {
    const QString fresh = rec::defaultDatabasePath();
    const QString old = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                            .filePath(QStringLiteral("Bomba Calorimétrica/resultados.sqlite"));
    auto cleanUp = [&] {
        for (const QString& f : {fresh, old})
            for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
                QFile::remove(f + suffix);
    };
    cleanUp();
    recordCalibrations(old, "BC-200", {10100});
    MainWindowRig w;
    QString why;
    w.messages.answers = {MsgAnswer::No};
    auto store = w.form->openResults(&why); // "No": a new, empty database in the data folder
    ASSERT_TRUE(store) << why.toStdString();
    EXPECT_EQ(store->list(&why)->size(), 0);
    EXPECT_TRUE(w.messages.texts().last().startsWith("Há um banco de resultados de uma versão anterior"));
    store.reset();
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(fresh + suffix);
    w.messages.shown.clear();
    w.messages.answers = {MsgAnswer::Yes};
    store = w.form->openResults(&why);
    ASSERT_TRUE(store) << why.toStdString();
    EXPECT_EQ(store->list(&why)->size(), 1);
    EXPECT_FALSE(QFile::exists(old));
    EXPECT_EQ(w.messages.shown.size(), 1);
    store.reset();
    w.messages.shown.clear();
    store = w.form->openResults(&why); // once: nothing more to offer
    EXPECT_TRUE(w.messages.shown.isEmpty());
    store.reset();
    cleanUp();
}

// A number field shows a value with its decimals and reads it back whole until the user types:
// a series' W of 9893,131664 J/K shown as 9893,1 must not give a result from 9893,1.
TEST(DecimalEditField, ShowsRoundedReadsWholeUntilTyped) {
    DecimalEdit e(1, true);
    struct Step { std::function<void()> act; const char* text; double value; } steps[] = {
        {[&] { e.showValue(9893.131664); }, "9893,1", 9893.131664},
        {[&] { e.setText("9893,1"); }, "9893,1", 9893.131664}, // the same text typed again
        {[&] { e.setText("9893,2"); }, "9893,2", 9893.2},
        {[&] { e.setText("9893.1"); }, "9893.1", 9893.1},      // another spelling: as typed
        {[&] { e.clear(); }, "", 0},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(e.text(), s.text);
        EXPECT_DOUBLE_EQ(e.value(), s.value) << s.text;
    }
}

// The day's samples in their window, weighed on the balance emulator's pseudo-terminal (a code
// scanned and Enter, the reading awaited off the window's thread, each refusal said and the
// list left as it was, a mass typed only with its reason), then taken by the evaluation window
// and recorded with the balance named, the sample leaving the pending list.
TEST(SamplesWindow, WeighsOnTheBalanceAndTheEvaluationRecordsTheListedSample) {
    REQUIRE_PSEUDO_TERMINAL();
    Rig r;
    QTemporaryDir dir;
    const QString db = dir.filePath("resultados.sqlite");
    Emulator balance(Emulator::Balance{}, {"--protocol", "mt-sics", "--unstable", "2"});
    ASSERT_TRUE(balance.ok());
    auto open = [&](QString* why) { return ses::openResults(db, why); };
    TFormAmostras w(open, TFormAmostras::BalanceSetup{balance.device(), lnk::balance::Protocol::MtSics, {}}, r.messages,
                    r.files);
    ASSERT_TRUE(w.refresh());
    w.show();
    auto scan = [&](const QString& code) {
        w.EditCodigo->setFocus();
        QTest::keyClicks(w.EditCodigo, code);
        QTest::keyClick(&w, Qt::Key_Return); // the scanner's Enter: on to the description
        EXPECT_EQ(w.focusWidget(), w.EditDescricao);
        QTest::keyClick(&w, Qt::Key_Return); // and the sample is in
        EXPECT_EQ(w.focusWidget(), w.EditCodigo);
    };
    scan("CAR-7");
    w.ComboTipo->setCurrentIndex(1);
    w.EditCertificado->setText("26454");
    scan("BA-1");
    w.ComboTipo->setCurrentIndex(0);
    scan("CAR-8");
    ASSERT_EQ(w.Lista->rowCount(), 3);
    EXPECT_EQ(w.Lista->item(1, 3)->text(), QStringLiteral("calibração (26454,0 J/g)"));

    QSignalSpy finished(&w, &TFormAmostras::weighingFinished);
    auto weigh = [&](int row) {
        w.Lista->selectRow(row);
        w.PesarClick();
        EXPECT_TRUE(w.weighing());
        EXPECT_FALSE(w.btnDigitar->isEnabled()); // nothing else while the balance is read
        EXPECT_TRUE(finished.wait(30000));
        return finished.takeLast().at(0).toBool();
    };
    EXPECT_TRUE(weigh(0));
    EXPECT_EQ(w.Lista->item(0, 4)->text(), "0,81234");
    EXPECT_TRUE(w.Lista->item(0, 5)->text().startsWith("balança Mettler Toledo XPR205 B123456789, "));
    EXPECT_EQ(w.Lista->item(0, 6)->text(), "pesada");
    balance.tell("sobrecarga");
    const qsizetype before = r.messages.shown.size();
    EXPECT_FALSE(weigh(1));
    ASSERT_EQ(r.messages.shown.size(), before + 1);
    EXPECT_TRUE(r.messages.shown.last().text.contains("sobrecarga")) << r.messages.shown.last().text.toStdString();
    EXPECT_EQ(w.Lista->item(1, 6)->text(), "a pesar");
    balance.tell("1.0312");
    EXPECT_TRUE(weigh(1));
    // A mass typed: only with its reason.
    w.Lista->selectRow(2);
    w.EditMassa->setText("0,9876");
    w.DigitarClick();
    EXPECT_EQ(r.messages.shown.last().text, ses::msg::TypedMassNeedsReason);
    EXPECT_EQ(w.Lista->item(2, 6)->text(), "a pesar");
    w.EditMotivo->setText("balança em manutenção");
    w.DigitarClick();
    EXPECT_EQ(w.Lista->item(2, 6)->text(), "pesada");
    EXPECT_TRUE(w.Lista->item(2, 5)->text().startsWith("digitada por ")) << w.Lista->item(2, 5)->text().toStdString();
    r.files.paths = {dir.filePath("amostras.pdf")};
    w.ImprimirClick();
    ASSERT_TRUE(QFile::exists(dir.filePath("amostras.pdf")));
    if (const QString text = pdfText(dir.filePath("amostras.pdf")); !text.isEmpty()) {
        EXPECT_TRUE(text.contains("CAR-7") && text.contains("XPR205 B123456789")) << text.toStdString();
    }

    // The evaluation takes the listed sample: kind, mass as weighed (not to be typed over).
    ses::EvaluationRequest in;
    in.calorimetry.energyEquivalent = 10100.5;
    TFormAvaliacao d(r.table, r.table.tests().at(0), QStringLiteral("demo.dat"), in, r.files, r.messages);
    d.setResults(open, [&](QDialog& dialog) {
        auto& f = static_cast<TFormRegistro&>(dialog);
        EXPECT_EQ(f.EditAmostra->text(), "CAR-7");
        EXPECT_TRUE(f.EditAmostra->isReadOnly());
        EXPECT_TRUE(f.LabelPrevia->text().contains("Massa: 0,81234 g (balança Mettler Toledo")) << f.LabelPrevia->text().toStdString();
        f.RegistrarClick();
        return f.result();
    });
    ASSERT_TRUE(d.ComboLista->isVisibleTo(&d));
    ASSERT_EQ(d.ComboLista->count(), 4); // none, and the three weighed
    d.chooseListed(1);
    EXPECT_TRUE(d.EditMassa->isReadOnly());
    EXPECT_FALSE(d.RadioCalibracao->isEnabled());
    EXPECT_EQ(d.inputs().calorimetry.mass, 0.81234);
    d.RegistrarClick();
    EXPECT_EQ(d.LabelRegistro->text(), "Determinação registrada com o número 1.");
    EXPECT_EQ(d.ComboLista->count(), 3); // recorded: no longer offered
    EXPECT_FALSE(d.EditMassa->isReadOnly());
    QString why;
    const auto store = ses::openResults(db, &why);
    ASSERT_TRUE(store) << why.toStdString();
    const auto back = store->determination(1, &why);
    ASSERT_TRUE(back) << why.toStdString();
    EXPECT_EQ(back->sampleEntry, 1);
    EXPECT_EQ(back->calorimetry.mass, 0.81234);
    EXPECT_TRUE(back->massSource.startsWith("balança Mettler Toledo XPR205 B123456789, "));
    EXPECT_EQ(store->sample(1, &why)->state, rec::QueuedSample::State::Recorded);
    // A calibration from the list: its certified heat, and the calibration's kind.
    d.chooseListed(2);
    EXPECT_TRUE(d.RadioCalibracao->isChecked());
    EXPECT_EQ(d.inputs().calorimetry.heatOfCombustion, 26454);
    w.refresh();
    EXPECT_EQ(w.Lista->item(0, 6)->text(), "registrada (determinação 1)");
}

// Review and approval from the results window: the signature's window shows the record's history
// and the doubts first, asks the user and the password, keeps itself on a refusal (the password
// cleared), and the list then says who approved; an approved record is rejected only by a
// signature.
TEST(ResultsWindow, ReviewAndApprovalAreSignedWithAPasswordEachTime) {
    Rig r;
    QTemporaryDir dir;
    const QString path = dir.filePath("resultados.sqlite");
    QString why;
    {
        const auto store = ses::openResults(path, &why);
        ASSERT_TRUE(store) << why.toStdString();
        ASSERT_TRUE(store->addUser({"chefe", "Maria Chefe", true, false, {}}, "senha-da-chefe", {}, &why)) << why.toStdString();
        ASSERT_TRUE(store->addUser({"rui", "Rui Revisor", true, false, {}}, "senha-do-rui", {"chefe", "senha-da-chefe"}, &why))
            << why.toStdString();
        ses::EvaluationRequest in;
        in.calorimetry = {eval::Calorimetry::Mode::Sample, 0.98, 10100.5};
        const acq::TestRun& t = r.table.tests().at(0);
        const auto o = ses::evaluateTest(r.table, t, in);
        ASSERT_TRUE(o.ok());
        ASSERT_TRUE(store->record(ses::determinationOf({"CAR-1", {}, "ana", "BC-200", QDate(2026, 12, 8), {}, {}}, r.table, t,
                                                       {}, in, *o.result),
                                  &why))
            << why.toStdString();
    }
    QStringList plays; // what each signing window was shown, and what the user typed
    std::deque<std::array<QString, 3>> typed; // user, password, comment; a window may take several tries
    TFormResultados w([&](QString* e) { return ses::openResults(path, e); }, r.messages, r.files, nullptr,
                      [&](QDialog& dialog) {
                          auto& f = dynamic_cast<TFormAssinatura&>(dialog);
                          plays << f.windowTitle();
                          EXPECT_TRUE(f.TextoHistorico->toPlainText().contains("Registrada por ")) << f.TextoHistorico->toPlainText().toStdString();
                          while (!typed.empty() && f.result() != QDialog::Accepted) {
                              const auto [user, password, comment] = typed.front();
                              typed.pop_front();
                              f.EditUsuario->setText(user);
                              f.EditSenha->setText(password);
                              f.EditComentario->setText(comment);
                              f.AssinarClick();
                              EXPECT_TRUE(f.EditSenha->text().isEmpty()); // never kept for another try
                          }
                          return f.result();
                      });
    ses::Settings settings;
    w.setSigning(settings);
    ASSERT_TRUE(w.refresh());
    w.Lista->selectRow(0);
    typed = {{"rui", "errada", ""}, {"rui", "senha-do-rui", "conferi os cálculos"}};
    w.RevisarClick();
    EXPECT_EQ(r.messages.shown.last().text, "Usuário ou senha de assinatura incorretos.");
    w.Lista->selectRow(0);
    typed = {{"rui", "senha-do-rui", ""}, {"chefe", "senha-da-chefe", ""}};
    w.AprovarClick();
    EXPECT_TRUE(r.messages.shown.last().text.startsWith("Quem revisou (rui) não aprova")) << r.messages.shown.last().text.toStdString();
    EXPECT_EQ(plays, (QStringList{"Revisar a determinação nº 1", "Aprovar a determinação nº 1"}));
    const int state = 8; // "Situação"
    EXPECT_TRUE(w.Lista->item(0, state)->text().startsWith("aprovada por chefe em ")) << w.Lista->item(0, state)->text().toStdString();
    // Locked: the rejection is a reviewer's signature, with the reason typed.
    w.Lista->selectRow(0);
    w.EditMotivo->setText("massa trocada");
    typed = {{"rui", "senha-do-rui", "massa trocada"}};
    w.RejeitarClick();
    EXPECT_EQ(plays.last(), "Rejeitar a determinação nº 1");
    EXPECT_TRUE(w.Lista->item(0, state)->text().startsWith("rejeitada: massa trocada")) << w.Lista->item(0, state)->text().toStdString();
    const auto store = ses::openResults(path, &why);
    const auto d = store->determination(1, &why);
    ASSERT_TRUE(d);
    ASSERT_EQ(d->signatures.size(), 3);
    EXPECT_EQ(d->signatures[0].comment, "conferi os cálculos");
    EXPECT_EQ(d->signatures[2].meaning, rec::Signature::Meaning::Rejected);
    EXPECT_TRUE(store->verify(&why)->intact);
}
