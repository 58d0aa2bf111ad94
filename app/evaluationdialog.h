#pragma once
// "Avaliação do Ensaio N": the test's curve with its three periods, whose four limits are
// dragged on the chart or typed as minutes; the method; the results; the calorimetric inputs
// (sample or calibration) and their result; the report and a copy of the results as text.
#include "acquisition/measurements.h"
#include "app/decimaledit.h"
#include "app/filedialogs.h"
#include "app/messageservice.h"
#include "evaluation/evaluation.h"
#include "session/recording.h"
#include "records/duplicates.h"
#include "session/testevaluation.h"

#include <QDialog>
#include <QJsonObject>
#include <vector>

class QComboBox;
class QLabel;
class QScrollArea;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class EvaluationPlot;
class QToolButton;

/// What the user typed for one test; kept by the main window while the program runs.

class TFormAvaliacao : public QDialog {
    Q_OBJECT
public:
    TFormAvaliacao(const acq::Measurements& data, const acq::TestRun& test, const QString& dataFile,
                   ses::EvaluationRequest inputs, FileDialogs& files, MessageService& messages, QWidget* parent = nullptr);

    ses::EvaluationRequest inputs() const { return inputs_; }
    /// config.xml's energy equivalent: a record says whether its W was that one or typed.
    void setConfigEnergyEquivalent(double w) { configEnergyEquivalent_ = w; }
    /// The energy equivalent calibrated or used, when there is one.
    std::optional<double> energyEquivalent() const;
    /// The W of a calorimeter's series that the last record took and the window now shows; it
    /// belongs to the series, not to config.xml.
    std::optional<double> seriesEnergyEquivalent() const { return seriesW_; }
    const eval::Outcome& outcome() const { return outcome_; }
    /// The results as text, as "Copiar" puts them on the clipboard.
    QString resultText() const;

    // Controls
    EvaluationPlot* Plot;
    DecimalEdit* EditA;
    DecimalEdit* EditB;
    DecimalEdit* EditC;
    DecimalEdit* EditD;
    QComboBox* ComboMetodo;
    QPushButton* btnAutomatico;
    QLabel* LabelResultado;
    QScrollArea* ScrollResultado;
    QLabel* LabelAvisos; ///< what the result should be read with (short periods, unsettled drift)
    QRadioButton* RadioAmostra;
    QRadioButton* RadioCalibracao;
    QLabel* LabelMassa;
    DecimalEdit* EditMassa;
    DecimalEdit* EditEquivalente;
    DecimalEdit* EditCalor;
    DecimalEdit* EditFio;
    DecimalEdit* EditAcido;
    DecimalEdit* EditEnxofre;
    DecimalEdit* EditAuxiliar;
    /// Each correction from what the lab measured: the wire's length, the titration, the
    /// sulfur content, the combustion aid's mass and heat.
    QToolButton* btnMedidaFio;
    QToolButton* btnMedidaAcido;
    QToolButton* btnMedidaEnxofre;
    QToolButton* btnMedidaAuxiliar;
    /// Asks the measured values of one correction (`which`: 0 fio, 1 ácido, 2 enxofre,
    /// 3 auxiliar) and puts its joules in the field; `exec` runs the small form.
    void MedidaClick(int which);
    QLabel* LabelCalorimetria;
    /// The sample of the day's list this test burnt (shown when the window has a results
    /// database and the list has weighed samples): choosing one fills the kind, the mass (kept
    /// as read when it came from the balance), the certified heat and the aid's mass.
    QComboBox* ComboLista;
    QLabel* LabelLista;
    /// Chooses the listed sample `id` as the combo would (0: none, the inputs typed here).
    void chooseListed(qint64 id);
    QPushButton* btnRegistrar; ///< shown when the window is given a results database
    QPushButton* btnResultados;
    QLabel* LabelRegistro;     ///< the record's number once written
    QPushButton* btnRelatorio;
    QPushButton* btnCopiar;
    QPushButton* btnFechar;

