#pragma once
// TFormRegistro: who and what a determination is about, typed before it is recorded, with the
// determination as it will be written shown under the fields. It stays open, with everything
// typed, until the record is written.
#include "app/messageservice.h"
#include "session/recordservice.h"

#include <QDialog>
#include <functional>
#include <optional>

class DecimalEdit;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

class TFormRegistro : public QDialog {
    Q_OBJECT
public:
    /// What the user typed and chose.
    struct Choice {
        ses::SampleIdentity who;
        bool useTypedW = false; ///< the W typed in the evaluation over the series' W
        qint64 replaces = 0;    ///< the determination of this test to replace
        QString reason;         ///< why it is replaced
    };
    /// The determination the choice makes, as it will be written; nothing with the reason.
    using Plan = std::function<std::optional<ses::RecordPlan>(const Choice&, QString* why)>;
    /// Writes a plan: its number, or nothing with the reason.
    using Commit = std::function<std::optional<qint64>(const ses::RecordPlan&, QString* why)>;
    /// `typedW`: the W typed in the evaluation (a sample), offered instead of a series' W that
    /// differs from it; `unit`: the unit the preview shows the result in.
    TFormRegistro(ses::SampleIdentity defaults, Plan plan, Commit commit, MessageService& messages,
                  std::optional<double> typedW = std::nullopt, eval::Unit unit = eval::Unit::JoulesPerGram,
                  QWidget* parent = nullptr);

    /// The test's sample comes from the day's list: its code and calorimeter stay as listed.
    void setFromList(const rec::QueuedSample& s);

    ses::SampleIdentity identity() const;
    Choice choice() const;
    /// The record's number once written, and what was written.
    std::optional<qint64> number() const { return number_; }
    const std::optional<ses::RecordPlan>& recorded() const { return recorded_; }

    QLineEdit* EditAmostra;
    QLineEdit* EditDescricao;
    QLineEdit* EditOperador;
    QLineEdit* EditCalorimetro;
    QDateEdit* EditData;
    DecimalEdit* EditUmidade;
    DecimalEdit* EditHidrogenio;
    DecimalEdit* EditOxigenioNitrogenio;
    DecimalEdit* EditCertificado;
    QCheckBox* CheckUsarW;      ///< shown when the series' W differs from the one typed
    QLabel* LabelPrevia;        ///< the determination as it will be written
    QCheckBox* CheckSubstituir; ///< shown when the test is already recorded
    QLineEdit* EditMotivo;      ///< why the earlier determination is replaced
    QLabel* LabelAviso;
    QPushButton* btnRegistrar;
    QPushButton* btnCancelar;

    void RegistrarClick();
    /// Plans again with what is typed now and shows it.
    void updatePreview();

private:
    Plan plan_;
    Commit commit_;
    MessageService& messages_;
    std::optional<double> typedW_;
    eval::Unit unit_;
    qint64 alreadyRecorded_ = 0;
    std::optional<qint64> number_;
    std::optional<ses::RecordPlan> recorded_;
};
