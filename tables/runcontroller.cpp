// SPDX-License-Identifier: MIT
#include "tables/runcontroller.h"

RunController::RunController(QObject *parent)
    : QObject(parent)
{ }

RunController::~RunController() = default;

bool RunController::compute(const engine::Options &options)
{
    if (current != State::Idle)
        return false;
    begin(options, State::Computing);
    return true;
}

bool RunController::save(const engine::Options &options, const QString &file)
{
    if (current != State::Idle)
        return false;
    target = file;
    begin(options, State::Saving);
    return true;
}

void RunController::stop()
{
    if (runner)
        runner->stop();
}

void RunController::begin(const engine::Options &options, State state)
{
    // The run before ended; it may still be telling its end.
    if (runner)
        runner.release()->deleteLater();
    runner = std::make_unique<Runner>(options, state == State::Computing);
    connect(runner.get(), &Runner::ended, this, &RunController::runEnded);
    setState(state);
}

Runner::Arrived RunController::take()
{
    if (!runner)
        return {};
    Runner::Arrived arrived = runner->take();
    if (current == State::Saving) {
        // The table shown is the one computed; a save reads it again.
        Runner::Arrived progress;
        progress.progress = arrived.progress;
        return progress;
    }
    return arrived;
}

QString RunController::progressText(const engine::Progress &progress) const
{
    const QString text = engine::progressText(progress);
    return current == State::Saving ? tr("Запись: %1").arg(text) : text;
}

void RunController::runEnded()
{
    const State ended = current;
    const engine::Result result = runner->result();
    const QStringList failures = runner->failures();
    if (ended == State::Saving)
        emit saved(!result.failed && !result.stopped, target, result, failures);
    else
        emit computed(result, failures);
    setState(State::Idle);
}

void RunController::setState(State state)
{
    if (std::exchange(current, state) != state)
        emit stateChanged(state);
}
