#include "app/serieswindow.h"

#include "app/controlchart.h"
#include "evaluation/evaluation.h"
#include "session/messages.h"

#include "app/windowmemory.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QVBoxLayout>

ControlChartView::ControlChartView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(560, 300);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void ControlChartView::setChart(ses::ControlChart chart) {
    chart_ = std::move(chart);
    update();
}

void ControlChartView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintControlChart(p, QRectF(rect()).adjusted(6, 4, -6, -4), chart_, font().pointSizeF() > 0 ? font().pointSizeF() : 9);
}

namespace {

QLabel* labelFor(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

// Each button keeps room for its caption whatever the fonts (Windows' are wider).
void roomy(std::initializer_list<QPushButton*> buttons) {
    for (QPushButton* b : buttons) {
        b->setAutoDefault(false);
        b->setMinimumWidth(b->sizeHint().width() + b->fontMetrics().horizontalAdvance(QLatin1Char('x')));
    }
}

} // namespace

TFormSeries::TFormSeries(Open open, const QString& calorimeter, MessageService& messages, FileDialogs& files,
                         QWidget* parent)
    : QDialog(parent), open_(std::move(open)), messages_(messages), files_(files) {
    setObjectName(QStringLiteral("FormSeries"));
    setWindowTitle(QStringLiteral("Séries de calibração"));
    ComboCalorimetro = new QComboBox(this);
    ComboCalorimetro->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    if (!calorimeter.isEmpty())
        ComboCalorimetro->addItem(calorimeter);
    ComboRegra = new QComboBox(this);
    using P = rec::CalibrationRule::Preset;
    for (const P preset : {P::Din51900, P::AstmD240, P::Laboratorio})
        ComboRegra->addItem(rec::CalibrationRule{preset}.name());
    EditMinCorridas = new QSpinBox(this);
    EditMinCorridas->setRange(2, 99);
    EditDprMax = new QLineEdit(this);
    EditDprMax->setMaximumWidth(EditDprMax->fontMetrics().horizontalAdvance(QStringLiteral("0,0000")) + 16);
    btnAplicar = new QPushButton(QStringLiteral("A&plicar regra"), this);
    Grafico = new ControlChartView(this);
    TextoSeries = new QPlainTextEdit(this);
    TextoSeries->setReadOnly(true);
    TextoSeries->setLineWrapMode(QPlainTextEdit::NoWrap);
    TextoSeries->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    TextoSeries->setMaximumHeight(TextoSeries->fontMetrics().lineSpacing() * 9);
    EditMotivo = new QLineEdit(this);
    EditMotivo->setPlaceholderText(QStringLiteral("troca de peça, manutenção…"));
    btnNovaSerie = new QPushButton(QStringLiteral("&Nova série"), this);
    btnRelatorio = new QPushButton(QStringLiteral("&Relatório..."), this);
    btnFechar = new QPushButton(QStringLiteral("&Fechar"), this);
    roomy({btnAplicar, btnNovaSerie, btnRelatorio, btnFechar});
    btnFechar->setDefault(true);
    connect(btnAplicar, &QPushButton::clicked, this, [this] { AplicarRegraClick(); });
    connect(btnNovaSerie, &QPushButton::clicked, this, [this] { NovaSerieClick(); });
    connect(btnRelatorio, &QPushButton::clicked, this, [this] { RelatorioClick(); });
    connect(btnFechar, &QPushButton::clicked, this, &QDialog::accept);
    connect(ComboCalorimetro, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_)
            refresh();
    });
    // The number of runs is the lab's own rule's; the RSD limit holds for ASTM D240 as well.
    connect(ComboRegra, &QComboBox::currentIndexChanged, this, [this](int i) {
        EditMinCorridas->setEnabled(i == 2);
        EditDprMax->setEnabled(i >= 1);
    });

    auto* rule = new QHBoxLayout;
    rule->addWidget(labelFor(QStringLiteral("&Calorímetro:"), ComboCalorimetro, this));
    rule->addWidget(ComboCalorimetro);
    rule->addSpacing(12);
    rule->addWidget(labelFor(QStringLiteral("Re&gra:"), ComboRegra, this));
    rule->addWidget(ComboRegra);
    rule->addWidget(labelFor(QStringLiteral("Corridas &mín.:"), EditMinCorridas, this));
    rule->addWidget(EditMinCorridas);
    rule->addWidget(labelFor(QStringLiteral("&DPR máx. (%):"), EditDprMax, this));
    rule->addWidget(EditDprMax);
    rule->addWidget(btnAplicar);
    rule->addStretch(1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(labelFor(QStringLiteral("M&otivo da nova série:"), EditMotivo, this));
    bottom->addWidget(EditMotivo, 1);
    bottom->addWidget(btnNovaSerie);
    bottom->addSpacing(12);
    bottom->addWidget(btnRelatorio);
    bottom->addWidget(btnFechar);
    auto* top = new QVBoxLayout(this);
    top->addLayout(rule);
    top->addWidget(Grafico, 1);
    top->addWidget(TextoSeries);
    top->addLayout(bottom);
    mem::placeWindow(this, QSize(980, 640));
}

void TFormSeries::showRule(const rec::CalibrationRule& rule) {
    ComboRegra->setCurrentIndex(static_cast<int>(rule.preset));
    EditMinCorridas->setValue(rule.minRuns);
    EditDprMax->setText(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(rule.maxRsdPercent, 'g', 6));
    EditMinCorridas->setEnabled(rule.preset == rec::CalibrationRule::Preset::Laboratorio);
    EditDprMax->setEnabled(rule.preset != rec::CalibrationRule::Preset::Din51900);
}

