// SPDX-License-Identifier: MIT
#include "engine/options.h"

#include "summary/document.h"

#include <QObject>

namespace engine {

std::optional<QString> validate(const Options &o)
{
    if (o.format == summary::SummaryFormat::Xlsx && o.output.isEmpty())
        return QObject::tr("сводке xlsx нужен файл: -o ФАЙЛ.xlsx");
    if (o.rates.cases.isEmpty() != o.rates.population.isEmpty())
        return QObject::tr("--cases и --population задаются вместе");
    if (o.rates.on() && table::foldedName(o.rates.cases) == table::foldedName(o.rates.population))
        return QObject::tr("у --cases и --population должны быть разные столбцы");
    // Past these a rate is no longer a number a person reads, and a chart's
    // scale runs out of doubles.
    if (!(o.rates.per >= 1 && o.rates.per <= 1e9))
        return QObject::tr("--per: нужно число от 1 до 1000000000, а не «%1»")
            .arg(QString::number(o.rates.per, 'g', 15));
    if (!o.segments.isEmpty() && !o.analysis.joinpoints)
        return QObject::tr("--segments и --joinpoints off несовместимы");
    if (!o.segments.isEmpty() && o.format == summary::SummaryFormat::Xlsx)
        return QObject::tr("в книге xlsx отрезки уже есть на листе «Отрезки»; --segments не нужен");
    if (!o.document.isEmpty() && !summary::documentFormat(o.document))
        return QObject::tr("--document: нужен файл .odt или .pdf, а не «%1»").arg(o.document);
    const stats::ReportYearOptions &r = o.analysis.report;
    if (r.baselineFrom != 0 && r.baselineFrom >= r.baselineTo)
        return QObject::tr("--baseline %1-%2: начало базы должно быть раньше конца")
            .arg(r.baselineFrom)
            .arg(r.baselineTo);
    if (r.year != 0 && r.baselineTo != 0 && r.baselineTo >= r.year)
        return QObject::tr("--baseline %1-%2: база должна кончаться до отчётного %3 года")
            .arg(r.baselineFrom)
            .arg(r.baselineTo)
            .arg(r.year);
    if (r.expectedBy == stats::ExpectedBy::Poisson && !o.rates.on())
        return QObject::tr("--expected-by poisson - только вместе с --cases и --population");
    return std::nullopt;
}

} // namespace engine
