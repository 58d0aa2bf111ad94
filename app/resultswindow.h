#pragma once
// TFormResultados: the determinations of the results database, newest first, with the verdict
// on each sample's duplicates; filtered by sample code, kind, calorimeter, test dates and
// status, sorted by any column; one opened from the record alone, rejected with a reason or
// reprinted; the list written as a spreadsheet or CSV.
#include "app/filedialogs.h"
#include "app/messageservice.h"
#include "evaluation/labinputs.h"
#include "records/duplicates.h"
#include "records/store.h"
#include "session/settings.h"

#include <QDialog>
#include <QPushButton>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class EvaluationPlot;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class TFormResultados : public QDialog {
    Q_OBJECT
public:
    using Open = std::function<std::unique_ptr<rec::Store>(QString* why)>;
    /// `execForm` shows a window opened from this one (a determination); by default exec().
    TFormResultados(Open open, MessageService& messages, FileDialogs& files, QWidget* parent = nullptr,
                    std::function<int(QDialog&)> execForm = {}, double repeatability = rec::kDefaultRepeatability);

    /// Reads the list again with the filters shown; false after telling why it could not.
    bool refresh();
    void RejeitarClick();
    void AbrirClick();
    void RelatorioClick();
    void ExportarClick();
    void HistoricoClick();
    void SeriesClick();

    /// The filter the controls make.
    rec::Filter filter() const;
    eval::Unit unit() const;
    /// The determination of the selected row, if any.
    const rec::Determination* selected() const;

    QLineEdit* EditFiltro;
    QComboBox* ComboTipo;
    QComboBox* ComboCalorimetro;
    QDateEdit* EditDe;
    QDateEdit* EditAte;
    QComboBox* ComboSituacao;
    QComboBox* ComboUnidade;
    QTableWidget* Lista;
    QLabel* LabelTotal;
    QLabel* LabelBanco; ///< which database the list comes from
    QLineEdit* EditMotivo;
    QPushButton* btnAbrir;
    QPushButton* btnRelatorio;
    QPushButton* btnExportar;
    QPushButton* btnRejeitar;
    QPushButton* btnHistorico;
    QPushButton* btnSeries;
    QPushButton* btnAmostras; ///< shown when the window is given the day's samples
    QPushButton* btnRevisar;  ///< shown when the window is given the lab's settings
    QPushButton* btnAprovar;
    /// The lab's rules for signing and its LIMS folder: review and approval are offered.
    void setSigning(const ses::Settings& settings) {
        signing_ = settings;
        btnRevisar->setVisible(true);
        btnAprovar->setVisible(true);
    }
    void RevisarClick();
    void AprovarClick();
    /// How the day's samples are opened from here.
    void setSamples(std::function<void()> open) {
        openSamples_ = std::move(open);
        btnAmostras->setVisible(bool(openSamples_));
    }
    QPushButton* btnFechar;

protected:
    /// Enter in the sample filter or the reason is not "Fechar": the filter takes the list's
    /// focus, the reason stays (a rejection is never one key away).
    void keyPressEvent(QKeyEvent* e) override;

private:
    QString duplicatesOf(const rec::Determination& d) const;
    /// The selected determination read whole from the store; nothing after telling why.
    std::optional<rec::Determination> chosenRecord();
    Open open_;
    MessageService& messages_;
    FileDialogs& files_;
    std::function<int(QDialog&)> execForm_;
    std::function<void()> openSamples_;
    std::optional<ses::Settings> signing_;
    void signSelected(rec::Signature::Meaning meaning);
    double repeatability_;
    QList<rec::Determination> shown_;
    std::map<QString, rec::DuplicateVerdict> verdicts_;
    bool filling_ = false;
};

/// TFormDeterminacao: one recorded determination as the record holds it: the curve of its
/// readings with its periods, who and what, its inputs and every figure, and its report.
class TFormDeterminacao : public QDialog {
    Q_OBJECT
public:
    TFormDeterminacao(rec::Determination d, QString duplicates, MessageService& messages, FileDialogs& files,
                      QWidget* parent = nullptr);
    void RelatorioClick();

    EvaluationPlot* Plot;
    QLabel* LabelIdentidade;
    QLabel* LabelResultado;
    QLabel* LabelDados;
    QPushButton* btnRelatorio;
    QPushButton* btnFechar;

private:
    rec::Determination d_;
    QString duplicates_;
    std::vector<eval::Sample> samples_;
    MessageService& messages_;
    FileDialogs& files_;
};

/// Asks where the report of `d` goes and writes it; false after telling why when it could not.
bool saveRecordReport(const rec::Determination& d, const QString& duplicates, FileDialogs& files,
                      MessageService& messages);
