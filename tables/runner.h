// SPDX-License-Identifier: MIT
// One run of the engine on a thread of its own, handed to the window's
// thread in pieces: what arrived since the last look (rows, skipped series,
// notes, progress), and the end. The window looks a few times a second, so
// a run of hundreds of thousands of rows does not flood its event loop.
#pragma once

#include "engine/engine.h"
#include "tables/summarymodel.h"

#include <QObject>

#include <mutex>
#include <thread>

class Runner : public QObject, public engine::Sink
{
    Q_OBJECT

public:
    struct Arrived {
        bool begun = false; // the table's header was read: a new table
        SummaryModel::Layout layout;
        QString valueName;
        std::vector<SummaryModel::Compact> rows;
        std::vector<table::Problem> skipped;
        QStringList notes;
        engine::Progress progress;
    };

    // Starts the run at once; `rows`: hand its rows over (a run that only
    // writes files has none to show).
    Runner(const engine::Options &options, bool rows, QObject *parent = nullptr);
    // Stops the run if it still goes, and waits for it.
    ~Runner() override;

    // Asks the run to stop at the next series.
    void stop() { engine.stop(); }
    bool isRunning() const { return running; }
    Arrived take();
    // What ended the run, as the command line says it: failures that end
    // it, and files that could not be written.
    QStringList failures() const { return failureLines; }
    engine::Result result() const { return last; }

signals:
    // On the window's thread, once the run has ended.
    void ended();

private:
    void note(const table::Problem &note) override;
    bool skipped(const table::Problem &skip) override;
    void failed(const table::Problem &failure, engine::Scope scope) override;
    bool progress(const engine::Progress &progress) override;
    bool wantsRows() const override { return withRows; }
    bool wantsColumn(const summary::Column &column) const override;
    bool begin(const QStringList &labelNames, const std::vector<summary::Column> &columns,
        const QString &valueName) override;
    bool row(engine::Row &&row) override;

    const bool withRows;
    const stats::ExpectedBy expectedBy; // which bounds the table shows
    const QString territory; // the territory's label column, or empty
    engine::Engine engine;
    std::thread thread;
    bool running = true;
    std::mutex lock; // guards what follows
    Arrived arrived;
    SummaryModel::Layout layout;
    QStringList failureLines;
    engine::Result last;
};
