#include "app/signdialog.h"

#include "app/windowmemory.h"
#include "session/recording.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFormAssinatura::TFormAssinatura(const rec::Determination& d, rec::Signature::Meaning meaning, const QString& duplicates,
                                 const QString& doubts, const QString& history, Sign sign, MessageService& messages,
                                 QWidget* parent)
    : QDialog(parent), sign_(std::move(sign)), messages_(messages) {
    setObjectName(QStringLiteral("FormAssinatura"));
    const QString verb = meaning == rec::Signature::Meaning::Approved   ? QStringLiteral("Aprovar")
                         : meaning == rec::Signature::Meaning::Rejected ? QStringLiteral("Rejeitar")
                                                                        : QStringLiteral("Revisar");
    setWindowTitle(QStringLiteral("%1 a determinação nº %2").arg(verb).arg(d.id));
    LabelRegistro = new QLabel(this);
    LabelRegistro->setTextFormat(Qt::PlainText);
    LabelRegistro->setWordWrap(true);
    LabelRegistro->setText(QStringLiteral("Amostra %1%2, ensaio de %3, operador %4: %5")
                               .arg(d.sampleCode, d.description.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(d.description),
                                    d.testDate.toString(QStringLiteral("dd/MM/yyyy")), d.operatorName,
                                    ses::resultText(d, eval::Unit::JoulesPerGram)) +
                           (duplicates.isEmpty() ? QString() : QStringLiteral(". Duplicatas: %1.").arg(duplicates)));
    LabelDuvidas = new QLabel(this);
    LabelDuvidas->setTextFormat(Qt::PlainText);
    LabelDuvidas->setWordWrap(true);
    LabelDuvidas->setStyleSheet(QStringLiteral("color: #8a4b00;"));
    LabelDuvidas->setText(doubts.isEmpty() ? QString() : QStringLiteral("Atenção: %1. Para aprovar, diga por que no comentário.").arg(doubts));
    LabelDuvidas->setVisible(!doubts.isEmpty());
    TextoHistorico = new QPlainTextEdit(history, this);
    TextoHistorico->setReadOnly(true);
    EditUsuario = new QLineEdit(this);
    EditSenha = new QLineEdit(this);
    EditSenha->setEchoMode(QLineEdit::Password);
    EditComentario = new QLineEdit(this);
    EditComentario->setPlaceholderText(meaning == rec::Signature::Meaning::Rejected ? QStringLiteral("o motivo da rejeição")
                                                                                   : QStringLiteral("opcional"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Usuário:"), EditUsuario);
    form->addRow(QStringLiteral("S&enha:"), EditSenha);
    form->addRow(meaning == rec::Signature::Meaning::Rejected ? QStringLiteral("&Motivo:") : QStringLiteral("&Comentário:"),
                 EditComentario);
    auto* meaningLabel = new QLabel(QStringLiteral("Significado da assinatura: %1").arg(rec::meaningText(meaning)), this);
    btnAssinar = new QPushButton(QStringLiteral("&Assinar"), this);
    btnCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    btnAssinar->setDefault(true);
    // Room for the captions whatever the fonts (Windows' are wider).
    for (QPushButton* b : {btnAssinar, btnCancelar})
        b->setMinimumWidth(b->sizeHint().width() + b->fontMetrics().horizontalAdvance(QLatin1Char('x')));
    connect(btnAssinar, &QPushButton::clicked, this, [this] { AssinarClick(); });
    connect(btnCancelar, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(meaningLabel, 1);
    buttons->addWidget(btnAssinar);
    buttons->addWidget(btnCancelar);
    auto* top = new QVBoxLayout(this);
    top->addWidget(LabelRegistro);
    top->addWidget(LabelDuvidas);
    top->addWidget(new QLabel(QStringLiteral("Histórico do registro:"), this));
    top->addWidget(TextoHistorico, 1);
    top->addLayout(form);
    top->addLayout(buttons);
    EditUsuario->setFocus();
    mem::placeWindow(this, QSize(720, 560));
}

void TFormAssinatura::AssinarClick() {
    QString why;
    const rec::Signer who{EditUsuario->text().trimmed(), EditSenha->text()};
    // The password serves one attempt only.
    EditSenha->clear();
    if (!sign_(who, EditComentario->text(), &why)) {
        messages_.show(MsgKind::Warning, why);
        EditSenha->setFocus();
        return;
    }
    signed_ = true;
    accept();
}
