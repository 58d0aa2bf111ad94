#include "app/evaluationdialog.h"

#include "app/recorddialog.h"
#include "app/resultswindow.h"
#include "session/calibrationseries.h"
#include "session/messages.h"
#include "session/measured.h"
#include "session/recordservice.h"

#include "app/evaluationchart.h"
#include <QScreen>
#include <QScrollArea>
#include "app/windowmemory.h"
#include "app/report.h"
#include "evaluation/labinputs.h"

#include <QApplication>
#include <cmath>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QDialogButtonBox>
#include <QJsonObject>
#include <QVBoxLayout>
#include <algorithm>

// The joules of correction `which` (0 fio, 1 ácido, 2 enxofre, 3 auxiliar) from the values the
// lab measured, when `given` holds them all.

QString linesHtml(const QList<ses::ResultLine>& lines) {
    QString h = QStringLiteral("<table cellspacing='0' cellpadding='1'>");
    for (const ses::ResultLine& l : lines)
        h += QStringLiteral("<tr><td>%1</td><td align='right'>&nbsp;&nbsp;<b>%2</b></td><td>&nbsp;%3</td></tr>")
                 .arg(l.label.toHtmlEscaped(), l.value.toHtmlEscaped(), l.unit.toHtmlEscaped());
    return h + QStringLiteral("</table>");
}


// ---- the chart ----------------------------------------------------------------------------------

EvaluationPlot::EvaluationPlot(QWidget* parent) : QWidget(parent) {
    setMinimumSize(420, 240);
    setMouseTracking(true);
    setToolTip(QStringLiteral("Arraste os limites dos períodos"));
}

void EvaluationPlot::setData(std::span<const eval::Sample> samples, std::optional<eval::Periods> periods,
                             const eval::Result* result) {
    samples_ = samples;
    periods_ = periods;
    result_ = result;
    update();
}

void EvaluationPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    EvaluationChart chart(samples_, periods_, result_);
    chart.paint(p, rect());
    plot_ = chart.plot();
    t0_ = chart.minutesAt(plot_.left());
    t1_ = chart.minutesAt(plot_.right());
}

int EvaluationPlot::limitNear(double x) const {
    if (!periods_ || plot_.width() <= 0)
        return -1;
    const double limits[] = {periods_->a, periods_->b, periods_->c, periods_->d};
    int best = -1;
    double bestDist = 6; // pixels
    for (int i = 0; i < 4; ++i) {
        const double lx = plot_.left() + (limits[i] - t0_) / (t1_ - t0_) * plot_.width();
        if (std::abs(lx - x) <= bestDist) {
            bestDist = std::abs(lx - x);
            best = i;
        }
    }
    return best;
}

void EvaluationPlot::setReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    setToolTip(readOnly ? QString() : QStringLiteral("Arraste os limites dos períodos"));
}

void EvaluationPlot::mousePressEvent(QMouseEvent* e) {
    dragging_ = e->button() == Qt::LeftButton && !readOnly_ ? limitNear(e->position().x()) : -1;
}

