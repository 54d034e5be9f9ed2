// SPDX-License-Identifier: MIT
// The calculation core where the reports cannot show it: the time codes of
// long series, the reading of typed text against the toolkit's own
// conversion, and the report writer's failures.
#include "calc/incidencetext.h"
#include "calc/reportfile.h"
#include "calc/trendcore.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

Q_DECLARE_METATYPE(std::vector<qint16>)
Q_DECLARE_METATYPE(trend::EntryKind)

class TestCore : public QObject
{
    Q_OBJECT

private slots:
    void timeCodes_data();
    void timeCodes();
    void straightLineIsReproduced();
    void entry_data();
    void entry();
    void readingMatchesToFloat();
    void writeTextFile_data();
    void writeTextFile();
};

void TestCore::timeCodes_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<std::vector<qint16>>("codes");
    QTest::addColumn<double>("squares");

    QTest::newRow("7, odd") << 7 << std::vector<qint16> {-3, -2, -1, 0, 1, 2, 3} << 28.0;
    QTest::newRow("8, even: zero left out")
        << 8 << std::vector<qint16> {-4, -3, -2, -1, 1, 2, 3, 4} << 60.0;
    QTest::newRow("10, even") << 10 << std::vector<qint16> {-5, -4, -3, -2, -1, 1, 2, 3, 4, 5}
                              << 110.0;
}

void TestCore::timeCodes()
{
    QFETCH(int, n);
    QFETCH(std::vector<qint16>, codes);
    QFETCH(double, squares);

    const trend::TrendResult r
        = trend::calculate(std::vector<double>(std::size_t(n), 1.0), qint16(n));
    QCOMPARE(r.timeCodes, codes);
    QCOMPARE(r.squaredIntervalSum, squares);
    QCOMPARE(trend::middlePosition(qint16(n)), qint16(n % 2 ? (n + 1) / 2 : 0));
}

void TestCore::straightLineIsReproduced()
{
    // Over an odd series the codes are the years shifted by the middle year,
    // so values on a straight line come back as their own theoretical levels
    // and the forecast continues the line.
    QRandomGenerator rng(20261206);
    for (int round = 0; round < 300; ++round) {
        const int n = 5 + 2 * int(rng.bounded(200));
        const double intercept = rng.bounded(2000.0) - 1000.0;
        const double step = rng.bounded(20.0) - 10.0;
        std::vector<double> series;
        for (int i = 0; i < n; ++i)
            series.push_back(intercept + step * i);
        const trend::TrendResult r = trend::calculate(series, qint16(n));
        const double tolerance = 1e-11 * (std::fabs(intercept) + std::fabs(step) * n + 1);
        QVERIFY2(std::fabs(r.slope - step) <= tolerance, qPrintable(QString::number(n)));
        for (int i = 0; i < n; ++i)
            QVERIFY(std::fabs(r.theoreticalLevels[std::size_t(i)] - series[std::size_t(i)])
                <= tolerance);
        QVERIFY(std::fabs(r.forecastLevel - (intercept + step * n)) <= tolerance);
    }
}

void TestCore::entry_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<trend::EntryKind>("kind");
    QTest::addColumn<double>("value");

    // The common cases are typed through the window; these are the rest of
    // the grammar.
    using K = trend::EntryKind;
    QTest::newRow("trailing point") << "12." << K::Number << 12.0;
    QTest::newRow("leading comma") << ",5" << K::Number << 0.5;
    QTest::newRow("plus sign and exponent") << "+1e5" << K::Number << 1e5;
    QTest::newRow("subnormal kept") << "1e-40" << K::Number << double(1e-40f);
    QTest::newRow("sign and comma") << "+," << K::Placeholder << 0.0;
    QTest::newRow("grouped, Continental") << "1.000,5" << K::Malformed << 0.0;
    QTest::newRow("sign inside") << "1-2" << K::Malformed << 0.0;
    QTest::newRow("exponent without digits") << "1e+" << K::Malformed << 0.0;
    QTest::newRow("underflows to zero") << "1e-50" << K::OutOfRange << 0.0;
    QTest::newRow("overflows") << "-4e38" << K::OutOfRange << 0.0;
    QTest::newRow("blank") << " 12" << K::Foreign << 0.0;
}

