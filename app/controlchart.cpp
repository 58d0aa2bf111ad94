#include "app/controlchart.h"

#include "app/reportfont.h"

#include "acquisition/wholefile.h"
#include "session/messages.h"
#include "session/testevaluation.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QTextOption>
#include <QPainterPath>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

namespace {

const QColor kCalibration(31, 90, 168), kCheck(128, 60, 160), kCentre(40, 120, 60), kWarning(220, 130, 0),
    kAction(200, 30, 30), kGrid(225, 225, 225);

QString number(double v, int decimals) { return ses::fixed(v, decimals); }

} // namespace

void paintControlChart(QPainter& p, const QRectF& area, const ses::ControlChart& c, double pointSize) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QFont font(reportFontFamily());
    font.setPointSizeF(pointSize);
    QFont bold = font;
    bold.setBold(true);
    const QFontMetricsF fm(font, p.device());
    const double line = fm.height();
    p.setFont(bold);
    p.setPen(Qt::black);
    p.drawText(QRectF(area.left(), area.top(), area.width(), line * 1.4), Qt::AlignHCenter | Qt::AlignVCenter,
               ses::msg::ChartTitle.arg(c.calorimeter));
    p.setFont(font);
    if (c.points.isEmpty()) {
        p.drawText(area, Qt::AlignCenter, ses::msg::ChartEmpty.arg(c.calorimeter));
        p.restore();
        return;
    }
    // The scale holds every point and every limit line.
    double lo = c.points.first().w, hi = lo;
    for (const auto& pt : c.points) {
        lo = std::min(lo, pt.w);
        hi = std::max(hi, pt.w);
    }
    for (const auto& s : c.segments)
        if (s.centre) {
            lo = std::min(lo, *s.centre - 3 * *s.s);
            hi = std::max(hi, *s.centre + 3 * *s.s);
        }
    const double pad = std::max((hi - lo) * 0.08, std::max(std::abs(hi) * 1e-4, 0.5));
    lo -= pad;
    hi += pad;
    const double labelWidth = fm.horizontalAdvance(QStringLiteral("00000.0")) + line;
    const QRectF plot(area.left() + labelWidth, area.top() + line * 3.2, area.width() - labelWidth - line * 3.5,
                      area.height() - line * 6.2);
    const int n = static_cast<int>(c.points.size());
    auto xAt = [&](double i) { return plot.left() + (i + 0.5) * plot.width() / n; };
    auto yAt = [&](double w) { return plot.bottom() - (w - lo) / (hi - lo) * plot.height(); };

    // The legend, under the title.
    {
        double x = plot.left();
        const double y = area.top() + line * 1.9;
        auto mark = [&](const QColor& colour, bool diamond, const QString& text) {
            p.setPen(Qt::NoPen);
            p.setBrush(colour);
            const QPointF at(x + line * 0.4, y);
            if (diamond)
                p.drawPolygon(QPolygonF{at + QPointF(0, -line * 0.35), at + QPointF(line * 0.35, 0),
                                        at + QPointF(0, line * 0.35), at + QPointF(-line * 0.35, 0)});
            else
                p.drawEllipse(at, line * 0.3, line * 0.3);
            p.setPen(Qt::black);
            p.drawText(QPointF(x + line, y + fm.ascent() / 2.6), text);
            x += line * 1.8 + fm.horizontalAdvance(text);
        };
        auto stroke = [&](const QColor& colour, Qt::PenStyle style, const QString& text) {
            p.setPen(QPen(colour, std::max(1.0, line / 10), style));
            p.drawLine(QPointF(x, y), QPointF(x + line * 1.5, y));
            p.setPen(Qt::black);
            p.drawText(QPointF(x + line * 1.8, y + fm.ascent() / 2.6), text);
            x += line * 2.6 + fm.horizontalAdvance(text);
        };
        mark(kCalibration, false, QStringLiteral("calibração"));
        mark(kCheck, true, QStringLiteral("padrão de verificação"));
        stroke(kCentre, Qt::SolidLine, QStringLiteral("média da série"));
        stroke(kWarning, Qt::DashLine, QStringLiteral("±2 s"));
        stroke(kAction, Qt::DashLine, QStringLiteral("±3 s"));
    }

    // Grid and the W axis.
    const double raw = (hi - lo) / 6;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double step = raw / magnitude < 2 ? 2 * magnitude : raw / magnitude < 5 ? 5 * magnitude : 10 * magnitude;
    const int decimals = step < 1 ? 1 : 0;
    p.setPen(QPen(kGrid, 1));
    for (double w = std::ceil(lo / step) * step; w <= hi; w += step) {
        p.setPen(QPen(kGrid, 1));
        p.drawLine(QPointF(plot.left(), yAt(w)), QPointF(plot.right(), yAt(w)));
        p.setPen(Qt::black);
        p.drawText(QRectF(area.left(), yAt(w) - line / 2, labelWidth - line * 0.4, line), Qt::AlignRight | Qt::AlignVCenter,
                   number(w, decimals));
    }
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);

    // Each series: its boundary, and its limits across its points.
    for (const auto& s : c.segments) {
        const double x0 = xAt(s.first - 0.5), x1 = xAt(s.first + std::max(s.count, 1) - 0.5);
        if (s.first > 0) {
            p.setPen(QPen(Qt::darkGray, std::max(1.0, line / 12), Qt::DashDotLine));
            p.drawLine(QPointF(x0, plot.top()), QPointF(x0, plot.bottom()));
        }
        p.setPen(Qt::darkGray);
        // A series' name over its points; the last one, when its points leave too little room,
        // on a row of its own ending at the plot's right edge.
        const QString name = QStringLiteral("série %1: %2").arg(s.series).arg(s.reason);
        // (A series without runs yet begins at the plot's right edge.)
        const double room = std::min(x1, plot.right()) - x0 - line * 0.4, wanted = fm.horizontalAdvance(name);
        if (&s == &c.segments.last() && room < wanted && c.segments.size() > 1) {
            const double width = std::min(wanted, plot.width() - line * 0.4);
            p.drawText(QRectF(plot.right() - line * 0.2 - width, plot.top() + line * 1.1, width, line),
                       Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, fm.elidedText(name, Qt::ElideRight, width));
        } else {
            p.drawText(QRectF(x0 + line * 0.2, plot.top() + line * 0.1, std::max(room, line), line),
                       Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, fm.elidedText(name, Qt::ElideRight, std::max(room, line)));
        }
        if (!s.centre || s.count == 0)
            continue;
        auto limit = [&](double w, const QColor& colour, Qt::PenStyle style) {
            p.setPen(QPen(colour, std::max(1.0, line / 10), style));
            p.drawLine(QPointF(x0, yAt(w)), QPointF(x1, yAt(w)));
        };
        limit(*s.centre, kCentre, Qt::SolidLine);
        for (const int k : {-2, 2})
            limit(*s.centre + k * *s.s, kWarning, Qt::DashLine);
        for (const int k : {-3, 3})
            limit(*s.centre + k * *s.s, kAction, Qt::DashLine);
        // The last series' lines are named at the right edge.
        if (&s == &c.segments.last()) {
            p.setPen(Qt::black);
            const QList<std::pair<double, QString>> names{{*s.centre, QStringLiteral("x̄")},
                                                          {*s.centre + 2 * *s.s, QStringLiteral("+2s")},
                                                          {*s.centre - 2 * *s.s, QStringLiteral("−2s")},
                                                          {*s.centre + 3 * *s.s, QStringLiteral("+3s")},
                                                          {*s.centre - 3 * *s.s, QStringLiteral("−3s")}};
            for (const auto& [w, name] : names)
                p.drawText(QRectF(plot.right() + line * 0.2, yAt(w) - line / 2, line * 3.2, line), Qt::AlignLeft | Qt::AlignVCenter, name);
        }
    }

    // The points, joined in order within each series.
    for (const auto& s : c.segments) {
        QPolygonF path;
        for (int i = s.first; i < s.first + s.count; ++i)
            if (!c.points[i].checkStandard)
                path << QPointF(xAt(i), yAt(c.points[i].w));
        p.setPen(QPen(kCalibration.lighter(150), std::max(1.0, line / 14)));
        p.drawPolyline(path);
    }
    const double r = line * 0.28;
    for (int i = 0; i < n; ++i) {
        const auto& pt = c.points[i];
        const QPointF at(xAt(i), yAt(pt.w));
        const QColor fill = pt.zone == 3 ? kAction : pt.zone == 2 ? kWarning : pt.checkStandard ? kCheck : kCalibration;
        p.setPen(QPen(Qt::black, std::max(0.5, line / 20)));
        p.setBrush(fill);
        const double size = pt.zone ? r * 1.5 : r;
        if (pt.checkStandard)
            p.drawPolygon(QPolygonF{at + QPointF(0, -size * 1.2), at + QPointF(size * 1.2, 0), at + QPointF(0, size * 1.2),
                                    at + QPointF(-size * 1.2, 0)});
        else
            p.drawEllipse(at, size, size);
    }
    // Dates under the points, as many as fit side by side.
    p.setPen(Qt::black);
    const double dateWidth = fm.horizontalAdvance(QStringLiteral("00/00/00")) + line * 0.6;
    // Each date once, where it begins, and only where it does not run into the one before.
    double free = plot.left() - dateWidth;
    QDate shown;
    for (int i = 0; i < n; ++i) {
        const QDate d = c.points[i].testDate;
        if (d == shown || xAt(i) - dateWidth / 2 < free)
            continue;
        p.drawText(QRectF(xAt(i) - dateWidth / 2, plot.bottom() + line * 0.2, dateWidth, line), Qt::AlignCenter,
                   d.toString(QStringLiteral("dd/MM/yy")));
        shown = d;
        free = xAt(i) + dateWidth / 2;
    }
    p.drawText(QRectF(plot.left(), plot.bottom() + line * 1.3, plot.width(), line), Qt::AlignCenter,
               QStringLiteral("determinações na ordem em que foram registradas (data do ensaio)"));
    // The axis' name on the legend's row, clear of the top label of the scale.
    p.drawText(QRectF(area.left(), area.top() + line * 1.4, labelWidth, line), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("W (J/K)"));
    p.restore();
}

