// SPDX-License-Identifier: MIT
#include "engine/engine.h"

#include "analysis/territory.h"
#include "engine/private/batches.h"
#include "engine/private/outputs.h"
#include "engine/private/seriesfiles.h"
#include "table/seriessource.h"
#include "table/tableinput.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QObject>
#include <QScopeGuard>
#include <QThread>

#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace engine {

static_assert(std::atomic<bool>::is_always_lock_free, "stop() is called from signal handlers");

namespace {

using table::Problem;

// What one batch of series gives, in the batch's order: the summary rows,
// and what the run's own thread then tells, names or hands on.
struct Outcome {
    struct Skipped {
        Problem problem;
    };
    struct Failure {
        Problem problem;
    };
    struct Computed {
        Problem where;
        QStringList labels; // for the file names
        SeriesFiles::Staged files;
        std::optional<Row> row;
        // Held apart: most runs have none, and a batch's events are moved
        // as they grow.
        std::unique_ptr<summary::Document::Section> section;
        qint64 line = 0; // where the series starts
    };
    using Event = std::variant<Skipped, Failure, Computed>;

    QByteArray rows;
    QByteArray segmentRows; // of the segments table
    std::vector<Event> events;
    qint64 computed = 0;
    bool ended = false; // a failure that nothing in the table follows
    bool stopped = false; // left unfinished: the run was stopped
};

class Run
{
public:
    Run(const Options &options, Sink &sink, const std::atomic<bool> &stopping)
        : o(options)
        , sink(sink)
        , stopping(stopping)
        , wantsRows(sink.wantsRows())
        , outputs(options)
        , files(options)
    { }

    Result exec()
    {
        if (open()) {
            readAll();
            if (auto why = outputs.settle(stopped()    ? Outputs::End::Stopped
                        : runFailed || inputIncomplete ? Outputs::End::Failed
                                                       : Outputs::End::Whole))
                fatal(*why);
        }
        result.failed = failed;
        sink.finished(result);
        return result;
    }

private:
    // The table, the outputs and the folders; false when one cannot be
    // opened, which the sink has been told.
    bool open()
    {
        if (const auto why = validate(o))
            return fatal(Problem::about({}, *why));
        if (!openInput())
            return false;
        if (auto why = outputs.openTarget())
            return fatal(*why);
        if (auto why = files.open())
            return fatal(*why);
        table::SourceOptions read {o.longLayout, input.sheet.isEmpty() ? o.delimiter : '\t',
            !o.reportsDir.isEmpty() || wantsRows, o.batchBytes, input.sheet, o.rates, {}};
        // A long table is read whole before its first series: the run can
        // be stopped, and shows its progress, meanwhile.
        read.reading = [this] {
            if (!sink.progress({0, 0, clock.elapsed(), overall(tableRead())}))
                stopByAnswer();
            return !stopped();
        };
        clock.start();
        QIODevice *device = input.device.get();
        // Standard input cannot be read twice: with territories it is kept.
        if (!o.territory.isEmpty() && o.input == QLatin1String("-")) {
            kept.setData(device->readAll());
            kept.open(QIODevice::ReadOnly);
            device = &kept;
        }
        source.emplace(device, input.fileName, read);
        Problem error;
        if (!source->start(&error))
            return fatal(error);
        if (auto why = reportYearInTable())
            return fatal(*why);
        if (!o.territory.isEmpty() && !takeCensus(read))
            return false;
        if (auto why = outputs.begin(source->labelNames(), input.fileName))
            return fatal(*why);
        valueName = source->valueName();
        if (wantsRows) {
            for (const summary::Column &column : summary::summaryColumns(
                     o.rates.on(), o.analysis.joinpoints.has_value(), !o.territory.isEmpty())) {
                if (sink.wantsColumn(column))
                    rowColumns.push_back(column);
            }
            if (!sink.begin(source->labelNames(), rowColumns, valueName))
                stopByAnswer();
        }
        return true;
    }

    // A reporting year that no series can have, or a baseline that ends
    // where every series has ended, is a mistake of the options, told
    // before anything is written.
    std::optional<Problem> reportYearInTable()
    {
        const stats::ReportYearOptions &report = o.analysis.report;
        if (report.year == 0 && report.baselineTo == 0)
            return std::nullopt;
        const auto [first, last] = source->yearSpan();
        if (report.year == 0) {
            if (report.baselineTo < last || last < first) // a table without a year
                return std::nullopt;
            return Problem::about(input.fileName,
                QObject::tr("--baseline %1-%2: база должна кончаться раньше последнего года "
                            "таблицы (годы %3–%4)")
                    .arg(report.baselineFrom)
                    .arg(report.baselineTo)
                    .arg(first)
                    .arg(last));
        }
        if (report.year >= first && report.year <= last)
            return std::nullopt;
        return Problem::about(input.fileName,
            QObject::tr("--year %1: в таблице нет %1 года (годы %2–%3)")
                .arg(report.year)
                .arg(first)
                .arg(last));
    }

