// SPDX-License-Identifier: MIT
// A chart of one series: the actual values, the trend through the
// theoretical levels, the forecast point, years and values labelled, the
// series' label as title. SVG for print, PNG for a quick look. Needs a
// QGuiApplication (for fonts); no window is shown.
#pragma once

#include "series.h"
#include "trendcore.h"

#include <QString>

class QPainter;

namespace batch {

enum class ChartFormat { Svg, Png };

// The chart's size in points; PNG is drawn at twice this in pixels.
constexpr double Width = 900;
constexpr double Height = 540;

void drawChart(QPainter &painter, const Series &series, const trend::TrendResult &result);

bool writeChart(const QString &path, ChartFormat format, const Series &series,
    const trend::TrendResult &result, QString *error);

} // namespace batch
