// SPDX-License-Identifier: MIT
// The window over tables, offscreen: its rows are the command line's
// summary, its sorting sorts numbers, its filters filter, set before the
// rows arrive or after; what it saves is what vantorel-batch writes, and
// the table stays as it was after a save; a choice changed during a save
// waits for it, and a save asked during a computation is refused; a
// stopped run leaves nothing on disk; rows not saved are left only when the
// user says so. Qt's model tester watches the table and its filter in every
// test.
#include "summary/document.h"
#include "summary/filenames.h"
#include "tables/saveformats.h"
#include "tables/tableswindow.h"
#include "tests/testsupport.h"

#include <QAbstractItemModelTester>
#include <QAbstractProxyModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cmath>

namespace {

const QString Examples = QStringLiteral(VANTOREL_EXAMPLES_DIR "/");

// What vantorel-batch gives for `input`: its summary.
QByteArray commandLine(const QString &input, const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(VANTOREL_BATCH_PATH), QStringList {input, "-q"} + args);
    process.waitForFinished(60000);
    return process.readAllStandardOutput();
}

SummaryModel &modelOf(TablesWindow &window)
{
    auto *view = window.findChild<QTableView *>("rows");
    return *static_cast<SummaryModel *>(
        static_cast<QAbstractProxyModel *>(view->model())->sourceModel());
}

// A table opened in a window and computed, with no message on the way; a
// table of counts is read as rates without being told. A save asked while
// it is computed is refused, and the computation goes on to its end.
void open(TablesWindow &window, const QString &input)
{
    QAbstractItemModel *shown = window.findChild<QTableView *>("rows")->model();
    for (QAbstractItemModel *m : {shown, static_cast<QAbstractItemModel *>(&modelOf(window))})
        new QAbstractItemModelTester(m, QAbstractItemModelTester::FailureReportingMode::QtTest, m);
    ModalDriver driver;
    QVERIFY(window.openTable(input));
    QVERIFY(!window.saveSummary(QDir::temp().filePath("refused.csv"), summary::SummaryFormat::Csv));
    QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 60000);
    QVERIFY(window.unsaved());
    QCOMPARE(driver.unexpected, QStringList());
}

// The first label of each row shown, in order.
QStringList shownLabels(TablesWindow &window)
{
    QAbstractItemModel *shown = window.findChild<QTableView *>("rows")->model();
    QStringList labels;
    for (int row = 0; row < shown->rowCount(); ++row)
        labels << shown->index(row, 0).data().toString();
    return labels;
}

QAction *action(TablesWindow &window, const QKeySequence &shortcut)
{
    for (QAction *a : window.findChildren<QAction *>()) {
        if (a->shortcut() == shortcut)
            return a;
    }
    return nullptr;
}

} // namespace

class TestTables : public QObject
{
    Q_OBJECT

private slots:
    void rowsAsCommandLine_data();
    void rowsAsCommandLine();
    void sortAndFilter_data();
    void sortAndFilter();
    void savedAsCommandLine_data();
    void savedAsCommandLine();
    void typedEnding_data();
    void typedEnding();
    void choiceDuringSave();
    void leaveUnsaved_data();
    void leaveUnsaved();
    void runAfterRun();
    void stopLeavesNothing();
    void territories_data();
    void territories();

private:
    QTemporaryDir dir;
};

void TestTables::rowsAsCommandLine_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("UTF-8") << Examples + "surveillance.csv" << QStringList();
    QTest::newRow("CP1251") << Examples + "surveillance-cp1251.csv" << QStringList();
    QTest::newRow("workbook") << Examples + "surveillance.xlsx" << QStringList();
    const QStringList rates {"--cases", "случаи", "--population", "население"};
    QTest::newRow("rates from counts") << Examples + "counts.csv" << rates;
    // The report takes values as the form does, in single precision: here
    // its absolute change is 0.2375, not 0.24.
    QFile near(dir.filePath("near.csv"));
    QVERIFY(near.open(QIODevice::WriteOnly));
    near.write(
        "disease;2001;2002;2003;2004;2005\nX;100000,1;100000,2;100000,3;100000,2;100000,4\n");
    QTest::newRow("past single precision") << near.fileName() << QStringList();
}

