// SPDX-License-Identifier: MIT
#include "run.h"

#include "encoding.h"
#include "filenames.h"
#include "ols.h"
#include "reportfile.h"
#include "seriessource.h"
#include "stagedfile.h"
#include "trendcore.h"
#include "xlsxsheet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>
#include <QThread>

#include <cstdio>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <optional>

namespace batch {

namespace {

// What one batch of series gives, in the batch's order: the summary rows,
// and the lines and files that the run's own thread then tells or names.
struct Outcome {
    struct Event {
        enum Kind { Skipped, Failure, Files } kind;
        QString text; // Skipped: the whole line; Failure: the reason
        QStringList labels; // Files: the series' labels, for the file names
        QString where; // Files: "FILE:LINE: LABEL"
        std::optional<StagedFile> report, chart;
    };
    QByteArray rows;
    std::vector<Event> events;
    qint64 computed = 0;
    bool ended = false; // a failure that nothing in the table follows
};

class Run
{
public:
    Run(const Options &options, QTextStream &err)
        : o(options)
        , err(err)
    { }

    int exec()
    {
        if (!openInput() || !openOutput() || !makeDir(o.reportsDir) || !makeDir(o.chartsDir))
            return Failure;
        SeriesSource source(in.get(), fileName,
            {o.longLayout, sheetName.isEmpty() ? o.delimiter : '\t', !o.reportsDir.isEmpty(),
                o.batchBytes, sheetName, o.rates});
        QString error;
        if (!source.start(&error)) {
            fatal(error);
            return Failure;
        }
        if (o.format == SummaryFormat::Xlsx)
            summary
                = SummaryWriter::createXlsx(o.output, source.labelNames(), o.rates.on(), &error);
        else
            summary = SummaryWriter::create(out, o.format, source.labelNames(), o.rates.on());
        if (!summary) {
            fatal(QStringLiteral("%1: %2").arg(o.output, error));
            return Failure;
        }
        valueName = source.valueName();
        clock.start();
        readAll(source);
        finishProgress();
        if (o.format == SummaryFormat::Xlsx && inputIncomplete) {
            summary->cancel(); // a summary of part of the table must not pass for the whole
            failed = true;
        } else if (!summary->finish()) {
            summaryFailure(summary->errorString());
            if (outputFile)
                outputFile->cancelWriting();
            failed = true;
        } else if (!closeOutput()) {
            failed = true;
        }
        if (failed)
            return Failure;
        return skips ? SomeSkipped : AllComputed;
    }

private:
    // Batches are computed on up to `jobs` threads while this one reads
    // the next; their outcomes are taken in the table's order.
    void readAll(SeriesSource &source)
    {
        jobs = o.jobs > 0 ? o.jobs : std::max(1, QThread::idealThreadCount());
        std::deque<std::future<Outcome>> running;
        bool ended = false;
        SourceBatch batch;
        while (!ended && source.nextBatch(batch)) {
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
            if (ended)
                discard(outcome.get());
            else
                ended = take(outcome.get());
        }
    }

    // Runs on a worker thread: reads nothing but `batch`, writes nothing
    // but temporary files.
    Outcome compute(const SeriesSource &source, SourceBatch &batch) const
    {
        Outcome outcome;
        outcome.rows = spareRows();
        source.read(batch, [&](SourceItem &item) {
            if (item.series) {
                compute(*item.series, outcome);
            } else if (!item.failure.isEmpty()) {
                outcome.events.push_back({Outcome::Event::Failure, item.failure, {}, {}, {}, {}});
                outcome.ended = source.failureEnds();
            } else {
                outcome.events.push_back(
                    {Outcome::Event::Skipped, item.skip.message(), {}, {}, {}, {}});
            }
            return !outcome.ended;
        });
        return outcome;
    }

    void compute(const Series &s, Outcome &outcome) const
    {
        const qint16 n = qint16(s.values.size());
        const trend::TrendResult r = trend::calculate(s.values, n);
        const OlsFit ols = fitOverYears(s.years, s.values);
        const TrendTests tests = trendTests(s.years, s.values);
        summary->formatRow(outcome.rows, {s, r, ols, tests});
        ++outcome.computed;
        if (o.reportsDir.isEmpty() && o.chartsDir.isEmpty())
            return;
        Outcome::Event files {Outcome::Event::Files, {}, s.labels,
            QStringLiteral("%1: %2").arg(
                place(s.file, sheetName, s.line), echoed(displayLabel(s.labels, s.line))),
            {}, {}};
        if (!o.reportsDir.isEmpty())
            files.report
                = stageFile(o.reportsDir, trend::fileBytes(trend::reportText(s.years, s.typed, r)));
        if (!o.chartsDir.isEmpty()) {
            const QByteArray chart = renderChart(o.chartFormat, {s, r, ols, tests}, valueName);
            if (chart.isEmpty())
                files.chart
                    = StagedFile {{}, QObject::tr("изображение не построено"), false, false};
            else
                files.chart = stageFile(o.chartsDir, chart);
        }
        outcome.events.push_back(std::move(files));
    }

