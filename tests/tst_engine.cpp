// SPDX-License-Identifier: MIT
// The engine driven through a sink of the test's own: what it is told (the
// rows in order, every message) is what the command line writes, on any
// number of threads and batches of any size; a run stopped half-way leaves
// no staged file and the summary target as it was.
#include "engine/engine.h"
#include "tests/testsupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <set>

Q_DECLARE_METATYPE(engine::Progress)

namespace {

// What a sink is told, as the command line's lines and the rows' cells.
class Recorder : public engine::Sink
{
public:
    void note(const table::Problem &p) override { lines << "vantorel-batch: " + p.message(); }
    bool skipped(const table::Problem &p) override
    {
        lines << p.message();
        return !stopAt.startsWith("skipped");
    }
    void failed(const table::Problem &p, engine::Scope scope) override
    {
        lines << (scope == engine::Scope::Run ? "vantorel-batch: " : "") + p.message();
    }
    bool progress(const engine::Progress &p) override
    {
        told.push_back(p);
        return stopAt != "progress" && (!onProgress || onProgress());
    }
    bool wantsRows() const override { return rowsWanted; }
    bool begin(const QStringList &, const std::vector<summary::Column> &, const QString &) override
    {
        misordered = misordered || ended || !rows.isEmpty();
        ++begun;
        return stopAt != "begin";
    }
    void finished(const engine::Result &) override
    {
        misordered = misordered || ended;
        ended = true;
    }
    bool row(engine::Row &&row) override
    {
        misordered = misordered || ended || begun != 1;
        QStringList cells = row.series.labels;
        for (const summary::CellValue &v : row.cells)
            cells << spelled(v);
        rows << cells.join(u',');
        return true;
    }

