// SPDX-License-Identifier: MIT
#include "run.h"

#include "filenames.h"
#include "ols.h"
#include "reportfile.h"
#include "seriessource.h"
#include "trendcore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace batch {

namespace {

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
        SeriesSource source(
            in.get(), fileName, {o.longLayout, o.delimiter, !o.reportsDir.isEmpty()});
        QString error;
        if (!source.start(&error)) {
            fatal(error);
            return Failure;
        }
        summary = SummaryWriter::create(out, o.format, source.labelNames());
        clock.start();

        SourceItem item;
        while (source.next(item)) {
            if (item.series) {
                compute(*item.series);
            } else if (!item.failure.isEmpty()) {
                fatal(item.failure);
                failed = true;
                inputIncomplete = true;
            } else {
                skipped(item.skip);
            }
        }
        finishProgress();
        if (!summary->finish()) {
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
    void fatal(const QString &message)
    {
        finishProgress();
        err << "vantorel-batch: " << message << Qt::endl;
    }

    void skipped(const Skip &skip)
    {
        finishProgress();
        err << skip.message() << Qt::endl;
        ++skips;
    }

    bool openInput()
    {
        if (o.input == QLatin1String("-")) {
            fileName = QStringLiteral("-");
            auto file = std::make_unique<QFile>();
            if (!file->open(stdin, QIODevice::ReadOnly)) {
                fatal(QObject::tr("стандартный ввод не открыт"));
                return false;
            }
            in = std::move(file);
            return true;
        }
        fileName = o.input;
        auto file = std::make_unique<QFile>(o.input);
        if (!file->open(QIODevice::ReadOnly)) {
            fatal(QObject::tr("%1: файл не открыт (%2)").arg(o.input, file->errorString()));
            return false;
        }
        in = std::move(file);
        return true;
    }

    bool openOutput()
    {
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

    void compute(const Series &s)
    {
        const qint16 n = qint16(s.values.size());
        const trend::TrendResult r = trend::calculate(s.values, n);
        const OlsFit ols = fitOverYears(s.years, s.values);
        summary->write({s, r, ols});

        if (!o.reportsDir.isEmpty() || !o.chartsDir.isEmpty()) {
            const QString stem = names.next(s.labels);
            const QString label = displayLabel(s.labels, s.line);
            QString why;
            if (!o.reportsDir.isEmpty()) {
                const QString path = QDir(o.reportsDir).filePath(stem + QStringLiteral(".txt"));
                if (!trend::writeTextFile(path, trend::reportText(s.years, s.typed, r), &why))
                    outputFailure(s, label, QObject::tr("отчёт %1 не записан: %2").arg(path, why));
            }
            if (!o.chartsDir.isEmpty()) {
                const bool svg = o.chartFormat == ChartFormat::Svg;
                const QString path
                    = QDir(o.chartsDir)
                          .filePath(stem + (svg ? QStringLiteral(".svg") : QStringLiteral(".png")));
                if (!writeChart(path, o.chartFormat, s, r, &why))
                    outputFailure(s, label, QObject::tr("график %1 не записан: %2").arg(path, why));
            }
        }
        ++computed;
        progress();
    }

    void outputFailure(const Series &s, const QString &label, const QString &what)
    {
        finishProgress();
        err << s.file << ':' << s.line << ": " << label << ": " << what << Qt::endl;
        failed = true;
    }

    void progress()
    {
        if (!o.progress || (computed & 1023) != 0 || clock.elapsed() < 1000)
            return;
        if (shown && clock.elapsed() - lastShown < 200)
            return;
        lastShown = clock.elapsed();
        shown = true;
        err << "\r" << QObject::tr("обработано рядов: %1").arg(computed) << Qt::flush;
    }

    void finishProgress()
    {
        if (shown) {
            err << "\r\033[K" << Qt::flush;
            shown = false;
        }
    }

    const Options &o;
    QTextStream &err;
    QString fileName;
    std::unique_ptr<QIODevice> in;
    std::unique_ptr<QFile> stdoutFile;
    std::unique_ptr<QSaveFile> outputFile;
    QIODevice *out = nullptr;
    std::unique_ptr<SummaryWriter> summary;
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
