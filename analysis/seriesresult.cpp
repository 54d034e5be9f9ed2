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
    const bool counts = !s.cases.empty();
    r.model = counts && o.model != TrendModel::LogLinear ? TrendModel::QuasiPoisson
                                                         : TrendModel::LogLinear;
    if (r.model == TrendModel::QuasiPoisson) {
        const stats::CountSeries c {s.cases.data(), s.population.data(), s.cases.size()};
        const stats::CountLine line = stats::fitCountLine(c);
        r.dispersion = line.dispersion;
        r.tests.apc = line.change.apc;
        r.tests.apcLow = line.change.low;
        r.tests.apcHigh = line.change.high;
        r.tests.apcP = line.change.p;
        r.tests.apcReason = line.reason;
        if (o.joinpoints)
            r.joinpoints = stats::fitCountJoinpoints(s.years, c, s.per, *o.joinpoints);
    } else if (o.joinpoints) {
        r.joinpoints = stats::fitJoinpoints(s.years, s.exact, *o.joinpoints, quint64(s.line));
    }
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
