// SPDX-License-Identifier: MIT
#include "summary/summaryrow.h"

#include <QObject>

#include <cmath>

namespace summary {

namespace {

CellValue real(double x)
{
    return x;
}

CellValue integer(qint64 x)
{
    return x;
}

CellValue text(const QString &x)
{
    return x;
}

// A statistic, or no cell at all when it does not exist for the series.
CellValue statistic(double x, stats::Reason missing)
{
    if (missing != stats::Reason::None)
        return Absent {};
    return x;
}

// The last year of the series; years[n] is the forecast's.
qint32 lastYear(const RowInput &r)
{
    return r.result.series.years[std::size_t(r.result.practice.count) - 1];
}

// A joinpoint fit's cell, or none when the fit does not exist.
CellValue jp(const RowInput &r, CellValue value)
{
    if (r.result.joinpoints->reason != stats::Reason::None)
        return Absent {};
    return value;
}

// A part of the reporting year's assessment, or no cell where it is missing.
CellValue maybe(const std::optional<double> &x)
{
    return x ? CellValue(*x) : CellValue(Absent {});
}

// A territory's cell: none on the region's own row, or where it does not
// exist.
const analysis::TerritoryComparison *compared(const RowInput &r)
{
    const auto &c = r.result.territory;
    return c && !c->region ? &*c : nullptr;
}

CellValue territoryReal(const RowInput &r, double analysis::TerritoryComparison::*member)
{
    const auto *c = compared(r);
    return c && !std::isnan(c->*member) ? CellValue(c->*member) : CellValue(Absent {});
}

CellValue sirPart(const RowInput &r, double stats::Sir::*member)
{
    const auto *c = compared(r);
    return c && c->sir ? CellValue((*c->sir).*member) : CellValue(Absent {});
}

const stats::Segment &last(const RowInput &r)
{
    static const stats::Segment none;
    const auto &segments = r.result.joinpoints->segments;
    return segments.empty() ? none : segments.back();
}

} // namespace

QString joinpointNote(const stats::JoinpointFit &fit)
{
    if (fit.reason != stats::Reason::None)
        return reasonText(fit.reason);
    if (fit.maxLowered)
        return QObject::tr("ряд длинный: искали не больше %1 точек перелома").arg(fit.searchedMax);
    return {};
}

QString joinpointYears(const stats::JoinpointFit &fit)
{
    QStringList years;
    for (const std::int32_t year : fit.joinpoints)
        years << QString::number(year);
    return years.join(u';');
}

QString reportNote(const stats::ReportYear &r)
{
    switch (r.gap) {
    case stats::ReportGap::None:
        break;
    case stats::ReportGap::NoValue:
        return QObject::tr("нет данных за %1 год").arg(r.year);
    case stats::ReportGap::NotAfterBaseline:
        return QObject::tr("отчётный год %1 не позже конца базы").arg(r.year);
    case stats::ReportGap::NoBaseline:
        return QObject::tr("нет лет базы до %1 года").arg(r.year);
    case stats::ReportGap::ShortBaseline:
        return QObject::tr("база %1–%2 короче %3 лет: ожидаемый уровень не рассчитан")
            .arg(r.baselineFrom)
            .arg(r.baselineTo)
            .arg(stats::MinBaselineYears);
    case stats::ReportGap::NoVerdict:
        return QObject::tr("нет границ для оценки");
    case stats::ReportGap::FewCases:
        return QObject::tr("в базе случаи менее чем в двух годах: границы не рассчитаны");
    }
    if (r.belowZero)
        return QObject::tr("линия тенденции базы ниже нуля: ожидаемый уровень принят за 0");
    return {};
}

namespace {

// A verdict as the summary writes it and in Russian.
std::pair<const char *, QString> verdictWords(stats::Verdict verdict)
{
    switch (verdict) {
    case stats::Verdict::Above:
        return {"above", QStringLiteral("выше ожидаемого")};
    case stats::Verdict::Within:
        return {"within", QStringLiteral("в пределах ожидаемого")};
    case stats::Verdict::Below:
        return {"below", QStringLiteral("ниже ожидаемого")};
    case stats::Verdict::None:
        break;
    }
    return {"", {}};
}

// The funnel class as the summary writes it and in Russian.
std::pair<const char *, QString> funnelWords(stats::Funnel funnel)
{
    switch (funnel) {
    case stats::Funnel::Above998:
        return {"above99.8", QObject::tr("выше (99,8\u00a0%)")};
    case stats::Funnel::Above95:
        return {"above95", QObject::tr("выше (95\u00a0%)")};
    case stats::Funnel::Within:
        break;
    case stats::Funnel::Below95:
        return {"below95", QObject::tr("ниже (95\u00a0%)")};
    case stats::Funnel::Below998:
        return {"below99.8", QObject::tr("ниже (99,8\u00a0%)")};
    }
    return {"within", QObject::tr("в пределах")};
}

} // namespace

const char *funnelKey(stats::Funnel funnel)
{
    return funnelWords(funnel).first;
}

QString funnelText(stats::Funnel funnel)
{
    return funnelWords(funnel).second;
}

const char *verdictKey(stats::Verdict verdict)
{
    return verdictWords(verdict).first;
}

QString verdictText(stats::Verdict verdict)
{
    return verdictWords(verdict).second;
}

QString reasonText(stats::Reason reason)
{
    switch (reason) {
    case stats::Reason::None:
        break;
    case stats::Reason::NonPositiveValue:
        return QObject::tr("есть значения ≤ 0: логарифм не определён");
    case stats::Reason::NoCases:
        return QObject::tr("случаев нет ни в одном году");
    case stats::Reason::CasesInOneYear:
        return QObject::tr("случаи менее чем в двух годах: тенденция не оценивается");
    }
    return {};
}

QString modelKey(analysis::TrendModel model)
{
    return model == analysis::TrendModel::QuasiPoisson ? QStringLiteral("quasipoisson")
                                                       : QStringLiteral("loglinear");
}

namespace {

// The window's numbers, up to its forecast.
const std::vector<Column> &seriesColumns()
{
    using R = const RowInput &;
    static const std::vector<Column> columns {
        {ColumnId::FirstYear, "first_year", "первый год",
            [](R r) { return integer(r.result.series.years.front()); }},
        {ColumnId::LastYear, "last_year", "последний год",
            [](R r) { return integer(lastYear(r)); }},
        {ColumnId::N, "n", "число лет", [](R r) { return integer(r.result.practice.count); }},
        {ColumnId::Total, "total", "сумма", [](R r) { return real(r.result.practice.total); }},
        {ColumnId::Mean, "mean", "среднее",
            [](R r) { return real(r.result.practice.averageIncidence); }},
        {ColumnId::Slope, "slope", "разность теоретических уровней",
            [](R r) { return real(r.result.practice.slope); }},
        {ColumnId::AbsoluteChange, "absolute_change", "абсолютный прирост",
            [](R r) { return real(r.result.practice.absoluteChange); }},
        {ColumnId::AverageAbsoluteChange, "average_absolute_change", "средний абсолютный прирост",
            [](R r) { return real(r.result.practice.averageAbsoluteChange); }},
        {ColumnId::ChangeRate, "change_rate", "темп прироста, %",
            [](R r) { return real(r.result.practice.changeRate); }},
        {ColumnId::AverageAnnualChangeRate, "average_annual_change_rate",
            "среднегодовой темп прироста, %",
            [](R r) { return real(r.result.practice.averageAnnualChangeRate); }},
        {ColumnId::TrendClass, "trend_class", "класс тенденции",
            [](R r) { return CellValue(r.result.practice.trendClass); }},
        {ColumnId::TrendClassRu, "trend_class_ru", "тенденция",
            [](R r) { return text(trend::classLine(r.result.practice.trendClass)); }},
        {ColumnId::ForecastYear, "forecast_year", "год прогноза",
            [](R r) {
                return integer(r.result.series.years[std::size_t(r.result.practice.count)]);
            }},
        {ColumnId::ForecastLevel, "forecast_level", "прогноз",
            [](R r) { return real(r.result.practice.forecastLevel); }},
    };
    return columns;
}

// The reporting year against last year, the multi-year level and what the
// trend expected; with counts, the exact interval of its rate too.
const std::vector<Column> &reportColumns(bool counts)
{
    using R = const RowInput &;
    static const std::vector<Column> columns {
        {ColumnId::ReportYear, "report_year", "отчётный год",
            [](R r) { return integer(r.result.report.year); }},
        {ColumnId::ReportValue, "report_value", "показатель отчётного года",
            [](R r) { return maybe(r.result.report.value); }},
        {ColumnId::PrevValue, "prev_value", "показатель прошлого года",
            [](R r) { return maybe(r.result.report.previous); }},
        {ColumnId::ChangePrevPct, "change_prev_pct", "к прошлому году, %",
            [](R r) { return maybe(r.result.report.changePercent); }},
        {ColumnId::Smu, "smu", "СМУ", [](R r) { return maybe(r.result.report.mean); }},
        {ColumnId::SmuRatio, "smu_ratio", "к СМУ, раз",
            [](R r) { return maybe(r.result.report.meanRatio); }},
        {ColumnId::Expected, "expected", "ожидаемый уровень",
            [](R r) { return maybe(r.result.report.expected); }},
        {ColumnId::ExpectedLow, "expected_low", "ожидаемый: нижняя граница",
            [](R r) { return maybe(r.result.report.low); }},
        {ColumnId::ExpectedHigh, "expected_high", "ожидаемый: верхняя граница",
            [](R r) { return maybe(r.result.report.high); }},
        {ColumnId::PiReportLow, "pi_report_low", "МНК: 95% интервал отчётного года, от",
            [](R r) { return maybe(r.result.report.predictionLow); }},
        {ColumnId::PiReportHigh, "pi_report_high", "МНК: 95% интервал отчётного года, до",
            [](R r) { return maybe(r.result.report.predictionHigh); }},
    };
    static const std::vector<Column> interval {
        {ColumnId::ReportCi95Low, "report_ci95_low", "95% ДИ показателя, от",
            [](R r) { return maybe(r.result.report.rateLow); }},
        {ColumnId::ReportCi95High, "report_ci95_high", "95% ДИ показателя, до",
            [](R r) { return maybe(r.result.report.rateHigh); }},
        {ColumnId::QpExpected, "qp_expected", "квазипуассоновская модель: ожидаемый уровень",
            [](R r) { return maybe(r.result.report.countExpected); }},
        {ColumnId::QpLow, "qp_low", "квазипуассоновская модель: нижняя граница",
            [](R r) { return maybe(r.result.report.countLow); }},
        {ColumnId::QpHigh, "qp_high", "квазипуассоновская модель: верхняя граница",
            [](R r) { return maybe(r.result.report.countHigh); }},
    };
    static const std::vector<Column> verdict {
        {ColumnId::Verdict, "verdict", "оценка",
            [](R r) { return CellValue(r.result.report.verdict); }},
        {ColumnId::VerdictRu, "verdict_ru", "оценка отчётного года",
            [](R r) { return text(verdictText(r.result.report.verdict)); }},
        {ColumnId::ReportNote, "report_note", "отчётный год: примечание",
            [](R r) { return text(reportNote(r.result.report)); }},
    };
    static const std::vector<Column> withCounts = [] {
        std::vector<Column> all = columns;
        all.insert(all.end(), interval.begin(), interval.end());
        all.insert(all.end(), verdict.begin(), verdict.end());
        return all;
    }();
    static const std::vector<Column> without = [] {
        std::vector<Column> all = columns;
        all.insert(all.end(), verdict.begin(), verdict.end());
        return all;
    }();
    return counts ? withCounts : without;
}

// A territory against its region in the reporting year.
const std::vector<Column> &territoryColumns()
{
    using R = const RowInput &;
    using C = analysis::TerritoryComparison;
    static const std::vector<Column> columns {
        {ColumnId::RegionRate, "region_rate", "показатель по территориям в целом",
            [](R r) { return territoryReal(r, &C::regionRate); }},
        {ColumnId::RatioToRegion, "ratio_to_region", "отношение к показателю по территориям",
            [](R r) { return territoryReal(r, &C::ratio); }},
        {ColumnId::RatioFlag, "ratio_flag", "превышение в 1,5 раза и более",
            [](R r) {
                const auto *c = compared(r);
                return c && !std::isnan(c->ratio) ? CellValue(c->ratioFlag())
                                                  : CellValue(Absent {});
            }},
        {ColumnId::Sir, "sir", "стандартизованное отношение (SIR)",
            [](R r) { return sirPart(r, &stats::Sir::ratio); }},
        {ColumnId::SirCi95Low, "sir_ci95_low", "SIR: 95% ДИ, от",
            [](R r) { return sirPart(r, &stats::Sir::low); }},
        {ColumnId::SirCi95High, "sir_ci95_high", "SIR: 95% ДИ, до",
            [](R r) { return sirPart(r, &stats::Sir::high); }},
        {ColumnId::SirPValue, "sir_p_value", "SIR: p",
            [](R r) { return territoryReal(r, &C::pValue); }},
        {ColumnId::Funnel, "funnel", "воронка",
            [](R r) {
                const auto *c = compared(r);
                return c && c->funnel ? text(QString::fromLatin1(funnelKey(*c->funnel)))
                                      : CellValue(Absent {});
            }},
        {ColumnId::FunnelRu, "funnel_ru", "положение на воронке",
            [](R r) {
                const auto *c = compared(r);
                return c && c->funnel ? text(funnelText(*c->funnel)) : CellValue(Absent {});
            }},
        {ColumnId::FunnelNote, "funnel_note", "территории: примечание",
            [](R r) {
                const auto &c = r.result.territory;
                return c ? text(c->note) : text({});
            }},
        {ColumnId::Risk, "risk", "территория риска",
            [](R r) {
                const auto *c = compared(r);
                return c && c->risk ? CellValue(*c->risk) : CellValue(Absent {});
            }},
        {ColumnId::TerritoryRank, "territory_rank", "место по показателю",
            [](R r) {
                const auto *c = compared(r);
                return c && c->rank > 0 ? integer(c->rank) : CellValue(Absent {});
            }},
    };
    return columns;
}

// The least-squares line and the trend tests.
const std::vector<Column> &statisticsColumns()
{
    using R = const RowInput &;
    static const std::vector<Column> columns {
        {ColumnId::OlsSlopePerYear, "ols_slope_per_year", "МНК: наклон за год",
            [](R r) { return real(r.result.ols.slope); }},
        {ColumnId::OlsSlopeSe, "ols_slope_se", "МНК: ошибка наклона",
            [](R r) { return real(r.result.ols.slopeError); }},
        {ColumnId::OlsCi95Low, "ols_ci95_low", "МНК: 95% ДИ наклона, от",
            [](R r) { return real(r.result.ols.ciLow); }},
        {ColumnId::OlsCi95High, "ols_ci95_high", "МНК: 95% ДИ наклона, до",
            [](R r) { return real(r.result.ols.ciHigh); }},
        {ColumnId::OlsPValue, "ols_p_value", "МНК: p",
            [](R r) { return real(r.result.ols.pValue); }},
        {ColumnId::OlsR2, "ols_r2", "МНК: R²", [](R r) { return real(r.result.ols.rSquared); }},
        {ColumnId::OlsForecast, "ols_forecast", "МНК: прогноз",
            [](R r) { return real(r.result.ols.forecast); }},
        {ColumnId::OlsPi95Low, "ols_pi95_low", "МНК: 95% интервал прогноза, от",
            [](R r) { return real(r.result.ols.piLow); }},
        {ColumnId::OlsPi95High, "ols_pi95_high", "МНК: 95% интервал прогноза, до",
            [](R r) { return real(r.result.ols.piHigh); }},
        {ColumnId::OlsDurbinWatson, "ols_durbin_watson", "Дарбин-Уотсон",
            [](R r) { return real(r.result.ols.durbinWatson); }},
        {ColumnId::TrendModel, "trend_model", "модель APC",
            [](R r) { return text(modelKey(r.result.model)); }},
        {ColumnId::Dispersion, "dispersion", "дисперсия φ",
            [](R r) {
                return r.result.model == analysis::TrendModel::QuasiPoisson
                        && r.result.tests.apcReason == stats::Reason::None
                    ? real(r.result.dispersion)
                    : CellValue(Absent {});
            }},
        {ColumnId::Apc, "apc", "APC, %",
            [](R r) { return statistic(r.result.tests.apc, r.result.tests.apcReason); }},
        {ColumnId::ApcCi95Low, "apc_ci95_low", "APC: 95% ДИ, от",
            [](R r) { return statistic(r.result.tests.apcLow, r.result.tests.apcReason); }},
        {ColumnId::ApcCi95High, "apc_ci95_high", "APC: 95% ДИ, до",
            [](R r) { return statistic(r.result.tests.apcHigh, r.result.tests.apcReason); }},
        {ColumnId::ApcPValue, "apc_p_value", "APC: p",
            [](R r) { return statistic(r.result.tests.apcP, r.result.tests.apcReason); }},
        {ColumnId::ApcNote, "apc_note", "APC: примечание",
            [](R r) { return text(reasonText(r.result.tests.apcReason)); }},
        {ColumnId::MkS, "mk_s", "Манн-Кендалл: S",
            [](R r) { return integer(qint64(r.result.tests.mkS)); }},
        {ColumnId::MkZ, "mk_z", "Манн-Кендалл: Z", [](R r) { return real(r.result.tests.mkZ); }},
        {ColumnId::MkPValue, "mk_p_value", "Манн-Кендалл: p",
            [](R r) { return real(r.result.tests.mkP); }},
        {ColumnId::SenSlope, "sen_slope", "наклон Сена",
            [](R r) { return real(r.result.tests.sen); }},
        {ColumnId::SenCi95Low, "sen_ci95_low", "наклон Сена: 95% ДИ, от",
            [](R r) { return real(r.result.tests.senLow); }},
        {ColumnId::SenCi95High, "sen_ci95_high", "наклон Сена: 95% ДИ, до",
            [](R r) { return real(r.result.tests.senHigh); }},
    };
    return columns;
}

const std::vector<Column> &joinpointColumns()
{
    using R = const RowInput &;
    static const std::vector<Column> fit {
        {ColumnId::JpCount, "jp_count", "точек перелома",
            [](R r) { return jp(r, integer(qint64(r.result.joinpoints->joinpoints.size()))); }},
        {ColumnId::JpYears, "jp_years", "годы точек перелома",
            [](R r) { return jp(r, text(joinpointYears(*r.result.joinpoints))); }},
        {ColumnId::Aapc, "aapc", "AAPC, %",
            [](R r) { return jp(r, real(r.result.joinpoints->aapc)); }},
        {ColumnId::AapcCi95Low, "aapc_ci95_low", "AAPC: 95% ДИ, от",
            [](R r) { return jp(r, real(r.result.joinpoints->aapcLow)); }},
        {ColumnId::AapcCi95High, "aapc_ci95_high", "AAPC: 95% ДИ, до",
            [](R r) { return jp(r, real(r.result.joinpoints->aapcHigh)); }},
        {ColumnId::AapcPValue, "aapc_p_value", "AAPC: p",
            [](R r) { return jp(r, real(r.result.joinpoints->aapcP)); }},
        {ColumnId::LastSegmentStart, "last_segment_start", "последний отрезок: с года",
            [](R r) { return jp(r, integer(last(r).start)); }},
        {ColumnId::LastApc, "last_apc", "APC последнего отрезка, %",
            [](R r) { return jp(r, real(last(r).apc)); }},
        {ColumnId::LastApcCi95Low, "last_apc_ci95_low", "APC последнего отрезка: 95% ДИ, от",
            [](R r) { return jp(r, real(last(r).apcLow)); }},
        {ColumnId::LastApcCi95High, "last_apc_ci95_high", "APC последнего отрезка: 95% ДИ, до",
            [](R r) { return jp(r, real(last(r).apcHigh)); }},
        {ColumnId::LastApcPValue, "last_apc_p_value", "APC последнего отрезка: p",
            [](R r) { return jp(r, real(last(r).pValue)); }},
        {ColumnId::JpNote, "jp_note", "точки перелома: примечание",
            [](R r) { return text(joinpointNote(*r.result.joinpoints)); }},
    };
    return fit;
}

} // namespace

const std::vector<Column> &summaryColumns(bool unit, bool joinpoints, bool territory)
{
    const Column unitColumn {ColumnId::Unit, "unit", "единица",
        [](const RowInput &r) { return text(r.result.series.unit); }};
    const auto variant = [&](bool counts, bool fit, bool territories) {
        std::vector<Column> all = seriesColumns();
        all.insert(all.end(), reportColumns(counts).begin(), reportColumns(counts).end());
        if (territories)
            all.insert(all.end(), territoryColumns().begin(), territoryColumns().end());
        all.insert(all.end(), statisticsColumns().begin(), statisticsColumns().end());
        if (fit)
            all.insert(all.end(), joinpointColumns().begin(), joinpointColumns().end());
        if (counts)
            all.push_back(unitColumn);
        return all;
    };
    static const std::vector<Column> variants[8]
        = {variant(false, false, false), variant(true, false, false), variant(false, true, false),
            variant(true, true, false), variant(false, false, true), variant(true, false, true),
            variant(false, true, true), variant(true, true, true)};
    return variants[int(unit) + 2 * int(joinpoints) + 4 * int(territory)];
}

const std::vector<Column> &segmentColumns()
{
    using R = const RowInput &;
    static const std::vector<Column> columns {
        {ColumnId::Segment, "segment", "отрезок",
            [](R r) { return integer(qint64(r.segment) + 1); }},
        {ColumnId::SegmentStartYear, "start_year", "с года",
            [](R r) { return integer(r.result.joinpoints->segments[r.segment].start); }},
        {ColumnId::SegmentEndYear, "end_year", "по год",
            [](R r) { return integer(r.result.joinpoints->segments[r.segment].end); }},
        {ColumnId::SegmentApc, "apc", "APC, %",
            [](R r) { return real(r.result.joinpoints->segments[r.segment].apc); }},
        {ColumnId::SegmentApcCi95Low, "apc_ci95_low", "APC: 95% ДИ, от",
            [](R r) { return real(r.result.joinpoints->segments[r.segment].apcLow); }},
        {ColumnId::SegmentApcCi95High, "apc_ci95_high", "APC: 95% ДИ, до",
            [](R r) { return real(r.result.joinpoints->segments[r.segment].apcHigh); }},
        {ColumnId::SegmentApcPValue, "apc_p_value", "APC: p",
            [](R r) { return real(r.result.joinpoints->segments[r.segment].pValue); }},
        {ColumnId::SegmentLogSlope, "log_slope", "наклон логарифма",
            [](R r) { return real(r.result.joinpoints->segments[r.segment].logSlope); }},
    };
    return columns;
}

} // namespace summary
