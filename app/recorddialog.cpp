#include "app/recorddialog.h"

#include "app/decimaledit.h"
#include "session/messages.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

TFormRegistro::TFormRegistro(ses::SampleIdentity defaults, Plan plan, Commit commit, MessageService& messages,
                             std::optional<double> typedW, eval::Unit unit, QWidget* parent)
    : QDialog(parent), plan_(std::move(plan)), commit_(std::move(commit)), messages_(messages), typedW_(typedW),
      unit_(unit) {
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
    CheckUsarW = new QCheckBox(this);
    CheckUsarW->hide();
    LabelPrevia = new QLabel(this);
    LabelPrevia->setObjectName(QStringLiteral("LabelPrevia"));
    LabelPrevia->setWordWrap(true);
    LabelPrevia->setTextFormat(Qt::PlainText);
    LabelPrevia->setFrameShape(QFrame::StyledPanel);
    LabelPrevia->setMargin(4);
    CheckSubstituir = new QCheckBox(this);
    EditMotivo = new QLineEdit(this);
    EditMotivo->setPlaceholderText(QStringLiteral("motivo da substituição"));
    CheckSubstituir->hide();
    EditMotivo->hide();
    EditMotivo->setEnabled(false);
    connect(CheckSubstituir, &QCheckBox::toggled, EditMotivo, &QLineEdit::setEnabled);
    // What the figures depend on: shown again once it is typed, never left showing another
    // calorimeter's W.
    connect(EditCalorimetro, &QLineEdit::textEdited, LabelPrevia, [this] { LabelPrevia->setText(QStringLiteral("…")); });
    for (QLineEdit* e : {static_cast<QLineEdit*>(EditCalorimetro), static_cast<QLineEdit*>(EditUmidade),
                         static_cast<QLineEdit*>(EditHidrogenio), static_cast<QLineEdit*>(EditOxigenioNitrogenio),
                         static_cast<QLineEdit*>(EditCertificado)})
        connect(e, &QLineEdit::editingFinished, this, [this] { updatePreview(); });
    connect(CheckUsarW, &QCheckBox::toggled, this, [this] { updatePreview(); });
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
    top->addWidget(CheckUsarW);
    top->addWidget(LabelPrevia);
    top->addWidget(CheckSubstituir);
    top->addWidget(EditMotivo);
    top->addLayout(buttons);
    updatePreview();
}

TFormRegistro::Choice TFormRegistro::choice() const {
    Choice c;
    c.who = identity();
    c.useTypedW = !CheckUsarW->isHidden() && CheckUsarW->isChecked();
    if (alreadyRecorded_ && CheckSubstituir->isChecked()) {
        c.replaces = alreadyRecorded_;
        c.reason = EditMotivo->text().trimmed();
    }
    return c;
}

void TFormRegistro::updatePreview() {
    QString why;
    // The W choice and the replacement are the plan's own: planned without them first.
    Choice c = choice();
    c.replaces = 0;
    const auto plan = plan_ ? plan_(c, &why) : std::nullopt;
    if (!plan) {
        LabelPrevia->setText(why);
        return;
    }
    // A series' W that differs from the one typed: the user may choose the typed one.
    const bool differs = typedW_ && plan->seriesW && std::abs(*plan->seriesW - *typedW_) >= 0.05;
    CheckUsarW->setText(differs ? ses::msg::UseTypedW.arg(ses::fixed(*typedW_, 1), plan->seriesSource, ses::fixed(*plan->seriesW, 1))
                                : QString());
    CheckUsarW->setVisible(differs);
    alreadyRecorded_ = plan->alreadyRecorded;
    CheckSubstituir->setVisible(alreadyRecorded_ != 0);
    EditMotivo->setVisible(alreadyRecorded_ != 0);
    if (alreadyRecorded_)
        CheckSubstituir->setText(ses::msg::ReplaceChoice.arg(alreadyRecorded_));
    QString text = ses::planText(*plan, unit_);
    if (alreadyRecorded_)
        text = ses::msg::AlreadyRecorded.arg(alreadyRecorded_) + QStringLiteral(".\n") + text;
    LabelPrevia->setText(text);
    // Room for what the preview says now, the fields keeping theirs.
    if (isVisible())
        adjustSize();
}

void TFormRegistro::setFromList(const rec::QueuedSample& s) {
    for (QLineEdit* e : {EditAmostra, EditCalorimetro}) {
        e->setReadOnly(true);
        e->setToolTip(QStringLiteral("Da lista de amostras do dia (%1)").arg(s.massSource));
    }
    // A check standard's certificate comes from the list, as does the absence of one.
    EditCertificado->setReadOnly(true);
    updatePreview();
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
    const Choice c = choice();
    if (alreadyRecorded_ && !c.replaces) {
        messages_.show(MsgKind::Warning, ses::msg::AlreadyRecorded.arg(alreadyRecorded_) + QStringLiteral(".\n") +
                                             ses::msg::ReplaceHint.arg(alreadyRecorded_));
        CheckSubstituir->setFocus();
        return;
    }
    if (c.replaces && c.reason.isEmpty()) {
        messages_.show(MsgKind::Warning, ses::msg::ReplaceNeedsReason);
        EditMotivo->setFocus();
        return;
    }
    // Replacing rejects the earlier record, which can never be undone.
    if (c.replaces && messages_.ask(MsgKind::Confirmation, ses::msg::RejectConfirm.arg(c.replaces), MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    QString why;
    // Planned again now: what is written is what the form shows.
    const auto plan = plan_(c, &why);
    const auto n = plan ? commit_(*plan, &why) : std::nullopt;
    if (!n) {
        // Nothing typed is lost: the form stays as it is for another try.
        messages_.show(MsgKind::Error, ses::msg::recordNotSaved(why));
        updatePreview();
        return;
    }
    number_ = n;
    recorded_ = plan;
    accept();
}
