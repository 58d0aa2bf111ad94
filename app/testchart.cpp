#include "app/testchart.h"

#include <QLegendMarker>
#include <algorithm>

TestChart::TestChart() : chart_(new QChart) {
    chart_->setTitle(QString()); // "Gráfico", not shown
    chart_->setBackgroundBrush(Qt::white);
    chart_->setPlotAreaBackgroundVisible(false);
    chart_->setAnimationOptions(QChart::NoAnimation);
    chart_->legend()->setAlignment(Qt::AlignBottom);
    chart_->legend()->setMarkerShape(QLegend::MarkerShapeRectangle);

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
    leftAxis->setLabelFormat(QStringLiteral("%.0f"));
    bottomAxis = new QValueAxis;
    bottomAxis->setTitleText(QStringLiteral("Tempo (min)"));
    bottomAxis->setLabelFormat(QStringLiteral("%g"));
    chart_->addAxis(leftAxis, Qt::AlignLeft);
    chart_->addAxis(bottomAxis, Qt::AlignBottom);
    for (QLineSeries* s : {Series2, Series1}) {
        s->attachAxis(leftAxis);
        s->attachAxis(bottomAxis);
    }
    fitBottomAxis();
}

void TestChart::setPoints(QList<QPointF> interna, QList<QPointF> externa) {
    auto byX = [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); };
    std::stable_sort(interna.begin(), interna.end(), byX);
    std::stable_sort(externa.begin(), externa.end(), byX);
    // Empty the curves, fit the axis, then hand the points over: each change of range redraws
    // every point, so it happens while there are none.
    Series1->clear();
    Series2->clear();
    fitBottomAxis(interna, externa);
    Series1->replace(interna);
    Series2->replace(externa);
}

void TestChart::fitBottomAxis() { fitBottomAxis(Series1->points(), Series2->points()); }

void TestChart::fitBottomAxis(const QList<QPointF>& a, const QList<QPointF>& b) {
    double lo = 0, hi = 0;
    bool any = false;
    for (const QList<QPointF>* pts : {&a, &b}) {
        if (pts->isEmpty())
            continue;
        lo = any ? std::min(lo, pts->front().x()) : pts->front().x();
        hi = any ? std::max(hi, pts->back().x()) : pts->back().x();
        any = true;
    }
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
