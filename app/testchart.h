#pragma once
// The two-curve chart of one test: fixed left axis 20–40 °C, automatic time axis, legend
// below. Shared by the main window and the command-line companion's pictures.
#include <QChart>
#include <QLineSeries>
#include <QPointF>
#include <QValueAxis>

#include <QGraphicsItem>
#include <functional>

/// The chart's legend below the plot: one entry per series, its colour in a 20-pixel swatch
/// and its title, in a framed box with a 2-pixel shadow. Qt's own legend sizes its swatches
/// from its font, so the chart draws this one instead.
class ChartLegend : public QGraphicsItem {
public:
    ChartLegend(QChart* chart, QList<QXYSeries*> series);
    QRectF boundingRect() const override;
    void paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*) override;
    /// Size and place after the chart's size or a series' title changed.
    void relayout();

    QStringList titles() const;
    QList<QRectF> swatches() const { return swatches_; }
    QRectF box() const { return box_; }
    QFont font() const;

private:
    QChart* chart_;
    QList<QXYSeries*> series_;
    QRectF box_;
    QList<QRectF> swatches_;
    QList<QPointF> textAt_;
    int bottomMargin_ = 0;
};

class TestChart {
public:
    TestChart();
    QChart* chart() const { return chart_; }
    QLineSeries* Series1 = nullptr; ///< "Temp. Interna", red
    QLineSeries* Series2 = nullptr; ///< "Temp. Externa", blue
    QValueAxis* leftAxis = nullptr;
    QValueAxis* bottomAxis = nullptr;
    ChartLegend* legend = nullptr; ///< below the plot: 20-pixel swatches, 2-pixel shadow

    static constexpr int kSwatchWidth = 20;
    static constexpr int kLegendShadow = 2;

    /// Shows one test: both curves at once (x ascending), any zoom undone, the left axis at
    /// 20–40 and the time axis fitted. Drawn at once, never animated.
    void setPoints(QList<QPointF> interna, QList<QPointF> externa);
    void clear() { setPoints({}, {}); }
    /// Back to the fixed left range and the automatic bottom range after a zoom.
    void resetZoom();
    /// Animates zooming by the mouse (the window's chart; a picture is drawn still).
    void setZoomAnimated(bool on);

private:
    void fitBottomAxis();
    void fitBottomAxis(const QList<QPointF>& a, const QList<QPointF>& b);
    QChart* chart_;
    QChart::AnimationOptions zoomAnimation_ = QChart::NoAnimation;
};

/// The label step of a value axis: ticks at multiples of `interval`, labels with `decimals`.
struct AxisTicks {
    double interval = 1;
    int decimals = 0;
};

/// The smallest step of 1, 2 or 5 times a power of ten whose labels over [lo, hi] are all
/// different and each fit the room an axis of `pixels` gives a label; `extent` measures a
/// label's text along the axis.
AxisTicks chooseTicks(double lo, double hi, double pixels,
                      const std::function<double(const QString&)>& extent);
/// The labels `ticks` gives over [lo, hi], as the axis shows them.
QStringList tickLabels(double lo, double hi, const AxisTicks& ticks);
