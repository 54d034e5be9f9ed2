// SPDX-License-Identifier: MIT
#include "analysis/seriesresult.h"

namespace analysis {

SeriesResult analyse(table::Series &&series, const AnalysisOptions &o)
{
    SeriesResult r;
    r.series = std::move(series);
    const table::Series &s = r.series;
    r.practice = trend::calculate(s.values, qint16(s.values.size()));
    r.ols = stats::fitOverYears(s.years, s.exact);
    r.tests = stats::trendTests(s.years, s.exact);
    if (o.joinpoints)
        r.joinpoints = stats::fitJoinpoints(s.years, s.exact, *o.joinpoints, quint64(s.line));
    // The expected level continues the form's own line over the baseline.
    r.report = stats::assessReportYear({s.years, s.values, s.exact, s.cases, s.population, s.per},
        o.report, [](const std::vector<double> &values, std::size_t n) {
            trend::TrendResult line = trend::calculate(values, qint16(n));
            return stats::PracticeLine {std::move(line.theoreticalLevels), line.slope};
        });
    return r;
}

SeriesResult analyse(const table::Series &series, const AnalysisOptions &options)
{
    return analyse(table::Series(series), options);
}

} // namespace analysis