    // Tells, names and writes what a batch gave; true when the table
    // ends there.
    bool take(Outcome outcome)
    {
        summary->append(outcome.rows);
        giveBack(std::move(outcome.rows));
        computed += outcome.computed;
        // The batch's files become durable before any takes its name.
        const bool durable = outcome.events.empty() || (sync(o.reportsDir) && sync(o.chartsDir));
        for (Outcome::Event &event : outcome.events) {
            switch (event.kind) {
            case Outcome::Event::Skipped:
                finishProgress();
                err << event.text << Qt::endl;
                ++skips;
                break;
            case Outcome::Event::Failure:
                fatal(event.text);
                failed = true;
                inputIncomplete = true;
                break;
            case Outcome::Event::Files:
                if (durable)
                    name(event);
                else
                    discard(event);
                break;
            }
        }
        progress();
        return outcome.ended;
    }

    void name(const Outcome::Event &files)
    {
        const QString stem = names.next(files.labels);
        const auto place = [&](const std::optional<StagedFile> &staged, const QString &dir,
                               const QString &suffix, const char *what) {
            if (!staged)
                return;
            const QString path = QDir(dir).filePath(stem + suffix);
            QString why;
            if (!commitStaged(*staged, path, &why))
                outputFailure(files.where, QObject::tr(what).arg(path, why));
        };
        place(files.report, o.reportsDir, QStringLiteral(".txt"),
            QT_TR_NOOP("отчёт %1 не записан: %2"));
        place(files.chart, o.chartsDir,
            o.chartFormat == ChartFormat::Svg ? QStringLiteral(".svg") : QStringLiteral(".png"),
            QT_TR_NOOP("график %1 не записан: %2"));
    }

    bool sync(const QString &dir)
    {
        QString why;
        if (dir.isEmpty() || syncFolder(dir, &why))
            return true;
        fatal(QObject::tr("%1: файлы не записаны на диск (%2)").arg(dir, why));
        failed = true;
        return false;
    }

    static void discard(const Outcome::Event &event)
    {
        if (event.report)
            discardStaged(*event.report);
        if (event.chart)
            discardStaged(*event.chart);
    }

    static void discard(const Outcome &outcome)
    {
        for (const Outcome::Event &event : outcome.events)
            discard(event);
    }

    void fatal(const QString &message)
    {
        finishProgress();
        err << "vantorel-batch: " << message << Qt::endl;
    }

