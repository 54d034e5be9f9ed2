// SPDX-License-Identifier: MIT
// A chart of one series: the actual values, the trend through the
// theoretical levels, the forecast point with the least-squares prediction
// interval as an error bar, years and values labelled, the value axis
// named, the series' label as title, and the APC with its interval. SVG for
// print, PNG for a quick look. Needs a QGuiApplication (for fonts); no
// window is shown.
#pragma once

#include "summary/summaryrow.h"

#include <QString>

class QImage;
class QPainter;

namespace summary {

enum class ChartFormat { Svg, Png };

// The chart's size in points; a PNG is PngWidth pixels wide, in proportion.
constexpr double Width = 900;
constexpr double Height = 540;
constexpr int PngWidth = 1200;

// Scales and centres `painter` so that a picture of Width × Height fills
// as much of `area` as its proportions allow, as a window shows a chart.
void fitPicture(QPainter &painter, double areaWidth, double areaHeight);

// `valueName` labels the value axis.
void drawChart(QPainter &painter, const RowInput &row, const QString &valueName);

// The chart as the bytes of an SVG or PNG file; empty if it could not be
// drawn. Safe to call from several threads at once.
// A picture as PNG, quickly: the toolkit's own writer costs more than
// drawing a chart.
QByteArray encodePng(const QImage &image);

QByteArray renderChart(ChartFormat format, const RowInput &row, const QString &valueName);

} // namespace summary
