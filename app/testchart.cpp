#include "app/testchart.h"

#include <QFontMetricsF>
#include <QGraphicsTextItem>
#include <QLegend>
#include <QPainter>
#include <QTextDocument>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kLabelPadding = 4; ///< the charting toolkit's room around each axis label
constexpr int kLegendGap = 4;       ///< between the axis title and the legend, and below it

// Labels at multiples of a step chosen for the visible range and the axis's length, so a zoom
// keeps them readable: enough decimals to tell them apart, never cut short.
void fitTicks(QChart* chart, QValueAxis* axis, Qt::Orientation o) {
    const QRectF plot = chart->plotArea();
    double pixels = o == Qt::Horizontal ? plot.width() : plot.height();
    if (pixels < 40) pixels = o == Qt::Horizontal ? 200 : 160; // not laid out yet
    // Setting the ticks lays the chart out again, which asks again: only a new range, length or
    // font needs new ticks.
    const QString key = QStringLiteral("%1 %2 %3 %4")
                            .arg(axis->min(), 0, 'g', 17)
                            .arg(axis->max(), 0, 'g', 17)
                            .arg(pixels)
                            .arg(axis->labelsFont().toString());
    if (axis->property("ticksFor").toString() == key)
        return;
    axis->setProperty("ticksFor", key);
    // Measured as the toolkit measures a label before it shortens one that does not fit.
    QGraphicsTextItem probe;
    probe.document()->setDocumentMargin(0.5);
    probe.setFont(axis->labelsFont());
    const AxisTicks t = chooseTicks(axis->min(), axis->max(), pixels, [&](const QString& text) {
        probe.setHtml(text);
        const QRectF r = probe.boundingRect();
        return (o == Qt::Horizontal ? r.width() : r.height()) + 1;
    });
    // Interval first: dynamic ticks with no interval yet would never end.
    axis->setTickInterval(t.interval);
    axis->setTickAnchor(0);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(t.decimals));
}

} // namespace

AxisTicks chooseTicks(double lo, double hi, double pixels,
                      const std::function<double(const QString&)>& extent) {
    const double span = hi - lo;
    if (!(span > 0) || !std::isfinite(span)) return {};
    double power = std::pow(10.0, std::floor(std::log10(span / 100))); // at most ~1000 labels
    AxisTicks last;
    for (int i = 0; i < 12; ++i, power *= 10) {
        for (const double m : {1.0, 2.0, 5.0}) {
            last.interval = m * power;
            last.decimals =
                std::max(0, -static_cast<int>(std::floor(std::log10(last.interval) + 1e-9)));
            QStringList labels = tickLabels(lo, hi, last);
            if (labels.size() <= 1) return last;
            const qsizetype n = labels.size();
            labels.removeDuplicates();
            if (labels.size() != n) continue;
            const double room = pixels / static_cast<double>(n) - 2 * kLabelPadding;
            // The widest label is among the longest texts; measuring a few of them is enough
            // (measuring is what costs), the first and last of them and some between.
            qsizetype longest = 0;
            for (const QString& l : labels)
                longest = std::max(longest, l.size());
            QStringList candidates;
            for (const QString& l : labels)
                if (l.size() == longest)
                    candidates << l;
            double widest = 0;
            const qsizetype step = std::max<qsizetype>(1, candidates.size() / 4);
            for (qsizetype k = 0; k < candidates.size(); k += step)
                widest = std::max(widest, extent(candidates[k]));
            widest = std::max(widest, extent(candidates.last()));
            if (widest <= room) return last;
        }
    }
    return last;
}

QStringList tickLabels(double lo, double hi, const AxisTicks& t) {
    QStringList out;
    if (!(t.interval > 0) || !(hi >= lo)) return out;
    const double first = std::ceil(lo / t.interval - 1e-9);
    const double end = std::floor(hi / t.interval + 1e-9);
    if (end - first > 100000) return out;
    for (double k = first; k <= end; ++k) {
        double v = k * t.interval;
        if (std::abs(v) < t.interval * 1e-9) v = 0; // no "-0.0"
        out << QString::asprintf("%.*f", t.decimals, v);
    }
    return out;
}

