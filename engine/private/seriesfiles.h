// SPDX-License-Identifier: MIT
// A report and a chart for each series, on request. A file is staged on
// the thread that computes its series, and takes its name on the run's
// thread, in the table's order, only once every file of its batch is on
// disk: a name never points at a file that a crash could leave empty.
#pragma once

#include "engine/engine.h"
#include "summary/filenames.h"
#include "summary/funnelchart.h"
#include "summary/stagedfile.h"

#include <memory>
#include <optional>

namespace engine {

class SeriesFiles
{
public:
    // What a computed series has staged.
    struct Staged {
        std::optional<summary::StagedFile> report, chart;
        std::optional<summary::StagedFile> funnel; // of a region's territories
        QStringList group; // the funnel's labels
    };

    explicit SeriesFiles(const Options &options);

    // Makes the folders and the run's staging folder in each.
    std::optional<table::Problem> open();
    bool wanted() const { return reports || charts; }
    // Stages the files of one series. Safe from several threads at once.
    // `funnel`: a region's, charted beside its own chart.
    Staged stage(const summary::RowInput &row, const QString &valueName,
        const summary::FunnelInput *funnel = nullptr) const;
    // Makes every file staged so far durable; the failure, if any, which
    // ends the run.
    std::optional<table::Problem> sync() const;
    // Gives a series' files their names; why each that could not take its
    // name failed (a failure of that file alone).
    QStringList name(const Staged &files, const QStringList &labels);
    static void discard(const Staged &files);

private:
    std::optional<table::Problem> makeDir(
        const QString &dir, std::unique_ptr<summary::Staging> &area);
    QString place(const std::optional<summary::StagedFile> &staged, const summary::Staging *area,
        const QString &dir, const QString &stem, const QString &suffix, const char *what) const;

    const Options &o;
    std::unique_ptr<summary::Staging> reports, charts;
    summary::FileNamer names;
};

} // namespace engine
