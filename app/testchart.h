#pragma once
// The two-curve chart of one test: fixed left axis 20–40 °C, automatic time axis, legend
// below. Shared by the main window and the command-line companion's pictures.
#include <QChart>
#include <QLineSeries>
#include <QPointF>
#include <QValueAxis>

class TestChart {
public:
    TestChart();
    QChart* chart() const { return chart_; }
    QLineSeries* Series1 = nullptr; ///< "Temp. Interna", red
    QLineSeries* Series2 = nullptr; ///< "Temp. Externa", blue
    QValueAxis* leftAxis = nullptr;
    QValueAxis* bottomAxis = nullptr;

    /// Hands both curves over at once (x ascending), then fits the time axis.
    void setPoints(QList<QPointF> interna, QList<QPointF> externa);
    void clear() { setPoints({}, {}); }
    /// Back to the fixed left range and the automatic bottom range after a zoom.
    void resetZoom();

private:
    void fitBottomAxis();
    void fitBottomAxis(const QList<QPointF>& a, const QList<QPointF>& b);
    QChart* chart_;
};
