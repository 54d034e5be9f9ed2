// SPDX-License-Identifier: MIT
// What the command line says while a run goes: one line on standard error
// for each skipped series ("FILE:LINE: LABEL: reason") and each failure
// ("vantorel-batch: ..." when it ends the run), and on a terminal a
// progress line that the next message or the end wipes.
#pragma once

#include "engine/engine.h"

#include <QTextStream>

namespace batch {

class StderrSink : public engine::Sink
{
public:
    // `progress`: show the progress line (standard error is a terminal).
    StderrSink(QTextStream &err, bool progress)
        : err(err)
        , showProgress(progress)
    { }
    void note(const table::Problem &note) override;
    bool skipped(const table::Problem &skip) override;
    void failed(const table::Problem &failure, engine::Scope scope) override;
    bool progress(const engine::Progress &progress) override;
    void finished(const engine::Result &result) override;

private:
    void finishProgress();

    QTextStream &err;
    const bool showProgress;
    qint64 lastShown = 0;
    bool shown = false;
};

} // namespace batch
