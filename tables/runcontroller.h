// SPDX-License-Identifier: MIT
// The window's runs, one at a time, as a small state machine:
//
//   Idle ──compute()──▶ Computing ──its end──▶ Idle
//   Idle ──save()─────▶ Saving ─────its end──▶ Idle
//
// A computation asked for while one goes stops it and begins once it has
// ended, without waiting on the window's thread; a save is refused while
// any run goes. Each end is told once, with what it wrote, and only for
// the run that was asked for last: a run stopped to make way for another
// is not told at all.
#pragma once

#include "runner.h"

#include <QObject>

#include <memory>
#include <optional>

class RunController : public QObject
{
    Q_OBJECT

public:
    enum class State { Idle, Computing, Saving };

    explicit RunController(QObject *parent = nullptr);
    ~RunController() override;

    State state() const { return current; }
    // Computes a table, for the rows to show.
    void compute(const engine::Options &options);
    // Writes files through a run of their own; false, and nothing begun,
    // while another run goes.
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
    std::optional<engine::Options> next; // a computation waiting for a stopped one to end
    QString target; // what the save writes
};