    // With territories, the whole table is read once before any series is
    // computed: a group's region and comparisons need all its territories.
    // A file is read again, standard input from what was kept of it.
    bool takeCensus(const table::SourceOptions &read)
    {
        const QStringList names = source->labelNames();
        const qsizetype column = names.indexOf(o.territory);
        if (column < 0) {
            QStringList quoted;
            for (const QString &name : names)
                quoted << QObject::tr("«%1»").arg(name);
            return fatal(Problem::about(input.fileName,
                names.isEmpty()
                    ? QObject::tr("--territory «%1»: в таблице нет столбцов меток").arg(o.territory)
                    : QObject::tr("--territory «%1»: такого столбца меток нет; столбцы меток: %2")
                          .arg(o.territory, quoted.join(QStringLiteral(", ")))));
        }
        census.emplace(column, o.analysis.report.year);
        std::optional<table::Input> again;
        QBuffer copy;
        QIODevice *device = &copy;
        if (kept.isOpen()) {
            copy.setData(kept.data());
            copy.open(QIODevice::ReadOnly);
        } else {
            Problem why;
            again = table::openInput({o.input, o.sheet, o.encoding}, &why);
            if (!again)
                return fatal(why);
            device = again->device.get();
        }
        table::SeriesSource first(device, input.fileName, read);
        censusRead = again ? again->fractionRead : [&copy] {
            return copy.size() > 0 ? double(copy.pos()) / double(copy.size()) : -1.0;
        };
        const auto forget = qScopeGuard([this] { censusRead = nullptr; });
        Problem error;
        if (!first.start(&error))
            return fatal(error);
        // The batches are read on threads, as for the run itself, and the
        // census takes their series in the table's order.
        struct Batch {
            std::vector<analysis::TerritoryCensus::Prepared> series;
            std::vector<std::pair<QString, qint64>> skips;
        };
        inOrder<table::SourceBatch>(
            jobs(), [&](table::SourceBatch &batch) { return !stopped() && first.nextBatch(batch); },
            [&](table::SourceBatch &batch) {
                Batch taken;
                auto &series = taken.series;
                auto &skips = taken.skips;
                first.read(batch, [&](table::SourceItem &item) {
                    if (auto *s = std::get_if<table::Series>(&item))
                        series.push_back(census->prepare(std::move(*s)));
                    else if (const auto *skip = std::get_if<table::Skip>(&item))
                        skips.push_back({skip->label, skip->line});
                    return !stopping.load(std::memory_order_relaxed);
                });
                return taken;
            },
            [&](Batch taken) {
                for (auto &s : taken.series)
                    census->add(std::move(s));
                for (const auto &[label, line] : taken.skips)
                    census->skipped(label, line, names.size());
                if (!sink.progress({0, 0, clock.elapsed(), overall(tableRead())}))
                    stopByAnswer();
                return !stopped();
            },
            [](const Batch &) {});
        if (stopped())
            return false;
        census->finish(jobs());
        return true;
    }

    bool openInput()
    {
        Problem why;
        auto opened = table::openInput({o.input, o.sheet, o.encoding}, &why);
        if (!opened)
            return fatal(why);
        input = std::move(*opened);
        if (input.detectedCp1251)
            sink.note(Problem::about(
                input.fileName, QObject::tr("текст не в UTF-8, читается как CP1251")));
        return true;
    }

    void readAll()
    {
        spareLimit = std::size_t(jobs());
        inOrder<table::SourceBatch>(
            jobs(),
            [this](table::SourceBatch &batch) { return !stopped() && source->nextBatch(batch); },
            [this](table::SourceBatch &batch) { return compute(batch); },
            [this](Outcome outcome) { return take(std::move(outcome)); },
            [](const Outcome &outcome) { discard(outcome); });
    }

    int jobs() const { return o.jobs > 0 ? o.jobs : std::max(1, QThread::idealThreadCount()); }

    // How much of the table lies behind: read, for a table that streams;
    // taken, for a long one, which is read whole first.
    double done() const
    {
        const qint64 items = source->itemCount();
        if (items > 0)
            return overall(std::min(1.0, double(result.computed + result.skipped) / double(items)));
        return overall(input.fractionRead());
    }

    // How much of the table the pass under way has read: the census's
    // reading while it lasts, then the run's.
    double tableRead() const { return censusRead ? censusRead() : input.fractionRead(); }