void TestCore::entry()
{
    QFETCH(QString, text);
    QFETCH(trend::EntryKind, kind);
    QFETCH(double, value);

    for (const trend::Entry e :
        {trend::parseEntry(text), trend::parseEntry(QByteArrayView(text.toLatin1()))}) {
        QCOMPARE(e.kind, kind);
        QCOMPARE(e.value, value);
    }
}

void TestCore::readingMatchesToFloat()
{
    // A number must read exactly as QString::toFloat reads it written with
    // a point: the edges of single precision and of rounding, then random
    // numbers.
    const auto check = [](const QString &text) {
        QString withPoint = text;
        withPoint.replace(u',', u'.');
        bool ok = false;
        const float expected = withPoint.toFloat(&ok);
        const trend::Entry e = trend::parseEntry(text);
        QVERIFY2(e.kind == (ok ? trend::EntryKind::Number : trend::EntryKind::OutOfRange),
            qPrintable(text));
        if (ok)
            QCOMPARE(e.value, double(expected));
    };
    for (const char *edge : {"3.4028235e38", "3.4028234e38", "-3.40282347e+38", "1e-45", "7e-46",
             "7.1e-46", "16777217", "16777217.0000001", "0.1000000014901161193847656249999",
             "0.10000000149011611938476562500001", "1e-320", "1e400", "-0", "+0,0e-0"})
        check(QString::fromLatin1(edge));
    QRandomGenerator rng(7);
    const auto digits = [&](int count) {
        QString out;
        for (int i = 0; i < count; ++i)
            out += QChar(u'0' + char16_t(rng.bounded(10)));
        return out;
    };
    for (int round = 0; round < 20000; ++round) {
        QString text = rng.bounded(3) == 0 ? QStringLiteral("-") : QString();
        const int whole = int(rng.bounded(12));
        text += digits(whole);
        if (whole == 0 || rng.bounded(2))
            text += (rng.bounded(2) ? u'.' : u',') + digits(int(rng.bounded(whole ? 0 : 1, 12)));
        if (rng.bounded(3) == 0)
            text += (rng.bounded(2) ? QStringLiteral("e-") : QStringLiteral("E")) + digits(2);
        check(text);
    }
}

void TestCore::writeTextFile_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason"); // start of the reason; empty: written

    QTest::newRow("written") << ""
                             << "";
    QTest::newRow("open fails: no such folder") << "missing folder"
                                                << "папка «";
    QTest::newRow("write fails: disk full") << "size limit"
                                            << "ошибка записи";
    QTest::newRow("commit fails: name taken") << "taken at commit"
                                              << "запись не удалось";
}

void TestCore::writeTextFile()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    const QString path = dir.filePath(fault == "missing folder" ? "no/report.txt" : "report.txt");
    const QByteArray old("the report saved last week");
    QFile oldFile(path);
    if (oldFile.open(QIODevice::WriteOnly))
        oldFile.write(old);
    oldFile.close();
    const QString text = QStringLiteral("Строка\n").repeated(2000);

    QString why;
    bool ok;
    {
        QSaveFile file(path);
        rlimit saved {};
        getrlimit(RLIMIT_FSIZE, &saved);
        if (fault == "size limit") {
            // The way a full disk makes a write fail.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit lowered = saved;
            lowered.rlim_cur = 10;
            setrlimit(RLIMIT_FSIZE, &lowered);
        }
        if (fault == "taken at commit") {
            connect(&file, &QIODevice::aboutToClose, this, [&] {
                QFile::remove(path);
                QDir().mkpath(path + "/inside");
            });
        }
        ok = trend::writeTextFile(file, text, &why);
        setrlimit(RLIMIT_FSIZE, &saved);
    }
    QCOMPARE(ok, reason.isEmpty());
    QVERIFY2(reason.isEmpty() ? why.isEmpty() : why.startsWith(reason), qPrintable(why));
    QFile written(path);
    if (reason.isEmpty()) {
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), text.toUtf8());
    } else if (fault == "size limit") {
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), old); // the old report is whole
    }
    // No temporary file is left beside the report.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        fault == "missing folder" ? QStringList() : QStringList {"report.txt"});
}

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
