#include "app/resultswindow.h"

#include "app/signdialog.h"
#include "session/approval.h"
#include "session/calibrationseries.h"
#include "session/recordservice.h"

#include "app/evaluationdialog.h"
#include "app/report.h"
#include "app/serieswindow.h"
#include "session/calibrationseries.h"
#include "session/messages.h"
#include "session/recording.h"
#include "session/testevaluation.h"

#include "app/windowmemory.h"

#include <QCalendarWidget>
#include <QScrollArea>
#include <QScreen>
#include <algorithm>
#include <QComboBox>
#include <QKeyEvent>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// A cell that sorts by a key of its own (a number, an ISO date) rather than by what it shows.
class SortItem : public QTableWidgetItem {
public:
    SortItem(const QString& text, QVariant key) : QTableWidgetItem(text) { setData(Qt::UserRole, std::move(key)); }
    bool operator<(const QTableWidgetItem& other) const override {
        const QVariant a = data(Qt::UserRole), b = other.data(Qt::UserRole);
        if (a.isNull() != b.isNull())
            return a.isNull(); // empty cells first
        if (a.typeId() == QMetaType::Double || a.typeId() == QMetaType::LongLong)
            return a.toDouble() < b.toDouble();
        return a.toString() < b.toString();
    }
};

// "Sem limite" is shown for the earliest date a date field holds: no date chosen.
const QDate kNoDate(2000, 1, 1);

// A date field whose calendar, with no date chosen yet, opens at this month rather than at the
// "no limit" date far back.
class DateFilterEdit : public QDateEdit {
public:
    using QDateEdit::QDateEdit;

protected:
    void mousePressEvent(QMouseEvent* e) override {
        QDateEdit::mousePressEvent(e);
        if (date() == minimumDate() && calendarWidget())
            calendarWidget()->setCurrentPage(QDate::currentDate().year(), QDate::currentDate().month());
    }
};

QDateEdit* dateFilter(QWidget* parent) {
    auto* e = new DateFilterEdit(kNoDate, parent);
    e->setMinimumDate(kNoDate);
    e->setSpecialValueText(QStringLiteral("qualquer"));
    e->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    e->setCalendarPopup(true);
    return e;
}

QString kindText(const rec::Determination& d) {
    return d.kind == rec::Determination::Kind::Calibration ? QStringLiteral("calibração") : QStringLiteral("amostra");
}

} // namespace

bool saveRecordReport(const rec::Determination& d, const QString& duplicates, FileDialogs& files,
                      MessageService& messages) {
    const QString path = files.saveFile(FileDialogSpec{QStringLiteral("Salvar relatório"),
                                                       QStringLiteral("Relatórios PDF (*.pdf)|*.pdf"), QStringLiteral("pdf"),
                                                       true, QStringLiteral("determinacao-%1.pdf").arg(d.id)});
    if (path.isEmpty())
        return false;
    QString why;
    if (!writeRecordReport(d, duplicates, path, &why)) {
        messages.show(MsgKind::Error, why);
        return false;
    }
    return true;
}

// ---- the list ----------------------------------------------------------------------------------