// ---- legend ---------------------------------------------------------------------------------

ChartLegend::ChartLegend(QChart* chart, QList<QXYSeries*> series)
    : QGraphicsItem(chart), chart_(chart), series_(std::move(series)) {
    setZValue(10);
}

QFont ChartLegend::font() const {
    return chart_->legend()->font();
}

QStringList ChartLegend::titles() const {
    QStringList out;
    for (const QXYSeries* s : series_)
        out << s->name();
    return out;
}

void ChartLegend::relayout() {
    prepareGeometryChange();
    const QFontMetricsF fm(font());
    const double textH = fm.height();
    const double pad = 4, between = 12, afterSwatch = 5;
    const double swatchH = std::max(6.0, std::round(textH * 0.6));
    double x = pad;
    swatches_.clear();
    textAt_.clear();
    for (const QXYSeries* s : series_) {
        if (x > pad) x += between;
        swatches_ << QRectF(x, pad + (textH - swatchH) / 2, TestChart::kSwatchWidth, swatchH);
        x += TestChart::kSwatchWidth + afterSwatch;
        textAt_ << QPointF(x, pad + fm.ascent());
        x += fm.horizontalAdvance(s->name());
    }
    const QSizeF size(x + pad, textH + 2 * pad);
    // Room below the plot, kept free by the chart's bottom margin.
    const int needed =
        static_cast<int>(std::ceil(size.height())) + TestChart::kLegendShadow + 2 * kLegendGap;
    if (bottomMargin_ == 0) bottomMargin_ = chart_->margins().bottom();
    QMargins m = chart_->margins();
    if (m.bottom() != bottomMargin_ + needed) {
        m.setBottom(bottomMargin_ + needed);
        chart_->setMargins(m);
    }
    const QRectF area = chart_->rect();
    box_ = QRectF(QPointF(0, 0), size);
    setPos(std::round(area.center().x() - size.width() / 2),
           std::round(area.bottom() - bottomMargin_ - TestChart::kLegendShadow - kLegendGap -
                      size.height()));
    update();
}

QRectF ChartLegend::boundingRect() const {
    return box_.adjusted(0, 0, TestChart::kLegendShadow + 1, TestChart::kLegendShadow + 1);
}

void ChartLegend::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*) {
    if (box_.isEmpty()) return;
    p->setRenderHint(QPainter::Antialiasing, false);
    p->fillRect(box_.translated(TestChart::kLegendShadow, TestChart::kLegendShadow),
                QColor(128, 128, 128));
    p->setPen(Qt::black);
    p->setBrush(Qt::white);
    p->drawRect(box_);
    p->setFont(font());
    for (int i = 0; i < series_.size() && i < swatches_.size(); ++i) {
        p->setPen(Qt::black);
        p->setBrush(series_[i]->color());
        p->drawRect(swatches_[i]);
        p->drawText(textAt_[i], series_[i]->name());
    }
}

// ---- chart ----------------------------------------------------------------------------------