bool writeControlChartImage(const ses::ControlChart& chart, const QString& path, QSize size, QString* error) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        paintControlChart(p, QRectF(QPointF(12, 8), QSizeF(size) - QSizeF(24, 16)), chart);
    }
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    if (!image.save(&buf, "PNG")) {
        if (error)
            *error = ses::msg::ChartNotCreated;
        return false;
    }
    return acq::writeWholeFile(path, png, error);
}

bool writeSeriesReport(const ses::ControlChart& chart, const QList<ses::CalibrationSeries>& series, const QString& path,
                       QString* error) {
    QByteArray pdf;
    {
        QBuffer buf(&pdf);
        buf.open(QIODevice::WriteOnly);
        QPdfWriter w(&buf);
        w.setPageSize(QPageSize(QPageSize::A4));
        w.setPageOrientation(QPageLayout::Landscape);
        w.setResolution(300);
        w.setTitle(ses::msg::ChartTitle.arg(chart.calorimeter));
        w.setCreator(QStringLiteral("Registrador"));
        QPainter p(&w);
        if (!p.isActive()) {
            if (error)
                *error = ses::msg::ReportNotCreated;
            return false;
        }
        const QRectF page = QRectF(p.viewport()).adjusted(150, 150, -150, -150);
        QFont title = reportFont(14, true), body = reportFont(9);
        const double h = QFontMetricsF(body, &w).height();
        double y = page.top();
        p.setFont(title);
        p.drawText(QRectF(page.left(), y, page.width(), h * 2), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Séries de calibração — calorímetro %1").arg(chart.calorimeter));
        y += h * 2.4;
        p.setFont(body);
        p.drawText(QRectF(page.left(), y, page.width(), h), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Emitido em %1").arg(QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm"))));
        y += h * 1.5;
        // The chart first, on half the page, then each series whole: its verdict, W and spread,
        // and its runs (date, W, used or not and why), page after page.
        const double chartHeight = page.height() * 0.55;
        paintControlChart(p, QRectF(page.left(), y, page.width(), chartHeight), chart, 9);
        y += chartHeight + h;
        p.setFont(body);
        p.setPen(Qt::black);
        const int tab = QFontMetrics(body, &w).horizontalAdvance(QStringLiteral("00000000"));
        for (const ses::CalibrationSeries& s : series) {
            for (const QString& text : ses::seriesText(s).split(QLatin1Char('\n'))) {
                if (text.isEmpty())
                    continue;
                if (y + h > page.bottom()) {
                    w.newPage();
                    y = page.top();
                }
                QTextOption option(Qt::AlignLeft | Qt::AlignVCenter);
                option.setTabStopDistance(tab);
                p.drawText(QRectF(page.left(), y, page.width(), h), text, option);
                y += h;
            }
            y += h * 0.3;
        }
    }
    return acq::writeWholeFile(path, pdf, error);
}
