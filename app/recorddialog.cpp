#include "app/recorddialog.h"

#include "app/decimaledit.h"
#include "session/messages.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFormRegistro::TFormRegistro(ses::SampleIdentity defaults, Save save, MessageService& messages, QWidget* parent)
    : QDialog(parent), save_(std::move(save)), messages_(messages) {
    setObjectName(QStringLiteral("FormRegistro"));
    setWindowTitle(QStringLiteral("Registrar determinação"));
    EditAmostra = new QLineEdit(defaults.sampleCode, this);
    EditDescricao = new QLineEdit(defaults.description, this);
    EditOperador = new QLineEdit(defaults.operatorName, this);
    EditCalorimetro = new QLineEdit(defaults.calorimeter, this);
    EditData = new QDateEdit(defaults.testDate.isValid() ? defaults.testDate : QDate::currentDate(), this);
    EditData->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    EditData->setCalendarPopup(true);
    EditAmostra->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('M')) * 24);
    auto* form = new QFormLayout;
    // A required field is marked with an asterisk, as the note below the fields says.
    form->addRow(QStringLiteral("Código da &amostra: *"), EditAmostra);
    form->addRow(QStringLiteral("&Descrição:"), EditDescricao);
    form->addRow(QStringLiteral("&Operador: *"), EditOperador);
    form->addRow(QStringLiteral("&Calorímetro: *"), EditCalorimetro);
    form->addRow(QStringLiteral("Data do &ensaio: *"), EditData);
    // The analysis, when the lab has it: the net calorific value and the dry basis.
    auto* analysis = new QGroupBox(QStringLiteral("Análise da amostra (opcional)"), this);
    auto* af = new QFormLayout(analysis);
    auto percent = [&](const QString& label, const std::optional<double>& v) {
        return addDecimalRow(af, label, QStringLiteral("%"), 2, true, v, analysis);
    };
    EditUmidade = percent(QStringLiteral("&Umidade:"), defaults.analysis.moisture);
    EditHidrogenio = percent(QStringLiteral("&Hidrogênio (base seca):"), defaults.analysis.hydrogenDry);
    EditOxigenioNitrogenio = percent(QStringLiteral("O&xigênio + nitrogênio (base seca):"), defaults.analysis.oxygenNitrogenDry);
    // A check standard (benzoic acid run as a sample) is compared with its certificate.
    EditCertificado = addDecimalRow(form, QStringLiteral("Valor certificado do &padrão:"), QStringLiteral("J/g"), 1, true,
                                    defaults.checkCertified, this);
    EditCertificado->setPlaceholderText(QStringLiteral("opcional"));
    // Tab goes down the form as it is shown.
    setTabOrder(EditData, EditCertificado);
    setTabOrder(EditCertificado, EditUmidade);
    LabelSerie = new QLabel(this);
    LabelSerie->setWordWrap(true);
    LabelSerie->hide();
    // Told again once the calorimeter is typed; never left saying what another one would take.
    connect(EditCalorimetro, &QLineEdit::textEdited, LabelSerie, &QLabel::hide);
    connect(EditCalorimetro, &QLineEdit::editingFinished, this, [this] {
        if (seriesNote_)
            setSeriesNote(seriesNote_);
    });
    LabelAviso = new QLabel(QStringLiteral("* obrigatório"), this);
    btnRegistrar = new QPushButton(QStringLiteral("&Registrar"), this);
    btnCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    btnRegistrar->setDefault(true);
    connect(btnRegistrar, &QPushButton::clicked, this, [this] { RegistrarClick(); });
    connect(btnCancelar, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(LabelAviso, 1);
    buttons->addWidget(btnRegistrar);
    buttons->addWidget(btnCancelar);
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(analysis);
    top->addWidget(LabelSerie);
    top->addLayout(buttons);
}

void TFormRegistro::setSeriesNote(std::function<QString(const QString&)> note) {
    seriesNote_ = std::move(note);
    const QString text = seriesNote_ ? seriesNote_(EditCalorimetro->text().trimmed()) : QString();
    LabelSerie->setText(text);
    LabelSerie->setVisible(!text.isEmpty());
}

ses::SampleIdentity TFormRegistro::identity() const {
    auto percent = [](const DecimalEdit* e) {
        return e->text().trimmed().isEmpty() || !e->isValid() ? std::nullopt : std::optional(e->value());
    };
    return {EditAmostra->text(),
            EditDescricao->text(),
            EditOperador->text(),
            EditCalorimetro->text(),
            EditData->date(),
            {percent(EditUmidade), percent(EditHidrogenio), percent(EditOxigenioNitrogenio)},
            percent(EditCertificado)};
}

void TFormRegistro::RegistrarClick() {
    const ses::SampleIdentity who = identity();
    QLineEdit* missing = who.sampleCode.trimmed().isEmpty()      ? EditAmostra
                         : who.operatorName.trimmed().isEmpty()  ? EditOperador
                         : who.calorimeter.trimmed().isEmpty()   ? EditCalorimetro
                                                                 : nullptr;
    if (missing) {
        messages_.show(MsgKind::Warning, missing == EditAmostra ? ses::msg::RecordNeedsSample : ses::msg::RecordNeedsField);
        missing->setFocus();
        return;
    }
    for (DecimalEdit* e : {EditUmidade, EditHidrogenio, EditOxigenioNitrogenio, EditCertificado})
        if (!e->isValid()) {
            messages_.show(MsgKind::Warning, e->problem());
            e->setFocus();
            return;
        }
    QString why;
    const auto n = save_(who, &why);
    if (!n) {
        // Nothing typed is lost: the form stays as it is for another try.
        messages_.show(MsgKind::Error, ses::msg::RecordNotSaved.arg(why));
        return;
    }
    number_ = n;
    accept();
}