TFormResultados::TFormResultados(Open open, MessageService& messages, FileDialogs& files, QWidget* parent,
                                 std::function<int(QDialog&)> execForm, double repeatability)
    : QDialog(parent), open_(std::move(open)), messages_(messages), files_(files), execForm_(std::move(execForm)),
      repeatability_(repeatability) {
    setObjectName(QStringLiteral("FormResultados"));
    setWindowTitle(QStringLiteral("Resultados"));
    EditFiltro = new QLineEdit(this);
    EditFiltro->setPlaceholderText(QStringLiteral("todas"));
    EditFiltro->setClearButtonEnabled(true);
    ComboTipo = new QComboBox(this);
    ComboTipo->addItems({QStringLiteral("todos"), QStringLiteral("amostra"), QStringLiteral("calibração")});
    ComboCalorimetro = new QComboBox(this);
    ComboCalorimetro->addItem(QStringLiteral("todos"));
    ComboCalorimetro->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    EditDe = dateFilter(this);
    EditAte = dateFilter(this);
    ComboSituacao = new QComboBox(this);
    ComboSituacao->addItems({QStringLiteral("todas"), QStringLiteral("válidas"), QStringLiteral("rejeitadas"),
                             QStringLiteral("série mudou"), QStringLiteral("a revisar"), QStringLiteral("a aprovar"),
                             QStringLiteral("aprovadas")});
    ComboUnidade = new QComboBox(this);
    for (const eval::Unit u : eval::kUnits)
        ComboUnidade->addItem(eval::unitName(u));
    auto again = [this] {
        if (!filling_)
            refresh();
    };
    connect(EditFiltro, &QLineEdit::textChanged, this, again);
    for (QComboBox* c : {ComboTipo, ComboCalorimetro, ComboSituacao, ComboUnidade})
        connect(c, &QComboBox::currentIndexChanged, this, again);
    for (QDateEdit* e : {EditDe, EditAte})
        connect(e, &QDateEdit::dateChanged, this, again);

    Lista = new QTableWidget(this);
    Lista->setColumnCount(10);
    Lista->setHorizontalHeaderLabels({QStringLiteral("Nº"), QStringLiteral("Tipo"), QStringLiteral("Amostra"),
                                      QStringLiteral("Calorímetro"), QStringLiteral("Data do ensaio"),
                                      QStringLiteral("Resultado"), QStringLiteral("PCI"), QStringLiteral("Duplicatas"),
                                      QStringLiteral("Situação"), QStringLiteral("Série mudou")});
    Lista->setSelectionBehavior(QAbstractItemView::SelectRows);
    Lista->setSelectionMode(QAbstractItemView::SingleSelection);
    Lista->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Lista->verticalHeader()->hide();
    Lista->horizontalHeader()->setStretchLastSection(true);
    Lista->setSortingEnabled(true);
    Lista->sortByColumn(0, Qt::DescendingOrder);
    connect(Lista, &QTableWidget::cellDoubleClicked, this, [this] { AbrirClick(); });
    LabelTotal = new QLabel(this);
    LabelBanco = new QLabel(this);
    LabelBanco->setTextInteractionFlags(Qt::TextSelectableByMouse);

    EditMotivo = new QLineEdit(this);
    btnAbrir = new QPushButton(QStringLiteral("A&brir..."), this);
    btnRelatorio = new QPushButton(QStringLiteral("Relató&rio..."), this);
    btnExportar = new QPushButton(QStringLiteral("E&xportar lista..."), this);
    btnRejeitar = new QPushButton(QStringLiteral("Re&jeitar"), this);
    btnHistorico = new QPushButton(QStringLiteral("&Histórico..."), this);
    btnSeries = new QPushButton(QStringLiteral("Séries de ca&libração..."), this);
    btnAmostras = new QPushButton(QStringLiteral("Am&ostras do dia..."), this);
    btnAmostras->hide();
    btnRevisar = new QPushButton(QStringLiteral("Re&visar..."), this);
    btnAprovar = new QPushButton(QStringLiteral("A&provar..."), this);
    btnRevisar->hide();
    btnAprovar->hide();
    btnFechar = new QPushButton(QStringLiteral("&Fechar"), this);
    // Enter closes the window; a rejection is never one key away.
    for (QPushButton* b : {btnAbrir, btnRelatorio, btnExportar, btnRejeitar, btnHistorico, btnSeries, btnAmostras, btnRevisar,
                           btnAprovar})
        b->setAutoDefault(false);
    // Each button keeps room for its caption whatever the fonts (Windows' are wider).
    for (QPushButton* b : {btnAbrir, btnRelatorio, btnExportar, btnRejeitar, btnHistorico, btnSeries, btnAmostras, btnRevisar,
                           btnAprovar, btnFechar})
        b->setMinimumWidth(b->sizeHint().width() + b->fontMetrics().horizontalAdvance(QLatin1Char('x')));
    btnFechar->setDefault(true);
    connect(btnAbrir, &QPushButton::clicked, this, [this] { AbrirClick(); });
    connect(btnRelatorio, &QPushButton::clicked, this, [this] { RelatorioClick(); });
    connect(btnExportar, &QPushButton::clicked, this, [this] { ExportarClick(); });
    connect(btnRejeitar, &QPushButton::clicked, this, [this] { RejeitarClick(); });
    connect(btnHistorico, &QPushButton::clicked, this, [this] { HistoricoClick(); });
    connect(btnSeries, &QPushButton::clicked, this, [this] { SeriesClick(); });
    connect(btnRevisar, &QPushButton::clicked, this, [this] { RevisarClick(); });
    connect(btnAprovar, &QPushButton::clicked, this, [this] { AprovarClick(); });
    connect(btnAmostras, &QPushButton::clicked, this, [this] {
        if (openSamples_) {
            openSamples_();
            refresh();
        }
    });
    connect(btnFechar, &QPushButton::clicked, this, &QDialog::accept);

    auto* filters = new QGridLayout;
    auto labelFor = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    filters->addWidget(labelFor(QStringLiteral("&Amostra:"), EditFiltro), 0, 0);
    filters->addWidget(EditFiltro, 0, 1);
    filters->addWidget(labelFor(QStringLiteral("T&ipo:"), ComboTipo), 0, 2);
    filters->addWidget(ComboTipo, 0, 3);
    filters->addWidget(labelFor(QStringLiteral("&Calorímetro:"), ComboCalorimetro), 0, 4);
    filters->addWidget(ComboCalorimetro, 0, 5);
    filters->addWidget(labelFor(QStringLiteral("Ensaios &de:"), EditDe), 1, 0);
    auto* dates = new QHBoxLayout;
    dates->addWidget(EditDe);
    dates->addWidget(labelFor(QStringLiteral("a&té:"), EditAte));
    dates->addWidget(EditAte);
    dates->addStretch(1);
    filters->addLayout(dates, 1, 1);
    filters->addWidget(labelFor(QStringLiteral("&Situação:"), ComboSituacao), 1, 2);
    filters->addWidget(ComboSituacao, 1, 3);
    filters->addWidget(labelFor(QStringLiteral("&Unidade:"), ComboUnidade), 1, 4);
    filters->addWidget(ComboUnidade, 1, 5);
    filters->setColumnStretch(1, 1);

    auto* actions = new QHBoxLayout;
    actions->addWidget(LabelTotal, 1);
    actions->addWidget(btnAmostras);
    actions->addWidget(btnSeries);
    actions->addWidget(btnHistorico);
    actions->addWidget(btnAbrir);
    actions->addWidget(btnRelatorio);
    actions->addWidget(btnExportar);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(labelFor(QStringLiteral("&Motivo da rejeição:"), EditMotivo));
    bottom->addWidget(EditMotivo, 1);
    bottom->addWidget(btnRejeitar);
    bottom->addWidget(btnRevisar);
    bottom->addWidget(btnAprovar);
    bottom->addWidget(btnFechar);
    auto* top = new QVBoxLayout(this);
    top->addLayout(filters);
    top->addWidget(Lista, 1);
    top->addWidget(LabelBanco);
    top->addLayout(actions);
    top->addLayout(bottom);
    mem::placeWindow(this, QSize(940, 520));

    // The unit, the order and the columns as the user left them last time.
    filling_ = true;
    ComboUnidade->setCurrentIndex(std::clamp(mem::value(QStringLiteral("resultados/unidade"), 0).toInt(), 0,
                                             int(ComboUnidade->count()) - 1));
    if (const QByteArray columns = mem::value(QStringLiteral("resultados/colunas")).toByteArray(); !columns.isEmpty())
        Lista->horizontalHeader()->restoreState(columns);
    Lista->horizontalHeader()->setStretchLastSection(true);
    Lista->sortByColumn(Lista->horizontalHeader()->sortIndicatorSection(), Lista->horizontalHeader()->sortIndicatorOrder());
    filling_ = false;
    connect(this, &QDialog::finished, this, [this] {
        mem::setValue(QStringLiteral("resultados/unidade"), ComboUnidade->currentIndex());
        mem::setValue(QStringLiteral("resultados/colunas"), Lista->horizontalHeader()->saveState());
    });
}

