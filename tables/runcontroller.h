// SPDX-License-Identifier: MIT
// The window's runs, one at a time, as a small state machine:
//
//   Idle ──compute()──▶ Computing ──its end──▶ Idle
//   Idle ──save()─────▶ Saving ─────its end──▶ Idle
//
// A run asked for while another goes is refused: the window's choices are
// closed meanwhile, and nothing waits on the window's thread for a run to
// end. Each end is told once, with what it wrote.
#pragma once

#include "tables/runner.h"

#include <QObject>

#include <memory>

class RunController : public QObject
{
    Q_OBJECT

public:
    enum class State { Idle, Computing, Saving };

    explicit RunController(QObject *parent = nullptr);
    ~RunController() override;

    State state() const { return current; }
    // Computes a table, for the rows to show; false, and nothing begun,
    // while another run goes.
    bool compute(const engine::Options &options);
    // Writes files through a run of their own; false while another run
    // goes.
    bool save(const engine::Options &options, const QString &target);
    // Asks the run going to stop at the next series.
    void stop();
    // What the computation brought since the last look; a save brings only
    // its progress.
    Runner::Arrived take();
    // The progress as a person reads it: "рассчитано рядов: …", or
    // "Запись: …" while saving.
    QString progressText(const engine::Progress &progress) const;

signals:
    void stateChanged(RunController::State state);
    // A computation ended: how, and the failures that ended it.
    void computed(const engine::Result &result, const QStringList &failures);
    // A save ended: whether everything was written to `target`.
    void saved(bool written, const QString &target, const engine::Result &result,
        const QStringList &failures);

private:
    void begin(const engine::Options &options, State state);
    void runEnded();
    void setState(State state);

    State current = State::Idle;
    std::unique_ptr<Runner> runner;
    QString target; // what the save writes
};