// Each shown cell holds the command line's number in full, or its text,
// and each row, selected, shows the report the command line writes for it.
void TestTables::rowsAsCommandLine()
{
    QFETCH(QString, input);
    QFETCH(QStringList, args);
    TablesWindow window;
    open(window, input);
    const SummaryModel &model = modelOf(window);
    QTemporaryDir reports;
    const QList<QStringList> summary
        = csvTable(commandLine(input, args + QStringList {"--reports", reports.path()}));
    // Sorted down by a number: the view's rows are not the model's; no number goes last.
    auto *view = window.findChild<QTableView *>("rows");
    const int apc = model.column(summary::ColumnId::Apc);
    view->sortByColumn(apc, Qt::DescendingOrder);
    const auto &shown = dynamic_cast<const SeriesRows &>(*view->model());
    double above = qInf();
    for (int row = 0; row < model.rowCount(); ++row) {
        const double value = view->model()->index(row, apc).data(SummaryModel::SortRole).toDouble();
        QVERIFY(std::isnan(value) || value <= above); // no number after none
        above = value;
        view->selectRow(row);
        const QString report = summary::safeFileStem(shown.labels(row)) + ".txt";
        auto *texts = window.findChild<QTabWidget *>();
        QCOMPARE(static_cast<QPlainTextEdit *>(texts->widget(0))->toPlainText().toUtf8(),
            contents(reports.filePath(report)));
        QVERIFY(static_cast<QPlainTextEdit *>(texts->widget(1))->toPlainText().startsWith("В 20"));
    }
    QCOMPARE(model.rowCount(), summary.size() - 1);
    for (int column = 0; column < model.columnCount(); ++column) {
        const qsizetype at = summary[0].indexOf(model.columnKey(column));
        QVERIFY2(at >= 0, qPrintable(model.columnKey(column)));
        for (int row = 0; row < model.rowCount(); ++row) {
            const QString want = summary[row + 1][at];
            bool number = false;
            const double value = want.toDouble(&number);
            if (model.numeric(column) && (number || want == u"nan"))
                QVERIFY2(model.number(row, column) == value
                        || (std::isnan(value) && std::isnan(model.number(row, column))),
                    qPrintable(model.columnKey(column)));
            else if (model.columnKey(column) != u"trend_class_ru")
                QCOMPARE(model.text(row, column), want);
            // An empty APC or joinpoint cell says why, in the note's words.
            const QString key = model.columnKey(column);
            const bool apcCell = key.startsWith(u"apc");
            if (want.isEmpty() && (apcCell || key.startsWith(u"jp_") || key.startsWith(u"aapc")))
                QCOMPARE(model.index(row, column).data(Qt::ToolTipRole).toString(),
                    summary[row + 1][summary[0].indexOf(apcCell ? "apc_note" : "jp_note")]);
        }
    }
    // The class coloured by the trend's direction, one colour each; a
    // stable trend not at all.
    const qsizetype rate = summary[0].indexOf("average_annual_change_rate");
    const qsizetype trendClass = summary[0].indexOf("trend_class");
    int classes = 0;
    while (model.columnKey(classes) != u"trend_class_ru")
        ++classes;
    QMap<bool, QSet<QRgb>> colours;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QVariant brush = model.index(row, classes).data(Qt::BackgroundRole);
        QCOMPARE(brush.isValid(), summary[row + 1][trendClass] != u"stable");
        if (brush.isValid())
            colours[summary[row + 1][rate].toDouble() > 0] << brush.value<QBrush>().color().rgb();
    }
    for (const bool rising : colours.keys()) {
        QCOMPARE(colours[rising].size(), 1); // rising the alarm's red, falling green
        QCOMPARE(qRed(*colours[rising].begin()) > qGreen(*colours[rising].begin()), rising);
    }
}

