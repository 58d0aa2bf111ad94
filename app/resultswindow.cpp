#include "app/resultswindow.h"

#include "records/duplicates.h"
#include "session/messages.h"
#include "session/testevaluation.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <map>

TFormResultados::TFormResultados(Open open, MessageService& messages, QWidget* parent)
    : QDialog(parent), open_(std::move(open)), messages_(messages) {
    setObjectName(QStringLiteral("FormResultados"));
    setWindowTitle(QStringLiteral("Resultados"));
    EditFiltro = new QLineEdit(this);
    EditFiltro->setPlaceholderText(QStringLiteral("todas"));
    connect(EditFiltro, &QLineEdit::textChanged, this, [this] { refresh(); });
    Lista = new QTableWidget(this);
    Lista->setColumnCount(8);
    Lista->setHorizontalHeaderLabels({QStringLiteral("Nº"), QStringLiteral("Tipo"), QStringLiteral("Amostra"),
                                      QStringLiteral("Calorímetro"), QStringLiteral("Data do ensaio"),
                                      QStringLiteral("Resultado"), QStringLiteral("Duplicatas"),
                                      QStringLiteral("Situação")});
    Lista->setSelectionBehavior(QAbstractItemView::SelectRows);
    Lista->setSelectionMode(QAbstractItemView::SingleSelection);
    Lista->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Lista->verticalHeader()->hide();
    Lista->horizontalHeader()->setStretchLastSection(true);
    EditMotivo = new QLineEdit(this);
    btnRejeitar = new QPushButton(QStringLiteral("&Rejeitar"), this);
    btnFechar = new QPushButton(QStringLiteral("&Fechar"), this);
    // Enter closes the window; a rejection is never one key away.
    btnRejeitar->setAutoDefault(false);
    btnFechar->setDefault(true);
    connect(btnRejeitar, &QPushButton::clicked, this, [this] { RejeitarClick(); });
    connect(btnFechar, &QPushButton::clicked, this, &QDialog::accept);
    auto* filter = new QHBoxLayout;
    auto* filterLabel = new QLabel(QStringLiteral("&Amostra:"), this);
    filterLabel->setBuddy(EditFiltro);
    filter->addWidget(filterLabel);
    filter->addWidget(EditFiltro, 1);
    auto* bottom = new QHBoxLayout;
    auto* reasonLabel = new QLabel(QStringLiteral("&Motivo da rejeição:"), this);
    reasonLabel->setBuddy(EditMotivo);
    bottom->addWidget(reasonLabel);
    bottom->addWidget(EditMotivo, 1);
    bottom->addWidget(btnRejeitar);
    bottom->addWidget(btnFechar);
    auto* top = new QVBoxLayout(this);
    top->addLayout(filter);
    top->addWidget(Lista, 1);
    top->addLayout(bottom);
    resize(820, 420);
}

bool TFormResultados::refresh() {
    QString why;
    const auto store = open_(&why);
    const auto all = store ? store->list(&why) : std::nullopt;
    if (!all) {
        messages_.show(MsgKind::Error, why);
        return false;
    }
    // The verdict of each sample's valid determinations, in the order they were recorded.
    std::map<QString, QList<double>> values;
    for (auto it = all->crbegin(); it != all->crend(); ++it)
        if (!it->rejected() && it->kind == rec::Determination::Kind::Sample && it->result.grossCalorificValue)
            values[it->sampleCode] << *it->result.grossCalorificValue;
    const QString filter = EditFiltro->text().trimmed();
    shown_.clear();
    for (const rec::Determination& d : *all)
        if (filter.isEmpty() || d.sampleCode.contains(filter, Qt::CaseInsensitive))
            shown_ << d;
    Lista->setRowCount(static_cast<int>(shown_.size()));
    for (int r = 0; r < shown_.size(); ++r) {
        const rec::Determination& d = shown_[r];
        const bool calibration = d.kind == rec::Determination::Kind::Calibration;
        const auto value = calibration ? d.result.energyEquivalent : d.result.grossCalorificValue;
        QString duplicates;
        if (!calibration && values.count(d.sampleCode)) {
            const rec::DuplicateVerdict v = rec::duplicates(values[d.sampleCode]);
            duplicates = v.state == rec::DuplicateVerdict::State::Agree    ? ses::msg::DuplicatesAgree.arg(ses::fixed(*v.reported, 1))
                         : v.state == rec::DuplicateVerdict::State::Repeat ? ses::msg::DuplicatesRepeat
                                                                           : QString();
        }
        const QStringList cells{QString::number(d.id),
                                calibration ? QStringLiteral("calibração") : QStringLiteral("amostra"),
                                d.sampleCode,
                                d.calorimeter,
                                d.testDate.toString(QStringLiteral("dd/MM/yyyy")),
                                value ? ses::fixed(*value, 1) + (calibration ? QStringLiteral(" J/K") : QStringLiteral(" J/g"))
                                      : QString(),
                                duplicates,
                                d.rejected() ? ses::msg::Rejected.arg(d.rejectedReason) : QStringLiteral("válida")};
        for (int c = 0; c < cells.size(); ++c)
            Lista->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    Lista->resizeColumnsToContents();
    return true;
}

void TFormResultados::RejeitarClick() {
    const int row = Lista->currentRow();
    if (row < 0 || row >= shown_.size()) {
        messages_.show(MsgKind::Warning, ses::msg::ChooseDetermination);
        return;
    }
    QString why;
    const auto store = open_(&why);
    if (!store || !store->reject(shown_[row].id, EditMotivo->text(), &why)) {
        messages_.show(MsgKind::Error, why);
        return;
    }
    EditMotivo->clear();
    refresh();
}
