#include "app/sampleswindow.h"

#include "app/decimaledit.h"
#include "app/report.h"
#include "app/windowmemory.h"
#include "session/messages.h"
#include "session/recordservice.h"
#include "session/testevaluation.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

namespace {

enum Column { kNumber, kCode, kDescription, kKind, kMass, kSource, kState, kColumns };

} // namespace

std::optional<TFormAmostras::BalanceSetup> TFormAmostras::balanceOf(const ses::Settings& s) {
    if (s.balanceDevice.isEmpty())
        return std::nullopt;
    return BalanceSetup{s.balanceDevice, s.balanceProtocol, s.balanceLine};
}

TFormAmostras::TFormAmostras(Open open, std::optional<BalanceSetup> balance, MessageService& messages, FileDialogs& files,
                             QWidget* parent)
    : QDialog(parent), open_(std::move(open)), balance_(std::move(balance)), messages_(messages), files_(files) {
    setObjectName(QStringLiteral("FormAmostras"));
    setWindowTitle(QStringLiteral("Amostras do dia %1").arg(QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"))));

    auto* add = new QGroupBox(QStringLiteral("Nova amostra"), this);
    EditCodigo = new QLineEdit(add);
    EditCodigo->setPlaceholderText(QStringLiteral("digite ou leia o código"));
    EditDescricao = new QLineEdit(add);
    ComboTipo = new QComboBox(add);
    ComboTipo->addItems({QStringLiteral("amostra"), QStringLiteral("calibração"), QStringLiteral("padrão de verificação")});
    EditCertificado = new DecimalEdit(1, true, add);
    EditCertificado->setEnabled(false);
    EditCalorimetro = new QLineEdit(ses::calorimeterOrDefault({}), add);
    EditAuxiliar = new DecimalEdit(4, true, add);
    EditAuxiliar->setPlaceholderText(QStringLiteral("opcional"));
    btnIncluir = new QPushButton(QStringLiteral("&Incluir"), add);
    auto labelFor = [](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, buddy->parentWidget());
        l->setBuddy(buddy);
        return l;
    };
    auto* g = new QGridLayout(add);
    g->addWidget(labelFor(QStringLiteral("&Código:"), EditCodigo), 0, 0);
    g->addWidget(EditCodigo, 0, 1);
    g->addWidget(labelFor(QStringLiteral("D&escrição:"), EditDescricao), 0, 2);
    g->addWidget(EditDescricao, 0, 3, 1, 3);
    g->addWidget(labelFor(QStringLiteral("&Tipo:"), ComboTipo), 1, 0);
    g->addWidget(ComboTipo, 1, 1);
    g->addWidget(labelFor(QStringLiteral("Valor ce&rtificado (J/g):"), EditCertificado), 1, 2);
    g->addWidget(EditCertificado, 1, 3);
    g->addWidget(labelFor(QStringLiteral("Ca&lorímetro:"), EditCalorimetro), 1, 4);
    g->addWidget(EditCalorimetro, 1, 5);
    g->addWidget(labelFor(QStringLiteral("A&uxiliar de combustão (g):"), EditAuxiliar), 2, 0);
    g->addWidget(EditAuxiliar, 2, 1);
    g->addWidget(btnIncluir, 2, 5, Qt::AlignRight);
    g->setColumnStretch(1, 1);
    g->setColumnStretch(3, 1);
    g->setColumnStretch(5, 1);
    connect(ComboTipo, &QComboBox::currentIndexChanged, this, [this](int i) { EditCertificado->setEnabled(i != 0); });
    connect(btnIncluir, &QPushButton::clicked, this, [this] { IncluirClick(); });

    Lista = new QTableWidget(0, kColumns, this);
    Lista->setHorizontalHeaderLabels({QStringLiteral("Nº"), QStringLiteral("Código"), QStringLiteral("Descrição"),
                                      QStringLiteral("Tipo"), QStringLiteral("Massa (g)"), QStringLiteral("Origem da massa"),
                                      QStringLiteral("Situação")});
    Lista->setSelectionBehavior(QAbstractItemView::SelectRows);
    Lista->setSelectionMode(QAbstractItemView::SingleSelection);
    Lista->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Lista->verticalHeader()->hide();
    Lista->horizontalHeader()->setStretchLastSection(true);
    connect(Lista, &QTableWidget::itemSelectionChanged, this, [this] { updateButtons(); });

    LabelBalanca = new QLabel(this);
    LabelBalanca->setWordWrap(true);
    LabelBalanca->setTextFormat(Qt::PlainText);
    LabelBalanca->setMinimumHeight(2 * fontMetrics().lineSpacing());
    btnPesar = new QPushButton(QStringLiteral("&Pesar"), this);
    btnPesar->setMinimumWidth(btnPesar->fontMetrics().horizontalAdvance(QStringLiteral("Parar pesagem")) * 5 / 4);
    connect(btnPesar, &QPushButton::clicked, this, [this] { PesarClick(); });
    EditMassa = new DecimalEdit(5, true, this);
    EditMotivo = new QLineEdit(this);
    EditMotivo->setPlaceholderText(QStringLiteral("por que a massa foi digitada, ou por que a amostra sai da lista"));
    btnDigitar = new QPushButton(QStringLiteral("Di&gitar massa"), this);
    btnDescartar = new QPushButton(QStringLiteral("Desc&artar"), this);
    btnImprimir = new QPushButton(QStringLiteral("&Salvar lista (PDF)..."), this);
    btnFechar = new QPushButton(QStringLiteral("&Fechar"), this);
    connect(btnDigitar, &QPushButton::clicked, this, [this] { DigitarClick(); });
    connect(btnDescartar, &QPushButton::clicked, this, [this] { DescartarClick(); });
    connect(btnImprimir, &QPushButton::clicked, this, [this] { ImprimirClick(); });
    connect(btnFechar, &QPushButton::clicked, this, &QDialog::accept);
    // No button is one Enter away: Enter belongs to the code field and the scanner.
    for (QPushButton* b : {btnIncluir, btnPesar, btnDigitar, btnDescartar, btnImprimir, btnFechar}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        // Room for the caption whatever the fonts (Windows' are wider).
        b->setMinimumWidth(std::max(b->minimumWidth(), b->sizeHint().width() + b->fontMetrics().horizontalAdvance(QLatin1Char('x'))));
    }
    LabelBanco = new QLabel(this);
    LabelBanco->setTextFormat(Qt::PlainText);

    auto* weighRow = new QHBoxLayout;
    weighRow->addWidget(btnPesar);
    weighRow->addWidget(LabelBalanca, 1);
    auto* typedRow = new QHBoxLayout;
    typedRow->addWidget(labelFor(QStringLiteral("&Massa (g):"), EditMassa));
    typedRow->addWidget(EditMassa);
    typedRow->addWidget(labelFor(QStringLiteral("M&otivo:"), EditMotivo));
    typedRow->addWidget(EditMotivo, 1);
    typedRow->addWidget(btnDigitar);
    typedRow->addWidget(btnDescartar);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(LabelBanco, 1);
    bottom->addWidget(btnImprimir);
    bottom->addWidget(btnFechar);
    auto* top = new QVBoxLayout(this);
    top->addWidget(add);
    top->addWidget(Lista, 1);
    top->addLayout(weighRow);
    top->addLayout(typedRow);
    top->addLayout(bottom);

    LabelBalanca->setText(balance_ ? QStringLiteral("Balança %1 (%2) em %3, linha %4.")
                                         .arg(lnk::balance::makerName(balance_->protocol),
                                              lnk::balance::protocolName(balance_->protocol), balance_->device,
                                              lnk::balance::lineName(balance_->line))
                                   : ses::msg::NoBalanceConfigured);
    EditCodigo->setFocus();
    mem::placeWindow(this, QSize(980, 600));
}

TFormAmostras::~TFormAmostras() {
    // A weighing still waiting for the balance is stopped, never left behind the window.
    cancel_ = true;
    if (worker_)
        worker_->wait();
}

rec::Store* TFormAmostras::store() {
    if (!store_) {
        QString why;
        store_ = open_(&why);
        if (!store_) {
            messages_.show(MsgKind::Error, why);
            return nullptr;
        }
        LabelBanco->setText(QStringLiteral("Banco de resultados: %1").arg(store_->where()));
    }
    return store_.get();
}

bool TFormAmostras::refresh() {
    rec::Store* s = store();
    if (!s)
        return false;
    QString why;
    const auto list = s->samples(QDate::currentDate(), &why);
    if (!list) {
        messages_.show(MsgKind::Error, why);
        return false;
    }
    const qint64 keep = selected() ? selected()->id : 0;
    shown_ = *list;
    Lista->setRowCount(static_cast<int>(shown_.size()));
    for (int r = 0; r < shown_.size(); ++r) {
        const rec::QueuedSample& q = shown_[r];
        QString kind = rec::kindText(q.kind);
        if (q.certified)
            kind += QStringLiteral(" (%1 J/g)").arg(ses::fixed(*q.certified, 1));
        const QStringList cells{QString::number(q.id), q.code, q.description, kind, sampleMassText(q), q.massSource,
                                sampleStateText(q)};
        for (int c = 0; c < kColumns; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setToolTip(cells[c]);
            if (c == kNumber || c == kMass)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            Lista->setItem(r, c, item);
        }
    }
    Lista->resizeColumnsToContents();
    if (keep)
        select(keep);
    updateButtons();
    return true;
}

const rec::QueuedSample* TFormAmostras::selected() const {
    const int r = Lista->currentRow();
    return r >= 0 && r < shown_.size() && Lista->selectionModel()->isRowSelected(r, {}) ? &shown_[r] : nullptr;
}

void TFormAmostras::select(qint64 id) {
    for (int r = 0; r < shown_.size(); ++r)
        if (shown_[r].id == id) {
            Lista->selectRow(r);
            Lista->scrollToItem(Lista->item(r, 0));
        }
}

void TFormAmostras::updateButtons() {
    const rec::QueuedSample* s = selected();
    const bool pending = s && s->pending();
    btnPesar->setEnabled(weighing() || (pending && balance_));
    btnDigitar->setEnabled(!weighing() && pending);
    btnDescartar->setEnabled(!weighing() && pending);
    btnIncluir->setEnabled(!weighing());
}

void TFormAmostras::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        QWidget* f = focusWidget();
        if (f == EditCodigo && !EditCodigo->text().trimmed().isEmpty())
            EditDescricao->setFocus();
        else if (f == EditDescricao || f == EditCertificado || f == EditCalorimetro || f == EditAuxiliar)
            IncluirClick();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TFormAmostras::done(int r) {
    // The weighing under way is stopped and its end said (or its mass kept) before the window goes.
    if (weighing()) {
        cancel_ = true;
        closeAfterWeighing_ = r;
        LabelBalanca->setText(QStringLiteral("Parando a pesagem…"));
        return;
    }
    QDialog::done(r);
}

void TFormAmostras::IncluirClick() {
    if (weighing())
        return;
    rec::QueuedSample q;
    q.code = EditCodigo->text();
    q.description = EditDescricao->text();
    q.kind = ComboTipo->currentIndex() == 1   ? rec::QueuedSample::Kind::Calibration
             : ComboTipo->currentIndex() == 2 ? rec::QueuedSample::Kind::Check
                                              : rec::QueuedSample::Kind::Sample;
    q.calorimeter = EditCalorimetro->text();
    for (DecimalEdit* e : {EditCertificado, EditAuxiliar})
        if (e->isEnabled() && !e->isValid()) {
            messages_.show(MsgKind::Warning, e->problem());
            e->setFocus();
            return;
        }
    if (q.kind != rec::QueuedSample::Kind::Sample && !EditCertificado->text().trimmed().isEmpty())
        q.certified = EditCertificado->value();
    if (!EditAuxiliar->text().trimmed().isEmpty())
        q.aidMass = EditAuxiliar->value();
    rec::Store* s = store();
    if (!s)
        return;
    QString why;
    const auto id = s->addSample(q, &why);
    if (!id) {
        messages_.show(MsgKind::Warning, why);
        (q.code.trimmed().isEmpty() ? EditCodigo : q.calorimeter.trimmed().isEmpty() ? EditCalorimetro : EditCertificado)
            ->setFocus();
        return;
    }
    // Ready for the next scan: the kind, certificate and calorimeter stay for a run of alike.
    EditCodigo->clear();
    EditDescricao->clear();
    EditAuxiliar->clear();
    refresh();
    select(*id);
    EditCodigo->setFocus();
}

void TFormAmostras::PesarClick() {
    if (weighing()) {
        cancel_ = true;
        return;
    }
    const rec::QueuedSample* s = selected();
    if (!s || !s->pending() || !balance_) {
        messages_.show(MsgKind::Warning, !balance_ ? ses::msg::NoBalanceConfigured
                                       : !s       ? ses::msg::ChooseSample
                                                  : ses::msg::QueuedNotPending.arg(s->code, rec::stateText(s->state)));
        return;
    }
    const qint64 id = s->id;
    const BalanceSetup setup = *balance_;
    cancel_ = false;
    LabelBalanca->setText(QStringLiteral("Pesando \"%1\": aguardando a balança…").arg(s->code));
    // The balance may take seconds to settle: it is read on a thread of its own, the window
    // showing each value meanwhile.
    worker_ = QThread::create([this, setup, id] {
        const auto port = lnk::balance::serialBalancePort();
        lnk::SystemClock clock;
        const lnk::balance::Weighing w =
            lnk::balance::weighOn(*port, clock, setup.device, setup.protocol, setup.line, [this](const lnk::balance::Reading& r) {
                QMetaObject::invokeMethod(this, [this, r] { showLive(r); }, Qt::QueuedConnection);
                return !cancel_.load();
            });
        QMetaObject::invokeMethod(this, [this, id, w] { finishWeighing(id, w); }, Qt::QueuedConnection);
    });
    btnPesar->setText(QStringLiteral("&Parar pesagem"));
    updateButtons();
    worker_->start();
}

void TFormAmostras::showLive(const lnk::balance::Reading& r) {
    if (!weighing())
        return;
    if (r.state == lnk::balance::Reading::State::Unstable)
        LabelBalanca->setText(QStringLiteral("Balança: %1 g (instável, aguardando estabilizar)").arg(ses::fixed(r.grams, 5)));
    else if (r.stable())
        LabelBalanca->setText(QStringLiteral("Balança: %1 g (estável)").arg(ses::fixed(r.grams, 5)));
}

void TFormAmostras::finishWeighing(qint64 id, const lnk::balance::Weighing& w) {
    if (worker_) {
        worker_->wait();
        delete worker_;
        worker_ = nullptr;
    }
    btnPesar->setText(QStringLiteral("&Pesar"));
    bool ok = false;
    if (!w.ok) {
        LabelBalanca->setText(ses::msg::WeighingRefused.arg(w.refusal));
        // A weighing stopped by the user needs no box.
        if (!cancel_)
            messages_.show(MsgKind::Warning, ses::msg::WeighingRefused.arg(w.refusal));
    } else if (rec::Store* s = store()) {
        QString why;
        ok = s->weighSample(id, w.grams, false, w.source(), w.raw, &why);
        LabelBalanca->setText(ok ? QStringLiteral("Pesada: %1 g (%2)").arg(ses::fixed(w.grams, 5), w.source())
                                 : ses::msg::recordNotSaved(why));
        if (!ok)
            messages_.show(MsgKind::Error, ses::msg::recordNotSaved(why));
    }
    refresh();
    select(id);
    updateButtons();
    emit weighingFinished(ok);
    if (closeAfterWeighing_) {
        const int r = *closeAfterWeighing_;
        closeAfterWeighing_.reset();
        QDialog::done(r);
    }
}

void TFormAmostras::DigitarClick() {
    const rec::QueuedSample* s = selected();
    if (!s || weighing())
        return;
    if (EditMassa->text().trimmed().isEmpty() || !EditMassa->isValid() || EditMassa->value() <= 0) {
        messages_.show(MsgKind::Warning, EditMassa->isValid() ? ses::msg::TypedMassMissing : EditMassa->problem());
        EditMassa->setFocus();
        return;
    }
    if (EditMotivo->text().trimmed().isEmpty()) {
        messages_.show(MsgKind::Warning, ses::msg::TypedMassNeedsReason);
        EditMotivo->setFocus();
        return;
    }
    rec::Store* st = store();
    if (!st)
        return;
    QString why;
    const qint64 id = s->id;
    if (!st->weighSample(id, EditMassa->value(), true, ses::msg::TypedMassSource.arg(st->user(), EditMotivo->text().trimmed()),
                         {}, &why)) {
        messages_.show(MsgKind::Warning, why);
        return;
    }
    EditMassa->clear();
    EditMotivo->clear();
    refresh();
    select(id);
}

void TFormAmostras::DescartarClick() {
    const rec::QueuedSample* s = selected();
    if (!s || weighing())
        return;
    if (EditMotivo->text().trimmed().isEmpty()) {
        messages_.show(MsgKind::Warning, ses::msg::DiscardNeedsReason);
        EditMotivo->setFocus();
        return;
    }
    // A discard is never undone: asked first, naming the sample.
    if (messages_.ask(MsgKind::Confirmation, ses::msg::DiscardConfirm.arg(s->code), MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    rec::Store* st = store();
    if (!st)
        return;
    QString why;
    const qint64 id = s->id;
    if (!st->discardSample(id, EditMotivo->text(), &why)) {
        messages_.show(MsgKind::Warning, why);
        return;
    }
    EditMotivo->clear();
    refresh();
    select(id);
}

void TFormAmostras::ImprimirClick() {
    const QString path = files_.saveFile(FileDialogSpec{
        QStringLiteral("Salvar lista de amostras"), QStringLiteral("Documentos PDF (*.pdf)|*.pdf"), QStringLiteral("pdf"), true,
        QStringLiteral("amostras-%1.pdf").arg(QDate::currentDate().toString(Qt::ISODate))});
    if (path.isEmpty())
        return;
    QString why;
    if (!writeSamplesList(shown_, QDate::currentDate(), path, &why))
        messages_.show(MsgKind::Error, why);
}
