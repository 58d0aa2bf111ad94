#pragma once
// The evaluation's picture of a test: the internal-temperature curve, the three periods
// shaded, their four limits, the fore and after drift lines carried across the main period,
// and the marks of ta, tc and (Dickinson) b. Painted the same way in the evaluation window
// and in the report.
#include "evaluation/evaluation.h"

#include <QPainter>
#include <QRectF>
#include <optional>
#include <span>

class EvaluationChart {
public:
    EvaluationChart(std::span<const eval::Sample> samples, const std::optional<eval::Periods>& periods,
                    const eval::Result* result);

    /// Paints into `area` (axes, labels and plot).
    void paint(QPainter& p, const QRectF& area);

    /// The plot rectangle that the last paint used, and the mappings of its axes.
    QRectF plot() const { return plot_; }
    double xOf(double minutes) const;
    double minutesAt(double x) const;
    double yOf(double celsius) const;

private:
    std::span<const eval::Sample> samples_;
    std::optional<eval::Periods> periods_;
    const eval::Result* result_;
    double t0_ = 0, t1_ = 1, y0_ = 0, y1_ = 1;
    QRectF plot_;
};
