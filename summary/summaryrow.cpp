// SPDX-License-Identifier: MIT
#include "summaryrow.h"

#include <QObject>

namespace summary {

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

// A statistic, or no cell at all when it does not exist for the series.
CellValue statistic(double x, stats::Reason missing)
{
    if (missing != stats::Reason::None)
        return {CellType::Absent, 0, 0, {}, {}};
    return real(x);
}

// The last year of the series; years[n] is the forecast's.
qint32 lastYear(const RowInput &r)
{
    return r.series.years[std::size_t(r.result.count) - 1];
}

} // namespace

QString reasonText(stats::Reason reason)
{
    switch (reason) {
    case stats::Reason::None:
        break;
    case stats::Reason::NonPositiveValue:
        return QObject::tr("есть значения ≤ 0: логарифм не определён");
    }
    return {};
}

const std::vector<Column> &summaryColumns(bool unit)
{
    using R = const RowInput &;
    static const std::vector<Column> columns {
        {"first_year", "первый год", [](R r) { return integer(r.series.years.front()); }},
        {"last_year", "последний год", [](R r) { return integer(lastYear(r)); }},
        {"n", "число лет", [](R r) { return integer(r.result.count); }},
        {"total", "сумма", [](R r) { return real(r.result.total); }},
        {"mean", "среднее", [](R r) { return real(r.result.averageIncidence); }},
        {"slope", "разность теоретических уровней", [](R r) { return real(r.result.slope); }},
        {"absolute_change", "абсолютный прирост",
            [](R r) { return real(r.result.absoluteChange); }},
        {"average_absolute_change", "средний абсолютный прирост",
            [](R r) { return real(r.result.averageAbsoluteChange); }},
        {"change_rate", "темп прироста, %", [](R r) { return real(r.result.changeRate); }},
        {"average_annual_change_rate", "среднегодовой темп прироста, %",
            [](R r) { return real(r.result.averageAnnualChangeRate); }},
        {"trend_class", "класс тенденции", [](R r) { return trendClass(r.result.trendClass); }},
        {"trend_class_ru", "тенденция",
            [](R r) { return text(trend::classLine(r.result.trendClass)); }},
        {"forecast_year", "год прогноза",
            [](R r) { return integer(r.series.years[std::size_t(r.result.count)]); }},
        {"forecast_level", "прогноз", [](R r) { return real(r.result.forecastLevel); }},
        {"ols_slope_per_year", "МНК: наклон за год", [](R r) { return real(r.ols.slope); }},
        {"ols_slope_se", "МНК: ошибка наклона", [](R r) { return real(r.ols.slopeError); }},
        {"ols_ci95_low", "МНК: 95% ДИ наклона, от", [](R r) { return real(r.ols.ciLow); }},
        {"ols_ci95_high", "МНК: 95% ДИ наклона, до", [](R r) { return real(r.ols.ciHigh); }},
        {"ols_p_value", "МНК: p", [](R r) { return real(r.ols.pValue); }},
        {"ols_r2", "МНК: R²", [](R r) { return real(r.ols.rSquared); }},
        {"ols_forecast", "МНК: прогноз", [](R r) { return real(r.ols.forecast); }},
        {"ols_pi95_low", "МНК: 95% интервал прогноза, от", [](R r) { return real(r.ols.piLow); }},
        {"ols_pi95_high", "МНК: 95% интервал прогноза, до", [](R r) { return real(r.ols.piHigh); }},
        {"ols_durbin_watson", "Дарбин-Уотсон", [](R r) { return real(r.ols.durbinWatson); }},
        {"apc", "APC, %", [](R r) { return statistic(r.tests.apc, r.tests.apcReason); }},
        {"apc_ci95_low", "APC: 95% ДИ, от",
            [](R r) { return statistic(r.tests.apcLow, r.tests.apcReason); }},
        {"apc_ci95_high", "APC: 95% ДИ, до",
            [](R r) { return statistic(r.tests.apcHigh, r.tests.apcReason); }},
        {"apc_p_value", "APC: p", [](R r) { return statistic(r.tests.apcP, r.tests.apcReason); }},
        {"apc_note", "APC: примечание", [](R r) { return text(reasonText(r.tests.apcReason)); }},
        {"mk_s", "Манн-Кендалл: S", [](R r) { return integer(qint64(r.tests.mkS)); }},
        {"mk_z", "Манн-Кендалл: Z", [](R r) { return real(r.tests.mkZ); }},
        {"mk_p_value", "Манн-Кендалл: p", [](R r) { return real(r.tests.mkP); }},
        {"sen_slope", "наклон Сена", [](R r) { return real(r.tests.sen); }},
        {"sen_ci95_low", "наклон Сена: 95% ДИ, от", [](R r) { return real(r.tests.senLow); }},
        {"sen_ci95_high", "наклон Сена: 95% ДИ, до", [](R r) { return real(r.tests.senHigh); }},
    };
    static const std::vector<Column> withUnit = [] {
        std::vector<Column> all = columns;
        all.push_back({"unit", "единица", [](R r) { return text(r.series.unit); }});
        return all;
    }();
    return unit ? withUnit : columns;
}

} // namespace summary
