// SPDX-License-Identifier: MIT
// What is known of one series once it is analysed: the practice method's
// line, class and forecast, the least-squares line, the trend tests, the
// joinpoint fit and the reporting year, with the series itself. It is made
// in one place, analyse(), for every run of the engine and for the window
// that shows one series again; the summary's rows, the charts, the report
// paragraph and the document read it and compute nothing of their own.
//
// A new statistic of a series is one member here, one line of analyse()
// and its columns in the row model (summary/summaryrow.cpp).
#pragma once

#include "analysis/territory.h"
#include "calc/trendcore.h"
#include "stats/countmodel.h"
#include "stats/joinpoint.h"
#include "stats/ols.h"
#include "stats/reportyear.h"
#include "stats/trendtests.h"
#include "table/series.h"

#include <optional>

namespace analysis {

// The model of the APC and the joinpoints: the log-linear model of the
// values (constant variance of ln y), or, for counts, the quasi-Poisson
// model of the cases among the population. Auto takes the second wherever
// a series has counts.
enum class TrendModel { Auto, LogLinear, QuasiPoisson };

// The statistical choices of a run. What the rates are per comes with the
// series (table::Series::per), as its unit does.
struct AnalysisOptions {
    // Joinpoint regression of every series; none when unset.
    std::optional<stats::JoinpointOptions> joinpoints = stats::JoinpointOptions();
    // The reporting year: which, against which baseline, by which bounds.
    stats::ReportYearOptions report;
    TrendModel model = TrendModel::Auto;
};

struct SeriesResult {
    table::Series series;
    trend::TrendResult practice; // the form's own calculation
    stats::OlsFit ols;
    stats::TrendTests tests; // its APC the model's
    TrendModel model = TrendModel::LogLinear; // the model the series had
    double dispersion = std::numeric_limits<double>::quiet_NaN(); // φ̂ of the count model's line
    std::optional<stats::JoinpointFit> joinpoints; // the model's; none when not asked for
    stats::ReportYear report;
    // Against its region, in a run that names the territory's column.
    std::optional<TerritoryComparison> territory;
};

// The one analysis of a series. The series' line seeds the permutations of
// the joinpoint test, so that a result depends on nothing but its series.
SeriesResult analyse(const table::Series &series, const AnalysisOptions &options);
// The same, keeping the series without a copy.
SeriesResult analyse(table::Series &&series, const AnalysisOptions &options);

} // namespace analysis
