// A chart of one series: the actual values, the trend through the
// theoretical levels, the forecast point, years and values labelled, the
// series' label as title. SVG for print, PNG for a quick look. Needs a
// QGuiApplication (for fonts); no window is shown.
#pragma once

#include "series.h"
#include "trendcore.h"

#include <QString>

namespace batch {

enum class ChartFormat { Svg, Png };

bool writeChart(const QString &path, ChartFormat format, const Series &series,
    const trend::TrendResult &result, QString *error);

} // namespace batch
