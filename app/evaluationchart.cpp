#include "app/evaluationchart.h"

#include "session/testevaluation.h"

#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {

// A step of 1, 2 or 5 times a power of ten giving about `count` ticks over `span`.
double niceStep(double span, int count) {
    const double raw = span / std::max(count, 1);
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (raw <= m * mag)
            return m * mag;
    return 10 * mag;
}

int decimalsFor(double step) { return std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9))); }

} // namespace

EvaluationChart::EvaluationChart(std::span<const eval::Sample> samples, const std::optional<eval::Periods>& periods,
                                 const eval::Result* result)
    : samples_(samples), periods_(periods), result_(result) {
    if (!samples_.empty()) {
        t0_ = samples_.front().t;
        t1_ = std::max(samples_.back().t, t0_ + 1e-6);
        auto [lo, hi] = std::minmax_element(samples_.begin(), samples_.end(),
                                            [](const eval::Sample& a, const eval::Sample& b) { return a.theta < b.theta; });
        const double pad = std::max(0.05, (hi->theta - lo->theta) * 0.08);
        y0_ = lo->theta - pad;
        y1_ = hi->theta + pad;
    }
}

double EvaluationChart::xOf(double m) const { return plot_.left() + (m - t0_) / (t1_ - t0_) * plot_.width(); }
double EvaluationChart::minutesAt(double x) const { return t0_ + (x - plot_.left()) / plot_.width() * (t1_ - t0_); }
double EvaluationChart::yOf(double c) const { return plot_.bottom() - (c - y0_) / (y1_ - y0_) * plot_.height(); }

void EvaluationChart::paint(QPainter& p, const QRectF& area) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetricsF fm(p.font());
    const double labelW = fm.horizontalAdvance(QStringLiteral("00.000")) + 8;
    plot_ = QRectF(area.left() + labelW + fm.height() + 4, area.top() + 6,
                   area.width() - labelW - fm.height() - 14, area.height() - 2.5 * fm.height() - 14);
    p.fillRect(area, Qt::white);

    // Periods first, under everything else.
    if (periods_) {
        const eval::Periods& q = *periods_;
        const struct { double lo, hi; QColor c; } bands[] = {
            {q.a, q.b, QColor(70, 130, 220, 45)}, {q.b, q.c, QColor(230, 140, 40, 45)}, {q.c, q.d, QColor(60, 170, 90, 45)}};
        for (const auto& b : bands) {
            const double x0 = std::clamp(xOf(b.lo), plot_.left(), plot_.right());
            const double x1 = std::clamp(xOf(b.hi), plot_.left(), plot_.right());
            p.fillRect(QRectF(x0, plot_.top(), x1 - x0, plot_.height()), b.c);
        }
    }

    // Axes with ticks and as many decimals as the step needs.
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(plot_);
    const double ys = niceStep(y1_ - y0_, 6), xs = niceStep(t1_ - t0_, 8);
    for (double v = std::ceil(y0_ / ys) * ys; v <= y1_ + 1e-9; v += ys) {
        const double y = yOf(v);
        p.setPen(QPen(QColor(225, 225, 225), 1));
        p.drawLine(QPointF(plot_.left(), y), QPointF(plot_.right(), y));
        p.setPen(Qt::black);
        p.drawText(QRectF(plot_.left() - labelW, y - fm.height() / 2, labelW - 4, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, ses::fixed(v, decimalsFor(ys)));
    }
    for (double v = std::ceil(t0_ / xs) * xs; v <= t1_ + 1e-9; v += xs) {
        const double x = xOf(v);
        p.setPen(QPen(QColor(225, 225, 225), 1));
        p.drawLine(QPointF(x, plot_.top()), QPointF(x, plot_.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(x - 40, plot_.bottom() + 2, 80, fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                   ses::fixed(v, decimalsFor(xs)));
    }
    p.drawText(QRectF(plot_.left(), plot_.bottom() + fm.height() + 2, plot_.width(), fm.height()),
               Qt::AlignHCenter, QStringLiteral("Tempo (min)"));
    p.save();
    p.translate(area.left() + fm.height(), plot_.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-plot_.height() / 2, -fm.height(), plot_.height(), fm.height()), Qt::AlignHCenter,
               QStringLiteral("Temp. Interna (°C)"));
    p.restore();

    p.setClipRect(plot_);
    // The curve.
    if (!samples_.empty()) {
        QPainterPath path(QPointF(xOf(samples_.front().t), yOf(samples_.front().theta)));
        for (const eval::Sample& s : samples_.subspan(1))
            path.lineTo(xOf(s.t), yOf(s.theta));
        p.setPen(QPen(Qt::red, 1.5));
        p.drawPath(path);
    }
    // The drift lines, each through its period's mean, carried across the main period.
    if (result_) {
        const eval::Result& r = *result_;
        const eval::Periods& q = r.periods;
        auto driftLine = [&](double g, double mean, double lo, double hi, double from, double to) {
            const double tm = (lo + hi) / 2; // the period's mean time stands for its samples' mean
            auto at = [&](double t) { return QPointF(xOf(t), yOf(mean + g * (t - tm))); };
            p.drawLine(at(from), at(to));
        };
        p.setPen(QPen(QColor(40, 40, 40), 1.2, Qt::DashLine));
        driftLine(r.driftFore, r.meanFore, q.a, q.b, q.a, q.c);
        driftLine(r.driftAfter, r.meanAfter, q.c, q.d, q.b, q.d);
        auto mark = [&](double t, const QString& name, const QColor& c) {
            p.setPen(QPen(c, 1, Qt::DotLine));
            p.drawLine(QPointF(xOf(t), plot_.top()), QPointF(xOf(t), plot_.bottom()));
            p.setPen(c);
            p.drawText(QPointF(xOf(t) + 3, plot_.top() + fm.ascent() + 2), name);
        };
        mark(r.ta, QStringLiteral("ta"), QColor(150, 80, 0));
        mark(r.tc, QStringLiteral("tc"), QColor(150, 80, 0));
        if (r.b)
            mark(*r.b, QStringLiteral("b"), QColor(120, 0, 140));
    }
    // The four limits, drawn last so they can be grabbed.
    if (periods_) {
        p.setPen(QPen(QColor(30, 30, 30), 2));
        for (double t : {periods_->a, periods_->b, periods_->c, periods_->d})
            p.drawLine(QPointF(xOf(t), plot_.top()), QPointF(xOf(t), plot_.bottom()));
    }
    p.restore();
}