void TestTables::sortAndFilter_data()
{
    QTest::addColumn<int>("column"); // a summary's column; -1: the first label
    QTest::addColumn<bool>("down"); // descending
    QTest::addColumn<QString>("labels"); // matched
    QTest::addColumn<RowFilter>("kind");
    QTest::addColumn<QStringList>("first"); // the first label of each row shown
    const int rate = int(summary::ColumnId::AverageAnnualChangeRate);
    const int p = int(summary::ColumnId::OlsPValue);
    const QStringList byLabel {"Коклюш", "Коклюш", "Корь", "Туберкулёз", "Туберкулёз"};
    const RowFilter moderate = trend::TrendClass::Moderate;
    QTest::newRow("a rate, numbers not text")
        << rate << false << "" << RowFilter()
        << QStringList {"Туберкулёз", "Коклюш", "Туберкулёз", "Корь", "Коклюш"};
    QTest::newRow("a rate, down") << rate << true << "" << RowFilter()
                                  << QStringList {
                                         "Коклюш", "Корь", "Туберкулёз", "Коклюш", "Туберкулёз"};
    QTest::newRow("a p-value") << p << false << "" << RowFilter()
                               << QStringList {
                                      "Туберкулёз", "Туберкулёз", "Коклюш", "Коклюш", "Корь"};
    QTest::newRow("labels") << -1 << false << "" << RowFilter() << byLabel;
    QTest::newRow("labels, down") << -1 << true << "" << RowFilter()
                                  << QStringList(byLabel.rbegin(), byLabel.rend());
    QTest::newRow("a label's part, any case")
        << -1 << false << "ТУБ" << RowFilter() << QStringList {"Туберкулёз", "Туберкулёз"};
    QTest::newRow("a district") << -1 << false << "южн" << RowFilter()
                                << QStringList {"Коклюш", "Туберкулёз"};
    QTest::newRow("moderate") << -1 << false << "" << moderate << byLabel;
    QTest::newRow("pronounced") << -1 << false << "" << RowFilter(trend::TrendClass::Pronounced)
                                << QStringList();
    QTest::newRow("stable") << -1 << false << "" << RowFilter(trend::TrendClass::Stable)
                            << QStringList();
    QTest::newRow("above expected")
        << -1 << false << "" << RowFilter(stats::Verdict::Above) << QStringList {"Коклюш"};
    QTest::newRow("below expected")
        << -1 << false << "" << RowFilter(stats::Verdict::Below) << QStringList {"Корь"};
    QTest::newRow("within, by the change to last year, down")
        << int(summary::ColumnId::ChangePrevPct) << true << "" << RowFilter(stats::Verdict::Within)
        << QStringList {"Коклюш", "Туберкулёз", "Туберкулёз"};
    // The command line's verdicts, in words: «в пределах» before «выше»
    // before «ниже»; ties in the table's order.
    const int verdict = int(summary::ColumnId::VerdictRu);
    QTest::newRow("the verdict") << verdict << false << "" << RowFilter()
                                 << QStringList {
                                        "Коклюш", "Туберкулёз", "Туберкулёз", "Коклюш", "Корь"};
    QTest::newRow("the verdict, down")
        << verdict << true << "" << RowFilter()
        << QStringList {"Корь", "Коклюш", "Коклюш", "Туберкулёз", "Туберкулёз"};
    QTest::newRow("a part and a class, down")
        << rate << true << "север" << moderate << QStringList {"Корь", "Коклюш", "Туберкулёз"};
}

// Set after the rows are shown, and set before they arrive: the rows that
// come then go to their places, or stay out.
void TestTables::sortAndFilter()
{
    QFETCH(int, column);
    QFETCH(bool, down);
    QFETCH(QString, labels);
    QFETCH(RowFilter, kind);
    QFETCH(QStringList, first);
    for (const bool before : {false, true}) {
        TablesWindow window;
        const auto choose = [&] {
            for (QLineEdit *edit : window.findChildren<QLineEdit *>()) {
                if (!edit->placeholderText().isEmpty())
                    edit->setText(labels);
            }
            auto *classes = window.findChildren<QComboBox *>().back();
            classes->setCurrentIndex(classes->findData(QVariant::fromValue(kind)));
            const auto layout = SummaryModel::layoutFor({"Болезнь", "Район"},
                summary::summaryColumns(false, true), stats::ExpectedBy::Normative);
            window.findChild<QTableView *>("rows")->model()->sort(
                column < 0 ? 0 : SummaryModel::columnIn(layout, summary::ColumnId(column)),
                down ? Qt::DescendingOrder : Qt::AscendingOrder);
        };
        if (before)
            choose();
        open(window, Examples + "surveillance.xlsx");
        if (!before)
            choose();
        QCOMPARE(shownLabels(window), first);
    }
}