void EvaluationPlot::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_ < 0) {
        setCursor(!readOnly_ && limitNear(e->position().x()) >= 0 ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    const double m = t0_ + (e->position().x() - plot_.left()) / plot_.width() * (t1_ - t0_);
    emit limitDragged(dragging_, m);
}

void EvaluationPlot::mouseReleaseEvent(QMouseEvent*) { dragging_ = -1; }

// ---- the window ---------------------------------------------------------------------------------

TFormAvaliacao::TFormAvaliacao(const acq::Measurements& table, const acq::TestRun& test, const QString& dataFile,
                               ses::EvaluationRequest inputs, FileDialogs& files, MessageService& messages, QWidget* parent)
    : QDialog(parent), table_(table), test_(test), dataFile_(dataFile), samples_(ses::testSamples(table, test)),
      inputs_(std::move(inputs)), files_(files), messages_(messages) {
    setObjectName(QStringLiteral("FormAvaliacao"));
    setWindowTitle(QStringLiteral("Avaliação do %1").arg(test.caption()));
    // Periods kept for this test are taken as the user left them: at readings.
    if (inputs_.periods)
        inputs_.periods = ses::snapToReadings(samples_, *inputs_.periods);

    Plot = new EvaluationPlot(this);
    auto* periods = new QGroupBox(QStringLiteral("Períodos (min)"), this);
    auto* pl = new QHBoxLayout(periods);
    DecimalEdit** edits[] = {&EditA, &EditB, &EditC, &EditD};
    // No accelerators on the limits: Alt+A, Alt+C belong to "Amostra" and "Copiar".
    const QString names[] = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")};
    for (int i = 0; i < 4; ++i) {
        DecimalEdit* e = *edits[i] = new DecimalEdit(2, false, periods);
        e->setToolTip(QStringLiteral("Minutos; ↑ e ↓ movem o limite uma leitura (5 s)"));
        auto* l = new QLabel(names[i] + QLatin1Char(':'), periods);
        l->setBuddy(e);
        pl->addWidget(l);
        pl->addWidget(e, 1);
        connect(e, &DecimalEdit::changedByUser, this, [this, i] {
            if (updating_)
                return;
            DecimalEdit* f = limitEdit(i);
            if (!f->isValid()) {
                refuseInput();
                return;
            }
            typing_ = i;
            applyLimit(i, f->value());
            typing_ = -1;
        });
        // When typing ends the field shows the reading's time that is used.
        connect(e, &QLineEdit::editingFinished, this, [this] {
            if (!updating_ && inputsValid())
                recompute();
        });
        connect(e, &DecimalEdit::stepped, this, [this, i](int dir) { stepLimit(i, dir); });
    }
    btnAutomatico = new QPushButton(QStringLiteral("A&utomático"), periods);
    pl->addWidget(btnAutomatico);
    connect(btnAutomatico, &QPushButton::clicked, this, [this] { AutomaticoClick(); });

    auto* method = new QHBoxLayout;
    auto* ml = new QLabel(QStringLiteral("&Método:"), this);
    ComboMetodo = new QComboBox(this);
    ComboMetodo->addItem(QStringLiteral("Regnault-Pfaundler"));
    ComboMetodo->addItem(QStringLiteral("Dickinson"));
    ml->setBuddy(ComboMetodo);
    method->addWidget(ml);
    method->addWidget(ComboMetodo);
    method->addStretch(1);
    connect(ComboMetodo, &QComboBox::currentIndexChanged, this, [this] { inputsChanged(); });

    LabelResultado = new QLabel(this);
    LabelResultado->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelResultado->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    // Room for the longest result from the start, so nothing jumps when one appears.
    const int line = fontMetrics().lineSpacing();
    LabelResultado->setMinimumHeight(17 * line);
    LabelResultado->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("θa (início do principal)  Regnault-Pfaundler  min (102 leituras)")));
    LabelAvisos = new QLabel(this);
    LabelAvisos->setObjectName(QStringLiteral("LabelAvisos"));
    LabelAvisos->setWordWrap(true);
    LabelAvisos->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    LabelAvisos->setStyleSheet(QStringLiteral("color: #8a4b00;"));
    LabelAvisos->setMinimumHeight(3 * line);

    auto* cal = new QGroupBox(QStringLiteral("Calorimetria"), this);
    auto* cl = new QFormLayout(cal);
    ComboLista = new QComboBox(cal);
    ComboLista->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ComboLista->setMinimumContentsLength(16);
    LabelLista = new QLabel(QStringLiteral("Amostra da lista:"), cal);
    LabelLista->setBuddy(ComboLista);
    // On a row of its own, across the labels' column: a sample's code, kind and mass read whole.
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(LabelLista);
    listRow->addWidget(ComboLista, 1);
    cl->addRow(listRow);
    LabelLista->hide();
    ComboLista->hide();
    connect(ComboLista, &QComboBox::activated, this, [this](int i) { chooseListed(ComboLista->itemData(i).toLongLong()); });
    auto* modes = new QHBoxLayout;
    RadioAmostra = new QRadioButton(QStringLiteral("&Amostra"), cal);
    RadioCalibracao = new QRadioButton(QStringLiteral("Ca&libração"), cal);
    modes->addWidget(RadioAmostra);
    modes->addWidget(RadioCalibracao);
    modes->addStretch(1);
    cl->addRow(modes);
    auto withUnit = [cal](DecimalEdit* e, const QString& unit) {
        auto* w = new QWidget(cal);
        auto* h = new QHBoxLayout(w);
        h->setContentsMargins(0, 0, 0, 0);
        h->addWidget(e, 1);
        auto* u = new QLabel(unit, w);
        u->setMinimumWidth(QFontMetrics(u->font()).horizontalAdvance(QStringLiteral("J/K ")));
        h->addWidget(u);
        return w;
    };
    EditMassa = new DecimalEdit(4, true, cal);
    EditEquivalente = new DecimalEdit(1, true, cal);
    EditCalor = new DecimalEdit(1, true, cal);
    EditFio = new DecimalEdit(1, true, cal);
    EditAcido = new DecimalEdit(1, true, cal);
    EditEnxofre = new DecimalEdit(1, true, cal);
    EditAuxiliar = new DecimalEdit(1, true, cal);
    // Beside each correction in joules, the form that computes it from what the lab measured.
    auto withMeasure = [&](DecimalEdit* e, QToolButton*& button, int which, const QString& tip) {
        QWidget* w = withUnit(e, QStringLiteral("J"));
        button = new QToolButton(w);
        button->setText(QStringLiteral("…"));
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("…")) * 3);
        button->setToolTip(tip);
        button->setAccessibleName(tip);
        static_cast<QHBoxLayout*>(w->layout())->addWidget(button);
        connect(button, &QToolButton::clicked, this, [this, which] { MedidaClick(which); });
        connect(e, &DecimalEdit::changedByUser, this, [this, which] {
            if (!settingMeasured_)
                forgetMeasured(which); // joules typed: no longer those measured values
        });
        return w;
    };
    LabelMassa = new QLabel(QStringLiteral("Massa da amostra:"), cal);
    cl->addRow(LabelMassa, withUnit(EditMassa, QStringLiteral("g")));
    cl->addRow(QStringLiteral("Equivalente energético:"), withUnit(EditEquivalente, QStringLiteral("J/K")));
    cl->addRow(QStringLiteral("Calor de combustão do padrão:"), withUnit(EditCalor, QStringLiteral("J/g")));
    cl->addRow(QStringLiteral("Correção do fio:"),
               withMeasure(EditFio, btnMedidaFio, 0, QStringLiteral("Calcular pelo comprimento do fio")));
    cl->addRow(QStringLiteral("Correção ácida:"),
               withMeasure(EditAcido, btnMedidaAcido, 1, QStringLiteral("Calcular pela titulação")));
    cl->addRow(QStringLiteral("Correção de enxofre:"),
               withMeasure(EditEnxofre, btnMedidaEnxofre, 2, QStringLiteral("Calcular pelo teor de enxofre")));
    cl->addRow(QStringLiteral("Auxiliar de combustão:"),
               withMeasure(EditAuxiliar, btnMedidaAuxiliar, 3, QStringLiteral("Calcular pela massa e o calor do auxiliar")));
    LabelCalorimetria = new QLabel(cal);
    LabelCalorimetria->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelCalorimetria->setWordWrap(true);
    LabelCalorimetria->setMinimumHeight(4 * line);
    cl->addRow(LabelCalorimetria);
    for (DecimalEdit* e : {EditMassa, EditEquivalente, EditCalor, EditFio, EditAcido, EditEnxofre, EditAuxiliar})
        connect(e, &DecimalEdit::changedByUser, this, [this] { inputsChanged(); });
    for (QRadioButton* r : {RadioAmostra, RadioCalibracao})
        connect(r, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                inputsChanged();
        });

    btnRegistrar = new QPushButton(QStringLiteral("Re&gistrar..."), this);
    btnRegistrar->setVisible(false);
    btnResultados = new QPushButton(QStringLiteral("Resul&tados..."), this);
    btnResultados->setVisible(false);
    connect(btnResultados, &QPushButton::clicked, this, [this] { ResultadosClick(); });
    LabelRegistro = new QLabel(this);
    // A long record's sentence wraps in its place: the window never widens for it.
    LabelRegistro->setWordWrap(true);
    LabelRegistro->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    LabelRegistro->setMinimumHeight(2 * fontMetrics().lineSpacing());
    connect(btnRegistrar, &QPushButton::clicked, this, [this] { RegistrarClick(); });
    btnRelatorio = new QPushButton(QStringLiteral("&Salvar relatório..."), this);
    btnCopiar = new QPushButton(QStringLiteral("&Copiar"), this);
    btnFechar = new QPushButton(QStringLiteral("&Fechar"), this);
    connect(btnRelatorio, &QPushButton::clicked, this, [this] { RelatorioClick(); });
    connect(btnCopiar, &QPushButton::clicked, this, [this] { CopiarClick(); });
    connect(btnFechar, &QPushButton::clicked, this, &QDialog::accept);
    connect(Plot, &EvaluationPlot::limitDragged, this, [this](int i, double m) { setLimit(i, m); });

    // The result and its warnings scroll inside a place of their own: a long warning moves
    // neither the chart nor the buttons.
    auto* resultBox = new QWidget(this);
    auto* rl = new QVBoxLayout(resultBox);
    rl->setContentsMargins(0, 0, 0, 0);
    rl->addWidget(LabelResultado);
    rl->addWidget(LabelAvisos);
    rl->addStretch(1);
    ScrollResultado = new QScrollArea(this);
    ScrollResultado->setWidget(resultBox);
    ScrollResultado->setWidgetResizable(true);
    ScrollResultado->setFrameShape(QFrame::NoFrame);
    ScrollResultado->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto* right = new QVBoxLayout;
    right->addLayout(method);
    right->addWidget(ScrollResultado, 1);
    auto* middle = new QHBoxLayout;
    middle->addLayout(right, 3);
    middle->addWidget(cal, 2);
    // Each button keeps room for its caption whatever the fonts (Windows' are wider).
    for (QPushButton* b : {btnRegistrar, btnResultados, btnRelatorio, btnCopiar, btnFechar})
        b->setMinimumWidth(b->sizeHint().width() + b->fontMetrics().horizontalAdvance(QLatin1Char('x')));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(LabelRegistro, 1);
    buttons->addWidget(btnRegistrar);
    buttons->addWidget(btnResultados);
    buttons->addWidget(btnRelatorio);
    buttons->addWidget(btnCopiar);
    buttons->addWidget(btnFechar);
    auto* top = new QVBoxLayout(this);
    top->addWidget(Plot, 1);
    top->addWidget(periods);
    top->addLayout(middle);
    top->addLayout(buttons);

    // The inputs as kept for this test.
    updating_ = true;
    ComboMetodo->setCurrentIndex(inputs_.method == eval::Method::Dickinson ? 1 : 0);
    const eval::Calorimetry& c = inputs_.calorimetry;
    (c.mode == eval::Calorimetry::Mode::Calibration ? RadioCalibracao : RadioAmostra)->setChecked(true);
    EditMassa->showValue(c.mass);
    EditEquivalente->showValue(c.energyEquivalent);
    EditCalor->showValue(c.heatOfCombustion);
    EditFio->showValue(c.fuse);
    EditAcido->showValue(c.acid);
    EditEnxofre->showValue(c.sulfur);
    EditAuxiliar->showValue(c.aid);
    updating_ = false;
    recompute();
    // As tall as the work area allows, its frame included (a lab's 1366 × 768 screen is 768 tall).
    mem::placeWindow(this, QSize(900, 760));
}

