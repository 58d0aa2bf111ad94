#pragma once
// TFormRegistro: who and what a determination is about, typed before it is recorded. It stays
// open, with everything typed, until the record is written.
#include "app/messageservice.h"
#include "session/recording.h"

#include <QDialog>
#include <functional>
#include <optional>

class DecimalEdit;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

class TFormRegistro : public QDialog {
    Q_OBJECT
public:
    /// `save` writes the determination with the identity typed: its number, or nothing with
    /// the reason.
    using Save = std::function<std::optional<qint64>(const ses::SampleIdentity&, QString* why)>;
    TFormRegistro(ses::SampleIdentity defaults, Save save, MessageService& messages, QWidget* parent = nullptr);
    /// What the record will take from the calorimeter named (its series' W, or why not), told
    /// under the fields whenever the calorimeter is changed.
    void setSeriesNote(std::function<QString(const QString& calorimeter)> note);

    ses::SampleIdentity identity() const;
    /// The record's number once written.
    std::optional<qint64> number() const { return number_; }

    QLineEdit* EditAmostra;
    QLineEdit* EditDescricao;
    QLineEdit* EditOperador;
    QLineEdit* EditCalorimetro;
    QDateEdit* EditData;
    DecimalEdit* EditUmidade;
    DecimalEdit* EditHidrogenio;
    DecimalEdit* EditOxigenioNitrogenio;
    DecimalEdit* EditCertificado;
    QLabel* LabelSerie;
    QLabel* LabelAviso;
    QPushButton* btnRegistrar;
    QPushButton* btnCancelar;

    void RegistrarClick();

private:
    Save save_;
    std::function<QString(const QString&)> seriesNote_;
    MessageService& messages_;
    std::optional<qint64> number_;
};