void TestTables::savedAsCommandLine_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("xlsx") << int(summary::SummaryFormat::Xlsx) << QStringList {"--format", "xlsx"};
    QTest::newRow("CSV") << int(summary::SummaryFormat::Csv) << QStringList();
    QTest::newRow("CSV for Excel")
        << int(summary::SummaryFormat::ExcelCsv) << QStringList {"--excel-csv"};
    QTest::newRow("JSON, by Poisson bounds")
        << int(summary::SummaryFormat::Json)
        << QStringList {"--format", "json", "--expected-by", "poisson"};
    // Ticked, «база» offers the table's years but the last: here its blocks'.
    QTest::newRow("CSV, the baseline ticked")
        << int(summary::SummaryFormat::Csv) << QStringList {"--baseline", "2015-2020"};
    QTest::newRow("reports and charts") << -1 << QStringList {"--charts"};
    QTest::newRow("the annual report's document, titled")
        << -2 << QStringList {"--title", " Отчёт  области", "--document"};
}

// The bytes vantorel-batch writes; a workbook's parts but for the time it
// was made. Saved twice, with the table, its skipped series and both save
// actions as they were after each save.
void TestTables::savedAsCommandLine()
{
    QFETCH(int, format);
    QFETCH(QStringList, args);
    QTemporaryDir dir;
    TablesWindow window;
    for (QComboBox *box : window.findChildren<QComboBox *>()) {
        if (args.contains("poisson") && box->findText("нормативные") >= 0)
            box->setCurrentIndex(box->findData(int(stats::ExpectedBy::Poisson)));
    }
    for (QCheckBox *box : window.findChildren<QCheckBox *>()) {
        if (args.contains("--baseline") && box->text() == "&база:")
            box->setChecked(true);
    }
    for (QLineEdit *edit : window.findChildren<QLineEdit *>()) {
        if (args.contains("--title") && edit->placeholderText() == summary::defaultDocumentTitle())
            edit->setText(args.value(args.indexOf("--title") + 1));
    }
    open(window, Examples + "counts.csv");
    const QStringList rates {"--cases", "случаи", "--population", "население"};
    const QString batch = dir.filePath("batch");
    if (format == -2)
        commandLine(Examples + "counts.csv", args + QStringList {batch + ".odt"} + rates);
    else if (format < 0)
        commandLine(
            Examples + "counts.csv", args + QStringList {batch, "--reports", batch} + rates);
    else
        commandLine(Examples + "counts.csv", args + rates + QStringList {"-o", batch});
    const int rows = modelOf(window).rowCount();
    for (const QString name : {"window", "again"}) {
        const QString file = dir.filePath(name);
        QVERIFY(format == -2 ? window.saveDocument(file + ".odt")
                : format < 0 ? window.saveFiles(file, summary::ChartFormat::Svg)
                             : window.saveSummary(file, summary::SummaryFormat(format)));
        QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 60000);
        if (format == -2)
            QCOMPARE(workbookParts(file + ".odt"), workbookParts(batch + ".odt"));
        else if (format < 0)
            QCOMPARE(filesBelow(file), filesBelow(batch));
        else
            QCOMPARE(workbookParts(file), workbookParts(batch));
        QCOMPARE(modelOf(window).rowCount(), rows);
        QCOMPARE(window.findChild<QTreeWidget *>()->topLevelItemCount(), 1);
        QVERIFY(action(window, QKeySequence::Save)->isEnabled());
        QVERIFY(action(window, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S))->isEnabled());
        QCOMPARE(window.unsaved(), format < 0);
        QVERIFY(action(window, QKeySequence(Qt::CTRL | Qt::Key_D))->isEnabled());
    }
    if (!args.contains("--baseline"))
        return;
    // The base's end put at its start: the window names its own control.
    const QList<QSpinBox *> years = window.findChildren<QSpinBox *>();
    years[2]->setValue(years[1]->value());
    QTRY_COMPARE(window.statusBar()->findChild<QLabel *>()->text(),
        QString("База: начало должно быть раньше конца."));
}

void TestTables::typedEnding_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("filter"); // workbook, CSV, CSV for Excel, JSON
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("format");
    using F = summary::SummaryFormat;
    QTest::newRow("no ending") << "сводка" << 0 << "сводка.xlsx" << int(F::Xlsx);
    QTest::newRow(".csv with the workbook's filter")
        << "сводка.csv" << 0 << "сводка.csv" << int(F::Csv);
    QTest::newRow(".csv with Excel's CSV") << "сводка.csv" << 2 << "сводка.csv" << int(F::ExcelCsv);
    QTest::newRow(".JSON with CSV's") << "сводка.JSON" << 1 << "сводка.JSON" << int(F::Json);
    QTest::newRow(".xlsx with JSON's") << "с.xlsx" << 3 << "с.xlsx" << int(F::Xlsx);
    QTest::newRow("another ending") << "сводка.txt" << 3 << "сводка.txt.json" << int(F::Json);
}