rec::Filter TFormResultados::filter() const {
    rec::Filter f;
    f.sample = EditFiltro->text().trimmed();
    f.samplePart = true;
    if (ComboTipo->currentIndex() > 0)
        f.kind = ComboTipo->currentIndex() == 1 ? rec::Determination::Kind::Sample : rec::Determination::Kind::Calibration;
    if (ComboCalorimetro->currentIndex() > 0)
        f.calorimeter = ComboCalorimetro->currentText();
    if (EditDe->date() > kNoDate)
        f.since = EditDe->date();
    if (EditAte->date() > kNoDate)
        f.until = EditAte->date();
    f.status = ComboSituacao->currentIndex() == 1 || ComboSituacao->currentIndex() >= 3 ? rec::Filter::Status::Valid
               : ComboSituacao->currentIndex() == 2 ? rec::Filter::Status::Rejected
                                                    : rec::Filter::Status::Any;
    return f;
}

eval::Unit TFormResultados::unit() const { return eval::kUnits[std::max(0, ComboUnidade->currentIndex())]; }

QString TFormResultados::duplicatesOf(const rec::Determination& d) const {
    const auto v = verdicts_.find(d.sampleCode);
    return d.kind == rec::Determination::Kind::Sample && v != verdicts_.end() ? ses::duplicateText(v->second, unit())
                                                                              : QString();
}

