// SPDX-License-Identifier: MIT
// The window over tables, offscreen: its rows are the command line's
// summary, its sorting sorts numbers, its filters filter, what it saves is
// what vantorel-batch writes, and a stopped run leaves nothing on disk.
#include "filenames.h"
#include "tableswindow.h"
#include "testsupport.h"

#include <QAbstractProxyModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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

// A table opened in a window and computed, with no message on the way; a
// table of counts is read as rates without being told.
void open(TablesWindow &window, const QString &input)
{
    ModalDriver driver;
    QVERIFY(window.openTable(input));
    QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 60000);
    QCOMPARE(driver.unexpected, QStringList());
}

SummaryModel &modelOf(TablesWindow &window)
{
    auto *view = window.findChild<QTableView *>();
    return *static_cast<SummaryModel *>(
        static_cast<QAbstractProxyModel *>(view->model())->sourceModel());
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
    void stopLeavesNothing();

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
    auto *view = window.findChild<QTableView *>();
    for (int row = 0; row < model.rowCount(); ++row) {
        view->selectRow(row);
        const QString report = summary::safeFileStem(model.labels(row)) + ".txt";
        QCOMPARE(window.findChild<QPlainTextEdit *>()->toPlainText().toUtf8(),
            contents(reports.filePath(report)));
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
    for (const QSet<QRgb> &colour : colours)
        QCOMPARE(colour.size(), 1);
    QVERIFY(colours.size() < 2 || colours[true] != colours[false]);
}

void TestTables::sortAndFilter_data()
{
    QTest::addColumn<QString>("column"); // sorted by, ascending
    QTest::addColumn<QString>("labels"); // matched
    QTest::addColumn<int>("trendClass"); // -1: any
    QTest::addColumn<QStringList>("first"); // the first label of each row shown
    QTest::newRow("a rate, numbers not text")
        << "average_annual_change_rate"
        << "" << -1 << QStringList {"Туберкулёз", "Коклюш", "Туберкулёз", "Корь", "Коклюш"};
    QTest::newRow("a p-value") << "ols_p_value"
                               << "" << -1
                               << QStringList {
                                      "Туберкулёз", "Туберкулёз", "Коклюш", "Коклюш", "Корь"};
    QTest::newRow("labels") << "Болезнь"
                            << "" << -1
                            << QStringList {"Коклюш", "Коклюш", "Корь", "Туберкулёз", "Туберкулёз"};
    QTest::newRow("a label's part, any case")
        << "Болезнь"
        << "ТУБ" << -1 << QStringList {"Туберкулёз", "Туберкулёз"};
    QTest::newRow("a district") << "Болезнь"
                                << "южн" << -1 << QStringList {"Коклюш", "Туберкулёз"};
    QTest::newRow("one class") << "Болезнь"
                               << "" << int(trend::TrendClass::Moderate)
                               << QStringList {
                                      "Коклюш", "Коклюш", "Корь", "Туберкулёз", "Туберкулёз"};
    QTest::newRow("no such class") << "Болезнь"
                                   << "" << int(trend::TrendClass::Pronounced) << QStringList();
}

void TestTables::sortAndFilter()
{
    QFETCH(QString, column);
    QFETCH(QString, labels);
    QFETCH(int, trendClass);
    QFETCH(QStringList, first);
    TablesWindow window;
    open(window, Examples + "surveillance.xlsx");
    const SummaryModel &model = modelOf(window);
    auto *view = window.findChild<QTableView *>();
    int at = 0;
    while (model.columnKey(at) != column)
        ++at;
    window.findChild<QLineEdit *>()->setText(labels);
    auto *classes = window.findChildren<QComboBox *>().back();
    classes->setCurrentIndex(classes->findData(trendClass));
    view->sortByColumn(at, Qt::AscendingOrder);
    QStringList shown;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        shown << view->model()->index(row, 0).data().toString();
    QCOMPARE(shown, first);
}

void TestTables::savedAsCommandLine_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("xlsx") << int(summary::SummaryFormat::Xlsx) << QStringList {"--format", "xlsx"};
    QTest::newRow("CSV") << int(summary::SummaryFormat::Csv) << QStringList();
    QTest::newRow("CSV for Excel")
        << int(summary::SummaryFormat::ExcelCsv) << QStringList {"--excel-csv"};
    QTest::newRow("JSON") << int(summary::SummaryFormat::Json) << QStringList {"--format", "json"};
    QTest::newRow("reports and charts") << -1 << QStringList {"--charts"};
}

// The bytes vantorel-batch writes; a workbook's parts but for the time it
// was made.
void TestTables::savedAsCommandLine()
{
    QFETCH(int, format);
    QFETCH(QStringList, args);
    QTemporaryDir dir;
    TablesWindow window;
    open(window, Examples + "counts.csv");
    const QStringList rates {"--cases", "случаи", "--population", "население"};
    if (format < 0) {
        QVERIFY(window.saveFiles(dir.filePath("window"), summary::ChartFormat::Svg));
        commandLine(Examples + "counts.csv",
            args + QStringList {dir.filePath("batch"), "--reports", dir.filePath("batch")} + rates);
        QCOMPARE(filesBelow(dir.filePath("window")), filesBelow(dir.filePath("batch")));
        return;
    }
    QVERIFY(window.saveSummary(dir.filePath("window"), summary::SummaryFormat(format)));
    commandLine(Examples + "counts.csv", args + rates + QStringList {"-o", dir.filePath("batch")});
    QCOMPARE(workbookParts(dir.filePath("window")), workbookParts(dir.filePath("batch")));
}

// Stopped, a computation leaves the rows it had and writes nothing; a save
// leaves no file behind, hidden or not.
void TestTables::stopLeavesNothing()
{
    QTemporaryDir tables, out;
    const QString input = slowTable(tables.path(), 20000);
    TablesWindow window;
    QAction *stop = nullptr;
    for (QAction *action : window.findChildren<QAction *>())
        stop = action->shortcut() == QKeySequence(Qt::Key_Escape) ? action : stop;
    QVERIFY(window.openTable(input));
    QTimer::singleShot(300, stop, &QAction::trigger);
    QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 60000);
    QVERIFY(modelOf(window).rowCount() < 20000);
    QCOMPARE(filesBelow(tables.path()).keys(), QStringList {"slow20000.csv"});
    QTimer::singleShot(300, stop, &QAction::trigger);
    QVERIFY(!window.saveSummary(out.filePath("summary.csv"), summary::SummaryFormat::Csv));
    QCOMPARE(filesBelow(out.path()).keys(), QStringList());
}

QTEST_MAIN(TestTables)
#include "tst_tables.moc"
