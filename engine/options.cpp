// SPDX-License-Identifier: MIT
#include "engine/options.h"

#include "summary/document.h"

#include <QObject>

namespace engine {

std::optional<Invalid> invalid(const Options &o)
{
    if (o.format == summary::SummaryFormat::Xlsx && o.output.isEmpty())
        return Invalid::XlsxWithoutFile;
    if (o.rates.cases.isEmpty() != o.rates.population.isEmpty())
        return Invalid::CasesWithoutPopulation;
    if (o.rates.on() && table::foldedName(o.rates.cases) == table::foldedName(o.rates.population))
        return Invalid::SameColumns;
    // Past these a rate is no longer a number a person reads, and a chart's
    // scale runs out of doubles.
    if (!(o.rates.per >= 1 && o.rates.per <= 1e9))
        return Invalid::PerOutOfRange;
    if (!o.segments.isEmpty() && !o.analysis.joinpoints)
        return Invalid::SegmentsWithoutJoinpoints;
    if (!o.segments.isEmpty() && o.format == summary::SummaryFormat::Xlsx)
        return Invalid::SegmentsInWorkbook;
    if (!o.document.isEmpty() && !summary::documentFormat(o.document))
        return Invalid::DocumentFormat;
    const stats::ReportYearOptions &r = o.analysis.report;
    if (r.baselineFrom != 0 && r.baselineFrom >= r.baselineTo)
        return Invalid::BaselineOrder;
    if (r.year != 0 && r.baselineTo != 0 && r.baselineTo >= r.year)
        return Invalid::BaselineAfterYear;
    if (r.expectedBy == stats::ExpectedBy::Poisson && !o.rates.on())
        return Invalid::PoissonWithoutCounts;
    if (r.expectedBy == stats::ExpectedBy::QuasiPoisson && !o.rates.on())
        return Invalid::QuasiPoissonWithoutCounts;
    using analysis::TrendModel;
    if (o.analysis.model == TrendModel::QuasiPoisson && !o.rates.on())
        return Invalid::CountModelWithoutCounts;
    const bool countModel = o.analysis.model == TrendModel::QuasiPoisson
        || (o.analysis.model == TrendModel::Auto && o.rates.on());
    if (countModel && o.analysis.joinpoints
        && o.analysis.joinpoints->method == stats::JoinpointMethod::Permutation)
        return Invalid::PermutationWithCountModel;
    return std::nullopt;
}

std::optional<QString> validate(const Options &o)
{
    const auto why = invalid(o);
    if (!why)
        return std::nullopt;
    const stats::ReportYearOptions &r = o.analysis.report;
    switch (*why) {
    case Invalid::XlsxWithoutFile:
        return QObject::tr("сводке xlsx нужен файл: -o ФАЙЛ.xlsx");
    case Invalid::CasesWithoutPopulation:
        return QObject::tr("--cases и --population задаются вместе");
    case Invalid::SameColumns:
        return QObject::tr("у --cases и --population должны быть разные столбцы");
    case Invalid::PerOutOfRange:
        return QObject::tr("--per: нужно число от 1 до 1000000000, а не «%1»")
            .arg(QString::number(o.rates.per, 'g', 15));
    case Invalid::SegmentsWithoutJoinpoints:
        return QObject::tr("--segments и --joinpoints off несовместимы");
    case Invalid::SegmentsInWorkbook:
        return QObject::tr("в книге xlsx отрезки уже есть на листе «Отрезки»; --segments не нужен");
    case Invalid::DocumentFormat:
        return QObject::tr("--document: нужен файл .odt или .pdf, а не «%1»").arg(o.document);
    case Invalid::BaselineOrder:
        return QObject::tr("--baseline %1-%2: начало базы должно быть раньше конца")
            .arg(r.baselineFrom)
            .arg(r.baselineTo);
    case Invalid::BaselineAfterYear:
        return QObject::tr("--baseline %1-%2: база должна кончаться до отчётного %3 года")
            .arg(r.baselineFrom)
            .arg(r.baselineTo)
            .arg(r.year);
    case Invalid::PoissonWithoutCounts:
        return QObject::tr("--expected-by poisson — только вместе с --cases и --population");
    case Invalid::QuasiPoissonWithoutCounts:
        return QObject::tr("--expected-by quasipoisson — только вместе с --cases и --population");
    case Invalid::CountModelWithoutCounts:
        return QObject::tr("--model quasipoisson — только вместе с --cases и --population");
    case Invalid::PermutationWithCountModel:
        return QObject::tr("перестановочный тест точек перелома есть только у логлинейной модели "
                           "(--model loglinear); с моделью числа случаев выберите "
                           "--joinpoints wbic, bic или bic3");
    }
    return std::nullopt;
}

} // namespace engine