    bool openInput()
    {
        fileName = o.input;
        auto file = std::make_unique<QFile>(o.input);
        if (o.input == QLatin1String("-")) {
            if (!file->open(stdin, QIODevice::ReadOnly)) {
                fatal(QObject::tr("стандартный ввод не открыт"));
                return false;
            }
        } else if (!file->open(QIODevice::ReadOnly)) {
            fatal(QObject::tr("%1: файл не открыт (%2)").arg(o.input, file->errorString()));
            return false;
        }
        // A workbook by another name is known by its first bytes, and so is
        // the binary workbook of Excel 97-2003, which is not read.
        const QByteArray magic = file->peek(8);
        if (isWorkbookName(o.input) || !o.sheet.isEmpty() || magic.startsWith("PK\x03\x04"))
            return openWorkbook(*file);
        if (magic == QByteArrayView("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
            fatal(QObject::tr("%1: книга Excel 97–2003 (.xls) не читается; сохраните её как "
                              ".xlsx или CSV")
                      .arg(o.input));
            return false;
        }
        in = std::move(file);
        decode();
        return true;
    }

    // A workbook's sheet, read as a tab-delimited UTF-8 table. A named file
    // is opened by libzip itself; standard input is read whole, since a
    // zip's directory is at its end.
    bool openWorkbook(QFile &file)
    {
        QString error;
        const std::unique_ptr<Workbook> book = o.input == QLatin1String("-")
            ? Workbook::fromData(file.readAll(), &error)
            : Workbook::open(o.input, &error);
        if (book)
            in = book->sheet(o.sheet, &error);
        if (!in) {
            fatal(QStringLiteral("%1: %2").arg(fileName, error));
            return false;
        }
        sheetName = o.sheet.isEmpty() ? book->sheetNames().constFirst() : o.sheet;
        return true;
    }

    void decode()
    {
        Encoding encoding = o.encoding;
        if (encoding == Encoding::Detect && !looksLikeUtf8(*in)) {
            encoding = Encoding::Cp1251;
            err << QObject::tr("vantorel-batch: %1: текст не в UTF-8, читается как CP1251")
                       .arg(fileName)
                << Qt::endl;
        }
        if (encoding == Encoding::Cp1251)
            in = fromCp1251(std::move(in));
    }

    bool openOutput()
    {
        if (o.format == SummaryFormat::Xlsx)
            return true; // the workbook writes its own file
        if (o.output.isEmpty()) {
            stdoutFile = std::make_unique<QFile>();
            if (!stdoutFile->open(stdout, QIODevice::WriteOnly)) {
                fatal(QObject::tr("стандартный вывод не открыт"));
                return false;
            }
            out = stdoutFile.get();
            return true;
        }
        outputFile = std::make_unique<QSaveFile>(o.output);
        if (!outputFile->open(QIODevice::WriteOnly)) {
            fatal(QObject::tr("%1: файл не создан (%2)").arg(o.output, outputFile->errorString()));
            return false;
        }
        out = outputFile.get();
        return true;
    }

    bool closeOutput()
    {
        if (!outputFile && !stdoutFile)
            return true;
        if (outputFile) {
            // A summary of part of the table must not pass for the whole;
            // a report or chart that could not be written takes nothing
            // from the summary, which is kept.
            if (inputIncomplete) {
                outputFile->cancelWriting();
                return false;
            }
            if (!outputFile->commit()) {
                summaryFailure(outputFile->errorString());
                return false;
            }
            return true;
        }
        if (!stdoutFile->flush() || stdoutFile->error() != QFileDevice::NoError) {
            summaryFailure(stdoutFile->errorString());
            return false;
        }
        return true;
    }

    void summaryFailure(const QString &reason)
    {
        if (outputFile)
            fatal(QObject::tr("%1: сводка не записана (%2)").arg(o.output, reason));
        else
            fatal(QObject::tr("сводка не записана в стандартный вывод (%1)").arg(reason));
    }

    bool makeDir(const QString &dir)
    {
        if (dir.isEmpty() || QDir().mkpath(dir))
            return true;
        fatal(QObject::tr("%1: папка не создана").arg(dir));
        return false;
    }

    void outputFailure(const QString &where, const QString &what)
    {
        finishProgress();
        err << where << ": " << what << Qt::endl;
        failed = true;
    }

    void progress()
    {
        const qint64 elapsed = clock.elapsed();
        if (!o.progress || elapsed < 1000 || (shown && elapsed - lastShown < 200))
            return;
        lastShown = elapsed;
        shown = true;
        err << "\r"
            << QObject::tr("рассчитано рядов: %1, пропущено: %2, %3 рядов/с")
                   .arg(computed)
                   .arg(skips)
                   .arg(qRound64(double(computed + skips) * 1000 / double(elapsed)))
            << "\033[K" << Qt::flush;
    }

    void finishProgress()
    {
        if (shown) {
            err << "\r\033[K" << Qt::flush;
            shown = false;
        }
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
    int jobs = 1; // threads that compute batches
    mutable std::mutex spareLock;
    mutable std::vector<QByteArray> spare; // at most jobs + 1
    QTextStream &err;
    QString fileName;
    QString sheetName; // of a workbook; empty for a text table
    std::unique_ptr<QIODevice> in;
    std::unique_ptr<QFile> stdoutFile;
    std::unique_ptr<QSaveFile> outputFile;
    QIODevice *out = nullptr;
    std::unique_ptr<SummaryWriter> summary;
    QString valueName;
    FileNamer names;
    QElapsedTimer clock;
    qint64 lastShown = 0;
    bool shown = false;
    qint64 computed = 0;
    qint64 skips = 0;
    bool failed = false;
    bool inputIncomplete = false;
};

} // namespace

int run(const Options &options, QTextStream &err)
{
    return Run(options, err).exec();
}

} // namespace batch