TestChart::TestChart() : chart_(new QChart) {
    chart_->setTitle(QString()); // "Gráfico", not shown
    chart_->setBackgroundBrush(Qt::white);
    chart_->setPlotAreaBackgroundVisible(false);
    chart_->setAnimationOptions(QChart::NoAnimation);
    chart_->legend()->setAlignment(Qt::AlignBottom);
    chart_->legend()->hide(); // the chart draws its own, with the reference swatches

    Series2 = new QLineSeries;
    Series2->setName(QStringLiteral("Temp. Externa"));
    Series2->setColor(Qt::blue);
    Series1 = new QLineSeries;
    Series1->setName(QStringLiteral("Temp. Interna"));
    Series1->setColor(Qt::red);
    for (QLineSeries* s : {Series2, Series1}) {
        s->setPointsVisible(false);
        s->setPointLabelsVisible(false);
        s->setUseOpenGL(false);
        chart_->addSeries(s);
    }

    leftAxis = new QValueAxis;
    leftAxis->setRange(20, 40);
    leftAxis->setTitleText(QStringLiteral("Temperatura (°C)"));
    bottomAxis = new QValueAxis;
    bottomAxis->setTitleText(QStringLiteral("Tempo (min)"));
    chart_->addAxis(leftAxis, Qt::AlignLeft);
    chart_->addAxis(bottomAxis, Qt::AlignBottom);
    for (QLineSeries* s : {Series2, Series1}) {
        s->attachAxis(leftAxis);
        s->attachAxis(bottomAxis);
    }
    // Pointers, not this: the chart outlives this object in the window (its view owns it).
    QChart* c = chart_;
    QValueAxis* left = leftAxis;
    QValueAxis* bottom = bottomAxis;
    QObject::connect(left, &QValueAxis::rangeChanged, c,
                     [c, left] { fitTicks(c, left, Qt::Vertical); });
    QObject::connect(bottom, &QValueAxis::rangeChanged, c,
                     [c, bottom] { fitTicks(c, bottom, Qt::Horizontal); });
    QObject::connect(c, &QChart::plotAreaChanged, c, [c, left, bottom] {
        fitTicks(c, left, Qt::Vertical);
        fitTicks(c, bottom, Qt::Horizontal);
    });
    fitTicks(c, left, Qt::Vertical);

    legend = new ChartLegend(chart_, {Series2, Series1});
    ChartLegend* l = legend;
    QObject::connect(c, &QGraphicsWidget::geometryChanged, c, [l] { l->relayout(); });
    legend->relayout();
    fitBottomAxis();
}

void TestChart::setZoomAnimated(bool on) {
    // Series only: the axes change their label step with the range, which the axis animation
    // cannot follow.
    zoomAnimation_ = on ? QChart::SeriesAnimations : QChart::NoAnimation;
    chart_->setAnimationOptions(zoomAnimation_);
}

void TestChart::setPoints(QList<QPointF> interna, QList<QPointF> externa) {
    auto byX = [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); };
    std::stable_sort(interna.begin(), interna.end(), byX);
    std::stable_sort(externa.begin(), externa.end(), byX);
    // Another test is drawn as it is, at once: no zoom carried over from the last one, and no
    // animation from the old curves to the new.
    chart_->setAnimationOptions(QChart::NoAnimation);
    if (chart_->isZoomed()) chart_->zoomReset();
    // Empty the curves, fit the axes, then hand the points over: each change of range redraws
    // every point, so it happens while there are none.
    Series1->clear();
    Series2->clear();
    leftAxis->setRange(20, 40);
    fitBottomAxis(interna, externa);
    Series1->replace(interna);
    Series2->replace(externa);
    chart_->setAnimationOptions(zoomAnimation_);
}

void TestChart::fitBottomAxis() {
    fitBottomAxis(Series1->points(), Series2->points());
}

void TestChart::fitBottomAxis(const QList<QPointF>& a, const QList<QPointF>& b) {
    double lo = 0, hi = 0;
    bool any = false;
    for (const QList<QPointF>* pts : {&a, &b}) {
        if (pts->isEmpty()) continue;
        lo = any ? std::min(lo, pts->front().x()) : pts->front().x();
        hi = any ? std::max(hi, pts->back().x()) : pts->back().x();
        any = true;
    }
    // Ticks at the old step over a much longer range would make thousands of labels before the
    // new step is chosen: a few fixed ticks hold the place until then.
    bottomAxis->setProperty("ticksFor", QVariant());
    bottomAxis->setTickType(QValueAxis::TicksFixed);
    if (!any || hi <= lo) {
        bottomAxis->setRange(lo, lo + 1);
        return;
    }
    bottomAxis->setRange(lo, hi);
    bottomAxis->applyNiceNumbers();
}

void TestChart::resetZoom() {
    chart_->zoomReset();
    leftAxis->setRange(20, 40);
    fitBottomAxis();
}
