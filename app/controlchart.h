#pragma once
// The control chart of a calorimeter's energy equivalent: each calibration's W (and what each
// check standard found, as a W) in the order recorded, each series with its centre line and its
// ±2 s and ±3 s limits, the runs beyond them marked, and the series' boundaries. Drawn the same
// in the results window, in the series' PDF and as a PNG.
#include "session/calibrationseries.h"

#include <QRectF>
#include <QSize>

class QPainter;

/// Draws `chart` in `area`; fonts at `pointSize`.
void paintControlChart(QPainter& p, const QRectF& area, const ses::ControlChart& chart, double pointSize = 9);

/// The chart as a PNG of `size` pixels, written whole or not at all.
bool writeControlChartImage(const ses::ControlChart& chart, const QString& path, QSize size, QString* error);

/// An A4 PDF of a calorimeter's series: each one's rule, verdict and figures, then the chart.
bool writeSeriesReport(const ses::ControlChart& chart, const QList<ses::CalibrationSeries>& series, const QString& path,
                       QString* error);
