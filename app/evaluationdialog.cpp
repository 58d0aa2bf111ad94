#include "app/evaluationdialog.h"

#include "app/evaluationchart.h"
#include "app/report.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QDoubleSpinBox* number(double lo, double hi, int decimals, const QString& suffix, QWidget* parent) {
    auto* s = new QDoubleSpinBox(parent);
    s->setRange(lo, hi);
    s->setDecimals(decimals);
    s->setSuffix(suffix);
    s->setKeyboardTracking(false); // a value counts once it is typed, not at every digit
    s->setAlignment(Qt::AlignRight);
    return s;
}

QString linesHtml(const QList<ses::ResultLine>& lines) {
    QString h = QStringLiteral("<table cellspacing='0' cellpadding='1'>");
    for (const ses::ResultLine& l : lines)
        h += QStringLiteral("<tr><td>%1</td><td align='right'>&nbsp;&nbsp;<b>%2</b></td><td>&nbsp;%3</td></tr>")
                 .arg(l.label.toHtmlEscaped(), l.value.toHtmlEscaped(), l.unit.toHtmlEscaped());
    return h + QStringLiteral("</table>");
}

} // namespace

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

void EvaluationPlot::mousePressEvent(QMouseEvent* e) {
    dragging_ = e->button() == Qt::LeftButton ? limitNear(e->position().x()) : -1;
}

