#include "app/service.h"

#include "link/commands.h"
#include "link/framecodec.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

TFormService::TFormService(lnk::SerialChannel& channel, MessageService& messages, QWidget* parent)
    : QDialog(parent), ch_(channel), msg_(messages) {
    setObjectName(QStringLiteral("FormService"));
    setWindowTitle(QStringLiteral("Serviço - Teste de Comunicação com o Registrador"));
    resize(418, 428);
    move(328, 184);
    Button1 = new QPushButton(QStringLiteral("Diagnóstico (0x08)"), this);
    Button1->setGeometry(8, 8, 393, 25);
    btnLimpa = new QPushButton(QStringLiteral("Limpa Memória (0x41)"), this);
    btnLimpa->setGeometry(8, 40, 393, 25);

    auto group = [this](const QString& title, int top, const QString& l1, const QString& l2, int min2,
                        QSpinBox*& s1, QSpinBox*& s2, QPushButton*& send, const QString& sendText,
                        QLineEdit*& e1, QLineEdit*& e2, int editTop) {
        auto* g = new QGroupBox(title, this);
        g->setGeometry(8, top, 393, 129);
        (new QLabel(l1, g))->move(8, 20);
        (new QLabel(l2, g))->move(8, 44);
        s1 = new QSpinBox(g);
        s1->setGeometry(112, 16, 81, 22);
        s1->setRange(0, 65535);
        s2 = new QSpinBox(g);
        s2->setGeometry(112, 40, 81, 22);
        s2->setRange(min2, min2 == 1 && l2.startsWith(QLatin1String("Qtd")) ? 125 : 65535);
        send = new QPushButton(sendText, g);
        send->setGeometry(200, 16, 185, 49);
        (new QLabel(QStringLiteral("Mensagem:"), g))->move(8, editTop + 4);
        (new QLabel(QStringLiteral("Resposta:"), g))->move(8, editTop + 28);
        e1 = new QLineEdit(g);
        e1->setGeometry(72, editTop, 313, 21);
        e2 = new QLineEdit(g);
        e2->setGeometry(72, editTop + 24, 313, 21);
        return g;
    };
    GroupBox1 = group(QStringLiteral("Lê Registros"), 72, QStringLiteral("Endereço Inicial:"),
                      QStringLiteral("Qtd. de Registros:"), 1, SpinEdit1, SpinEdit2, Button2,
                      QStringLiteral("Envia (0x03)"), Edit3, Edit4, 76);
    GroupBox2 = group(QStringLiteral("Escreve Registro"), 208, QStringLiteral("Endereço:"),
                      QStringLiteral("Valor:"), 1, SpinEdit3, SpinEdit4, Button3,
                      QStringLiteral("Envia (0x06)"), Edit7, Edit8, 72);
    Button4 = new QPushButton(QStringLiteral("OK"), this);
    Button4->setGeometry(8, 352, 393, 25);
    Button4->setDefault(true);
    connect(Button4, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(btnLimpa, &QPushButton::clicked, this, [this] { btnLimpaClick(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
}

void TFormService::fixedFrame(const QByteArray& frame, const lnk::ExchangeSpec& opts) {
    const QByteArray r = ch_.exchange(frame, opts);
    msg_.plain(QString::fromLatin1(r) + (lnk::VerifyMessage(r) ? QStringLiteral("OK") : QStringLiteral("Erro")));
}

void TFormService::request(const QByteArray& frame, const lnk::ExchangeSpec& opts, QLineEdit* sent,
                           QLineEdit* got) {
    sent->setText(QString::fromLatin1(frame));
    const QByteArray r = ch_.exchange(frame, opts);
    got->setText(QString::fromLatin1(r)); // the whole response, whatever its length
    if (!lnk::VerifyMessage(r))
        msg_.plain(QStringLiteral("Erro"));
}

void TFormService::Button1Click() { fixedFrame(lnk::cmd::kDiagnosticsFrame, lnk::cmd::kServiceDiagnostics); }
void TFormService::btnLimpaClick() { fixedFrame(lnk::cmd::kClearFrame, lnk::cmd::kServiceClear); }

void TFormService::Button2Click() {
    request(lnk::cmd::readRequest(SpinEdit1->value(), SpinEdit2->value()), lnk::cmd::kServiceRead, Edit3, Edit4);
}

void TFormService::Button3Click() {
    request(lnk::cmd::writeRequest(SpinEdit3->value(), SpinEdit4->value()), lnk::cmd::kServiceWrite, Edit7, Edit8);
}
