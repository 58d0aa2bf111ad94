// The evaluation window offscreen on the demo tests, and its agreement with the command line.
#include "acquisition/download.h"
#include "app/evaluationdialog.h"
#include "app/tform1.h"
#include "tests/support.h"
#include "tools/emulator/demoimage.h"
#include "tools/emulator/fakeseriallibrary.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QMenu>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace {


struct Rig {
    emu::LoggerModel model{emu::demoImage()};
    emu::FakeSerialLibrary lib{&model};
    RecordingClock clock;
    lnk::SerialChannel ch{lib, clock};
    acq::MeasurementTable table;
    ScriptedFiles files;
    ScriptedMessages messages;
    Rig() {
        ch.setPort(1);
        ch.openPort(1);
        TestsListener l;
        EXPECT_EQ(acq::runDownload(ch, table, l), acq::DownloadResult::Done);
    }
};

} // namespace

TEST(EvaluationWindow, AutomaticThenDraggedLimitsMethodsAndCalorimetry) {
    Rig r;
    TFormAvaliacao d(r.table, acq::testRuns(r.table).at(0), QStringLiteral("demo.dat"), {}, r.files, r.messages);
    EXPECT_EQ(d.windowTitle(), "Avaliação do Ensaio 1");
    ASSERT_TRUE(d.outcome().ok()) << d.outcome().error.toStdString();
    const eval::Result automatic = *d.outcome().result;
    EXPECT_TRUE(automatic.automatic);
    EXPECT_DOUBLE_EQ(d.EditB->value(), std::round(automatic.periods.b * 100) / 100);
    const auto samples = ses::testSamples(r.table, acq::testRuns(r.table).at(0));
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
    // Typing a limit out of order is refused in the window, with the reason.
    d.EditA->setValue(d.EditC->value() + 1);
    EXPECT_FALSE(d.outcome().ok());
    EXPECT_FALSE(d.btnRelatorio->isEnabled());
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
    EXPECT_TRUE(QApplication::clipboard()->text().contains("Elevação corrigida"));
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
    acq::MeasurementTable flat;
    for (int i = 1; i <= 120; ++i) {
        flat.append();
        flat.setValue(acq::field::Ensaio, 7);
        flat.setValue(acq::field::SubReg, i);
        flat.setValue(acq::field::Tempo, acq::sampleMinutes(i));
        flat.setValue(acq::field::Tint, acq::rawToCelsius(400 + (i % 2)));
        flat.setValue(acq::field::Text, 22.0);
        flat.post();
    }
    TFormAvaliacao d(flat, acq::testRuns(flat).at(0), {}, {}, r.files, r.messages);
    EXPECT_FALSE(d.outcome().ok());
    EXPECT_EQ(d.outcome().error, "Não foi possível identificar o período principal do ensaio.");
    EXPECT_TRUE(d.LabelResultado->text().contains("Não foi possível identificar"));
    d.ComboMetodo->setCurrentIndex(1); // equal period means leave Regnault-Pfaundler undefined
    d.EditD->setValue(9);
    d.EditC->setValue(6);
    d.EditB->setValue(3);
    d.EditA->setValue(0);
    EXPECT_TRUE(d.outcome().ok()) << d.outcome().error.toStdString();
}

TEST(EvaluationWindow, FromTheChartMenuWithTheEnergyEquivalentKeptInConfig) {
    MainWindowRig w;
    w.model->setMemory(emu::demoImage());
    w.form->btnLerDadosClick();
    QStringList menu;
    for (QAction* a : w.form->ChartMenu->actions())
        menu << a->text();
    EXPECT_EQ(menu, (QStringList{"Avaliar ensaio...", "Salvar gráfico como imagem...", "Restaurar zoom"}));
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
