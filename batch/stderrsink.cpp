// SPDX-License-Identifier: MIT
#include "stderrsink.h"

#include <QObject>

namespace batch {

void StderrSink::note(const table::Problem &note)
{
    finishProgress();
    err << "vantorel-batch: " << note.message() << Qt::endl;
}

void StderrSink::skipped(const table::Problem &skip)
{
    finishProgress();
    err << skip.message() << Qt::endl;
}

void StderrSink::failed(const table::Problem &failure, engine::Scope scope)
{
    finishProgress();
    if (scope == engine::Scope::Run)
        err << "vantorel-batch: ";
    err << failure.message() << Qt::endl;
}

// After the first second, at most five times a second.
void StderrSink::progress(const engine::Progress &p)
{
    if (!showProgress || p.elapsedMs < 1000 || (shown && p.elapsedMs - lastShown < 200))
        return;
    lastShown = p.elapsedMs;
    shown = true;
    QString line = QObject::tr("рассчитано рядов: %1, пропущено: %2, %3 рядов/с")
                       .arg(p.computed)
                       .arg(p.skipped)
                       .arg(engine::seriesPerSecond(p));
    const QString left = engine::timeLeft(p);
    if (!left.isEmpty())
        line += QObject::tr(", осталось %1").arg(left);
    err << "\r" << line << "\033[K" << Qt::flush;
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