    // A pass's part of the whole run: with territories the census reads
    // the table first, at about a fifth of what the run costs (measured on
    // a national table), so that the bar and the time left go on from
    // where it ended.
    double overall(double passDone) const
    {
        constexpr double CensusShare = 0.2;
        if (passDone < 0 || o.territory.isEmpty())
            return passDone;
        if (censusRead)
            return CensusShare * passDone;
        // A long table read whole for its years before the census: its
        // part of the whole is not known.
        return census ? CensusShare + (1 - CensusShare) * passDone : -1;
    }

    bool stopped()
    {
        result.stopped = result.stopped || stopping.load(std::memory_order_relaxed);
        return result.stopped;
    }

    // The sink said to stop.
    void stopByAnswer() { result.stopped = true; }

    // Runs on a worker thread: reads nothing but `batch`, writes nothing
    // but temporary files.
    Outcome compute(table::SourceBatch &batch) const
    {
        Outcome outcome;
        outcome.rows = spareRows();
        source->read(batch, [&](table::SourceItem &item) {
            if (stopping.load(std::memory_order_relaxed)) {
                outcome.stopped = true;
                return false;
            }
            std::visit(
                summary::Overloaded {[&](table::Series &s) { compute(std::move(s), outcome); },
                    [&](table::Skip &skip) {
                        outcome.events.emplace_back(Outcome::Skipped {std::move(skip)});
                    },
                    [&](table::ReadFailure &failure) {
                        outcome.events.emplace_back(Outcome::Failure {std::move(failure.problem)});
                        outcome.ended = source->failureEnds();
                    }},
                item);
            return !outcome.ended;
        });
        return outcome;
    }

    void compute(table::Series &&series, Outcome &outcome) const
    {
        if (census) {
            for (const table::Series *region : census->regionsBefore(series.line))
                computeOne(table::Series(*region), outcome);
            if (census->movedAway(series.line))
                return;
        }
        computeOne(std::move(series), outcome);
    }

    void computeOne(table::Series &&series, Outcome &outcome) const
    {
        analysis::SeriesResult result = analysis::analyse(std::move(series), o.analysis);
        if (census) {
            if (const analysis::TerritoryComparison *c = census->comparison(result.series.line))
                result.territory = *c;
        }
        const summary::RowInput row {result};
        outputs.format(row, outcome.rows, outcome.segmentRows);
        ++outcome.computed;
        if (!files.wanted() && !wantsRows && o.document.isEmpty())
            return;
        table::Series &s = result.series;
        // A region's row brings its territories' funnel plot.
        std::vector<analysis::TerritoryCensus::Territory> territories;
        std::optional<summary::FunnelInput> funnel;
        if (result.territory && result.territory->region) {
            territories = census->territoriesOf(s.line);
            QStringList group = s.labels;
            group.removeAt(census->column());
            funnel
                = summary::funnelOf(group.join(QStringLiteral(" / ")), territories, s.unit, s.per);
        }
        Outcome::Computed event {
            {s.file, s.line, table::displayLabel(s.labels, s.line), {}, -1, input.sheet}, s.labels,
            files.stage(row, valueName, funnel ? &*funnel : nullptr), {}, {}, s.line};
        if (!o.document.isEmpty() && outputs.inDocument(s.line))
            event.section = std::make_unique<summary::Document::Section>(
                summary::Document::section(row, valueName, *summary::documentFormat(o.document)));
        if (event.section && funnel)
            event.section->territories = std::make_shared<const summary::Document::Territories>(
                summary::Document::territories(o.territory, territories, *funnel, !s.cases.empty(),
                    *summary::documentFormat(o.document)));
        if (wantsRows) {
            std::vector<summary::CellValue> values;
            values.reserve(rowColumns.size());
            for (const summary::Column &column : rowColumns)
                values.push_back(column.value(row));
            event.row = Row {std::move(s), std::move(values),
                funnel ? std::make_shared<const summary::FunnelInput>(*funnel) : nullptr};
        }
        outcome.events.emplace_back(std::move(event));
    }

    // Tells, names and writes what a batch gave; false when the run ends
    // there.
    bool take(Outcome outcome)
    {
        if (outcome.stopped || stopped()) {
            discard(outcome);
            result.stopped = true;
            return false;
        }
        outputs.append(outcome.rows, outcome.segmentRows);
        giveBack(std::move(outcome.rows));
        result.computed += outcome.computed;
        // The batch's files become durable before any takes its name; if
        // they cannot, the run ends here.
        if (!outcome.events.empty()) {
            if (auto why = files.sync()) {
                discard(outcome);
                return fatal(*why);
            }
        }
        for (Outcome::Event &event : outcome.events)
            tell(event);
        if (!sink.progress({result.computed, result.skipped, clock.elapsed(), done()}))
            stopByAnswer();
        return !outcome.ended && !runFailed && !result.stopped;
    }