bool TFormSeries::refresh() {
    QString why;
    const auto store = open_(&why);
    const auto names = store ? store->calorimeters(&why) : std::nullopt;
    if (!names) {
        messages_.show(MsgKind::Error, why);
        return false;
    }
    filling_ = true;
    const QString chosen = ComboCalorimetro->currentText();
    ComboCalorimetro->clear();
    ComboCalorimetro->addItems(*names);
    ComboCalorimetro->setCurrentIndex(std::max(0, static_cast<int>(ComboCalorimetro->findText(chosen))));
    filling_ = false;
    const QString calorimeter = ComboCalorimetro->currentText();
    const bool any = !calorimeter.isEmpty();
    for (QWidget* w : std::initializer_list<QWidget*>{ComboRegra, EditMinCorridas, EditDprMax, btnAplicar, EditMotivo,
                                                      btnNovaSerie, btnRelatorio})
        w->setEnabled(any);
    if (!any) {
        series_.clear();
        TextoSeries->setPlainText(QStringLiteral("Nenhum calorímetro no banco de resultados: registre uma calibração."));
        Grafico->setChart({});
        return true;
    }
    const auto rule = store->calibrationRule(calorimeter, &why);
    const auto series = rule ? ses::calibrationSeries(*store, calorimeter, std::nullopt, &why) : std::nullopt;
    const auto chart = series ? ses::controlChart(*store, calorimeter, &why) : std::nullopt;
    if (!chart) {
        messages_.show(MsgKind::Error, why);
        return false;
    }
    series_ = *series;
    showRule(*rule);
    // The current series first: it is the one a technician looks for.
    QString text;
    for (auto it = series_.crbegin(); it != series_.crend(); ++it)
        text += ses::seriesText(*it);
    TextoSeries->setPlainText(text);
    Grafico->setChart(*chart);
    return true;
}

void TFormSeries::AplicarRegraClick() {
    rec::CalibrationRule rule;
    rule.preset = static_cast<rec::CalibrationRule::Preset>(std::max(0, ComboRegra->currentIndex()));
    rule.minRuns = EditMinCorridas->value();
    const auto rsd = eval::parseDecimal(EditDprMax->text().trimmed());
    if (!rsd || !(*rsd > 0) || *rsd >= 100) {
        messages_.show(MsgKind::Warning, ses::msg::RsdLimitForm);
        EditDprMax->setFocus();
        return;
    }
    rule.maxRsdPercent = *rsd;
    QString why;
    const auto store = open_(&why);
    if (!store || !store->setCalibrationRule(ComboCalorimetro->currentText(), rule, &why)) {
        messages_.show(MsgKind::Error, why);
        return;
    }
    refresh();
}

void TFormSeries::NovaSerieClick() {
    if (EditMotivo->text().trimmed().isEmpty()) {
        messages_.show(MsgKind::Warning, ses::msg::NewSeriesNeedsReason);
        EditMotivo->setFocus();
        return;
    }
    const QString calorimeter = ComboCalorimetro->currentText();
    if (messages_.askDestructive(MsgKind::Confirmation, ses::msg::NewSeriesConfirm.arg(calorimeter), MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    QString why;
    const auto store = open_(&why);
    if (!store || !store->newSeries(calorimeter, EditMotivo->text(), &why)) {
        messages_.show(MsgKind::Error, why);
        return;
    }
    EditMotivo->clear();
    refresh();
}

void TFormSeries::RelatorioClick() {
    const QString calorimeter = ComboCalorimetro->currentText();
    QString name = QStringLiteral("series-%1.pdf").arg(calorimeter);
    name.replace(QRegularExpression(QStringLiteral("[^\\w.-]+")), QStringLiteral("-"));
    const QString path = files_.saveFile(FileDialogSpec{QStringLiteral("Salvar relatório das séries"),
                                                        QStringLiteral("Relatórios PDF (*.pdf)|*.pdf"), QStringLiteral("pdf"),
                                                        true, name});
    if (path.isEmpty())
        return;
    QString why;
    if (!writeSeriesReport(Grafico->chart(), series_, path, &why))
        messages_.show(MsgKind::Error, why);
}

TFormHistorico::TFormHistorico(qint64 id, const QList<rec::AuditEntry>& entries, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormHistorico"));
    setWindowTitle(QStringLiteral("Histórico da determinação nº %1").arg(id));
    Texto = new QPlainTextEdit(this);
    Texto->setReadOnly(true);
    CheckDetalhes = new QCheckBox(QStringLiteral("&Detalhes (SHA-256 de cada entrada)"), this);
    auto show = [this, entries] {
        Texto->setPlainText(entries.isEmpty() ? ses::msg::NoHistory
                                              : ses::historyText(entries, CheckDetalhes->isChecked() ? ses::HistoryHashes::Shown
                                                                                                     : ses::HistoryHashes::Hidden));
    };
    show();
    connect(CheckDetalhes, &QCheckBox::toggled, this, show);
    btnFechar = new QPushButton(QStringLiteral("&Fechar"), this);
    btnFechar->setDefault(true);
    connect(btnFechar, &QPushButton::clicked, this, &QDialog::accept);
    auto* top = new QVBoxLayout(this);
    top->addWidget(Texto, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(CheckDetalhes);
    bottom->addStretch(1);
    bottom->addWidget(btnFechar);
    top->addLayout(bottom);
    mem::placeWindow(this, QSize(760, 420));
}
