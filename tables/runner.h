// SPDX-License-Identifier: MIT
// A run of the engine on a thread of its own, handed to the window's thread
// in pieces: what arrived since the last look (rows, skipped series, notes,
// progress), and the end. The window looks a few times a second, so a run
// of hundreds of thousands of rows does not flood its event loop.
#pragma once

#include "engine.h"
#include "summarymodel.h"

#include <QObject>

#include <memory>
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

    explicit Runner(QObject *parent = nullptr);
    // Stops a run that is still going, and waits for it.
    ~Runner() override;

    // Starts a run; `rows`: hand its rows over (a run that only writes
    // files has none to show).
    void start(const engine::Options &options, bool rows);
    // Asks the run to stop at the next series.
    void stop();
    bool isRunning() const { return running; }
    Arrived take();
    // What ended the run, as the command line says it: failures that end
    // it, and files that could not be written.
    QStringList failures() const { return failureLines; }
    engine::Result result() const { return last; }

signals:
    void runEnded();

private:
    void note(const table::Problem &note) override;
    void skipped(const table::Problem &skip) override;
    void failed(const table::Problem &failure, engine::Scope scope) override;
    bool progress(const engine::Progress &progress) override;
    bool wantsRows() const override { return withRows; }
    bool wantsColumn(const summary::Column &column) const override;
    void begin(const QStringList &labelNames, const std::vector<summary::Column> &columns,
        const QString &valueName) override;
    bool row(engine::Row &&row) override;

    void wait();

    engine::Options options;
    std::unique_ptr<engine::Engine> engine;
    std::thread thread;
    bool running = false;
    int generation
        = 0; // of the run going, so that the end of one before it is not taken for its end
    bool withRows = false;
    std::mutex lock; // guards what follows
    Arrived arrived;
    SummaryModel::Layout layout; // of the run going
    QStringList failureLines;
    engine::Result last;
};