    QStringList lines, rows;
    std::vector<engine::Progress> told;
    // The part behind as each progress told it where it was known; those
    // told before any series was computed or skipped, with `first`.
    std::vector<double> done(bool first = false) const
    {
        std::vector<double> parts;
        for (const engine::Progress &p : told) {
            if (p.done >= 0 && (!first || p.computed + p.skipped == 0))
                parts.push_back(p.done);
        }
        return parts;
    }
    std::function<bool()> onProgress;
    QString stopAt; // the callback that answers false: "progress", "begin", "skipped"
    bool rowsWanted = true;
    int begun = 0;
    bool ended = false, misordered = false;

private:
    static QString spelled(const summary::CellValue &v)
    {
        char digits[32];
        return std::visit(
            summary::Overloaded {[](const QString &x) { return x; },
                [](qint64 x) { return QString::number(x); },
                [](trend::TrendClass x) { return QString::fromLatin1(trend::classKey(x)); },
                [](stats::Verdict x) { return QString::fromLatin1(summary::verdictKey(x)); },
                [](summary::Absent) { return QString(); },
                [](bool x) { return QString::fromLatin1(x ? "true" : "false"); },
                [&](double x) {
                    return std::isnan(x) ? QStringLiteral("nan")
                                         : QString::fromLatin1(digits,
                                             std::to_chars(digits, digits + 32, x).ptr - digits);
                }},
            v);
    }
};

// A CSV summary's data rows, each with its cells unquoted and joined by
// commas again.
QStringList csvRows(const QByteArray &csv)
{
    QStringList rows;
    for (const QStringList &row : csvTable(csv).mid(1))
        rows << row.join(u',');
    return rows;
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void sameAsCommandLine_data();
    void sameAsCommandLine();
    void stopHalfWay_data();
    void stopHalfWay();
    void progressThroughCensus_data();
    void progressThroughCensus();
    void reportNotStaged();
    void territoryRules_data();
    void territoryRules();
    void timeLeft_data();
    void timeLeft();
    void progressText_data();
    void progressText();

private:
    QTemporaryDir dir;
};

void TestEngine::territoryRules_data()
{
    QTest::addColumn<QString>("territory");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<double>("observed");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("dispersion");
    QTest::addColumn<int>("before"); // the year before's class; -1: none
    QTest::addColumn<int>("funnel");
    QTest::addColumn<bool>("risk");
    using F = stats::Funnel;
    // P(X ≥ 10 | 3) = 0.0011, P(X ≥ 11 | 3) = 0.00029; z = 4.04 and 4.62.
    QTest::newRow("exact: above 99.8 %")
        << "ИТОГО по области" << true << 11.0 << 3.0 << 0.0 << -1 << int(F::Above998) << true;
    QTest::newRow("above 95 % once")
        << "Всё Тотемский" << false << 10.0 << 3.0 << 0.0 << -1 << int(F::Above95) << false;
    QTest::newRow("above 95 % twice")
        << "Регион" << true << 10.0 << 3.0 << 0.0 << int(F::Above998) << int(F::Above95) << true;
    QTest::newRow("φ widens: z / √φ = 2.3")
        << "Всего" << true << 11.0 << 3.0 << 4.0 << int(F::Above95) << int(F::Above95) << true;
    // z = 2.20 would pass 95 %, but the exact tail does not: 0.042.
    QTest::newRow("φ never narrows")
        << "по Области" << true << 6.0 << 2.5 << 1.01 << -1 << int(F::Within) << false;
    // P(X = 0 | 9) = 0.00012; z = −3, by √1.2 −2.74.
    QTest::newRow("below, exact") << "Итоговый" << true << 0.0 << 9.0 << 0.0 << -1
                                  << int(F::Below998) << false;
    QTest::newRow("below, φ") << "Областная больница" << false << 0.0 << 9.0 << 1.2 << -1
                              << int(F::Below95) << false;
    QTest::newRow("ё as е") << "ВСЁГО по району" << true << 3.0 << 3.0 << 0.0 << -1
                            << int(F::Within) << false;
    QTest::newRow("within") << "Северный район" << false << 3.0 << 3.0 << 0.0 << int(F::Above95)
                            << int(F::Within) << false;
}

void TestEngine::territoryRules()
{
    QFETCH(QString, territory);
    QFETCH(bool, whole);
    QFETCH(double, observed);
    QFETCH(double, expected);
    QFETCH(double, dispersion);
    QFETCH(int, before);
    QFETCH(int, funnel);
    QFETCH(bool, risk);
    QCOMPARE(analysis::namesRegion(territory), whole);
    const stats::Funnel got = analysis::funnelClass(observed, expected, dispersion);
    QCOMPARE(int(got), funnel);
    QCOMPARE(analysis::riskTerritory(
                 got, before < 0 ? std::nullopt : std::optional(stats::Funnel(before))),
        risk);
}

void TestEngine::sameAsCommandLine_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("args");
    const QString golden = QStringLiteral(VANTOREL_GOLDEN_DIR "/batch/");
    const QString examples = QStringLiteral(VANTOREL_EXAMPLES_DIR "/");
    // Batches of a few rows each, skipped series between computed ones.
    QTest::newRow("wide, skips between rows")
        << golden + "threads-interleaved-skips/input.csv" << QStringList();
    QTest::newRow("long") << golden + "long-layout-skips/input.csv" << QStringList {"--long"};
    QTest::newRow("CP1251, detected") << examples + "surveillance-cp1251.csv" << QStringList();
    QTest::newRow("workbook") << examples + "surveillance.xlsx" << QStringList();
    QTest::newRow("rates from counts") << examples
            + "counts.csv" << QStringList {"--cases", "случаи", "--population", "население"};
    QTest::newRow("a table that breaks off")
        << golden + "unterminated-quote/input.csv" << QStringList();
    // Found by the thread that reads that batch: later batches are read already.
    QTest::newRow("a NUL byte mid-table") << golden + "nul-byte/input.csv" << QStringList();
    // A total row moved up to its group's first row, a region summed.
    QTest::newRow("territories") << golden + "territories/input.csv"
                                 << QStringList {"--cases", "случаи", "--population", "население",
                                        "--territory", "Район"};
}

void TestEngine::sameAsCommandLine()
{
    QFETCH(QString, input);
    QFETCH(QStringList, args);
    QTemporaryDir dir;
    QProcess cli;
    QDir(dir.path()).mkdir("cli");
    cli.start(QStringLiteral(VANTOREL_BATCH_PATH),
        QStringList {input, "-q", "-o", dir.filePath("cli/summary.csv"), "--reports",
            dir.filePath("cli/reports")}
            + args);
    QVERIFY(cli.waitForFinished(60000));
    const QStringList said = QString::fromUtf8(cli.readAllStandardError()).split(u'\n');
    const auto written = filesBelow(dir.filePath("cli"));
    // On standard output the rows before a failure stay.
    cli.start(QStringLiteral(VANTOREL_BATCH_PATH), QStringList {input, "-q"} + args);
    QVERIFY(cli.waitForFinished(60000));
    const QStringList rows = csvRows(cli.readAllStandardOutput());

    engine::Options o;
    o.input = input;
    o.longLayout = args.contains("--long");
    o.rates.cases = args.value(args.indexOf("--cases") + 1);
    o.rates.population = args.value(args.indexOf("--population") + 1);
    if (!args.contains("--cases"))
        o.rates = {};
    o.territory = args.contains("--territory") ? args.last() : QString();
    for (const auto &[jobs, batchBytes] : {std::pair(1, 1 << 20), {1, 40}, {3, 40}, {8, 40}}) {
        const QString out = dir.filePath(QStringLiteral("engine%1-%2").arg(jobs).arg(batchBytes));
        QDir().mkpath(out);
        o.output = out + "/summary.csv";
        o.reportsDir = out + "/reports";
        o.jobs = jobs;
        o.batchBytes = batchBytes;
        Recorder sink;
        const engine::Result result = engine::Engine(o, sink).run();
        QCOMPARE(sink.lines + QStringList {""}, said);
        QCOMPARE(result.failed ? 2 : result.skipped ? 1 : 0, cli.exitCode());
        QCOMPARE(filesBelow(out), written);
        QCOMPARE(sink.rows, rows);
        QVERIFY(sink.begun == 1 && sink.ended && !sink.misordered);
        // The bar goes on through every pass, never back, never past its end.
        const std::vector<double> done = sink.done();
        QVERIFY(std::is_sorted(done.begin(), done.end()));
        QVERIFY(done.empty() || done.back() <= 1);
    }
}