void EvaluationPlot::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_ < 0) {
        setCursor(limitNear(e->position().x()) >= 0 ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    const double m = t0_ + (e->position().x() - plot_.left()) / plot_.width() * (t1_ - t0_);
    emit limitDragged(dragging_, m);
}

void EvaluationPlot::mouseReleaseEvent(QMouseEvent*) { dragging_ = -1; }

// ---- the window ---------------------------------------------------------------------------------

TFormAvaliacao::TFormAvaliacao(const acq::MeasurementTable& table, const acq::TestRun& test, const QString& dataFile,
                               EvaluationInputs inputs, FileDialogs& files, MessageService& messages, QWidget* parent)
    : QDialog(parent), table_(table), test_(test), dataFile_(dataFile), samples_(ses::testSamples(table, test)),
      inputs_(std::move(inputs)), files_(files), messages_(messages) {
    setObjectName(QStringLiteral("FormAvaliacao"));
    setWindowTitle(QStringLiteral("Avaliação do %1").arg(test.caption()));
    const double tEnd = samples_.empty() ? 1.0 : samples_.back().t;

    Plot = new EvaluationPlot(this);
    auto* periods = new QGroupBox(QStringLiteral("Períodos (min)"), this);
    auto* pl = new QHBoxLayout(periods);
    QDoubleSpinBox** edits[] = {&EditA, &EditB, &EditC, &EditD};
    const QString names[] = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")};
    for (int i = 0; i < 4; ++i) {
        *edits[i] = number(-1000, 100000, 2, {}, periods);
        auto* l = new QLabel(names[i] + QLatin1Char(':'), periods);
        l->setBuddy(*edits[i]);
        pl->addWidget(l);
        pl->addWidget(*edits[i], 1);
        connect(*edits[i], &QDoubleSpinBox::valueChanged, this, [this] {
            if (!updating_) {
                readInputs();
                recompute();
            }
        });
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
    connect(ComboMetodo, &QComboBox::currentIndexChanged, this, [this] {
        if (!updating_) {
            readInputs();
            recompute();
        }
    });

    LabelResultado = new QLabel(this);
    LabelResultado->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelResultado->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    auto* cal = new QGroupBox(QStringLiteral("Calorimetria"), this);
    auto* cl = new QFormLayout(cal);
    auto* modes = new QHBoxLayout;
    RadioAmostra = new QRadioButton(QStringLiteral("&Amostra"), cal);
    RadioCalibracao = new QRadioButton(QStringLiteral("Ca&libração"), cal);
    modes->addWidget(RadioAmostra);
    modes->addWidget(RadioCalibracao);
    modes->addStretch(1);
    cl->addRow(modes);
    EditMassa = number(0, 1000, 4, QStringLiteral(" g"), cal);
    EditEquivalente = number(0, 1e7, 1, QStringLiteral(" J/K"), cal);
    EditCalor = number(0, 1e6, 1, QStringLiteral(" J/g"), cal);
    EditFio = number(-1e6, 1e6, 1, QStringLiteral(" J"), cal);
    EditAcido = number(-1e6, 1e6, 1, QStringLiteral(" J"), cal);
    EditEnxofre = number(-1e6, 1e6, 1, QStringLiteral(" J"), cal);
    cl->addRow(QStringLiteral("Massa:"), EditMassa);
    cl->addRow(QStringLiteral("Equivalente energético:"), EditEquivalente);
    cl->addRow(QStringLiteral("Calor de combustão do padrão:"), EditCalor);
    cl->addRow(QStringLiteral("Correção do fio:"), EditFio);
    cl->addRow(QStringLiteral("Correção ácida:"), EditAcido);
    cl->addRow(QStringLiteral("Correção de enxofre:"), EditEnxofre);
    LabelCalorimetria = new QLabel(cal);
    LabelCalorimetria->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelCalorimetria->setWordWrap(true);
    cl->addRow(LabelCalorimetria);
    for (QDoubleSpinBox* s : {EditMassa, EditEquivalente, EditCalor, EditFio, EditAcido, EditEnxofre})
        connect(s, &QDoubleSpinBox::valueChanged, this, [this] {
            if (!updating_) {
                readInputs();
                recompute();
            }
        });
    for (QRadioButton* r : {RadioAmostra, RadioCalibracao})
        connect(r, &QRadioButton::toggled, this, [this](bool on) {
            if (on && !updating_) {
                readInputs();
                recompute();
            }
        });

    btnRelatorio = new QPushButton(QStringLiteral("&Salvar relatório..."), this);
    btnCopiar = new QPushButton(QStringLiteral("&Copiar"), this);
    btnFechar = new QPushButton(QStringLiteral("&Fechar"), this);
    connect(btnRelatorio, &QPushButton::clicked, this, [this] { RelatorioClick(); });
    connect(btnCopiar, &QPushButton::clicked, this, [this] { CopiarClick(); });
    connect(btnFechar, &QPushButton::clicked, this, &QDialog::accept);
    connect(Plot, &EvaluationPlot::limitDragged, this, [this](int i, double m) { setLimit(i, m); });

    auto* right = new QVBoxLayout;
    right->addLayout(method);
    right->addWidget(LabelResultado, 1);
    auto* middle = new QHBoxLayout;
    middle->addLayout(right, 1);
    middle->addWidget(cal, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
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
    for (QDoubleSpinBox* s : {EditA, EditB, EditC, EditD})
        s->setMaximum(std::max(1000.0, tEnd + 100));
    ComboMetodo->setCurrentIndex(inputs_.method == eval::Method::Dickinson ? 1 : 0);
    const eval::Calorimetry& c = inputs_.calorimetry;
    (c.mode == eval::Calorimetry::Mode::Calibration ? RadioCalibracao : RadioAmostra)->setChecked(true);
    EditMassa->setValue(c.mass);
    EditEquivalente->setValue(c.energyEquivalent);
    EditCalor->setValue(c.heatOfCombustion);
    EditFio->setValue(c.fuse);
    EditAcido->setValue(c.acid);
    EditEnxofre->setValue(c.sulfur);
    updating_ = false;
    recompute();
    resize(760, 640);
}

std::optional<double> TFormAvaliacao::energyEquivalent() const {
    return outcome_.ok() ? outcome_.result->energyEquivalent : std::nullopt;
}

void TFormAvaliacao::readInputs() {
    inputs_.method = ComboMetodo->currentIndex() == 1 ? eval::Method::Dickinson : eval::Method::RegnaultPfaundler;
    inputs_.periods = eval::Periods{EditA->value(), EditB->value(), EditC->value(), EditD->value()};
    eval::Calorimetry& c = inputs_.calorimetry;
    const bool calibration = RadioCalibracao->isChecked();
    c.mass = EditMassa->value();
    c.energyEquivalent = EditEquivalente->value();
    c.heatOfCombustion = EditCalor->value();
    c.fuse = EditFio->value();
    c.acid = EditAcido->value();
    c.sulfur = EditEnxofre->value();
    // Nothing to compute until a mass is given (and, for a sample, an energy equivalent).
    if (c.mass <= 0 || (!calibration && c.energyEquivalent <= 0))
        c.mode = eval::Calorimetry::Mode::None;
    else
        c.mode = calibration ? eval::Calorimetry::Mode::Calibration : eval::Calorimetry::Mode::Sample;
}

void TFormAvaliacao::showPeriods(const eval::Periods& p) {
    updating_ = true;
    EditA->setValue(p.a);
    EditB->setValue(p.b);
    EditC->setValue(p.c);
    EditD->setValue(p.d);
    updating_ = false;
}

void TFormAvaliacao::recompute() {
    const bool calibration = RadioCalibracao->isChecked();
    EditEquivalente->setEnabled(!calibration);
    EditCalor->setEnabled(calibration);
    outcome_ = eval::evaluate(samples_, inputs_.method, inputs_.periods, inputs_.calorimetry);
    if (outcome_.ok()) {
        const eval::Result& r = *outcome_.result;
        showPeriods(r.periods);
        Plot->setData(samples_, r.periods, &*outcome_.result);
        QList<ses::ResultLine> lines;
        for (const ses::ResultLine& l : ses::resultLines(r))
            if (l.label != QLatin1String("Equivalente energético") && l.label != QLatin1String("Poder calorífico superior") &&
                !l.label.isEmpty())
                lines << l;
        LabelResultado->setText(linesHtml(lines));
        QList<ses::ResultLine> cal;
        if (r.energyEquivalent && calibration)
            cal << ses::ResultLine{QStringLiteral("Equivalente energético"), ses::fixed(*r.energyEquivalent, 1), QStringLiteral("J/K")};
        if (r.grossCalorificValue)
            cal << ses::ResultLine{QStringLiteral("Poder calorífico superior"), ses::fixed(*r.grossCalorificValue, 1), QStringLiteral("J/g")}
                << ses::ResultLine{QString(), ses::fixed(*r.grossMJPerKg(), 3), QStringLiteral("MJ/kg")}
                << ses::ResultLine{QString(), ses::fixed(*r.grossCalPerG(), 1), QStringLiteral("cal/g")};
        LabelCalorimetria->setText(cal.isEmpty() ? QStringLiteral("Informe a massa%1 para o resultado.")
                                                       .arg(calibration ? QString() : QStringLiteral(" e o equivalente energético"))
                                                 : linesHtml(cal));
    } else {
        if (inputs_.periods)
            Plot->setData(samples_, inputs_.periods, nullptr);
        else
            Plot->setData(samples_, std::nullopt, nullptr);
        LabelResultado->setText(QStringLiteral("<span style='color:#b00000'>%1</span>").arg(outcome_.error.toHtmlEscaped()));
        LabelCalorimetria->clear();
    }
    btnRelatorio->setEnabled(outcome_.ok());
    btnCopiar->setEnabled(outcome_.ok());
}

void TFormAvaliacao::setLimit(int i, double minutes) {
    eval::Periods p = inputs_.periods ? *inputs_.periods
                      : outcome_.ok()  ? outcome_.result->periods
                                       : eval::Periods{0, 0, 0, 0};
    double* limits[] = {&p.a, &p.b, &p.c, &p.d};
    if (i < 0 || i > 3)
        return;
    *limits[i] = std::round(minutes * 100) / 100;
    showPeriods(p);
    readInputs();
    recompute();
}

void TFormAvaliacao::AutomaticoClick() {
    inputs_.periods.reset();
    recompute();
}

QString TFormAvaliacao::resultText() const {
    return outcome_.ok() ? ses::resultText(test_, *outcome_.result, inputs_.calorimetry) : outcome_.error;
}

void TFormAvaliacao::CopiarClick() { QApplication::clipboard()->setText(resultText()); }

void TFormAvaliacao::RelatorioClick() {
    if (!outcome_.ok())
        return;
    const QString path = files_.saveFile(FileDialogSpec{QStringLiteral("Salvar relatório"),
                                                        QStringLiteral("Relatórios PDF (*.pdf)|*.pdf"),
                                                        QStringLiteral("pdf"), true, {}});
    if (path.isEmpty())
        return;
    ReportRequest req;
    req.test = test_;
    req.dataFile = dataFile_;
    req.result = *outcome_.result;
    req.calorimetry = inputs_.calorimetry;
    QString error;
    if (!writeReport(table_, req, path, &error))
        messages_.show(MsgKind::Error, error);
}