std::optional<double> TFormAvaliacao::energyEquivalent() const {
    return outcome_.ok() ? outcome_.result->energyEquivalent : std::nullopt;
}

DecimalEdit* TFormAvaliacao::limitEdit(int i) const {
    DecimalEdit* const edits[] = {EditA, EditB, EditC, EditD};
    return edits[i];
}

bool TFormAvaliacao::inputsValid() const {
    for (DecimalEdit* e : {EditA, EditB, EditC, EditD, EditMassa, EditEquivalente, EditCalor, EditFio, EditAcido,
                           EditEnxofre, EditAuxiliar})
        if (!e->isValid())
            return false;
    return true;
}

void TFormAvaliacao::inputsChanged() {
    if (updating_)
        return;
    recorded_.reset(); // the report no longer is the record's
    if (!inputsValid()) {
        refuseInput();
        return;
    }
    readInputs();
    recompute();
}

void TFormAvaliacao::refuseInput() {
    // Never a result for other figures than those shown: the last one is cleared.
    const std::pair<DecimalEdit*, QString> fields[] = {
        {EditA, QStringLiteral("A")}, {EditB, QStringLiteral("B")}, {EditC, QStringLiteral("C")},
        {EditD, QStringLiteral("D")}, {EditMassa, LabelMassa->text().chopped(1)},
        {EditEquivalente, QStringLiteral("Equivalente energético")},
        {EditCalor, QStringLiteral("Calor de combustão do padrão")}, {EditFio, QStringLiteral("Correção do fio")},
        {EditAcido, QStringLiteral("Correção ácida")}, {EditEnxofre, QStringLiteral("Correção de enxofre")},
        {EditAuxiliar, QStringLiteral("Auxiliar de combustão")}};
    QStringList why;
    for (const auto& [e, name] : fields)
        if (!e->isValid())
            why << QStringLiteral("%1: %2").arg(name, e->problem());
    outcome_ = eval::Outcome{std::nullopt, why.join(QLatin1Char('\n'))};
    LabelResultado->setWordWrap(true);
    LabelResultado->setText(QStringLiteral("<span style='color:#b00000'>%1</span>")
                                .arg(outcome_.error.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"))));
    LabelCalorimetria->clear();
    LabelAvisos->clear();
    btnRelatorio->setEnabled(false);
    btnCopiar->setEnabled(false);
}

void TFormAvaliacao::readInputs() {
    // The periods are not read here: only a limit moved by the user or "Automático" changes them.
    inputs_.method = ComboMetodo->currentIndex() == 1 ? eval::Method::Dickinson : eval::Method::RegnaultPfaundler;
    eval::Calorimetry& c = inputs_.calorimetry;
    const bool calibration = RadioCalibracao->isChecked();
    c.mass = EditMassa->value();
    c.energyEquivalent = EditEquivalente->value();
    c.heatOfCombustion = EditCalor->value();
    c.fuse = EditFio->value();
    c.acid = EditAcido->value();
    c.sulfur = EditEnxofre->value();
    c.aid = EditAuxiliar->value();
    // A correction given as the lab measured it is computed from that, to the last digit (the
    // field shows it rounded); a sulfur content follows the mass.
    double* const joules[] = {&c.fuse, &c.acid, &c.sulfur, &c.aid};
    DecimalEdit* const fields[] = {EditFio, EditAcido, EditEnxofre, EditAuxiliar};
    for (int i = 0; i < 4; ++i)
        if (const auto j = ses::measuredJoules(ses::kCorrections[i], inputs_.given, std::isfinite(c.mass) ? c.mass : 0)) {
            *joules[i] = *j;
            fields[i]->showValue(*j);
        }
    // Nothing to compute until a mass is given (and, for a sample, an energy equivalent).
    if (c.mass <= 0 || (!calibration && c.energyEquivalent <= 0))
        c.mode = eval::Calorimetry::Mode::None;
    else
        c.mode = calibration ? eval::Calorimetry::Mode::Calibration : eval::Calorimetry::Mode::Sample;
}

void TFormAvaliacao::showPeriods(const eval::Periods& p) {
    updating_ = true;
    const double v[] = {p.a, p.b, p.c, p.d};
    for (int i = 0; i < 4; ++i)
        if (i != typing_) // the field being typed in keeps what is typed
            limitEdit(i)->showValue(v[i]);
    updating_ = false;
}

eval::Periods TFormAvaliacao::currentPeriods() const {
    if (inputs_.periods)
        return *inputs_.periods;
    if (outcome_.ok())
        return outcome_.result->periods;
    // Nothing found: the run in four parts, for the user to move.
    const double t0 = samples_.front().t, t1 = samples_.back().t;
    return {t0, t0 + (t1 - t0) / 3, t0 + 2 * (t1 - t0) / 3, t1};
}

void TFormAvaliacao::moveLimitTo(int i, std::ptrdiff_t reading) {
    if (samples_.empty() || i < 0 || i > 3)
        return;
    const eval::Periods p = ses::snapToReadings(samples_, currentPeriods());
    std::ptrdiff_t idx[] = {ses::nearestReading(samples_, p.a), ses::nearestReading(samples_, p.b),
                            ses::nearestReading(samples_, p.c), ses::nearestReading(samples_, p.d)};
    // Limits never pass each other nor leave the data: each keeps at least one reading's step.
    const std::ptrdiff_t lo = i > 0 ? idx[i - 1] + 1 : 0;
    const std::ptrdiff_t hi = i < 3 ? idx[i + 1] - 1 : static_cast<std::ptrdiff_t>(samples_.size()) - 1;
    if (lo <= hi)
        idx[i] = std::clamp(reading, lo, hi);
    inputs_.periods = eval::Periods{samples_[idx[0]].t, samples_[idx[1]].t, samples_[idx[2]].t, samples_[idx[3]].t};
    readInputs();
    recompute();
}

void TFormAvaliacao::applyLimit(int i, double minutes) {
    if (!samples_.empty())
        moveLimitTo(i, ses::nearestReading(samples_, minutes));
}

void TFormAvaliacao::stepLimit(int i, int direction) {
    if (samples_.empty())
        return;
    const eval::Periods p = currentPeriods();
    const double v[] = {p.a, p.b, p.c, p.d};
    moveLimitTo(i, ses::nearestReading(samples_, v[i]) + direction);
}

void TFormAvaliacao::recompute() {
    const bool calibration = RadioCalibracao->isChecked();
    EditEquivalente->setEnabled(!calibration);
    EditCalor->setEnabled(calibration);
    LabelMassa->setText(calibration ? QStringLiteral("Massa do padrão:") : QStringLiteral("Massa da amostra:"));
    outcome_ = ses::evaluateSamples(samples_, test_, inputs_);
    if (outcome_.ok()) {
        const eval::Result& r = *outcome_.result;
        showPeriods(r.periods);
        Plot->setData(samples_, r.periods, &*outcome_.result);
        // The method's figures in one box, the calorimetric result in the other (the energy
        // equivalent there only when it is the result, not an input).
        using K = ses::ResultLine::Kind;
        QList<ses::ResultLine> lines, cal;
        for (const ses::ResultLine& l : ses::resultLines(r)) {
            if (l.kind == K::Figure)
                lines << l;
            else if (l.kind == K::CalorificValue || calibration)
                cal << l;
        }
        LabelResultado->setWordWrap(false); // a table of figures, one line each
        LabelResultado->setText(linesHtml(lines));
        LabelAvisos->setText(ses::resultWarnings(r).join(QLatin1Char('\n')));
        LabelCalorimetria->setText(!cal.isEmpty() ? linesHtml(cal)
                                   : calibration  ? ses::msg::GiveMassForResult
                                                  : ses::msg::GiveMassAndEnergyEquivalent);
    } else {
        Plot->setData(samples_, inputs_.periods, nullptr);
        if (inputs_.periods)
            showPeriods(*inputs_.periods);
        LabelResultado->setWordWrap(true);
        LabelResultado->setText(QStringLiteral("<span style='color:#b00000'>%1</span>").arg(outcome_.error.toHtmlEscaped()));
        LabelCalorimetria->clear();
        LabelAvisos->clear();
    }
    btnRelatorio->setEnabled(outcome_.ok());
    btnCopiar->setEnabled(outcome_.ok());
}

void TFormAvaliacao::setLimit(int i, double minutes) {
    if (i >= 0 && i <= 3)
        applyLimit(i, minutes);
}

void TFormAvaliacao::AutomaticoClick() {
    inputs_.periods.reset();
    if (inputsValid()) {
        readInputs();
        recompute();
    }
}

QString TFormAvaliacao::resultText() const {
    return outcome_.ok() ? ses::resultText(test_, *outcome_.result, inputs_.calorimetry) : outcome_.error;
}

void TFormAvaliacao::CopiarClick() {
    if (outcome_.ok())
        QApplication::clipboard()->setText(ses::resultSheet(test_, *outcome_.result, inputs_.calorimetry));
}

void TFormAvaliacao::setResults(std::function<std::unique_ptr<rec::Store>(QString*)> open,
                                std::function<int(QDialog&)> exec, double repeatability, double checkTolerance) {
    openResults_ = std::move(open);
    repeatability_ = repeatability;
    checkTolerance_ = checkTolerance;
    execForm_ = std::move(exec);
    btnRegistrar->setVisible(bool(openResults_));
    btnResultados->setVisible(bool(openResults_));
    loadListed();
}

void TFormAvaliacao::loadListed() {
    listed_.clear();
    QString why;
    const std::unique_ptr<rec::Store> store = openResults_ ? openResults_(&why) : nullptr;
    if (const auto all = store ? store->samples(QDate::currentDate(), &why) : std::nullopt)
        for (const rec::QueuedSample& q : *all)
            if (q.state == rec::QueuedSample::State::Weighed)
                listed_ << q;
    ComboLista->clear();
    ComboLista->addItem(QStringLiteral("nenhuma (dados digitados)"), qint64(0));
    for (const rec::QueuedSample& q : listed_) {
        ComboLista->addItem(QStringLiteral("%1 · %2 · %3 g").arg(q.code, rec::kindText(q.kind), ses::fixed(*q.mass, 5)), q.id);
        ComboLista->setItemData(ComboLista->count() - 1, QStringLiteral("%1\n%2").arg(q.description, q.massSource), Qt::ToolTipRole);
    }
    // Only where there is something to choose: a lab without the list sees the window as before.
    const bool any = !listed_.isEmpty() || queued_;
    LabelLista->setVisible(any);
    ComboLista->setVisible(any);
    if (queued_) {
        const int i = ComboLista->findData(queued_->id);
        ComboLista->setCurrentIndex(std::max(0, i));
    }
}

void TFormAvaliacao::chooseListed(qint64 id) {
    // What an earlier listed sample put in goes with it: its aid's mass (and the heat typed for it).
    if (queued_ && queued_->aidMass)
        forgetMeasured(3);
    queued_.reset();
    for (const rec::QueuedSample& q : listed_)
        if (q.id == id)
            queued_ = q;
    ComboLista->setCurrentIndex(std::max(0, ComboLista->findData(id)));
    const bool fromBalance = queued_ && !queued_->massTyped;
    if (queued_) {
        ses::SampleIdentity who;
        ses::takeQueued(*queued_, inputs_, who);
        updating_ = true;
        (queued_->kind == rec::QueuedSample::Kind::Calibration ? RadioCalibracao : RadioAmostra)->setChecked(true);
        EditMassa->showValue(*queued_->mass);
        if (queued_->kind == rec::QueuedSample::Kind::Calibration)
            EditCalor->showValue(*queued_->certified);
        updating_ = false;
    }
    // What the list says is kept as it says it: the kind, and a mass read from the balance.
    EditMassa->setReadOnly(fromBalance);
    EditMassa->setToolTip(queued_ ? queued_->massSource : QString());
    RadioAmostra->setEnabled(!queued_);
    RadioCalibracao->setEnabled(!queued_);
    EditCalor->setReadOnly(queued_ && queued_->kind == rec::QueuedSample::Kind::Calibration);
    readInputs();
    recompute();
}

void TFormAvaliacao::ResultadosClick() {
    if (!openResults_)
        return;
    TFormResultados w(openResults_, messages_, files_, this, execForm_, repeatability_);
    if (w.refresh())
        execForm_ ? execForm_(w) : w.exec();
}

void TFormAvaliacao::RegistrarClick() {
    if (!openResults_)
        return;
    if (!outcome_.ok()) {
        messages_.show(MsgKind::Warning, ses::msg::RecordNeedsResult);
        return;
    }
    QString why;
    std::shared_ptr<rec::Store> store = openResults_(&why);
    if (!store) {
        messages_.show(MsgKind::Error, ses::msg::recordNotSaved(why));
        return;
    }
    // A new test is another sample until said otherwise: its code and description start empty
    // (one Enter never files it under the last sample's code); who, where and when are kept.
    ses::SampleIdentity defaults;
    // Who recorded last, in this window or in an earlier run of the program.
    const QString last = lastIdentity_.operatorName.isEmpty() ? mem::value(QStringLiteral("registro/operador")).toString()
                                                               : lastIdentity_.operatorName;
    defaults.operatorName = last.trimmed().isEmpty() ? ses::systemUserName() : last;
    defaults.calorimeter = ses::calorimeterOrDefault(lastIdentity_.calorimeter);
    defaults.testDate = lastIdentity_.testDate;
    if (queued_) {
        ses::EvaluationRequest ignored;
        ses::takeQueued(*queued_, ignored, defaults);
    }
    const bool sample = inputs_.calorimetry.mode == eval::Calorimetry::Mode::Sample;
    const double typed = inputs_.calorimetry.energyEquivalent;
    auto plan = [this, store, typed](const TFormRegistro::Choice& c, QString* why) {
        ses::RecordRequest r;
        r.who = c.who;
        r.data = &table_;
        r.test = test_;
        r.dataFile = dataFile_;
        r.evaluation = inputs_;
        r.wSource = configEnergyEquivalent_ && std::abs(*configEnergyEquivalent_ - typed) < 0.05
                        ? ses::msg::EnergyEquivalentFromConfig
                        : ses::msg::EnergyEquivalentTyped;
        r.wChosen = c.useTypedW;
        r.checkTolerance = checkTolerance_;
        r.replaces = c.replaces;
        r.replaceReason = c.reason;
        r.queued = queued_;
        return ses::planRecord(*store, r, why);
    };
    auto commit = [store](const ses::RecordPlan& p, QString* why) { return ses::commitRecord(*store, p, why); };
    TFormRegistro form(defaults, plan, commit, messages_, sample ? std::optional(typed) : std::nullopt,
                       eval::Unit::JoulesPerGram, this);
    if (queued_)
        form.setFromList(*queued_);
    const int answer = execForm_ ? execForm_(form) : form.exec();
    lastIdentity_ = form.identity();
    if (answer != QDialog::Accepted || !form.number() || !form.recorded())
        return;
    mem::setValue(QStringLiteral("registro/operador"), lastIdentity_.operatorName);
    // The window shows what was recorded: the series' W in place of the one typed.
    const rec::Determination& d = form.recorded()->determination;
    recorded_ = d;
    recorded_->id = *form.number();
    seriesW_ = d.series ? std::optional(d.calorimetry.energyEquivalent) : std::nullopt;
    if (sample && d.calorimetry.energyEquivalent != inputs_.calorimetry.energyEquivalent) {
        updating_ = true;
        EditEquivalente->showValue(d.calorimetry.energyEquivalent);
        updating_ = false;
        readInputs();
        inputs_.calorimetry.energyEquivalent = d.calorimetry.energyEquivalent;
        recompute();
    }
    // The listed sample is recorded now: no other test may take it.
    if (queued_) {
        queued_.reset();
        EditMassa->setReadOnly(false);
        RadioAmostra->setEnabled(true);
        RadioCalibracao->setEnabled(true);
        EditCalor->setReadOnly(false);
        loadListed();
    }
    LabelRegistro->setText(d.series ? ses::msg::RecordedWithSeries.arg(*form.number()).arg(d.energyEquivalentSource)
                                    : ses::msg::Recorded.arg(*form.number()));
}

void TFormAvaliacao::RelatorioClick() {
    if (!outcome_.ok())
        return;
    // Proposed beside the data file; without one, in the folder of the last report.
    QString name = QStringLiteral("relatorio-ensaio%1").arg(test_.number);
    if (test_.occurrence > 1)
        name += QStringLiteral("-%1").arg(test_.occurrence);
    name += QStringLiteral(".pdf");
    if (!dataFile_.isEmpty())
        name = QDir(QFileInfo(dataFile_).absolutePath()).filePath(name);
    const QString path = files_.saveFile(FileDialogSpec{QStringLiteral("Salvar relatório"),
                                                        QStringLiteral("Relatórios PDF (*.pdf)|*.pdf"),
                                                        QStringLiteral("pdf"), true, name});
    if (path.isEmpty())
        return;
    ReportRequest req;
    req.test = test_;
    req.dataFile = dataFile_;
    req.result = *outcome_.result;
    req.calorimetry = inputs_.calorimetry;
    req.given = inputs_.given;
    // Once recorded, the report is the record's: its number, sample, operator and signatures.
    req.record = recorded_;
    QString error;
    if (!writeReport(table_, req, path, &error))
        messages_.show(MsgKind::Error, error);
}

// ---- corrections from what the lab measured -----------------------------------------------------

namespace {

const ses::MeasuredCorrection& measure(int which) { return ses::measuredCorrection(ses::kCorrections[which]); }

} // namespace

TFormMedida::TFormMedida(int which, const QJsonObject& given, double sampleMass, QWidget* parent)
    : QDialog(parent), which_(which), mass_(sampleMass) {
    const ses::MeasuredCorrection& m = measure(which);
    setObjectName(QStringLiteral("FormMedida"));
    setWindowTitle(m.title);
    auto* form = new QFormLayout;
    for (const ses::MeasuredCorrection::Field& f : m.fields) {
        auto* e = addDecimalRow(form, f.label, f.unit, 4, false,
                                given.contains(f.key) ? std::optional(given[f.key].toDouble()) : f.byDefault, this);
        Edits << e;
        connect(e, &DecimalEdit::changedByUser, this, [this] { showJoules(); });
    }
    LabelJoules = new QLabel(this);
    LabelJoules->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("= 9999999.9 J (massa da amostra 0.0000 g)")));
    form->addRow(LabelJoules);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    btnOk = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(buttons);
    showJoules();
}

