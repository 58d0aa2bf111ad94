#pragma once
// TFormSeries: a calorimeter's calibration series — each with its rule's verdict, W, n, s and
// DPR — and the control chart of its W; the rule set for the calorimeter, a new series started
// with its reason ("troca de peça"), the series' PDF. TFormHistorico: one record's audit trail.
#include "app/filedialogs.h"
#include "app/messageservice.h"
#include "records/store.h"
#include "session/calibrationseries.h"

#include <QDialog>
#include <QWidget>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QCheckBox;
class QSpinBox;

/// The control chart, drawn to the widget's size.
class ControlChartView : public QWidget {
    Q_OBJECT
public:
    explicit ControlChartView(QWidget* parent = nullptr);
    void setChart(ses::ControlChart chart);
    const ses::ControlChart& chart() const { return chart_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ses::ControlChart chart_;
};

class TFormSeries : public QDialog {
    Q_OBJECT
public:
    using Open = std::function<std::unique_ptr<rec::Store>(QString* why)>;
    TFormSeries(Open open, const QString& calorimeter, MessageService& messages, FileDialogs& files,
                QWidget* parent = nullptr);

    /// Reads the calorimeters, the series and the chart again; false after telling why.
    bool refresh();
    void AplicarRegraClick();
    void NovaSerieClick();
    void RelatorioClick();

    QComboBox* ComboCalorimetro;
    QComboBox* ComboRegra;
    QSpinBox* EditMinCorridas;
    QLineEdit* EditDprMax;
    QPushButton* btnAplicar;
    ControlChartView* Grafico;
    QPlainTextEdit* TextoSeries;
    QLineEdit* EditMotivo;
    QPushButton* btnNovaSerie;
    QPushButton* btnRelatorio;
    QPushButton* btnFechar;

private:
    void showRule(const rec::CalibrationRule& rule);
    Open open_;
    MessageService& messages_;
    FileDialogs& files_;
    QList<ses::CalibrationSeries> series_;
    bool filling_ = false;
};

class TFormHistorico : public QDialog {
    Q_OBJECT
public:
    TFormHistorico(qint64 id, const QList<rec::AuditEntry>& entries, QWidget* parent = nullptr);
    QPlainTextEdit* Texto;
    /// Each entry's link in the trail (its hashes), for whoever checks the trail itself.
    QCheckBox* CheckDetalhes;
    QPushButton* btnFechar;
};