void TestTables::typedEnding()
{
    QFETCH(QString, typed);
    QFETCH(int, filter);
    QFETCH(QString, file);
    QFETCH(int, format);
    const SummaryFile chosen = summaryFile(typed, filter);
    QCOMPARE(chosen.path, file);
    QCOMPARE(int(chosen.format), format);
}

// A save stopped writes nothing and leaves the summary unsaved. A choice
// changed while the summary is saved computes nothing: the save ends
// written, and the table is the one computed before.
void TestTables::choiceDuringSave()
{
    QTemporaryDir tables, out;
    TablesWindow window;
    QComboBox *joinpoints = nullptr;
    for (QComboBox *box : window.findChildren<QComboBox *>())
        joinpoints = box->findText("не искать") >= 0 ? box : joinpoints;
    joinpoints->setCurrentIndex(joinpoints->count() - 1);
    open(window, slowTable(tables.path(), 2000));
    const int rows = modelOf(window).rowCount();
    QVERIFY(window.saveSummary(out.filePath("stopped.csv"), summary::SummaryFormat::Csv));
    action(window, QKeySequence(Qt::Key_Escape))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 60000);
    QVERIFY(window.unsaved() && !QFile::exists(out.filePath("stopped.csv")));
    QVERIFY(window.saveSummary(out.filePath("summary.csv"), summary::SummaryFormat::Csv));
    joinpoints->setCurrentIndex(0);
    QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 60000);
    QCOMPARE(csvTable(contents(out.filePath("summary.csv"))).size(), rows + 1);
    QVERIFY(!window.unsaved());
    QCOMPARE(modelOf(window).rowCount(), rows);
}

void TestTables::leaveUnsaved_data()
{
    QTest::addColumn<QString>("way"); // closed, opened or dropped
    QTest::addColumn<int>("rows"); // those shown after
    QTest::addColumn<QString>("button");
    QTest::newRow("closed, kept") << "closed" << 2 << "&Отмена";
    QTest::newRow("another opened, kept") << "opened" << 2 << "&Отмена";
    QTest::newRow("another dropped, let go") << "dropped" << 6 << "&Открыть";
}

// Rows not saved are asked for, however they would be left.
void TestTables::leaveUnsaved()
{
    QFETCH(QString, way);
    QFETCH(int, rows);
    QFETCH(QString, button);
    TablesWindow window;
    open(window, Examples + "counts.csv");
    ModalDriver driver;
    QString asked;
    driver.expect(ModalDriver::answer(button, &asked));
    const QString other = Examples + "surveillance.csv";
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(other)});
    QDragEnterEvent enter(QPoint(), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QDropEvent drop(QPointF(), Qt::CopyAction, &mime, Qt::LeftButton, {});
    if (way == "closed")
        window.close();
    else if (way == "opened")
        window.openTable(other);
    else if (QApplication::sendEvent(&window, &enter))
        QApplication::sendEvent(&window, &drop); // to where the drag entered
    QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 60000);
    QCOMPARE(asked,
        "Сводка не сохранена | &Отмена | Результаты расчёта не сохранены. "
            + QString(way == "closed" ? "Закрыть окно" : "Открыть другую таблицу")
            + " без сохранения сводки?");
    QCOMPARE(modelOf(window).rowCount(), rows);
}

// A table that breaks off, computed twice: each run tells its own failure
// and skips, not the run's before.
void TestTables::runAfterRun()
{
    TablesWindow window;
    ModalDriver driver;
    QString first, second;
    driver.expect(ModalDriver::answer("OK", &first));
    driver.expect(ModalDriver::answer("OK", &second));
    writeFile(dir.filePath("broken.csv"),
        "район,2001,2002,2003,2004,2005\nа,1,2,3,4,5\nб,1,2\nв,\"1,2\n");
    QVERIFY(window.openTable(dir.filePath("broken.csv")));
    QTRY_VERIFY_WITH_TIMEOUT(!window.busy() && driver.pending() == 1, 60000);
    action(window, QKeySequence::Refresh)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!window.busy() && driver.pending() == 0, 60000);
    QCOMPARE(second, first);
    QVERIFY(first.contains("broken.csv:4"));
    QCOMPARE(window.findChild<QTreeWidget *>()->topLevelItemCount(), 1);
    QCOMPARE(driver.unexpected, QStringList());
}