void TestEngine::stopHalfWay_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("longLayout");
    QTest::addColumn<QString>("stopAt");
    QTest::addColumn<QString>("territory");
    const QString skips
        = QStringLiteral(VANTOREL_GOLDEN_DIR "/batch/threads-interleaved-skips/input.csv");
    QTest::newRow("wide, after its first batch") << skips << false << "progress"
                                                 << "";
    QTest::newRow("wide, at its first skip") << skips << false << "skipped"
                                             << "";
    QTest::newRow("wide, at its beginning") << skips << false << "begin"
                                            << "";
    // The census reads the whole table before any series is computed.
    QTest::newRow("territories, while the census reads")
        << QStringLiteral(VANTOREL_GOLDEN_DIR "/batch/territories/input.csv") << false << "progress"
        << "Район";
    QByteArray table = "район,год,значение\n";
    for (int row = 0; row < 20000; ++row)
        table += "р" + QByteArray::number(row / 5) + "," + QByteArray::number(2001 + row % 5)
            + ",1\n";
    writeFile(dir.filePath("long.csv"), table);
    QTest::newRow("long, while it is read whole") << dir.filePath("long.csv") << true << "progress"
                                                  << "";
}

// Stopped by the sink's answer, a run keeps the reports of the series it
// finished, leaves nothing staged and the summary as it was. A sink that
// wants no rows is not told of a table's beginning.
void TestEngine::stopHalfWay()
{
    QFETCH(QString, input);
    QFETCH(bool, longLayout);
    QFETCH(QString, stopAt);
    QFETCH(QString, territory);
    QTemporaryDir out;
    engine::Options o;
    o.input = input;
    o.longLayout = longLayout;
    o.territory = territory;
    if (!territory.isEmpty()) {
        o.rates.cases = QStringLiteral("случаи");
        o.rates.population = QStringLiteral("население");
    }
    o.output = out.filePath("summary.csv");
    o.reportsDir = out.filePath("reports");
    o.jobs = 2;
    o.batchBytes = 40;
    writeFile(o.output, "before\n");

    Recorder sink;
    sink.rowsWanted = stopAt == "begin";
    sink.stopAt = stopAt;
    const engine::Result result = engine::Engine(o, sink).run();
    QVERIFY(result.stopped && sink.ended && sink.begun == int(sink.rowsWanted));
    QCOMPARE(result.computed > 0, !longLayout && territory.isEmpty() && stopAt != "begin");
    QVERIFY(result.computed < 8);
    auto left = filesBelow(out.path());
    QCOMPARE(left.take("summary.csv"), "before\n");
    QCOMPARE(left.take("reports"), "/");
    QCOMPARE(left.size(), result.computed); // the finished series' reports, nothing hidden
    for (const QString &name : left.keys())
        QVERIFY2(name.startsWith("reports/") && !name.contains("/."), qPrintable(name));
}

void TestEngine::progressThroughCensus_data()
{
    QTest::addColumn<bool>("longLayout");
    QTest::addColumn<qint32>("year");
    QTest::newRow("wide") << false << 0;
    // Read whole for its years before the census, then by the census.
    QTest::newRow("long, a reporting year asked") << true << 2019;
}