std::optional<double> TFormMedida::joules() const {
    for (DecimalEdit* e : Edits)
        if (!e->isValid() || e->text().trimmed().isEmpty() || !(e->value() >= 0))
            return std::nullopt;
    return ses::measuredJoules(ses::kCorrections[which_], given(), mass_);
}

QJsonObject TFormMedida::given() const {
    QJsonObject o;
    const ses::MeasuredCorrection& m = measure(which_);
    for (int i = 0; i < Edits.size(); ++i)
        o[m.fields[i].key] = Edits[i]->value();
    return o;
}

void TFormMedida::showJoules() {
    const auto j = joules();
    btnOk->setEnabled(j.has_value());
    if (which_ == 2 && !(mass_ > 0))
        LabelJoules->setText(QStringLiteral("Informe antes a massa da amostra."));
    else
        LabelJoules->setText(j ? QStringLiteral("= %1 J").arg(ses::fixed(*j, 1)) : QStringLiteral("= ? J"));
}

void TFormAvaliacao::forgetMeasured(int which) {
    for (const auto& f : measure(which).fields)
        inputs_.given.remove(f.key);
}

void TFormAvaliacao::MedidaClick(int which) {
    TFormMedida form(which, inputs_.given, EditMassa->isValid() ? EditMassa->value() : 0, this);
    if ((execForm_ ? execForm_(form) : form.exec()) != QDialog::Accepted || !form.joules())
        return;
    DecimalEdit* const fields[] = {EditFio, EditAcido, EditEnxofre, EditAuxiliar};
    // The values first: the field's change then computes from them.
    forgetMeasured(which);
    const QJsonObject g = form.given();
    for (auto it = g.begin(); it != g.end(); ++it)
        inputs_.given[it.key()] = it.value();
    settingMeasured_ = true;
    fields[which]->setValue(*form.joules());
    settingMeasured_ = false;
}
