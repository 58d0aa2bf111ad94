#include "acquisition/lendo.h"

#include <QLabel>
#include <QProgressBar>

TFormLendo::TFormLendo(QWidget* parent) : QWidget(parent, Qt::Dialog | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("FormLendo"));
    setWindowTitle(QStringLiteral("Lendo memória"));
    setFixedSize(234, 84);
    move(365, 263);
    Label1 = new QLabel(QStringLiteral("Lendo memória..."), this);
    Label1->move(8, 8);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(8, 24, 209, 17);
    ProgressBar1->setTextVisible(false);
}
