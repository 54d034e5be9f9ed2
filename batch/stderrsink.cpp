// SPDX-License-Identifier: MIT
#include "batch/stderrsink.h"

#include <QObject>

namespace batch {

void StderrSink::note(const table::Problem &note)
{
    finishProgress();
    err << "vantorel-batch: " << note.message() << Qt::endl;
}

bool StderrSink::skipped(const table::Problem &skip)
{
    finishProgress();
    err << skip.message() << Qt::endl;
    return true;
}

void StderrSink::failed(const table::Problem &failure, engine::Scope scope)
{
    finishProgress();
    if (scope == engine::Scope::Run)
        err << "vantorel-batch: ";
    err << failure.message() << Qt::endl;
}

// After the first second, at most five times a second.
bool StderrSink::progress(const engine::Progress &p)
{
    if (!showProgress || p.elapsedMs < 1000 || (shown && p.elapsedMs - lastShown < 200))
        return true;
    lastShown = p.elapsedMs;
    shown = true;
    err << "\r" << engine::progressText(p) << "\033[K" << Qt::flush;
    return true;
}

void StderrSink::finished(const engine::Result &result)
{
    finishProgress();
    if (result.stopped)
        err << "vantorel-batch: "
            << QObject::tr("прервано; рассчитано рядов: %1").arg(result.computed) << Qt::endl;
}

void StderrSink::finishProgress()
{
    if (shown) {
        err << "\r\033[K" << Qt::flush;
        shown = false;
    }
}

} // namespace batch
