// SPDX-License-Identifier: MIT
#include "summaryrow.h"

namespace batch {

namespace {

CellValue real(double x)
{
    return {CellType::Real, x, 0, {}, {}};
}

CellValue integer(qint64 x)
{
    return {CellType::Integer, 0, x, {}, {}};
}

CellValue text(const QString &x)
{
    return {CellType::Text, 0, 0, {}, x};
}

CellValue trendClass(trend::TrendClass x)
{
    return {CellType::Class, 0, 0, x, {}};
}

// The last year of the series; years[n] is the forecast's.
qint32 lastYear(const RowInput &r)
{
    return r.series.years[std::size_t(r.result.count) - 1];
}

} // namespace

const std::vector<Column> &summaryColumns()
{
    using R = const RowInput &;
    static const std::vector<Column> columns {
        {"first_year", [](R r) { return integer(r.series.years.front()); }},
        {"last_year", [](R r) { return integer(lastYear(r)); }},
        {"n", [](R r) { return integer(r.result.count); }},
        {"total", [](R r) { return real(r.result.total); }},
        {"mean", [](R r) { return real(r.result.averageIncidence); }},
        {"slope", [](R r) { return real(r.result.slope); }},
        {"absolute_change", [](R r) { return real(r.result.absoluteChange); }},
        {"average_absolute_change", [](R r) { return real(r.result.averageAbsoluteChange); }},
        {"change_rate", [](R r) { return real(r.result.changeRate); }},
        {"average_annual_change_rate", [](R r) { return real(r.result.averageAnnualChangeRate); }},
        {"trend_class", [](R r) { return trendClass(r.result.trendClass); }},
        {"trend_class_ru", [](R r) { return text(trend::classLine(r.result.trendClass)); }},
        {"forecast_year", [](R r) { return integer(r.series.years[std::size_t(r.result.count)]); }},
        {"forecast_level", [](R r) { return real(r.result.forecastLevel); }},
        {"ols_slope_per_year", [](R r) { return real(r.ols.slope); }},
        {"ols_slope_se", [](R r) { return real(r.ols.slopeError); }},
        {"ols_ci95_low", [](R r) { return real(r.ols.ciLow); }},
        {"ols_ci95_high", [](R r) { return real(r.ols.ciHigh); }},
        {"ols_p_value", [](R r) { return real(r.ols.pValue); }},
        {"ols_r2", [](R r) { return real(r.ols.rSquared); }},
        {"ols_forecast", [](R r) { return real(r.ols.forecast); }},
        {"ols_pi95_low", [](R r) { return real(r.ols.piLow); }},
        {"ols_pi95_high", [](R r) { return real(r.ols.piHigh); }},
        {"ols_durbin_watson", [](R r) { return real(r.ols.durbinWatson); }},
        {"apc", [](R r) { return real(r.tests.apc); }},
        {"apc_ci95_low", [](R r) { return real(r.tests.apcLow); }},
        {"apc_ci95_high", [](R r) { return real(r.tests.apcHigh); }},
        {"apc_p_value", [](R r) { return real(r.tests.apcP); }},
        {"apc_note", [](R r) { return text(r.tests.apcNote); }},
        {"mk_s", [](R r) { return integer(qint64(r.tests.mkS)); }},
        {"mk_z", [](R r) { return real(r.tests.mkZ); }},
        {"mk_p_value", [](R r) { return real(r.tests.mkP); }},
        {"sen_slope", [](R r) { return real(r.tests.sen); }},
        {"sen_ci95_low", [](R r) { return real(r.tests.senLow); }},
        {"sen_ci95_high", [](R r) { return real(r.tests.senHigh); }},
    };
    return columns;
}

} // namespace batch
