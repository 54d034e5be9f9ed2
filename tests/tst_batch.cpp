// SPDX-License-Identifier: MIT
// vantorel-batch through its command line: each folder under
// tests/golden/batch is one case, an input table and its arguments, with the
// summary, the report files, the stderr lines and the exit status it must
// give. The least-squares fit is held against SciPy.
#include "modaldriver.h"
#include "ols.h"
#include "run.h"
#include "trendcore.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <csignal>

#include <sys/resource.h>

Q_DECLARE_METATYPE(std::vector<double>)

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root).relativeFilePath(it.next()));
    files.sort();
    return files;
}

} // namespace

class TestBatch : public QObject
{
    Q_OBJECT

private slots:
    void golden_data();
    void golden();
    void threadsKeepOrder_data();
    void threadsKeepOrder();
    void olsAgainstScipy_data();
    void olsAgainstScipy();
};

void TestBatch::golden_data()
{
    QTest::addColumn<QString>("name");
    const QDir root(QStringLiteral(VANTOREL_GOLDEN_DIR "/batch"));
    for (const QString &name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        QTest::newRow(qPrintable(name)) << name;
}

void TestBatch::golden()
{
    QFETCH(QString, name);
    const QString input = QStringLiteral(VANTOREL_GOLDEN_DIR "/batch/") + name;
    QTemporaryDir out;
    QStringList args
        = QString::fromUtf8(contents(input + "/args")).split(u'\n', Qt::SkipEmptyParts);
    args.replaceInStrings(QStringLiteral("@IN@"), input)
        .replaceInStrings(QStringLiteral("@OUT@"), out.path());

    QProcess process;
    // A disk that fills up: a file-size limit, or a full standard output.
    if (QFile::exists(input + "/stdout-full"))
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
    const rlim_t limit = contents(input + "/file-size-limit").trimmed().toULongLong();
    if (limit > 0) {
        process.setChildProcessModifier([limit] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit lowered {limit, limit};
            setrlimit(RLIMIT_FSIZE, &lowered);
        });
    }
    process.start(QStringLiteral(VANTOREL_BATCH_PATH), args);
    QVERIFY(process.waitForStarted());
    process.write(contents(input + "/stdin"));
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(60000));
    QByteArray err = process.readAllStandardError();
    err.replace(input.toUtf8(), "@IN@").replace(out.path().toUtf8(), "@OUT@");
    const QByteArray status = QByteArray::number(process.exitCode()) + '\n';

    const QString base = "batch/" + name + "/expected/";
    QStringList differences {goldenDifference(status, base + "status"),
        goldenDifference(process.readAllStandardOutput(), base + "stdout"),
        goldenDifference(err, base + "stderr")};
    const QString expectedOut = QStringLiteral(VANTOREL_GOLDEN_DIR "/") + base + "out";
    const QStringList written = filesBelow(out.path());
    if (!qEnvironmentVariableIntValue("VANTOREL_UPDATE_GOLDEN"))
        QCOMPARE(written, filesBelow(expectedOut));
    for (const QString &file : written)
        differences.append(goldenDifference(contents(out.filePath(file)), base + "out/" + file));
    differences.removeAll(QString());
    QVERIFY2(differences.isEmpty(), qPrintable(differences.join(u'\n')));
}

void TestBatch::threadsKeepOrder_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<bool>("longLayout");
    // Batches of a few rows each, skipped series between computed ones.
    QTest::newRow("wide") << "threads-interleaved-skips" << false;
    QTest::newRow("long") << "long-layout-skips" << true;
}

void TestBatch::threadsKeepOrder()
{
    QFETCH(QString, table);
    QFETCH(bool, longLayout);
    const auto outputs = [&](int jobs, qsizetype batchBytes) {
        QTemporaryDir out;
        batch::Options o;
        o.input = QStringLiteral(VANTOREL_GOLDEN_DIR "/batch/") + table + "/input.csv";
        o.output = out.filePath("summary.csv");
        o.reportsDir = out.filePath("reports");
        o.longLayout = longLayout;
        o.jobs = jobs;
        o.batchBytes = batchBytes;
        QString err;
        QTextStream stream(&err);
        QStringList seen {QString::number(batch::run(o, stream)), err};
        for (const QString &file : filesBelow(out.path()))
            seen << file << QString::fromUtf8(contents(out.filePath(file)));
        return seen;
    };
    // One thread, one batch: the table read as a whole.
    const QStringList whole = outputs(1, 1 << 20);
    QVERIFY(whole.size() > 4);
    QCOMPARE(outputs(1, 40), whole);
    QCOMPARE(outputs(3, 40), whole);
    QCOMPARE(outputs(8, 40), whole);
}

void TestBatch::olsAgainstScipy_data()
{
    QTest::addColumn<std::vector<double>>("values");
    QTest::addColumn<int>("firstYear");
    QTest::addColumn<std::vector<double>>("expected"); // slope, se, ci low, ci high, p, r2

    // SciPy 1.10.1 (Debian 12): scipy.stats.linregress over the calendar
    // years, and stats.t.ppf(0.975, n - 2) for the interval.
    QTest::newRow("five values, odd")
        << std::vector<double> {10, 12, 11, 14, 15} << 2001
        << std::vector<double> {1.2000000000000002, 0.3055050463303892, 0.2277465940601554,
               2.172253405939845, 0.029370494881299947, 0.8372093023255816};
    QTest::newRow("six values, even")
        << std::vector<double> {1, 2, 3.5, 4, 5, 7} << 1995
        << std::vector<double> {1.1285714285714286, 0.09147320339189798, 0.8746011007572307,
               1.3825417563856264, 0.0002479850627949921, 0.9743950039032006};
}

void TestBatch::olsAgainstScipy()
{
    QFETCH(std::vector<double>, values);
    QFETCH(int, firstYear);
    QFETCH(std::vector<double>, expected);

    const auto fit = batch::fitOverYears(trend::seriesYears(firstYear, int(values.size())), values);
    const double got[]
        = {fit.slope, fit.slopeError, fit.ciLow, fit.ciHigh, fit.pValue, fit.rSquared};
    for (int i = 0; i < 6; ++i)
        QVERIFY2(std::fabs(got[i] - expected[std::size_t(i)])
                <= 1e-9 * std::fabs(expected[std::size_t(i)]),
            qPrintable(QStringLiteral("column %1: %2").arg(i).arg(got[i], 0, 'g', 17)));
}

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
