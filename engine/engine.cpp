// SPDX-License-Identifier: MIT
#include "engine.h"

#include "filenames.h"
#include "ols.h"
#include "reportfile.h"
#include "seriessource.h"
#include "stagedfile.h"
#include "tableinput.h"
#include "trendcore.h"
#include "trendtests.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QThread>

#include <cstdio>
#include <deque>
#include <future>
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
    struct Event {
        enum Kind { Skipped, Failure, Computed } kind;
        Problem problem; // Skipped, Failure: what and where; Computed: where
        QStringList labels; // Computed: for the file names
        std::optional<summary::StagedFile> report, chart;
        std::optional<Row> row;
    };
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
    { }

    Result exec()
    {
        if (open()) {
            clock.start();
            readAll(*source);
            finish();
        }
        result.failed = failed;
        sink.finished(result);
        return result;
    }

private:
    // The table, the summary and the folders; false when one cannot be
    // opened, which the sink has been told.
    bool open()
    {
        if (!openInput() || !openOutput() || !makeDir(o.reportsDir, reports)
            || !makeDir(o.chartsDir, charts))
            return false;
        source.emplace(input.device.get(), input.fileName,
            table::SourceOptions {o.longLayout, input.sheet.isEmpty() ? o.delimiter : '\t',
                !o.reportsDir.isEmpty() || wantsRows, o.batchBytes, input.sheet, o.rates});
        Problem error;
        if (!source->start(&error))
            return fatal(error);
        if (!createWriter())
            return false;
        valueName = source->valueName();
        std::vector<summary::Column> wanted;
        for (const summary::Column &column : model()) {
            if (wantsRows && sink.wantsColumn(column))
                wanted.push_back(column);
        }
        rowColumns = wanted;
        sink.begin(source->labelNames(), wanted, valueName);
        return true;
    }

    const std::vector<summary::Column> &model() const
    {
        return summary::summaryColumns(o.rates.on(), o.joinpoints.has_value());
    }

    bool createWriter()
    {
        QString why;
        if (o.format == summary::SummaryFormat::None)
            return true;
        const QStringList labels = source->labelNames();
        if (o.format == summary::SummaryFormat::Xlsx) {
            writer = summary::SummaryWriter::createXlsx(target->fileName(), labels, model(),
                o.joinpoints ? &summary::segmentColumns() : nullptr, &why);
            if (writer)
                segments = writer->segmentsSheet();
        } else {
            writer = summary::SummaryWriter::create(out, o.format, labels, model());
        }
        if (!writer)
            return fatal(Problem::about(o.output, why));
        if (o.segments.isEmpty())
            return true;
        segmentsTarget = summary::StagedTarget::open(o.segments, &why);
        if (!segmentsTarget)
            return fatal(Problem::about(o.segments, QObject::tr("файл не создан (%1)").arg(why)));
        segments = summary::SummaryWriter::create(
            &segmentsTarget->file(), o.format, labels, summary::segmentColumns());
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

    // Batches are computed on up to `jobs` threads while this one reads
    // the next; their outcomes are taken in the table's order.
    void readAll(table::SeriesSource &source)
    {
        jobs = o.jobs > 0 ? o.jobs : std::max(1, QThread::idealThreadCount());
        std::deque<std::future<Outcome>> running;
        bool ended = false;
        table::SourceBatch batch;
        while (!ended && !stopped() && source.nextBatch(batch)) {
            if (jobs == 1) {
                ended = take(compute(source, batch));
                continue;
            }
            running.push_back(std::async(std::launch::async,
                [this, &source, b = std::move(batch)]() mutable { return compute(source, b); }));
            if (qsizetype(running.size()) > jobs) {
                ended = take(running.front().get());
                running.pop_front();
            }
        }
        for (auto &outcome : running) {
            if (ended || stopped())
                discard(outcome.get());
            else
                ended = take(outcome.get());
        }
    }

    // How much of the table lies behind: read, for a table that streams;
    // taken, for a long one, which is read whole first.
    double done() const
    {
        const qint64 items = source->itemCount();
        if (items > 0)
            return double(result.computed + result.skipped) / double(items);
        return input.fractionRead();
    }

    bool stopped()
    {
        result.stopped = result.stopped || stopping.load(std::memory_order_relaxed);
        return result.stopped;
    }

    // Runs on a worker thread: reads nothing but `batch`, writes nothing
    // but temporary files.
    Outcome compute(const table::SeriesSource &source, table::SourceBatch &batch) const
    {
        Outcome outcome;
        outcome.rows = spareRows();
        source.read(batch, [&](table::SourceItem &item) {
            if (stopping.load(std::memory_order_relaxed)) {
                outcome.stopped = true;
                return false;
            }
            if (item.series) {
                compute(*item.series, outcome);
            } else if (item.failure) {
                outcome.events.push_back({Outcome::Event::Failure, *item.failure, {}, {}, {}, {}});
                outcome.ended = source.failureEnds();
            } else {
                outcome.events.push_back({Outcome::Event::Skipped, item.skip, {}, {}, {}, {}});
            }
            return !outcome.ended;
        });
        return outcome;
    }

    void compute(table::Series &s, Outcome &outcome) const
    {
        const Computed c = computeSeries(s, o);
        const summary::RowInput row = c.row(s);
        if (writer)
            writer->formatRow(outcome.rows, row);
        if (segments && row.joinpoints) {
            summary::RowInput segment = row;
            for (; segment.segment < row.joinpoints->segments.size(); ++segment.segment)
                segments->formatRow(outcome.segmentRows, segment);
        }
        ++outcome.computed;
        if (o.reportsDir.isEmpty() && o.chartsDir.isEmpty() && !wantsRows)
            return;
        Outcome::Event event {Outcome::Event::Computed,
            {s.file, s.line, table::displayLabel(s.labels, s.line), {}, -1, input.sheet}, s.labels,
            {}, {}, {}};
        stageFiles(row, event);
        if (wantsRows) {
            std::vector<summary::CellValue> values = cells(row);
            event.row = Row {std::move(s), std::move(values)};
        }
        outcome.events.push_back(std::move(event));
    }

    std::vector<summary::CellValue> cells(const summary::RowInput &row) const
    {
        std::vector<summary::CellValue> values;
        values.reserve(rowColumns.size());
        for (const summary::Column &column : rowColumns)
            values.push_back(column.value(row));
        return values;
    }

    void stageFiles(const summary::RowInput &row, Outcome::Event &event) const
    {
        const table::Series &s = row.series;
        if (reports)
            event.report
                = reports->stage(trend::fileBytes(trend::reportText(s.years, s.typed, row.result)));
        if (charts) {
            const QByteArray chart = summary::renderChart(o.chartFormat, row, valueName);
            if (chart.isEmpty())
                event.chart = summary::StagedFile {
                    {}, QObject::tr("изображение не построено"), false, false};
            else
                event.chart = charts->stage(chart);
        }
    }

    // Tells, names and writes what a batch gave; true when the table
    // ends there.
    bool take(Outcome outcome)
    {
        if (outcome.stopped) {
            discard(outcome);
            result.stopped = true;
            return true;
        }
        if (writer)
            writer->append(outcome.rows);
        if (segments)
            segments->append(outcome.segmentRows);
        giveBack(std::move(outcome.rows));
        result.computed += outcome.computed;
        // The batch's files become durable before any takes its name.
        const bool durable = outcome.events.empty()
            || (sync(reports.get(), o.reportsDir) && sync(charts.get(), o.chartsDir));
        for (Outcome::Event &event : outcome.events)
            tell(event, durable);
        sink.progress({result.computed, result.skipped, clock.elapsed(), done()});
        return outcome.ended;
    }

    void tell(Outcome::Event &event, bool durable)
    {
        switch (event.kind) {
        case Outcome::Event::Skipped:
            ++result.skipped;
            sink.skipped(event.problem);
            break;
        case Outcome::Event::Failure:
            fatal(event.problem);
            inputIncomplete = true;
            break;
        case Outcome::Event::Computed:
            if (durable)
                name(event);
            else
                discard(event);
            if (event.row)
                sink.row(std::move(*event.row));
            break;
        }
    }

    void name(const Outcome::Event &files)
    {
        if (!files.report && !files.chart)
            return;
        const QString stem = names.next(files.labels);
        const auto place
            = [&](const std::optional<summary::StagedFile> &staged, const summary::Staging *area,
                  const QString &dir, const QString &suffix, const char *what) {
                  if (!staged)
                      return;
                  const QString path = QDir(dir).filePath(stem + suffix);
                  QString why;
                  if (!area->commit(*staged, path, &why)) {
                      Problem failure = files.problem;
                      failure.reason = QObject::tr(what).arg(path, why);
                      sink.failed(failure, Scope::SeriesFile);
                      failed = true;
                  }
              };
        place(files.report, reports.get(), o.reportsDir, QStringLiteral(".txt"),
            QT_TR_NOOP("отчёт %1 не записан: %2"));
        place(files.chart, charts.get(), o.chartsDir,
            o.chartFormat == summary::ChartFormat::Svg ? QStringLiteral(".svg")
                                                       : QStringLiteral(".png"),
            QT_TR_NOOP("график %1 не записан: %2"));
    }

    bool sync(const summary::Staging *area, const QString &dir)
    {
        QString why;
        if (!area || area->sync(&why))
            return true;
        return fatal(Problem::about(dir, QObject::tr("файлы не записаны на диск (%1)").arg(why)));
    }

    static void discard(const Outcome::Event &event)
    {
        if (event.report)
            summary::Staging::discard(*event.report);
        if (event.chart)
            summary::Staging::discard(*event.chart);
    }

    static void discard(const Outcome &outcome)
    {
        for (const Outcome::Event &event : outcome.events)
            discard(event);
    }

    // Tells the sink of a failure that ends the run; false, for returning.
    bool fatal(const Problem &problem)
    {
        sink.failed(problem, Scope::Run);
        failed = true;
        return false;
    }

    // The summary goes to a staged file that takes its name once whole, or
    // to standard output as it comes.
    bool openOutput()
    {
        if (o.format == summary::SummaryFormat::None)
            return true;
        if (!o.output.isEmpty() || o.format == summary::SummaryFormat::Xlsx) {
            QString why;
            target = summary::StagedTarget::open(o.output, &why);
            if (!target)
                return fatal(Problem::about(o.output, QObject::tr("файл не создан (%1)").arg(why)));
            out = &target->file();
            return true;
        }
        stdoutFile = std::make_unique<QFile>();
        if (!stdoutFile->open(stdout, QIODevice::WriteOnly))
            return fatal(Problem::about({}, QObject::tr("стандартный вывод не открыт")));
        out = stdoutFile.get();
        return true;
    }

    // The rows before a read failure still go to standard output, which
    // cannot take them back; a stopped run ends where it is.
    void finish()
    {
        if (!writer)
            return;
        if (stopped() || (inputIncomplete && o.format == summary::SummaryFormat::Xlsx)) {
            writer->cancel();
            target.reset();
            segmentsTarget.reset();
            return;
        }
        finishSegments();
        if (!writer->finish()) {
            summaryFailure(writer->errorString());
            target.reset();
        } else {
            closeOutput();
        }
    }

    // The segments table, whole before the summary: in a file of its own,
    // or as a sheet of the workbook, which closes with the summary.
    void finishSegments()
    {
        if (!segments)
            return;
        QString why;
        if (!segments->finish())
            why = segments->errorString();
        else if (segmentsTarget && !inputIncomplete)
            segmentsTarget->commit(&why);
        if (!why.isEmpty())
            fatal(Problem::about(o.segments.isEmpty() ? o.output : o.segments,
                QObject::tr("таблица отрезков не записана (%1)").arg(why)));
        segmentsTarget.reset();
    }

    void closeOutput()
    {
        QString why;
        if (target && inputIncomplete)
            target.reset();
        else if (target && !target->commit(&why))
            summaryFailure(why);
        else if (stdoutFile
            && (!stdoutFile->flush() || stdoutFile->error() != QFileDevice::NoError))
            summaryFailure(stdoutFile->errorString());
    }

    void summaryFailure(const QString &reason)
    {
        if (target)
            fatal(Problem::about(o.output, QObject::tr("сводка не записана (%1)").arg(reason)));
        else
            fatal(Problem::about(
                {}, QObject::tr("сводка не записана в стандартный вывод (%1)").arg(reason)));
    }

    // A folder for per-series files, and the run's staging folder in it.
    bool makeDir(const QString &dir, std::unique_ptr<summary::Staging> &area)
    {
        if (dir.isEmpty())
            return true;
        if (!QDir().mkpath(dir))
            return fatal(Problem::about(dir, QObject::tr("папка не создана")));
        QString why;
        area = summary::Staging::open(dir, &why);
        if (!area)
            return fatal(
                Problem::about(dir, QObject::tr("в папке нельзя создать файлы (%1)").arg(why)));
        return true;
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
        if (spare.size() <= std::size_t(jobs))
            spare.push_back(std::move(rows));
    }

    const Options &o;
    Sink &sink;
    const std::atomic<bool> &stopping;
    const bool wantsRows;
    std::vector<summary::Column> rowColumns; // what a row holds, for a sink that wants rows
    int jobs = 1; // threads that compute batches
    mutable std::mutex spareLock;
    mutable std::vector<QByteArray> spare; // at most jobs + 1
    table::Input input;
    std::optional<table::SeriesSource> source;
    std::unique_ptr<QFile> stdoutFile;
    std::unique_ptr<summary::StagedTarget> target; // the summary, unless on standard output
    std::unique_ptr<summary::Staging> reports, charts;
    QIODevice *out = nullptr;
    std::unique_ptr<summary::SummaryWriter> writer;
    std::unique_ptr<summary::SummaryWriter> segments; // the segments table, when asked for
    std::unique_ptr<summary::StagedTarget> segmentsTarget; // its file
    QString valueName;
    summary::FileNamer names;
    QElapsedTimer clock;
    Result result;
    bool failed = false;
    bool inputIncomplete = false;
};

} // namespace

Computed computeSeries(const table::Series &s, const Options &o)
{
    Computed c {trend::calculate(s.values, qint16(s.values.size())),
        stats::fitOverYears(s.years, s.exact), stats::trendTests(s.years, s.exact), std::nullopt};
    // The series' line seeds its permutations: the result does not depend
    // on threads, batches or the other series.
    if (o.joinpoints)
        c.joinpoints = stats::fitJoinpoints(s.years, s.exact, *o.joinpoints, quint64(s.line));
    return c;
}

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

Result Engine::run()
{
    return Run(options, sink, stopping).exec();
}

} // namespace engine
