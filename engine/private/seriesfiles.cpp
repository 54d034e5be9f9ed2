// SPDX-License-Identifier: MIT
#include "engine/private/seriesfiles.h"

#include "calc/reportfile.h"
#include "summary/chart.h"

#include <QDir>
#include <QObject>

namespace engine {

using table::Problem;

SeriesFiles::SeriesFiles(const Options &options)
    : o(options)
{ }

std::optional<Problem> SeriesFiles::open()
{
    if (auto why = makeDir(o.reportsDir, reports))
        return why;
    return makeDir(o.chartsDir, charts);
}

std::optional<Problem> SeriesFiles::makeDir(
    const QString &dir, std::unique_ptr<summary::Staging> &area)
{
    if (dir.isEmpty())
        return std::nullopt;
    if (!QDir().mkpath(dir))
        return Problem::about(dir, QObject::tr("папка не создана"));
    QString why;
    area = summary::Staging::open(dir, &why);
    if (!area)
        return Problem::about(dir, QObject::tr("в папке нельзя создать файлы (%1)").arg(why));
    return std::nullopt;
}

SeriesFiles::Staged SeriesFiles::stage(const summary::RowInput &row, const QString &valueName,
    const summary::FunnelInput *funnel) const
{
    Staged staged;
    const table::Series &s = row.result.series;
    if (reports)
        staged.report = reports->stage(
            trend::fileBytes(trend::reportText(s.years, s.typed, row.result.practice)));
    if (charts) {
        const QByteArray chart = summary::renderChart(o.chartFormat, row, valueName);
        if (chart.isEmpty())
            staged.chart
                = summary::StagedFile {{}, QObject::tr("изображение не построено"), false, false};
        else
            staged.chart = charts->stage(chart);
        if (funnel && !funnel->points.empty()) {
            const QByteArray plot = summary::renderFunnel(o.chartFormat, *funnel);
            staged.funnel = plot.isEmpty()
                ? summary::StagedFile {{}, QObject::tr("изображение не построено"), false, false}
                : charts->stage(plot);
            staged.group = QStringList {QStringLiteral("funnel")}
                + funnel->title.split(QStringLiteral(" / "));
        }
    }
    return staged;
}

std::optional<Problem> SeriesFiles::sync() const
{
    for (const auto &[area, dir] :
        {std::pair(reports.get(), &o.reportsDir), {charts.get(), &o.chartsDir}}) {
        QString why;
        if (area && !area->sync(&why))
            return Problem::about(*dir, QObject::tr("файлы не записаны на диск (%1)").arg(why));
    }
    return std::nullopt;
}

// Why the file could not take its name; empty when it did, or when there
// is none.
QString SeriesFiles::place(const std::optional<summary::StagedFile> &staged,
    const summary::Staging *area, const QString &dir, const QString &stem, const QString &suffix,
    const char *what) const
{
    if (!staged)
        return {};
    const QString path = QDir(dir).filePath(stem + suffix);
    QString why;
    if (area->commit(*staged, path, &why))
        return {};
    return QObject::tr(what).arg(path, why);
}

QStringList SeriesFiles::name(const Staged &files, const QStringList &labels)
{
    QStringList failures;
    if (!files.report && !files.chart && !files.funnel)
        return failures;
    const QString stem = names.next(labels);
    const QString chartSuffix = o.chartFormat == summary::ChartFormat::Svg ? QStringLiteral(".svg")
                                                                           : QStringLiteral(".png");
    for (const QString &why : {place(files.report, reports.get(), o.reportsDir, stem,
                                   QStringLiteral(".txt"), QT_TR_NOOP("отчёт %1 не записан: %2")),
             place(files.chart, charts.get(), o.chartsDir, stem, chartSuffix,
                 QT_TR_NOOP("график %1 не записан: %2"))}) {
        if (!why.isEmpty())
            failures << why;
    }
    if (files.funnel) {
        const QString why = place(files.funnel, charts.get(), o.chartsDir, names.next(files.group),
            chartSuffix, QT_TR_NOOP("воронка %1 не записана: %2"));
        if (!why.isEmpty())
            failures << why;
    }
    return failures;
}

void SeriesFiles::discard(const Staged &files)
{
    if (files.report)
        summary::Staging::discard(*files.report);
    if (files.chart)
        summary::Staging::discard(*files.chart);
    if (files.funnel)
        summary::Staging::discard(*files.funnel);
}

} // namespace engine
