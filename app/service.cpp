#include "app/service.h"

#include "acquisition/toplevel.h"
#include "link/commands.h"
#include "link/framecodec.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {

// The reference columns inside both group boxes; a caption wider than its column at the
// platform's font pushes the field after it to the right, and the field gives up that width.
constexpr int kLabelLeft = 8;
constexpr int kSpinLeft = 112, kSpinWidth = 81;
constexpr int kSendLeft = 200, kGroupRight = 385;
constexpr int kEditLeft = 72;
constexpr int kGap = 6;

int rightOf(const QList<QLabel*>& labels) {
    int r = 0;
    for (const QLabel* l : labels)
        r = std::max(r, kLabelLeft + l->sizeHint().width() + kGap);
    return r;
}

} // namespace

TFormService::TFormService(lnk::SerialChannel& channel, MessageService& messages, QWidget* parent)
    : QDialog(parent), ch_(channel), msg_(messages) {
    setObjectName(QStringLiteral("FormService"));
    setWindowTitle(QStringLiteral("Serviço - Teste de Comunicação com o Registrador"));
    resize(kOuterSize);
    move(kFramePos);
    Button1 = new QPushButton(QStringLiteral("Diagnóstico (0x08)"), this);
    Button1->setGeometry(8, 8, 393, 25);
    btnLimpa = new QPushButton(QStringLiteral("Limpa Memória (0x41)"), this);
    btnLimpa->setGeometry(8, 40, 393, 25);

    struct Parts {
        QGroupBox* box;
        QList<QLabel*> spinLabels, editLabels;
        QSpinBox* spins[2];
        QPushButton* send;
        QLineEdit* edits[2];
        int editTop;
    };
    auto group = [this](const QString& title, int top, const QString& l1, const QString& l2, int max2,
                        const QString& sendText, int editTop) {
        Parts p;
        p.box = new QGroupBox(title, this);
        p.box->setGeometry(8, top, 393, 129);
        p.spinLabels = {new QLabel(l1, p.box), new QLabel(l2, p.box)};
        p.editLabels = {new QLabel(QStringLiteral("Mensagem:"), p.box), new QLabel(QStringLiteral("Resposta:"), p.box)};
        for (int i = 0; i < 2; ++i) {
            p.spinLabels[i]->move(kLabelLeft, 20 + 24 * i);
            p.editLabels[i]->move(kLabelLeft, editTop + 4 + 24 * i);
            p.spins[i] = new QSpinBox(p.box);
            p.spins[i]->setRange(i == 0 ? 0 : 1, i == 0 ? 65535 : max2);
            p.edits[i] = new QLineEdit(p.box);
        }
        p.send = new QPushButton(sendText, p.box);
        p.editTop = editTop;
        return p;
    };
    Parts g1 = group(QStringLiteral("Lê Registros"), 72, QStringLiteral("Endereço Inicial:"),
                     QStringLiteral("Qtd. de Registros:"), 125, QStringLiteral("Envia (0x03)"), 76);
    Parts g2 = group(QStringLiteral("Escreve Registro"), 208, QStringLiteral("Endereço:"),
                     QStringLiteral("Valor:"), 65535, QStringLiteral("Envia (0x06)"), 72);
    // The same columns in both boxes, at the reference places when the captions fit.
    const int spinLeft = std::max({kSpinLeft, rightOf(g1.spinLabels), rightOf(g2.spinLabels)});
    const int spinWidth = std::max(kSpinWidth - (spinLeft - kSpinLeft), 64);
    const int sendLeft = std::max(kSendLeft, spinLeft + spinWidth + 7);
    const int editLeft = std::max({kEditLeft, rightOf(g1.editLabels), rightOf(g2.editLabels)});
    for (Parts* p : {&g1, &g2}) {
        for (int i = 0; i < 2; ++i) {
            p->spins[i]->setGeometry(spinLeft, 16 + 24 * i, spinWidth, 22);
            p->edits[i]->setGeometry(editLeft, p->editTop + 24 * i, kGroupRight - editLeft, 21);
        }
        p->send->setGeometry(sendLeft, 16, kGroupRight - sendLeft, 49);
    }
    GroupBox1 = g1.box;
    SpinEdit1 = g1.spins[0];
    SpinEdit2 = g1.spins[1];
    Button2 = g1.send;
    Edit3 = g1.edits[0];
    Edit4 = g1.edits[1];
    GroupBox2 = g2.box;
    SpinEdit3 = g2.spins[0];
    SpinEdit4 = g2.spins[1];
    Button3 = g2.send;
    Edit7 = g2.edits[0];
    Edit8 = g2.edits[1];

    Button4 = new QPushButton(QStringLiteral("OK"), this);
    Button4->setGeometry(8, 352, 393, 25);
    Button4->setDefault(true);
    connect(Button4, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(btnLimpa, &QPushButton::clicked, this, [this] { btnLimpaClick(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    // 418 × 428 with the frame, which is known only once a window has been shown; later
    // showings keep what the technician made of it.
    toplevel::placeWhenShown(
        this,
        [this] {
            resize(toplevel::clientFor(this, kOuterSize));
            toplevel::placeFrameAt(this, kFramePos);
        },
        toplevel::Showings::First);
}

void TFormService::keyPressEvent(QKeyEvent* e) {
    // Only "OK" and the title bar close this window: Escape does not.
    if (e->matches(QKeySequence::Cancel)) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

int TFormService::spinValue(const QSpinBox* s) {
    bool ok = false;
    const int v = s->cleanText().toInt(&ok);
    return ok ? std::clamp(v, s->minimum(), s->maximum()) : s->minimum();
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
    request(lnk::cmd::readRequest(spinValue(SpinEdit1), spinValue(SpinEdit2)), lnk::cmd::kServiceRead, Edit3, Edit4);
}

void TFormService::Button3Click() {
    request(lnk::cmd::writeRequest(spinValue(SpinEdit3), spinValue(SpinEdit4)), lnk::cmd::kServiceWrite, Edit7,
            Edit8);
}
