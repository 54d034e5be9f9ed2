// SPDX-License-Identifier: MIT
// The tables a run writes: the summary, to a staged file that takes its
// name once whole or to standard output as it comes, and the segments
// table, in a file of its own or as a workbook's sheet. Rows are spelled on
// the threads that compute and written in the table's order.
//
// Whether the files are committed is decided in one place, settle(): only
// a run that read its whole table, met no failure and was not stopped
// replaces its targets, and only once every one of them is whole.
#pragma once

#include "engine/engine.h"
#include "summary/document.h"

#include <QFile>

#include <memory>
#include <optional>

namespace summary {
class StagedTarget;
}

namespace engine {

class Outputs
{
public:
    explicit Outputs(const Options &options);
    ~Outputs();

    // Begins the summary's target: a staged file, or standard output.
    std::optional<table::Problem> openTarget();
    // Begins the tables once the table's label names are known; the
    // document is named after `tableName`.
    std::optional<table::Problem> begin(const QStringList &labelNames, const QString &tableName);

    // Spells a computed series' rows. Safe from several threads at once.
    void format(const summary::RowInput &row, QByteArray &rows, QByteArray &segmentRows) const;
    // Writes spelled rows, in the table's order.
    void append(QByteArrayView rows, QByteArrayView segmentRows);

    // Whether the series on `line` goes into the document.
    bool inDocument(qint64 line) const;
    // A series' section of the document; false when it holds too many.
    bool addSection(summary::Document::Section section, qint64 line);

    enum class End { Whole, Failed, Stopped };
    // Ends the tables as the run ended: commits them when it is whole, and
    // gives them up otherwise. Standard output, which cannot take rows
    // back, is ended and flushed unless the run was stopped. The failure
    // that keeps them from being written, if any.
    std::optional<table::Problem> settle(End end);

private:
    std::optional<table::Problem> openSegments(const QStringList &labelNames);
    std::optional<table::Problem> finishSegments();
    std::optional<table::Problem> everyTarget(bool (summary::StagedTarget::*step)(QString *));
    std::optional<table::Problem> summaryFailure(const QString &reason) const;
    std::optional<table::Problem> segmentsFailure(const QString &reason) const;
    std::optional<table::Problem> documentFailure(const QString &reason) const;
    std::optional<table::Problem> stageDocument();
    void abandon();

    const Options &o;
    std::unique_ptr<QFile> stdoutFile;
    std::unique_ptr<summary::StagedTarget> target; // the summary, unless on standard output
    std::unique_ptr<summary::StagedTarget> segmentsTarget; // the segments table's own file
    std::unique_ptr<summary::StagedTarget> documentTarget; // once the run is whole
    QIODevice *out = nullptr;
    // Declared after their targets, so that a workbook is closed before its
    // staged file is removed.
    std::unique_ptr<summary::SummaryWriter> writer;
    std::unique_ptr<summary::SummaryWriter> segments;
    std::optional<summary::Document> document;
    std::vector<qint64> sectionLines; // where each section's series starts
};

} // namespace engine
