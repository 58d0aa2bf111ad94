#include "app/config.h"

#include "acquisition/toplevel.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TFormComunicacao::TFormComunicacao(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormComunicacao"));
    setWindowTitle(QStringLiteral("Comunicação"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(249, 170);
    RadioGroup1 = new QGroupBox(QStringLiteral("Porta de comunicação"), this);
    RadioGroup1->setGeometry(8, 8, 233, 121);
    auto* lay = new QVBoxLayout(RadioGroup1);
    group_ = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        items[i] = new QRadioButton(QStringLiteral("COM%1").arg(i + 1), RadioGroup1);
        group_->addButton(items[i], i);
        lay->addWidget(items[i]);
    }
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setGeometry(8, 136, 113, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    Button2 = new QPushButton(QStringLiteral("Cancela"), this);
    Button2->setGeometry(128, 136, 115, 25);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    // Placed anew on every showing: the same place each time, whatever the frame.
    toplevel::placeWhenShown(this, [this] { toplevel::centreOnScreen(this); });
}

void TFormComunicacao::select(int index) {
    group_->setExclusive(false);
    for (QRadioButton* b : items)
        b->setChecked(false);
    group_->setExclusive(true);
    if (index >= 0)
        items[std::min(index, 3)]->setChecked(true);
}

int TFormComunicacao::selected() const { return group_->checkedId(); }
