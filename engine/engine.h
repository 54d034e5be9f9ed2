// SPDX-License-Identifier: MIT
// The engine of a batch run: reads a table, computes every series with the
// window's core and the statistics beside it, writes the summary and, on
// request, a report file and a chart per series. Batches of the table are
// computed on threads; what they give is taken in the table's order, so
// every output is what one thread would write.
//
// The engine has no stream of its own. It pushes what happens to a Sink
// (below, with the rules it can rely on). The command line is one sink, a
// window another. A run can be stopped from any thread; it then stops at
// the next series, removes every file it staged and says so in its result.
//
// What a run is asked to do is in options.h. The parts of a run live in
// files of their own, private to the engine: outputs.h (the summary, the
// segments table and the document, and the one decision to commit or
// abandon them), seriesfiles.h (a report and a chart per series),
// batches.h (the table's batches on threads, taken in order).
#pragma once

#include "engine/options.h"
#include "summary/funnelchart.h"
#include "summary/summaryrow.h"
#include "table/series.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <vector>

namespace engine {

struct Progress {
    qint64 computed = 0;
    qint64 skipped = 0;
    qint64 elapsedMs = 0;
    double done = -1; // the part of the table behind, 0 to 1; -1 when not known
};

// What is left of a run, as a person says it ("около 2 мин 10 с"); empty
// while that is not known, or when the whole run takes a few seconds.
QString timeLeft(const Progress &progress);
// The series a second so far.
qint64 seriesPerSecond(const Progress &progress);
// The progress as the command line and the window both say it:
// "рассчитано рядов: 1200, пропущено: 3, 5400 рядов/с, осталось около 12 с".
QString progressText(const Progress &progress);

struct Result {
    qint64 computed = 0;
    qint64 skipped = 0;
    bool failed = false; // something could not be read or written
    bool stopped = false; // stopped before the end of the table
};

// A computed series as the summary holds it.
struct Row {
    table::Series series;
    std::vector<summary::CellValue> cells; // the columns the sink wants, in the summary's order
    // A region's row: its territories' funnel plot.
    std::shared_ptr<const summary::FunnelInput> funnel;
};

// Run: the table, the summary or the segments table, a folder, or a sync
// of the files; the run ends, and no file it was to replace is replaced.
// SeriesFile: one series' report or chart; that file is missing, the run
// goes on and its result says it failed.
enum class Scope { Run, SeriesFile };

// What a run tells the one who started it.
//
// Every call comes from the thread that called Engine::run(), never from
// a thread that computes, one call at a time, in this order:
// - note(): how the table is read, before any series;
// - begin(): once, before the first row, and only when wantsRows();
// - skipped(), failed(), row(), progress(): as the table's batches are
//   taken, in the table's order (rows in the order of their series);
// - finished(): last, exactly once, also when the run could not begin.
//   Nothing comes after it.
//
// A failure of Scope::Run ends the run: no batch is taken after the one it
// came with. The one exception is the table itself breaking off: a long
// table, read whole before its first series, tells that first and then
// the series it read before the break. A run that failed, or was stopped,
// replaces no file: a summary, segments table or document that existed
// stays as it was. Standard output keeps the rows already written.
//
// begin(), skipped(), row() and progress() return whether the run goes on.
// false stops it as Engine::stop() does: the batch at hand is told to its
// end, no batch is taken after it, no file is replaced, and finished()
// says the run was stopped. After begin() has said no, no series is read.
class Sink
{
public:
    virtual ~Sink() = default;
    virtual void note(const table::Problem &note) = 0;
    virtual bool skipped(const table::Problem &skip) = 0;
    virtual void failed(const table::Problem &failure, Scope scope) = 0;
    // After each batch of the table, and now and then while a long table
    // is read.
    virtual bool progress(const Progress &progress) = 0;
    // Whether row() is wanted: building rows costs a little for each series.
    virtual bool wantsRows() const { return false; }
    // Which of the summary's columns a row holds: a window that shows a few
    // keeps hundreds of thousands of rows.
    virtual bool wantsColumn(const summary::Column &column) const
    {
        (void)column;
        return true;
    }
    // The table's label names, the columns a row holds, and what the values
    // are (a chart's axis names it).
    virtual bool begin(const QStringList &labelNames, const std::vector<summary::Column> &columns,
        const QString &valueName)
    {
        (void)labelNames;
        (void)columns;
        (void)valueName;
        return true;
    }
    virtual bool row(Row &&row)
    {
        (void)row;
        return true;
    }
    virtual void finished(const Result &result) { (void)result; }
};

class Engine
{
public:
    // The options are copied: the one who made them may change its own.
    Engine(Options options, Sink &sink)
        : options(std::move(options))
        , sink(sink)
    { }
    // Options that do not validate() end the run at once, told as a failure.
    Result run();
    // Asks the run to stop at the next series. Safe from any thread, and
    // from a signal handler: it only sets a flag.
    void stop() noexcept { stopping.store(true, std::memory_order_relaxed); }

private:
    const Options options;
    Sink &sink;
    std::atomic<bool> stopping {false};
};

} // namespace engine