// With territories the table is read twice, each time in many batches
// larger than a file's buffer: the progress told runs on from the census
// through the run, and ends at the whole.
void TestEngine::progressThroughCensus()
{
    QFETCH(bool, longLayout);
    QFETCH(qint32, year);
    QByteArray table = longLayout ? "болезнь,район,год,случаи,население\n"
                                  : "болезнь,район,случаи 2016,случаи 2017,случаи 2018,"
                                    "случаи 2019,случаи 2020,население 2016,население 2017,"
                                    "население 2018,население 2019,население 2020\n";
    for (int s = 0; s < 6000; ++s) {
        const QByteArray label = "б" + QByteArray::number(s / 3) + ",р" + QByteArray::number(s % 3);
        if (!longLayout)
            table += label + ",3,4,5,6,7,10000,10000,10000,10000,10000\n";
        for (int y = 2016; longLayout && y <= 2020; ++y)
            table += label + "," + QByteArray::number(y) + "," + QByteArray::number(y - 2013)
                + ",10000\n";
    }
    writeFile(dir.filePath("census.csv"), table);
    engine::Options o;
    o.input = dir.filePath("census.csv");
    o.longLayout = longLayout;
    o.rates.cases = QStringLiteral("случаи");
    o.rates.population = QStringLiteral("население");
    o.territory = QStringLiteral("район");
    o.analysis.report.year = year;
    o.format = summary::SummaryFormat::None;
    o.jobs = 2;
    o.batchBytes = 4096;
    Recorder sink;
    const engine::Result result = engine::Engine(o, sink).run();
    QCOMPARE(result.computed, 8000);
    const std::vector<double> done = sink.done(), census = sink.done(true);
    QVERIFY(std::is_sorted(done.begin(), done.end()));
    QCOMPARE(done.back(), 1.0);
    // The bar moves while the census reads, before any series is computed.
    QVERIFY(std::set<double>(census.begin(), census.end()).size() >= 3);
}

// Its staging folder gone after the first batch, a run says of each later report, by path and
// why, that it is not written, and fails but goes on; the first report stays, nothing else.
void TestEngine::reportNotStaged()
{
    QTemporaryDir dir;
    engine::Options o;
    o.input = QStringLiteral(VANTOREL_GOLDEN_DIR "/batch/threads-interleaved-skips/input.csv");
    o.format = summary::SummaryFormat::None;
    o.reportsDir = dir.filePath("reports");
    o.jobs = 1;
    o.batchBytes = 40;
    Recorder sink;
    sink.onProgress = [&] {
        const QDir reports(o.reportsDir);
        for (const QString &name :
            reports.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
            QDir(reports.filePath(name)).removeRecursively();
        return true;
    };
    const engine::Result result = engine::Engine(o, sink).run();
    QVERIFY(result.failed && result.computed == 27);
    const QStringList failures = sink.lines.filter(" не записан: ");
    QCOMPARE(failures.size(), 26);
    for (const QString &line : failures)
        QVERIFY2(line.startsWith(o.input + ':') && line.contains(": отчёт " + o.reportsDir + '/')
                && line.contains(".txt не записан: файл не удалось создать ("),
            qPrintable(line));
    QCOMPARE(filesBelow(dir.path()).keys(), (QStringList {"reports", "reports/Грипп_Район 0.txt"}));
}

// The time so far times (1 − done) / done, after 1 s of a run of 5 s or more.
void TestEngine::timeLeft_data()
{
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<double>("done");
    QTest::addColumn<QString>("left");

    QTest::newRow("within the first second") << qint64(999) << 0.1 << "";
    QTest::newRow("after the first second") << qint64(1000) << 0.1 << "около 9 с";
    QTest::newRow("a run of 4.996 s") << qint64(1249) << 0.25 << "";
    QTest::newRow("a run of 5 s") << qint64(1250) << 0.25 << "около 4 с";
    QTest::newRow("under half a second left") << qint64(5000) << 0.9999 << "около 1 с";
    QTest::newRow("a minute left") << qint64(60000) << 0.5 << "около 1 мин 0 с";
    QTest::newRow("an hour left") << qint64(3600000) << 0.5 << "около 1 ч 0 мин";
    QTest::newRow("1 h 2 min 5 s left") << qint64(3725000) << 0.5 << "около 1 ч 2 мин";
    QTest::newRow("all done") << qint64(60000) << 1.0 << "";
}

void TestEngine::timeLeft()
{
    QFETCH(qint64, elapsedMs);
    QFETCH(double, done);
    QFETCH(QString, left);

    QCOMPARE(engine::timeLeft({0, 0, elapsedMs, done}), left);
}

void TestEngine::progressText_data()
{
    QTest::addColumn<engine::Progress>("progress");
    QTest::addColumn<QString>("text");
    QTest::newRow("reading, its end not yet foreseen")
        << engine::Progress {0, 0, 500, 0.01} << "таблица читается";
    QTest::newRow("reading, a tenth in 2 s")
        << engine::Progress {0, 0, 2000, 0.1} << "таблица читается, осталось около 18 с";
    QTest::newRow("a skipped series is a series taken")
        << engine::Progress {0, 1, 1000, 0.5} << "рассчитано рядов: 0, пропущено: 1, 1 рядов/с";
    QTest::newRow("computing") << engine::Progress {1200, 3, 2000, 0.25}
                               << "рассчитано рядов: 1200, пропущено: 3, 602 рядов/с, "
                                  "осталось около 6 с";
}

void TestEngine::progressText()
{
    QFETCH(engine::Progress, progress);
    QFETCH(QString, text);
    QCOMPARE(engine::progressText(progress), text);
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