bool TFormResultados::refresh() {
    QString why;
    const auto store = open_(&why);
    const rec::Filter f = filter();
    auto list = store ? store->list(f, &why) : std::nullopt;
    if (list && !ses::markSeriesChanges(*store, *list, &why))
        list.reset();
    // "série mudou": the valid samples whose series changed after they took its W.
    if (list && ComboSituacao->currentIndex() == 3)
        list->removeIf([](const rec::Determination& d) { return d.seriesChanged.isEmpty(); });
    // By their signatures: not yet reviewed, reviewed and not yet approved, approved.
    static const char* const states[] = {"registrada", "revisada", "aprovada"};
    if (const int i = ComboSituacao->currentIndex() - 4; list && i >= 0 && i < 3)
        list->removeIf([i](const rec::Determination& d) { return d.signedState() != QLatin1String(states[i]); });
    const auto verdicts = list ? ses::duplicateVerdicts(*store, f, repeatability_, &why) : std::nullopt;
    const auto names = verdicts ? store->calorimeters(&why) : std::nullopt;
    if (!names) {
        messages_.show(MsgKind::Error, why);
        return false;
    }
    shown_ = *list;
    verdicts_ = *verdicts;
    LabelBanco->setText(QStringLiteral("Banco de resultados: %1").arg(store->where()));
    filling_ = true;
    // The calorimeters named so far, the one chosen kept.
    const QString chosen = ComboCalorimetro->currentIndex() > 0 ? ComboCalorimetro->currentText() : QString();
    ComboCalorimetro->clear();
    ComboCalorimetro->addItem(QStringLiteral("todos"));
    ComboCalorimetro->addItems(*names);
    ComboCalorimetro->setCurrentIndex(std::max(0, static_cast<int>(ComboCalorimetro->findText(chosen))));
    const qint64 selectedId = Lista->currentRow() >= 0 && Lista->item(Lista->currentRow(), 0)
                                  ? Lista->item(Lista->currentRow(), 0)->data(Qt::UserRole).toLongLong()
                                  : 0;
    Lista->setSortingEnabled(false);
    Lista->clearContents();
    Lista->setRowCount(static_cast<int>(shown_.size()));
    const eval::Unit u = unit();
    const int decimals = u == eval::Unit::MegajoulesPerKilogram ? 3 : 1;
    auto number = [](const std::optional<double>& v) { return v ? QVariant(*v) : QVariant(); };
    for (int r = 0; r < shown_.size(); ++r) {
        const rec::Determination& d = shown_[r];
        const bool calibration = d.kind == rec::Determination::Kind::Calibration;
        const auto value = calibration ? d.result.energyEquivalent : d.result.grossCalorificValue;
        const double net = d.netCalorificValue ? eval::inUnit(*d.netCalorificValue, u) : 0;
        const bool hasNet = d.netCalorificValue.has_value();
        const QList<QTableWidgetItem*> cells{
            new SortItem(QString::number(d.id), d.id),
            new SortItem(kindText(d), kindText(d)),
            new SortItem(d.sampleCode, d.sampleCode.toLower()),
            new SortItem(d.calorimeter, d.calorimeter.toLower()),
            new SortItem(d.testDate.toString(QStringLiteral("dd/MM/yyyy")), d.testDate.toString(Qt::ISODate)),
            new SortItem(ses::resultText(d, u), number(value && !calibration ? std::optional(eval::inUnit(*value, u)) : value)),
            new SortItem(hasNet ? ses::fixed(net, decimals) + QLatin1Char(' ') + eval::unitName(u) : QString(),
                         hasNet ? QVariant(net) : QVariant()),
            new SortItem(duplicatesOf(d), duplicatesOf(d)),
            // Valid, or who reviewed or approved it and when; or why it was rejected.
            new SortItem(d.rejected() || !d.signatures.isEmpty() ? ses::signedStateText(d) : QStringLiteral("válida"),
                         d.rejected() ? 3 : d.lastSigned(rec::Signature::Meaning::Approved) ? 2 : d.signatures.isEmpty() ? 0 : 1),
            new SortItem(d.seriesChanged, d.seriesChanged)};
        for (int c = 0; c < cells.size(); ++c) {
            if (c == 5 || c == 6)
                cells[c]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            Lista->setItem(r, c, cells[c]);
        }
        // The record's number on the row, whatever the order shown.
        cells[0]->setData(Qt::UserRole, d.id);
        // What changed in the series, whole, where the column cuts it.
        cells[9]->setToolTip(d.seriesChanged);
    }
    Lista->setSortingEnabled(true);
    Lista->resizeColumnsToContents();
    for (int r = 0; r < Lista->rowCount(); ++r)
        if (Lista->item(r, 0)->data(Qt::UserRole).toLongLong() == selectedId)
            Lista->selectRow(r);
    LabelTotal->setText(shown_.size() == 1 ? QStringLiteral("1 determinação")
                                            : QStringLiteral("%1 determinações").arg(shown_.size()));
    filling_ = false;
    return true;
}