    /// Moves limit `i` (0 … 3: A, B, C, D) as a drag on the chart would: to the nearest
    /// reading, never past its neighbours.
    void setLimit(int i, double minutes);
    void AutomaticoClick();
    void RelatorioClick();
    void RegistrarClick();
    void ResultadosClick();
    /// Gives the window its results database (opened when a record is written) and how it
    /// runs the registration form; without one there is no "Registrar...".
    void setResults(std::function<std::unique_ptr<rec::Store>(QString* why)> open,
                    std::function<int(QDialog&)> exec = {}, double repeatability = rec::kDefaultRepeatability,
                    double checkTolerance = 0.2);
    void CopiarClick();

private:
    void recompute();
    void showPeriods(const eval::Periods& p);
    void readInputs();
    void inputsChanged();
    bool inputsValid() const;
    void refuseInput();
    DecimalEdit* limitEdit(int i) const;
    eval::Periods currentPeriods() const;
    void applyLimit(int i, double minutes);
    void stepLimit(int i, int direction);
    void moveLimitTo(int i, std::ptrdiff_t reading);

    const acq::Measurements& table_;
    acq::TestRun test_;
    QString dataFile_;
    std::vector<eval::Sample> samples_;
    ses::EvaluationRequest inputs_;
    std::optional<double> configEnergyEquivalent_;
    bool settingMeasured_ = false;
    void forgetMeasured(int which);
    double repeatability_ = rec::kDefaultRepeatability;
    double checkTolerance_ = 0.2;
    std::optional<double> seriesW_;
    /// What the Registrar form recorded of this test, while the inputs stay as recorded.
    std::optional<rec::Determination> recorded_;
    /// The day's weighed samples offered, and the one chosen.
    QList<rec::QueuedSample> listed_;
    std::optional<rec::QueuedSample> queued_;
    void loadListed();
    eval::Outcome outcome_;
    FileDialogs& files_;
    MessageService& messages_;
    std::function<std::unique_ptr<rec::Store>(QString*)> openResults_;
    std::function<int(QDialog&)> execForm_;
    ses::SampleIdentity lastIdentity_;
    bool updating_ = false;
    int typing_ = -1; ///< the limit field being typed in
};

/// The chart of the evaluation window; its four limits can be dragged.
class EvaluationPlot : public QWidget {
    Q_OBJECT
public:
    explicit EvaluationPlot(QWidget* parent = nullptr);
    void setData(std::span<const eval::Sample> samples, std::optional<eval::Periods> periods, const eval::Result* result);
    QSize sizeHint() const override { return {560, 300}; }
    /// Shown only: the limits are not dragged (a recorded determination).
    void setReadOnly(bool readOnly);

signals:
    void limitDragged(int index, double minutes);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    int limitNear(double x) const;
    std::span<const eval::Sample> samples_;
    std::optional<eval::Periods> periods_;
    const eval::Result* result_ = nullptr;
    QRectF plot_;
    double t0_ = 0, t1_ = 1;
    int dragging_ = -1;
    bool readOnly_ = false;
};

/// TFormMedida: one correction from what the lab measured (a wire's length and its heat, a
/// titration, a sulfur content, a combustion aid's mass and heat), its joules shown as typed.
class TFormMedida : public QDialog {
    Q_OBJECT
public:
    TFormMedida(int which, const QJsonObject& given, double sampleMass, QWidget* parent = nullptr);
    /// The correction, J; nothing until every value is a number.
    std::optional<double> joules() const;
    /// The values typed, with the command line's keys.
    QJsonObject given() const;

    QList<DecimalEdit*> Edits;
    QLabel* LabelJoules;
    QPushButton* btnOk;

private:
    void showJoules();
    int which_;
    double mass_;
};

/// Result lines as an HTML table: label, value in bold, unit.
QString linesHtml(const QList<ses::ResultLine>& lines);
