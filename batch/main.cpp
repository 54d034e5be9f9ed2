// SPDX-License-Identifier: MIT
// vantorel-batch: the window's trend calculation over a whole table.
#include "batch/options.h"
#include "batch/stderrsink.h"
#include "engine/engine.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHashFunctions>
#include <QTextStream>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <unistd.h>

namespace {

// The toolkit's own notices (a missing runtime folder and the like) would
// mix with the reasons for skipped series; only its errors are shown.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "vantorel-batch: %s\n", qPrintable(message));
}

// Ctrl-C, a polite kill or a reader gone (the far end of a pipe closed)
// stops the run at the next series: it removes what it staged and leaves
// the summary's target as it was. A second signal while it cleans up ends
// the program at once; the next run into the same folders removes what is
// left.
std::atomic<engine::Engine *> running {nullptr};
volatile std::sig_atomic_t interruptedBy = 0;

extern "C" void interrupt(int signal)
{
    if (interruptedBy != 0) {
        // Each write to a pipe without a reader raises one more: the
        // write fails, and the clean-up goes on.
        if (signal == SIGPIPE)
            return;
        _exit(128 + signal);
    }
    interruptedBy = signal;
    if (engine::Engine *run = running.load())
        run->stop();
}

void catchInterrupts()
{
    struct sigaction action {
    };
    action.sa_handler = interrupt;
    action.sa_flags = SA_RESTART; // a read under way goes on; the run stops after it
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGPIPE, &action, nullptr);
}

int status(const engine::Result &result)
{
    if (result.stopped)
        return 128 + (interruptedBy != 0 ? int(interruptedBy) : SIGINT);
    if (result.failed)
        return batch::Failure;
    return result.skipped ? batch::SomeSkipped : batch::AllComputed;
}

} // namespace

int main(int argc, char **argv)
{
    // Each batch's buffers are a few megabytes. Kept in the heap once
    // freed, they are reused by the next batch, instead of being mapped
    // afresh, page by page, for every one.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    // The toolkit's hashes in one order: with one seed, a file it helps to
    // write is the same at every run, and the same as the window's.
    QHashSeed::setDeterministicGlobalSeed();
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    qInstallMessageHandler(quietMessages);
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));

    engine::Options o;
    bool quiet = false;
    if (const auto exit = batch::readCommandLine(args, o, &quiet))
        return *exit;

    // Charts need fonts, and so a GUI application object; no window is
    // ever shown, so no display is needed.
    std::unique_ptr<QCoreApplication> app;
    if (!o.chartsDir.isEmpty() || !o.document.isEmpty()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    QTextStream err(stderr);
    batch::StderrSink sink(err, isatty(STDERR_FILENO) && !quiet);
    engine::Engine run(o, sink);
    running = &run;
    catchInterrupts();
    const engine::Result result = run.run();
    running = nullptr;
    return status(result);
}
