// SPDX-License-Identifier: MIT
#include "engine/private/outputs.h"

#include "summary/stagedfile.h"

#include <QFileInfo>
#include <QObject>

#include <algorithm>

#include <cstdio>

namespace engine {

using table::Problem;

Outputs::Outputs(const Options &options)
    : o(options)
{ }

Outputs::~Outputs() = default;

std::optional<Problem> Outputs::openTarget()
{
    if (o.format == summary::SummaryFormat::None)
        return std::nullopt;
    if (!o.output.isEmpty() || o.format == summary::SummaryFormat::Xlsx) {
        QString why;
        target = summary::StagedTarget::open(o.output, &why);
        if (!target)
            return Problem::about(o.output, QObject::tr("файл не создан (%1)").arg(why));
        out = &target->file();
        return std::nullopt;
    }
    stdoutFile = std::make_unique<QFile>();
    if (!stdoutFile->open(stdout, QIODevice::WriteOnly))
        return Problem::about({}, QObject::tr("стандартный вывод не открыт"));
    out = stdoutFile.get();
    return std::nullopt;
}

std::optional<Problem> Outputs::begin(const QStringList &labelNames, const QString &tableName)
{
    if (!o.document.isEmpty())
        document.emplace(summary::Document::Info {o.documentTitle, QFileInfo(tableName).fileName(),
            labelNames, summary::methodsNote(o.analysis, o.rates.on())});
    if (o.format == summary::SummaryFormat::None)
        return std::nullopt;
    const auto &model = summary::summaryColumns(
        o.rates.on(), o.analysis.joinpoints.has_value(), !o.territory.isEmpty());
    QString why;
    if (o.format == summary::SummaryFormat::Xlsx) {
        writer = summary::SummaryWriter::createXlsx(target->fileName(), labelNames, model,
            o.analysis.joinpoints ? &summary::segmentColumns() : nullptr, &why);
        if (writer)
            segments = writer->segmentsSheet();
    } else {
        writer = summary::SummaryWriter::create(out, o.format, labelNames, model);
    }
    if (!writer)
        return Problem::about(o.output, why);
    return openSegments(labelNames);
}

std::optional<Problem> Outputs::openSegments(const QStringList &labelNames)
{
    if (o.segments.isEmpty())
        return std::nullopt;
    QString why;
    segmentsTarget = summary::StagedTarget::open(o.segments, &why);
    if (!segmentsTarget)
        return Problem::about(o.segments, QObject::tr("файл не создан (%1)").arg(why));
    segments = summary::SummaryWriter::create(
        &segmentsTarget->file(), o.format, labelNames, summary::segmentColumns());
    return std::nullopt;
}

void Outputs::format(const summary::RowInput &row, QByteArray &rows, QByteArray &segmentRows) const
{
    if (writer)
        writer->formatRow(rows, row);
    if (segments && row.result.joinpoints) {
        for (std::size_t at = 0; at < row.result.joinpoints->segments.size(); ++at)
            segments->formatRow(segmentRows, {row.result, at});
    }
}

bool Outputs::inDocument(qint64 line) const
{
    return o.documentLines.empty()
        || std::find(o.documentLines.begin(), o.documentLines.end(), line) != o.documentLines.end();
}

bool Outputs::addSection(summary::Document::Section section, qint64 line)
{
    if (document->size() >= std::size_t(summary::MaxDocumentSeries))
        return false;
    document->add(std::move(section));
    sectionLines.push_back(line);
    return true;
}

void Outputs::append(QByteArrayView rows, QByteArrayView segmentRows)
{
    if (writer)
        writer->append(rows);
    if (segments)
        segments->append(segmentRows);
}

std::optional<Problem> Outputs::settle(End end)
{
    // A stopped run ends where it is; a workbook cannot be half written.
    if (end == End::Stopped || (end == End::Failed && o.format == summary::SummaryFormat::Xlsx)) {
        abandon();
        return std::nullopt;
    }
    std::optional<Problem> failure = finishSegments();
    if (failure && o.format == summary::SummaryFormat::Xlsx) {
        abandon();
        return failure;
    }
    if (writer && !writer->finish() && !failure)
        failure = summaryFailure(writer->errorString());
    // Every file whole and on disk under its staged name before any takes
    // its own: one that cannot be leaves every target as it was.
    if (end == End::Whole && !failure && document)
        failure = stageDocument();
    if (end == End::Whole && !failure)
        failure = everyTarget(&summary::StagedTarget::finish);
    // Standard output keeps what it was given, even from a run that failed.
    if (stdoutFile && (!stdoutFile->flush() || stdoutFile->error() != QFileDevice::NoError)
        && !failure)
        failure = summaryFailure(stdoutFile->errorString());
    if (end == End::Whole && !failure)
        failure = everyTarget(&summary::StagedTarget::commit);
    abandon();
    return failure;
}

// Each staged file through one step: finish() flushes it and makes it
// durable, commit() gives it its name (which fails only when a folder was
// changed under the run; the files renamed before it stay). The first that
// cannot be.
std::optional<Problem> Outputs::everyTarget(bool (summary::StagedTarget::*step)(QString *))
{
    QString why;
    if (segmentsTarget && !(segmentsTarget.get()->*step)(&why))
        return segmentsFailure(why);
    if (target && !(target.get()->*step)(&why))
        return summaryFailure(why);
    if (documentTarget && !(documentTarget.get()->*step)(&why))
        return documentFailure(why);
    return std::nullopt;
}

// The segments table, whole before the summary: in a file of its own, or
// as a sheet of the workbook, which closes with the summary.
std::optional<Problem> Outputs::finishSegments()
{
    if (!segments || segments->finish())
        return std::nullopt;
    return segmentsFailure(segments->errorString());
}

std::optional<Problem> Outputs::segmentsFailure(const QString &reason) const
{
    return Problem::about(o.segments.isEmpty() ? o.output : o.segments,
        QObject::tr("таблица отрезков не записана (%1)").arg(reason));
}

std::optional<Problem> Outputs::documentFailure(const QString &reason) const
{
    return Problem::about(o.document, QObject::tr("документ не записан (%1)").arg(reason));
}

std::optional<Problem> Outputs::summaryFailure(const QString &reason) const
{
    if (target)
        return Problem::about(o.output, QObject::tr("сводка не записана (%1)").arg(reason));
    return Problem::about(
        {}, QObject::tr("сводка не записана в стандартный вывод (%1)").arg(reason));
}

// The document whole, in the order asked for, in its staged file.
std::optional<Problem> Outputs::stageDocument()
{
    if (!o.documentLines.empty()) {
        std::vector<std::size_t> order;
        for (const qint64 line : o.documentLines) {
            const auto at = std::find(sectionLines.begin(), sectionLines.end(), line);
            if (at != sectionLines.end())
                order.push_back(std::size_t(at - sectionLines.begin()));
        }
        document->reorder(order);
    }
    QString why;
    documentTarget = summary::StagedTarget::open(o.document, &why);
    if (!documentTarget)
        return Problem::about(o.document, QObject::tr("файл не создан (%1)").arg(why));
    if (!document->write(&documentTarget->file(), *summary::documentFormat(o.document), &why))
        return documentFailure(why);
    return std::nullopt;
}

// Nothing of the files is left: a workbook is closed into its staged file,
// which goes with it.
void Outputs::abandon()
{
    if (writer)
        writer->cancel();
    segments.reset();
    writer.reset();
    target.reset();
    segmentsTarget.reset();
    documentTarget.reset();
}

} // namespace engine