    void tell(Outcome::Event &event)
    {
        std::visit(summary::Overloaded {[&](Outcome::Skipped &skipped) {
                                            ++result.skipped;
                                            if (!sink.skipped(skipped.problem))
                                                stopByAnswer();
                                        },
                       [&](Outcome::Failure &failure) {
                           // The table broke off: what was read before the
                           // break is still told, but no file is replaced.
                           sink.failed(failure.problem, Scope::Run);
                           failed = inputIncomplete = true;
                       },
                       [&](Outcome::Computed &computed) { tell(computed); }},
            event);
    }

    void tell(Outcome::Computed &event)
    {
        for (const QString &why : files.name(event.files, event.labels)) {
            Problem failure = event.where;
            failure.reason = why;
            sink.failed(failure, Scope::SeriesFile);
            failed = true;
        }
        if (event.row && !sink.row(std::move(*event.row)))
            stopByAnswer();
        if (event.section && !outputs.addSection(std::move(*event.section), event.line))
            fatal(Problem::about(o.document,
                QObject::tr("в документ входит не больше %1 рядов: отберите ряды в окне "
                            "«Эпидемическая тенденция: таблицы» или разделите таблицу")
                    .arg(summary::MaxDocumentSeries)));
    }

    static void discard(const Outcome &outcome)
    {
        for (const Outcome::Event &event : outcome.events) {
            if (const auto *computed = std::get_if<Outcome::Computed>(&event))
                SeriesFiles::discard(computed->files);
        }
    }

    // Tells the sink of a failure that ends the run; false, for returning.
    bool fatal(const Problem &problem)
    {
        sink.failed(problem, Scope::Run);
        failed = runFailed = true;
        return false;
    }

    // A batch's summary rows are a few megabytes. Their buffers are used
    // again once written: a fresh one for every batch, on every thread,
    // scatters the heap until a long run's peak memory grows with it.
    QByteArray spareRows() const
    {
        const std::lock_guard lock(spareLock);
        if (spare.empty())
            return {};
        QByteArray rows = std::move(spare.back());
        spare.pop_back();
        return rows;
    }

    void giveBack(QByteArray rows)
    {
        rows.resize(0);
        const std::lock_guard lock(spareLock);
        if (spare.size() <= spareLimit)
            spare.push_back(std::move(rows));
    }

    const Options &o;
    Sink &sink;
    const std::atomic<bool> &stopping;
    const bool wantsRows;
    std::vector<summary::Column> rowColumns; // what a row holds, for a sink that wants rows
    mutable std::mutex spareLock;
    mutable std::vector<QByteArray> spare; // at most one more than there are threads
    std::size_t spareLimit = 1;
    table::Input input;
    std::optional<table::SeriesSource> source;
    QBuffer kept; // standard input, read twice with territories
    std::optional<analysis::TerritoryCensus> census;
    std::function<double()> censusRead; // set while the census reads
    Outputs outputs;
    SeriesFiles files;
    QString valueName;
    QElapsedTimer clock;
    Result result;
    bool failed = false; // anything, a series' file too
    bool runFailed = false; // what ends the run
    bool inputIncomplete = false; // the table broke off
};

} // namespace

QString timeLeft(const Progress &p)
{
    if (!(p.done > 0 && p.done < 1) || p.elapsedMs < 1000 || p.elapsedMs / p.done < 5000)
        return {};
    const qint64 left = qRound64(double(p.elapsedMs) * (1 - p.done) / p.done / 1000);
    if (left < 60)
        return QObject::tr("около %1 с").arg(std::max<qint64>(left, 1));
    if (left < 3600)
        return QObject::tr("около %1 мин %2 с").arg(left / 60).arg(left % 60);
    return QObject::tr("около %1 ч %2 мин").arg(left / 3600).arg(left % 3600 / 60);
}

qint64 seriesPerSecond(const Progress &p)
{
    return p.elapsedMs > 0 ? qRound64(double(p.computed + p.skipped) * 1000 / double(p.elapsedMs))
                           : 0;
}

QString progressText(const Progress &p)
{
    // Before its first series a run is reading: a long table whole, or the
    // table's territories for their regions.
    QString text = p.computed + p.skipped == 0
        ? QObject::tr("таблица читается")
        : QObject::tr("рассчитано рядов: %1, пропущено: %2, %3 рядов/с")
              .arg(p.computed)
              .arg(p.skipped)
              .arg(seriesPerSecond(p));
    const QString left = timeLeft(p);
    if (!left.isEmpty())
        text += QObject::tr(", осталось %1").arg(left);
    return text;
}

Result Engine::run()
{
    return Run(options, sink, stopping).exec();
}

} // namespace engine
