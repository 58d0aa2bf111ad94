#include "app/config.h"

#include "acquisition/toplevel.h"
#include "link/portmap.h"

#include <QButtonGroup>
#include <QDir>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

TFormComunicacao::TFormComunicacao(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormComunicacao"));
    setWindowTitle(QStringLiteral("Comunicação"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(249, 170);
    RadioGroup1 = new QGroupBox(QStringLiteral("Porta de comunicação"), this);
    RadioGroup1->setGeometry(8, 8, 233, 121);
    auto* lay = new QGridLayout(RadioGroup1);
    lay->setColumnStretch(1, 1);
    group_ = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        items[i] = new QRadioButton(QStringLiteral("COM%1").arg(i + 1), RadioGroup1);
        group_->addButton(items[i], i);
        lay->addWidget(items[i], i, 0);
        devices[i] = new QLabel(RadioGroup1);
        devices[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        devices[i]->setStyleSheet(QStringLiteral("color: #555555;"));
        lay->addWidget(devices[i], i, 1);
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

void TFormComunicacao::showDevices(const lnk::PortMap& ports) {
    for (int i = 0; i < 4; ++i) {
        const QString device = QDir::toNativeSeparators(ports.device(i));
        const auto there = lnk::PortMap::present(ports.device(i));
        const QString state = !there ? QString() : *there ? QStringLiteral("presente") : QStringLiteral("ausente");
        // A long path shortened at its start (its end names the device); the whole of it in the tooltip.
        const QString suffix = state.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(state);
        const int room = RadioGroup1->width() - items[i]->sizeHint().width() - 30;
        const QFontMetrics fm(devices[i]->font());
        devices[i]->setText(fm.elidedText(device, Qt::ElideLeft, std::max(20, room - fm.horizontalAdvance(suffix))) + suffix);
        devices[i]->setToolTip(state.isEmpty() ? device : QStringLiteral("%1: %2").arg(device, state));
        devices[i]->setStyleSheet(there == false ? QStringLiteral("color: #a00000;") : QStringLiteral("color: #555555;"));
    }
}