const rec::Determination* TFormResultados::selected() const {
    const int row = Lista->currentRow();
    if (row < 0 || !Lista->item(row, 0) || Lista->selectedItems().isEmpty())
        return nullptr;
    const qint64 id = Lista->item(row, 0)->data(Qt::UserRole).toLongLong();
    for (const rec::Determination& d : shown_)
        if (d.id == id)
            return &d;
    return nullptr;
}

void TFormResultados::keyPressEvent(QKeyEvent* e) {
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (enter && focusWidget() == EditFiltro) {
        Lista->setFocus();
        return;
    }
    if (enter && focusWidget() == EditMotivo)
        return;
    // Enter in a date filter takes the date typed, as in the sample's filter; it closes nothing.
    for (QDateEdit* d : {EditDe, EditAte})
        if (enter && (focusWidget() == d || d->isAncestorOf(focusWidget()))) {
            Lista->setFocus();
            return;
        }
    QDialog::keyPressEvent(e);
}

void TFormResultados::RejeitarClick() {
    const rec::Determination* d = selected();
    if (!d) {
        messages_.show(MsgKind::Warning, ses::msg::ChooseDetermination);
        return;
    }
    if (d->rejected()) {
        messages_.show(MsgKind::Warning, ses::msg::AlreadyRejected.arg(d->id));
        return;
    }
    // An approved record is locked: its rejection is a reviewer's signature.
    if (d->lastSigned(rec::Signature::Meaning::Approved)) {
        signSelected(rec::Signature::Meaning::Rejected);
        return;
    }
    if (EditMotivo->text().trimmed().isEmpty()) {
        messages_.show(MsgKind::Warning, ses::msg::RejectNeedsReason);
        EditMotivo->setFocus();
        return;
    }
    // A rejection can never be undone: asked first, naming what it acts on.
    if (messages_.ask(MsgKind::Confirmation, ses::msg::RejectConfirm.arg(d->id), MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    QString why;
    const auto store = open_(&why);
    if (!store || !store->reject(d->id, EditMotivo->text(), &why)) {
        messages_.show(MsgKind::Error, why);
        return;
    }
    EditMotivo->clear();
    refresh();
}

std::optional<rec::Determination> TFormResultados::chosenRecord() {
    const rec::Determination* chosen = selected();
    if (!chosen) {
        messages_.show(MsgKind::Warning, ses::msg::ChooseDeterminationToOpen);
        return std::nullopt;
    }
    // The whole record, readings included: the list leaves them out.
    QString why;
    const auto store = open_(&why);
    auto d = store ? store->determination(chosen->id, &why) : std::nullopt;
    if (d)
        d->seriesChanged = chosen->seriesChanged;
    if (!d)
        messages_.show(MsgKind::Error, why);
    return d;
}

void TFormResultados::AbrirClick() {
    const auto d = chosenRecord();
    if (!d)
        return;
    TFormDeterminacao w(*d, duplicatesOf(*d), messages_, files_, this);
    execForm_ ? execForm_(w) : w.exec();
}

void TFormResultados::RelatorioClick() {
    if (const auto d = chosenRecord())
        saveRecordReport(*d, duplicatesOf(*d), files_, messages_);
}

void TFormResultados::ExportarClick() {
    const QString path = files_.saveFile(FileDialogSpec{QStringLiteral("Exportar lista de resultados"),
                                                        QStringLiteral("Planilhas do Excel (*.xls)|*.xls|"
                                                                       "CSV, separado por ponto e vírgula (*.csv)|*.csv"),
                                                        QStringLiteral("xls"), true, QStringLiteral("resultados.xls")});
    if (path.isEmpty())
        return;
    // In the order the list shows, whatever column it is sorted by.
    QHash<qint64, const rec::Determination*> byId;
    for (const rec::Determination& d : shown_)
        byId.insert(d.id, &d);
    QList<rec::Determination> ordered;
    for (int r = 0; r < Lista->rowCount(); ++r)
        if (const auto* d = byId.value(Lista->item(r, 0)->data(Qt::UserRole).toLongLong()))
            ordered << *d;
    QString why;
    if (!ses::writeResultsTable(ses::resultsTable(ordered, verdicts_, unit()), path, &why))
        messages_.show(MsgKind::Error, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why));
}

// ---- one determination -------------------------------------------------------------------------

TFormDeterminacao::TFormDeterminacao(rec::Determination d, QString duplicates, MessageService& messages,
                                     FileDialogs& files, QWidget* parent)
    : QDialog(parent), d_(std::move(d)), duplicates_(std::move(duplicates)), messages_(messages), files_(files) {
    setObjectName(QStringLiteral("FormDeterminacao"));
    setWindowTitle(QStringLiteral("Determinação nº %1").arg(d_.id));
    acq::TestRun test;
    const acq::Measurements m = ses::measurementsOf(d_, &test);
    samples_ = ses::testSamples(m, test);
    Plot = new EvaluationPlot(this);
    Plot->setReadOnly(true);
    Plot->setData(samples_, d_.result.periods, &d_.result);

    const bool calibration = d_.kind == rec::Determination::Kind::Calibration;
    QList<ses::ResultLine> who{
        {QStringLiteral("Amostra"), d_.sampleCode, calibration ? QStringLiteral("(calibração)") : QString()},
        {QStringLiteral("Descrição"), d_.description, {}},
        {QStringLiteral("Operador"), d_.operatorName, {}},
        {QStringLiteral("Calorímetro"), d_.calorimeter, {}},
        {QStringLiteral("Data do ensaio"), d_.testDate.toString(QStringLiteral("dd/MM/yyyy")), {}},
        {QStringLiteral("Registrada em"), d_.recordedUtc.toLocalTime().toString(QStringLiteral("dd/MM/yyyy hh:mm")), {}},
        {QStringLiteral("Ensaio"), test.caption(), {}},
        {QStringLiteral("Arquivo"), d_.dataFile.isEmpty() ? QStringLiteral("(dados não salvos)") : QFileInfo(d_.dataFile).fileName(), {}},
        {QStringLiteral("Situação"), d_.rejected() ? ses::msg::Rejected.arg(d_.rejectedReason) : QStringLiteral("válida"), {}}};
    if (!calibration && !d_.energyEquivalentSource.isEmpty())
        who << ses::ResultLine{QStringLiteral("Origem do equivalente"), d_.energyEquivalentSource, {}};
    if (calibration && d_.series)
        who << ses::ResultLine{QStringLiteral("Série de calibração"), QString::number(d_.series), {}};
    if (!d_.seriesChanged.isEmpty())
        who << ses::ResultLine{QStringLiteral("Série mudou"), d_.seriesChanged, {}};
    if (d_.replaces)
        who << ses::ResultLine{QStringLiteral("Substitui"), QStringLiteral("determinação %1").arg(d_.replaces), {}};
    if (const auto dev = ses::checkStandardDeviation(d_))
        who << ses::ResultLine{QStringLiteral("Padrão de verificação"),
                               QStringLiteral("certificado %1 J/g, desvio %2 %").arg(ses::fixed(*d_.checkCertified, 1),
                                                                                   ses::fixed(*dev, 3)),
                               std::abs(*dev) > d_.checkTolerancePercent.value_or(0.2) ? ses::msg::CheckOutside
                                                                                       : ses::msg::CheckWithin};
    if (!duplicates_.isEmpty())
        who << ses::ResultLine{QStringLiteral("Duplicatas"), duplicates_, {}};
    if (!d_.massSource.isEmpty())
        who << ses::ResultLine{QStringLiteral("Massa"), QStringLiteral("%1 g (%2)").arg(ses::fixed(d_.calorimetry.mass, 5), d_.massSource), {}};
    // Each signature with the signer's name, the time and its meaning.
    for (const rec::Signature& s : d_.signatures)
        who << ses::ResultLine{rec::meaningText(s.meaning),
                               QStringLiteral("%1 (%2), %3%4").arg(s.fullName, s.user, ses::localTime(s.signedUtc),
                                                                  s.comment.isEmpty() ? QString() : QStringLiteral(": ") + s.comment),
                               {}};
    LabelIdentidade = new QLabel(linesHtml(who), this);
    LabelIdentidade->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    LabelIdentidade->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelResultado = new QLabel(linesHtml(ses::resultLines(d_.result)), this);
    LabelResultado->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    LabelResultado->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto inputs = ses::inputLines(d_.calorimetry, d_.result);
    if (d_.moisture)
        inputs << ses::ResultLine{QStringLiteral("Umidade"), ses::fixed(*d_.moisture, 2), QStringLiteral("%")};
    if (const auto dry = ses::grossDry(d_))
        inputs << ses::ResultLine{QStringLiteral("PCS na base seca"), ses::fixed(*dry, 1), QStringLiteral("J/g")};
    if (d_.netCalorificValue) {
        inputs << ses::ResultLine{QStringLiteral("Hidrogênio (base seca)"), ses::fixed(d_.hydrogenDry.value_or(0), 2), QStringLiteral("%")};
        if (d_.oxygenNitrogenDry)
            inputs << ses::ResultLine{QStringLiteral("Oxigênio + nitrogênio (base seca)"), ses::fixed(*d_.oxygenNitrogenDry, 2),
                                      QStringLiteral("%")};
        inputs << ses::ResultLine{QStringLiteral("Poder calorífico inferior"), ses::fixed(*d_.netCalorificValue, 1),
                                  QStringLiteral("J/g ") + ses::netBasisText(d_)};
    }
    QString data = linesHtml(inputs);
    if (!d_.result.warnings.isEmpty())
        data += QStringLiteral("<p style='color:#8a4b00'>%1</p>")
                    .arg(d_.result.warnings.join(QStringLiteral("\n")).toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")));
    LabelDados = new QLabel(data, this);
    LabelDados->setWordWrap(true);
    LabelDados->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    LabelDados->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnRelatorio = new QPushButton(QStringLiteral("&Relatório..."), this);
    btnFechar = new QPushButton(QStringLiteral("&Fechar"), this);
    btnFechar->setDefault(true);
    btnRelatorio->setAutoDefault(false);
    for (QPushButton* b : {btnRelatorio, btnFechar})
        b->setMinimumWidth(b->sizeHint().width() + b->fontMetrics().horizontalAdvance(QLatin1Char('x')));
    connect(btnRelatorio, &QPushButton::clicked, this, [this] { RelatorioClick(); });
    connect(btnFechar, &QPushButton::clicked, this, &QDialog::accept);

    // Three columns of a third each, their long sentences wrapped, scrolling together when the
    // screen is short: a long "Série mudou" never widens the window past the screen.
    auto* columns = new QWidget(this);
    auto* middleRow = new QHBoxLayout(columns);
    middleRow->setContentsMargins(0, 0, 0, 0);
    for (QLabel* l : {LabelIdentidade, LabelResultado, LabelDados}) {
        l->setWordWrap(true);
        QSizePolicy third(QSizePolicy::Ignored, QSizePolicy::Preferred);
        third.setHeightForWidth(true); // as tall as its wrapped text at the width it gets
        l->setSizePolicy(third);
        middleRow->addWidget(l, 1, Qt::AlignTop);
    }
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(columns);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The figures whole when the screen has room: the chart gives way first.
    const int screenHeight = screen() ? screen()->availableGeometry().height() : 768;
    scroll->setMinimumHeight(std::min(columns->sizeHint().height() + fontMetrics().lineSpacing() * 4, screenHeight * 9 / 20));
    auto* middle = new QHBoxLayout;
    middle->addWidget(scroll, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnRelatorio);
    buttons->addWidget(btnFechar);
    auto* top = new QVBoxLayout(this);
    top->addWidget(Plot, 1);
    top->addLayout(middle);
    top->addLayout(buttons);
    mem::placeWindow(this, QSize(1000, 720));
}

void TFormDeterminacao::RelatorioClick() { saveRecordReport(d_, duplicates_, files_, messages_); }

void TFormResultados::RevisarClick() { signSelected(rec::Signature::Meaning::Reviewed); }
void TFormResultados::AprovarClick() { signSelected(rec::Signature::Meaning::Approved); }

void TFormResultados::signSelected(rec::Signature::Meaning meaning) {
    const rec::Determination* chosen = selected();
    if (!chosen) {
        messages_.show(MsgKind::Warning, ses::msg::ChooseDetermination);
        return;
    }
    QString why;
    std::shared_ptr<rec::Store> store = open_(&why);
    auto d = store ? store->determination(chosen->id, &why) : std::nullopt;
    const auto trail = d ? store->history(d->id, &why) : std::nullopt;
    // An approval is signed knowing the record's history and its doubts.
    const auto doubts = trail && meaning != rec::Signature::Meaning::Reviewed
                            ? ses::approvalDoubts(*store, *d, repeatability_, &why)
                            : std::optional<QString>(QString());
    if (!d || !trail || !doubts) {
        messages_.show(MsgKind::Error, why);
        return;
    }
    const ses::Settings settings = signing_.value_or(ses::Settings{});
    const qint64 id = d->id;
    const QString reason = EditMotivo->text();
    TFormAssinatura form(*d, meaning, duplicatesOf(*d), *doubts, ses::historyText(*trail, ses::HistoryHashes::Hidden),
                         [&](const rec::Signer& who, const QString& comment, QString* w) {
                             if (meaning == rec::Signature::Meaning::Rejected)
                                 return store->rejectSigned(id, comment, who, w);
                             return store->sign(id, meaning, who, comment, settings.signing, *doubts, w);
                         },
                         messages_, this);
    if (meaning == rec::Signature::Meaning::Rejected)
        form.EditComentario->setText(reason);
    execForm_ ? execForm_(form) : form.exec();
    if (!form.signedIt())
        return;
    if (meaning == rec::Signature::Meaning::Rejected)
        EditMotivo->clear();
    // Each approval goes to the LIMS's folder, or waits for results export --pending.
    if (meaning == rec::Signature::Meaning::Approved)
        if (const auto back = store->determination(id, &why); back && !ses::dropInLimsFolder(*back, settings, &why))
            messages_.show(MsgKind::Warning, ses::msg::LimsDropFailed.arg(why));
    refresh();
}

void TFormResultados::HistoricoClick() {
    const rec::Determination* d = selected();
    if (!d) {
        messages_.show(MsgKind::Warning, ses::msg::ChooseDeterminationToOpen);
        return;
    }
    QString why;
    const auto store = open_(&why);
    const auto entries = store ? store->history(d->id, &why) : std::nullopt;
    if (!entries) {
        messages_.show(MsgKind::Error, why);
        return;
    }
    TFormHistorico w(d->id, *entries, this);
    execForm_ ? execForm_(w) : w.exec();
}

void TFormResultados::SeriesClick() {
    // The calorimeter of the filter, else the chosen record's.
    QString calorimeter = filter().calorimeter;
    if (calorimeter.isEmpty() && selected())
        calorimeter = selected()->calorimeter;
    TFormSeries w(open_, calorimeter, messages_, files_, this);
    if (w.refresh())
        execForm_ ? execForm_(w) : w.exec();
}
