// SPDX-License-Identifier: MIT
// The window over tables with a national table: how long it takes to
// compute and show it, to sort it by a number and by a label, and to
// filter it, and its peak memory.
//
//     build/bench/bench_tables TABLE      (offscreen, or under xvfb-run -a)
#include "tables/tableswindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include <cstdio>

namespace {

long peakKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

template<typename Work> double seconds(Work work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    QCoreApplication::processEvents();
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("bench_tables TABLE\n", stderr);
        return 2;
    }
    TablesWindow window;
    window.show();
    auto *view = window.findChild<QTableView *>();
    const double load = seconds([&] {
        window.openTable(QString::fromLocal8Bit(argv[1]));
        while (window.busy())
            QTest::qWait(20);
    });
    const int rows = view->model()->rowCount();
    const double byNumber = seconds([&] { view->sortByColumn(6, Qt::AscendingOrder); });
    const double byLabel = seconds([&] { view->sortByColumn(1, Qt::DescendingOrder); });
    QLineEdit *filter = nullptr;
    for (QLineEdit *edit : window.findChildren<QLineEdit *>())
        filter = edit->placeholderText().isEmpty() ? filter : edit;
    const double byText = seconds([&] { filter->setText(QStringLiteral("district12")); });
    const int matched = view->model()->rowCount();
    const double cleared = seconds([&] { filter->clear(); });
    auto *classes = window.findChildren<QComboBox *>().back();
    const double byClass = seconds([&] { classes->setCurrentIndex(1); });
    classes->setCurrentIndex(0);
    // Computed again while sorted by a label: each look merges its rows in.
    QAction *refresh = nullptr;
    for (QAction *action : window.findChildren<QAction *>())
        refresh = action->shortcut() == QKeySequence::Refresh ? action : refresh;
    const double sortedLoad = seconds([&] {
        refresh->trigger();
        while (window.busy())
            QTest::qWait(20);
    });
    std::printf("rows: %d, computed and shown in %.2f s\n", rows, load);
    std::printf("sort by a number: %.3f s; by a label: %.3f s\n", byNumber, byLabel);
    std::printf("filter by a label's part: %.3f s (%d rows); cleared: %.3f s; by class: %.3f s\n",
        byText, matched, cleared, byClass);
    std::printf("computed again, sorted by a label as rows arrive: %.2f s\n", sortedLoad);
    std::printf("peak memory: %.1f MB\n", double(peakKilobytes()) / 1024);
    return 0;
}
