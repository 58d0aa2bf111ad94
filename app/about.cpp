#include "app/about.h"

#include "acquisition/toplevel.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

void initAppResources() { Q_INIT_RESOURCE(resources); }

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    initAppResources();
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("Sobre"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(298, 261);
    Panel1 = new QFrame(this);
    Panel1->setGeometry(8, 8, 281, 209);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(2);
    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setPixmap(QPixmap(QStringLiteral(":/about.png")));
    ProgramIcon->setGeometry(8, 8, 215, 51);
    ProductName = new QLabel(QStringLiteral("Software de Aquisição de Dados"), Panel1);
    ProductName->move(8, 72);
    Label1 = new QLabel(QStringLiteral("Bomba Calorimétrica BC-200"), Panel1);
    Label1->move(8, 88);
    // The build's own version, not a number written once by hand.
    Version = new QLabel(QStringLiteral("Versão %1").arg(QStringLiteral(REGISTRADOR_VERSION)), Panel1);
    Version->move(8, 104);
    // Short lines: the panel is 281 pixels wide at every font.
    const char* lines[4] = {"Laboratório de Calorimetria", "Instrumentos de Medição",
                            "Suporte: o fornecedor do equipamento", "Amostras a cada 5 s"};
    for (int i = 0; i < 4; ++i) {
        details[i] = new QLabel(QString::fromUtf8(lines[i]), Panel1);
        details[i]->move(8, 120 + 16 * i + (i == 3 ? 16 : 0));
    }
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(111, 228, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    toplevel::placeWhenShown(this, [this] { toplevel::centreOnScreen(this); });
}

void TAboutBox::keyPressEvent(QKeyEvent* e) {
    // The box closes by "OK", Enter or the title bar only.
    if (e->matches(QKeySequence::Cancel)) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}