// Stopped, a computation leaves the rows it had and writes nothing; a save
// leaves no file behind, hidden or not.
void TestTables::stopLeavesNothing()
{
    QTemporaryDir tables, out;
    const QString input = slowTable(tables.path(), 20000);
    TablesWindow window;
    QAction *stop = action(window, QKeySequence(Qt::Key_Escape));
    QVERIFY(window.openTable(input));
    QTimer::singleShot(300, stop, &QAction::trigger);
    QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 60000);
    QVERIFY(modelOf(window).rowCount() < 20000);
    QCOMPARE(filesBelow(tables.path()).keys(), QStringList {"slow20000.csv"});
    QVERIFY(window.saveSummary(out.filePath("summary.csv"), summary::SummaryFormat::Csv));
    QTimer::singleShot(300, stop, &QAction::trigger);
    QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 60000);
    QCOMPARE(filesBelow(out.path()).keys(), QStringList());
}

void TestTables::territories_data()
{
    QTest::addColumn<int>("select"); // a row of the table; -1: the risk filter
    QTest::addColumn<QStringList>("shown"); // the rows, or the tab's (* bold), then its note
    // The total row at the group's end comes first; ranks by rate.
    const QStringList measles {"*|Итого по области|41,1|50||||",
        "1|Тотемский|59,4|36|1,45|1,45 (1,01–2,00)|в пределах|",
        "2|Северный|29,1|6|0,71|0,71 (0,26–1,54)|в пределах|",
        "3|Южный|19,7|8|0,48|0,48 (0,21–0,95)|в пределах|"};
    QTest::newRow("risk only") << -1 << QStringList {"Грипп Округ 9", ""};
    QTest::newRow("a territory") << 2
                                 << measles
            + QStringList {"учтена избыточная дисперсия (φ = 3,40)"};
    QTest::newRow("the region") << 0 << measles + QStringList {""};
}

void TestTables::territories()
{
    QFETCH(int, select);
    QFETCH(QStringList, shown);
    QByteArray table = contents(VANTOREL_GOLDEN_DIR "/batch/territories/input.csv");
    for (int i = 0; i < 10; ++i) // enough districts for one to stand out as of risk
        table += "Грипп;Округ " + QByteArray::number(i) + QByteArray(";10").repeated(5)
            + (i == 9 ? ";40;40" : ";10;10") + QByteArray(";20000").repeated(7) + '\n';
    writeFile(dir.filePath("territories.csv"), table);
    TablesWindow window;
    open(window, dir.filePath("territories.csv"));
    const auto *tab = window.findChild<QTableWidget *>(); // the tab «Территории»'s
    QCOMPARE(tab->parent()->findChild<QLabel *>()->text(),
        "Выберите столбец территории в параметрах чтения");
    for (QComboBox *box : window.findChildren<QComboBox *>())
        box->setCurrentIndex(box->findText("нет") == 0 ? 2 : box->currentIndex()); // «Район»
    QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 60000);
    QComboBox *classes = window.findChildren<QComboBox *>().back();
    classes->setCurrentIndex(select < 0 ? classes->findText("территории риска") : 0);
    auto *view = window.findChild<QTableView *>("rows");
    QStringList got;
    for (int row = 0; select < 0 && row < view->model()->rowCount(); ++row)
        got << dynamic_cast<const SeriesRows &>(*view->model()).labels(row).join(' ');
    view->selectRow(select);
    for (int row = 0; select >= 0 && row < tab->rowCount(); ++row) {
        got << (tab->item(row, 0)->font().bold() ? "*" : "");
        for (int c = 0; c < tab->columnCount(); ++c)
            got.back() += (c ? "|" : "") + tab->item(row, c)->text();
    }
    QCOMPARE(got << tab->parent()->findChild<QLabel *>()->text(), shown);
}

QTEST_MAIN(TestTables)
#include "tst_tables.moc"
