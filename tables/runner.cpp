// SPDX-License-Identifier: MIT
#include "tables/runner.h"

Runner::Runner(const engine::Options &options, bool rows, QObject *parent)
    : QObject(parent)
    , withRows(rows)
    , expectedBy(options.analysis.report.expectedBy)
    , territory(options.territory)
    , engine(options, *this)
{
    thread = std::thread([this] {
        const engine::Result result = engine.run();
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                thread.join();
                last = result;
                running = false;
                emit ended();
            },
            Qt::QueuedConnection);
    });
}

Runner::~Runner()
{
    stop();
    if (thread.joinable())
        thread.join();
}

Runner::Arrived Runner::take()
{
    const std::lock_guard guard(lock);
    Arrived taken = std::move(arrived);
    arrived = Arrived();
    arrived.progress = taken.progress;
    return taken;
}

void Runner::note(const table::Problem &note)
{
    const std::lock_guard guard(lock);
    arrived.notes << note.message();
}

bool Runner::skipped(const table::Problem &skip)
{
    const std::lock_guard guard(lock);
    arrived.skipped.push_back(skip);
    return true;
}

void Runner::failed(const table::Problem &failure, engine::Scope)
{
    const std::lock_guard guard(lock);
    failureLines << failure.message();
}

bool Runner::progress(const engine::Progress &progress)
{
    const std::lock_guard guard(lock);
    arrived.progress = progress;
    return true;
}

bool Runner::begin(const QStringList &labelNames, const std::vector<summary::Column> &columns,
    const QString &valueName)
{
    const std::lock_guard guard(lock);
    arrived.begun = true;
    layout = SummaryModel::layoutFor(labelNames, columns, expectedBy);
    if (!territory.isEmpty())
        layout.territory = int(labelNames.indexOf(territory));
    arrived.layout = layout;
    arrived.valueName = valueName;
    return true;
}

bool Runner::wantsColumn(const summary::Column &column) const
{
    return SummaryModel::needs(column);
}

// Kept small at once: a national table has hundreds of thousands of rows,
// and the window takes them only a few times a second.
bool Runner::row(engine::Row &&row)
{
    const std::lock_guard guard(lock);
    arrived.rows.push_back(SummaryModel::compact(row, layout));
    return true;
}
