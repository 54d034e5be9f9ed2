// vantorel-batch: the table reader, the layouts and their skip reasons,
// the summary against the window's worked examples and against an
// independent least-squares fit, report files against the window's own
// saved file, safe file names, and the command line.
#include "batchrun.h"
#include "modaldriver.h"
#include "names.h"
#include "ols.h"
#include "series.h"
#include "table.h"
#include "trendform.h"
#include "version.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <cmath>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

std::vector<QStringList> records(
    const QByteArray &table, char delimiter = 0, std::vector<qint64> *lines = nullptr)
{
    QBuffer buffer;
    buffer.setData(table);
    buffer.open(QIODevice::ReadOnly);
    batch::TableReader reader(&buffer, delimiter);
    batch::Record record;
    std::vector<QStringList> out;
    while (reader.next(record)) {
        QStringList cells;
        for (qsizetype i = 0; i < record.size(); ++i)
            cells.append(QString::fromUtf8(record.cell(i)));
        out.push_back(cells);
        if (lines)
            lines->push_back(record.line);
    }
    return out;
}

struct Outcome {
    int status = -1;
    QByteArray summary;
    QString messages;
};

// Runs a batch over `table` in this process.
Outcome runBatch(const QTemporaryDir &dir, const QByteArray &table, batch::Options options)
{
    const QString input = dir.filePath(QStringLiteral("input.csv"));
    writeAll(input, table);
    options.input = input;
    options.output = dir.filePath(QStringLiteral("summary.out"));
    Outcome outcome;
    QTextStream err(&outcome.messages);
    outcome.status = batch::run(options, err);
    err.flush();
    outcome.summary = readAll(options.output);
    outcome.messages.replace(input, QStringLiteral("FILE"));
    return outcome;
}

// Summary rows as column name -> text.
std::vector<QHash<QString, QString>> summaryRows(const QByteArray &csv)
{
    const auto table = records(csv, ',');
    std::vector<QHash<QString, QString>> rows;
    for (std::size_t r = 1; r < table.size(); ++r) {
        QHash<QString, QString> row;
        for (qsizetype c = 0; c < table[0].size(); ++c)
            row.insert(table[0][c], table[r].value(c));
        rows.push_back(row);
    }
    return rows;
}

} // namespace

class TestBatch : public QObject
{
    Q_OBJECT

private slots:
    void reader_data();
    void reader();
    void readerLineNumbers();
    void workedExamples();
    void reportEqualsWindowsSavedFile();
    void skipReasons_data();
    void skipReasons();
    void wideAndLongAgree();
    void hostileLabelsStayInside();
    void olsAgainstIndependentFit_data();
    void olsAgainstIndependentFit();
    void jsonSummary();
    void summaryKeptWhenAReportFails();
    void commandLine_data();
    void commandLine();
    void shippedExampleWithCharts_data();
    void shippedExampleWithCharts();

private:
    QTemporaryDir dir;
};

void TestBatch::reader_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("delimiter"); // detected
    QTest::addColumn<QStringList>("second"); // cells of the second record

    QTest::newRow("comma") << QByteArray("a,b,2001\nx,y,1.5\n") << ","
                           << QStringList {"x", "y", "1.5"};
    QTest::newRow("semicolon with decimal comma")
        << QByteArray("a;b;2001\nx;y;1,5\n") << ";" << QStringList {"x", "y", "1,5"};
    QTest::newRow("tab") << QByteArray("a\tb\t2001\nx\ty\t1.5") << "\t"
                         << QStringList {"x", "y", "1.5"};
    QTest::newRow("byte-order mark and CRLF") << QByteArray("\xEF\xBB\xBF"
                                                            "a,b\r\nx,y\r\n")
                                              << "," << QStringList {"x", "y"};
    QTest::newRow("quoted delimiter, quote and line break")
        << QByteArray("a,b,c\n\"x,1\",\"say \"\"hi\"\"\",\"two\nlines\"\n") << ","
        << QStringList {"x,1", "say \"hi\"", "two\nlines"};
    QTest::newRow("quoted commas do not decide the delimiter")
        << QByteArray("\"a,b,c\";d\n1;2\n") << ";" << QStringList {"1", "2"};
    QTest::newRow("empty cells kept")
        << QByteArray("a,b,c\n,,\n") << "," << QStringList {"", "", ""};
}

void TestBatch::reader()
{
    QFETCH(QByteArray, table);
    QFETCH(QString, delimiter);
    QFETCH(QStringList, second);

    QBuffer buffer(&table);
    buffer.open(QIODevice::ReadOnly);
    batch::TableReader reader(&buffer);
    batch::Record record;
    QVERIFY(reader.next(record));
    QCOMPARE(QString(QLatin1Char(reader.delimiter())), delimiter);
    QVERIFY(record.cell(0) == "a" || record.cell(0) == "a,b,c");
    const auto all = records(table);
    QCOMPARE(all.size(), std::size_t(2));
    QCOMPARE(all[1], second);
}

void TestBatch::readerLineNumbers()
{
    std::vector<qint64> lines;
    const auto all = records("h,1\n\"multi\nline\",2\nnext,3\n\nlast,4", 0, &lines);
    QCOMPARE(lines, (std::vector<qint64> {1, 2, 4, 5, 6}));
    QCOMPARE(all.back(), (QStringList {"last", "4"}));

    // An unclosed quote does not swallow the input without limit.
    QByteArray endless("a,b\n\"");
    endless.append(QByteArray(batch::TableReader::MaxRecordBytes + 100, 'x'));
    QBuffer buffer(&endless);
    buffer.open(QIODevice::ReadOnly);
    batch::TableReader reader(&buffer);
    batch::Record record;
    QVERIFY(reader.next(record));
    QVERIFY(!reader.next(record));
    QVERIFY(!reader.error().isEmpty());
}

void TestBatch::workedExamples()
{
    // The window's worked examples, one series a row, from 2001.
    const QByteArray table = "case;2001;2002;2003;2004;2005;2006\n"
                             "rising;10;12;11;14;15;\n"
                             "falling;20;19,5;19;18,5;18;\n"
                             "six stable;100;101;99;100;102;100\n"
                             "at +5;18;19;20;21;22;\n"
                             "at -5;22;21;20;19;18;\n"
                             "at +1;98;99;100;101;102;\n"
                             "at -1;102;101;100;99;98;\n"
                             "first level below zero;0;0;0;0;10;\n"
                             "flat;7;7;7;7;7;\n";
    batch::Options options;
    options.reportsDir = dir.filePath(QStringLiteral("examples"));
    const Outcome outcome = runBatch(dir, table, options);
    QCOMPARE(outcome.messages, QString());
    QCOMPARE(outcome.status, int(batch::AllComputed));

    struct Expected {
        const char *label, *line1, *line2, *line3, *line4, *key, *year, *forecast;
    };
    const Expected expected[] = {
        {"rising", "4.8", "1.2", "48", "9.67742", "pronounced", "2006", "16"},
        {"falling", "-2", "-0.5", "-10", "-2.63158", "moderate", "2006", "17.5"},
        {"six stable", "0.642857", "0.128571", "0.642781", "0.106787", "stable", "2007", "100.762"},
        {"at +5", "4", "1", "22.2222", "5", "moderate", "2006", "23"},
        {"at -5", "-4", "-1", "-18.1818", "-5", "moderate", "2006", "17"},
        {"at +1", "4", "1", "4.08163", "1", "stable", "2006", "103"},
        {"at -1", "-4", "-1", "-3.92157", "-1", "stable", "2006", "97"},
        {"first level below zero", "8", "2", "-400", "100", "pronounced", "2006", "8"},
        {"flat", "0", "0", "0", "0", "stable", "2006", "7"}};
    const auto rows = summaryRows(outcome.summary);
    QCOMPARE(rows.size(), std::size(expected));
    const auto shown = [](const QString &full) { return trend::formatReal(full.toDouble()); };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto &row = rows[i];
        const Expected &e = expected[i];
        QCOMPARE(row["case"], QString::fromUtf8(e.label));
        QCOMPARE(shown(row["absolute_change"]), QString::fromLatin1(e.line1));
        QCOMPARE(shown(row["average_absolute_change"]), QString::fromLatin1(e.line2));
        QCOMPARE(shown(row["change_rate"]), QString::fromLatin1(e.line3));
        QCOMPARE(shown(row["average_annual_change_rate"]), QString::fromLatin1(e.line4));
        QCOMPARE(row["trend_class"], QString::fromLatin1(e.key));
        QCOMPARE(row["forecast_year"], QString::fromLatin1(e.year));
        QCOMPARE(shown(row["forecast_level"]), QString::fromLatin1(e.forecast));
        QCOMPARE(row["first_year"], QStringLiteral("2001"));
    }
    QCOMPARE(rows[0]["trend_class_ru"], QStringLiteral("Выраженная тенденция."));
    QCOMPARE(rows[0]["slope"], QStringLiteral("1.2"));
    QCOMPARE(rows[2]["slope"].toDouble(), 3.0 / 28); // full precision

    const QByteArray falling = readAll(dir.filePath(QStringLiteral("examples/falling.txt")));
    QVERIFY(falling.startsWith("Фактическая заболеваемость: \n2001: 20\n2002: 19,5\n"));
    QVERIFY(falling.contains("\nАбсолютное снижение заболеваемости равно -2.\n"));
    QVERIFY(falling.endsWith("\nПрогнозируемый уровень заболеваемости на 2006 год равен 17.5."));
}

void TestBatch::reportEqualsWindowsSavedFile()
{
    const QStringList typed {"12,5", "13.25", "0.1", "15", "1e1", "16"};

    // The window: typed, calculated and saved through its own dialog.
    TTrendForm form;
    form.YearBox->setValue(1998);
    form.SubmitButton->click();
    for (const QString &value : typed) {
        form.IncidenceEdit->setText(value);
        form.SubmitButton->click();
    }
    form.CalculateButton->click();
    ModalDriver driver;
    driver.expect(ModalDriver::acceptFile(dir.filePath(QStringLiteral("window"))));
    form.SaveButton->click();
    QCOMPARE(driver.unexpected, QStringList());
    const QByteArray saved = readAll(dir.filePath(QStringLiteral("window.txt")));
    QVERIFY(saved.size() > 100);

    // The same values in a table.
    const QByteArray table = "region\t1998\t1999\t2000\t2001\t2002\t2003\nСевер\t"
        + typed.join(QLatin1Char('\t')).toUtf8() + "\n";
    batch::Options options;
    options.reportsDir = dir.filePath(QStringLiteral("same"));
    const Outcome outcome = runBatch(dir, table, options);
    QCOMPARE(outcome.status, int(batch::AllComputed));
    QCOMPARE(readAll(dir.filePath(QStringLiteral("same/Север.txt"))), saved);
}

void TestBatch::skipReasons_data()
{
    QTest::addColumn<bool>("longLayout");
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("message");

    QTest::newRow("fewer than five values")
        << false << QByteArray("d;2001;2002;2003;2004;2005\nA;;1;2;3;4\n")
        << "FILE:2: A: меньше пяти значений (4)";
    QTest::newRow("empty cell between values")
        << false << QByteArray("d;2001;2002;2003;2004;2005;2006\nA;1;2;;4;5;6\n")
        << "FILE:2: A: пустая ячейка за 2003 год";
    QTest::newRow("unreadable cell")
        << false << QByteArray("d;2001;2002;2003;2004;2005\nA;1;2;н/д;4;5\n")
        << "FILE:2: A: 2003 год: «н/д» не является числом";
    QTest::newRow("placeholder is no value in a table")
        << false << QByteArray("d;2001;2002;2003;2004;2005\nA;1;2;-;4;5\n")
        << "FILE:2: A: 2003 год: «-» не является числом";
    QTest::newRow("decimal comma in a comma table")
        << false << QByteArray("d,2001,2002,2003,2004,2005\nA,1,\"2,5\",3,4,5\n")
        << "FILE:2: A: 2002 год: «2,5»: в таблице с разделителем-запятой десятичная запятая "
           "не принимается, нужна точка";
    QTest::newRow("beyond single precision")
        << false << QByteArray("d;2001;2002;2003;2004;2005\nA;1;2;1e39;4;5\n")
        << "FILE:2: A: 2003 год: значение «1e39» вне диапазона одинарной точности";
    QTest::newRow("more values than years")
        << false << QByteArray("d;2001;2002;2003;2004;2005\nA;1;2;3;4;5;6\n")
        << "FILE:2: A: значений больше, чем лет в заголовке";
    QTest::newRow("no values, no label") << false << QByteArray("d;2001;2002;2003;2004;2005\n;;;\n")
                                         << "FILE:2: строка 2: нет ни одного значения";
    QTest::newRow("long: repeated year")
        << true << QByteArray("d;year;value\nA;2001;1\nA;2002;2\nA;2003;3\nA;2002;4\nA;2004;5\n")
        << "FILE:5: A: год 2002 повторяется (строки 3 и 5)";
    QTest::newRow("long: missing year")
        << true << QByteArray("d;year;value\nA;2001;1\nA;2002;2\nA;2004;3\nA;2005;4\nA;2006;5\n")
        << "FILE:2: A: нет значения за 2003 год";
    QTest::newRow("long: empty value between")
        << true << QByteArray("d;year;value\nA;2001;1\nA;2002;2\nA;2003;\nA;2004;4\nA;2005;5\n")
        << "FILE:4: A: пустая ячейка за 2003 год";
    QTest::newRow("long: unreadable year")
        << true << QByteArray("d;year;value\nA;2001;1\nA;20x2;2\n")
        << "FILE:3: A: год «20x2» не распознан (нужен год 1900–9999)";
    QTest::newRow("long: fewer than five")
        << true << QByteArray("d;year;value\nA;2001;1\nA;2002;\n")
        << "FILE:2: A: меньше пяти значений (1)";
}

void TestBatch::skipReasons()
{
    QFETCH(bool, longLayout);
    QFETCH(QByteArray, table);
    QFETCH(QString, message);

    // Each table also holds one good series, which must still be computed.
    QByteArray withGood = table;
    QByteArray good
        = longLayout ? "Z;2001;1\nZ;2002;2\nZ;2003;3\nZ;2004;4\nZ;2005;5\n" : "Z;1;2;3;4;5\n";
    if (table.startsWith("d,"))
        good.replace(';', ',');
    withGood.append(good);
    batch::Options options;
    options.longLayout = longLayout;
    const Outcome outcome = runBatch(dir, withGood, options);
    QCOMPARE(outcome.messages, message + QLatin1Char('\n'));
    QCOMPARE(outcome.status, int(batch::SomeSkipped));
    const auto rows = summaryRows(outcome.summary);
    QCOMPARE(rows.size(), std::size_t(1));
    QCOMPARE(rows[0]["d"], QStringLiteral("Z"));
}

void TestBatch::wideAndLongAgree()
{
    const QByteArray wide = "disease,district,2010,2011,2012,2013,2014,2015\n"
                            "Корь,Север,1.5,2.5,2,3,,\n"
                            "Корь,Юг,,10,12,11,14,15\n"
                            "Грипп,Север,100,90,80,75,70,60\n";
    // The same data, one value a row, rows shuffled.
    const QByteArray longTable = "disease,district,year,value\n"
                                 "Грипп,Север,2013,75\n"
                                 "Корь,Север,2011,2.5\n"
                                 "Корь,Юг,2015,15\n"
                                 "Корь,Север,2010,1.5\n"
                                 "Грипп,Север,2010,100\n"
                                 "Корь,Юг,2011,10\n"
                                 "Корь,Север,2013,3\n"
                                 "Грипп,Север,2011,90\n"
                                 "Корь,Юг,2012,12\n"
                                 "Грипп,Север,2015,60\n"
                                 "Корь,Юг,2013,11\n"
                                 "Корь,Север,2012,2\n"
                                 "Грипп,Север,2014,70\n"
                                 "Корь,Юг,2014,14\n"
                                 "Грипп,Север,2012,80\n";
    batch::Options options;
    const Outcome fromWide = runBatch(dir, wide, options);
    options.longLayout = true;
    const Outcome fromLong = runBatch(dir, longTable, options);
    QCOMPARE(fromWide.status, 1); // Корь/Север has four values
    QCOMPARE(fromLong.status, 1);

    auto wideRows = summaryRows(fromWide.summary);
    auto longRows = summaryRows(fromLong.summary);
    const auto key = [](const QHash<QString, QString> &r) { return r["disease"] + r["district"]; };
    const auto byKey = [&](auto &rows) {
        std::sort(rows.begin(), rows.end(), [&](auto &a, auto &b) { return key(a) < key(b); });
    };
    byKey(wideRows);
    byKey(longRows);
    QCOMPARE(wideRows.size(), std::size_t(2));
    QCOMPARE(longRows.size(), wideRows.size());
    for (std::size_t i = 0; i < wideRows.size(); ++i)
        QCOMPARE(longRows[i], wideRows[i]);
}

void TestBatch::hostileLabelsStayInside()
{
    const QStringList labels {"../../escape", "/etc/passwd", "a/b", "a_b", "A_B", "..", ".", "",
        "ctrl\x01\x7f"
        "char",
        " .hidden. ", "tab\there", QString(300, QChar(0x416)), "C:\\windows", "new\nline"};
    QByteArray table = "label;2001;2002;2003;2004;2005\n";
    for (const QString &label : labels) {
        QByteArray cell = label.toUtf8();
        cell.replace('"', "\"\"");
        table += "\"" + cell + "\";1;2;3;4;5\n";
    }
    const QString reports = dir.filePath(QStringLiteral("hostile"));
    batch::Options options;
    options.reportsDir = reports;
    options.delimiter = ';';
    const Outcome outcome = runBatch(dir, table, options);
    QCOMPARE(outcome.messages, QString());
    QCOMPARE(outcome.status, 0);

    const QString root = QFileInfo(reports).canonicalFilePath();
    QStringList files;
    QDirIterator it(
        root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QVERIFY2(info.isFile(), qPrintable(info.filePath()));
        QCOMPARE(info.canonicalPath(), root); // no subfolder, nothing outside
        QVERIFY(!info.fileName().startsWith(QLatin1Char('.')));
        QVERIFY(info.fileName().toUtf8().size() <= 130);
        files.append(info.fileName().toCaseFolded());
    }
    QCOMPARE(files.size(), labels.size()); // one each, none overwritten
    QCOMPARE(QSet<QString>(files.begin(), files.end()).size(), files.size());
    // Nothing escaped next to the folder or above it.
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("escape.txt"))));
    QCOMPARE(batch::safeFileStem({QStringLiteral("..")}), QStringLiteral("series"));
    QCOMPARE(batch::safeFileStem({QStringLiteral("Корь"), QStringLiteral("Юг/Запад")}),
        QStringLiteral("Корь_Юг_Запад"));
}

void TestBatch::olsAgainstIndependentFit_data()
{
    QTest::addColumn<std::vector<double>>("values");
    QTest::addColumn<int>("firstYear");
    QTest::addColumn<std::vector<double>>("expected"); // slope, se, ci low, ci high, p, r2

    // Computed with SciPy 1.10.1 (Debian 12): scipy.stats.linregress over the
    // calendar years, and stats.t.ppf(0.975, n - 2) for the interval.
    QTest::newRow("five values, odd")
        << std::vector<double> {10, 12, 11, 14, 15} << 2001
        << std::vector<double> {1.2000000000000002, 0.3055050463303892, 0.2277465940601554,
               2.172253405939845, 0.029370494881299947, 0.8372093023255816};
    QTest::newRow("six values, even")
        << std::vector<double> {1, 2, 3.5, 4, 5, 7} << 1995
        << std::vector<double> {1.1285714285714286, 0.09147320339189798, 0.8746011007572307,
               1.3825417563856264, 0.0002479850627949921, 0.9743950039032006};
}

void TestBatch::olsAgainstIndependentFit()
{
    QFETCH(std::vector<double>, values);
    QFETCH(int, firstYear);
    QFETCH(std::vector<double>, expected);

    const auto years = trend::seriesYears(firstYear, int(values.size()));
    const batch::OlsFit fit = batch::fitOverYears(years, values);
    const double got[]
        = {fit.slope, fit.slopeError, fit.ciLow, fit.ciHigh, fit.pValue, fit.rSquared};
    for (int i = 0; i < 6; ++i)
        QVERIFY2(std::fabs(got[i] - expected[std::size_t(i)])
                <= 1e-9 * std::fabs(expected[std::size_t(i)]),
            qPrintable(QStringLiteral("column %1: %2").arg(i).arg(got[i], 0, 'g', 17)));

    // For an odd series the window's slope is the same; for an even one not.
    const auto window = trend::calculate(values, qint16(values.size()));
    QCOMPARE(std::fabs(window.slope - fit.slope) < 1e-12, values.size() % 2 == 1);
}

void TestBatch::jsonSummary()
{
    batch::Options options;
    options.format = batch::SummaryFormat::Json;
    const Outcome outcome
        = runBatch(dir, "d;2001;2002;2003;2004;2005\n\"q\"\"x\";0;0;0;0;0\nB;1;2;3;4;5\n", options);
    QCOMPARE(outcome.status, 0);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(outcome.summary, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonArray rows = doc.array();
    QCOMPARE(rows.size(), 2);
    const QJsonObject zeros = rows[0].toObject();
    QCOMPARE(zeros["labels"].toObject()["d"].toString(), QStringLiteral("q\"x"));
    QVERIFY(zeros["change_rate"].isNull()); // nan has no JSON number
    QCOMPARE(zeros["trend_class"].toString(), QStringLiteral("stable"));
    QCOMPARE(rows[1].toObject()["slope"].toDouble(), 1.0);
    QCOMPARE(rows[1].toObject()["n"].toInt(), 5);
}

void TestBatch::summaryKeptWhenAReportFails()
{
    // A folder takes the name of A's report.
    const QString reports = dir.filePath(QStringLiteral("blocked"));
    QVERIFY(QDir().mkpath(reports + QStringLiteral("/A.txt")));
    batch::Options options;
    options.reportsDir = reports;
    const Outcome outcome
        = runBatch(dir, "d;2001;2002;2003;2004;2005\nA;1;2;3;4;5\nB;5;4;3;2;1\n", options);
    QCOMPARE(outcome.status, int(batch::Failure));
    QVERIFY2(outcome.messages.startsWith(QStringLiteral("FILE:2: A: отчёт ")),
        qPrintable(outcome.messages));
    QCOMPARE(summaryRows(outcome.summary).size(), std::size_t(2));
    QVERIFY(QFileInfo::exists(reports + QStringLiteral("/B.txt")));
}

void TestBatch::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input"); // standard input
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("stdoutStart");

    const QByteArray good = "d;2001;2002;2003;2004;2005\nA;1;2;3;4;5\n";
    QTest::newRow("version") << QStringList {"--version"} << QByteArray() << 0
                             << "vantorel-batch " VANTOREL_VERSION "\n";
    QTest::newRow("help") << QStringList {"--help"} << QByteArray() << 0 << "Использование:";
    QTest::newRow("standard input, all computed")
        << QStringList {"-"} << good << 0 << "d,first_year,last_year,n,";
    QTest::newRow("some skipped") << QStringList {"-"} << good + "B;1;2\n" << 1 << "d,first_year";
    QTest::newRow("unknown option") << QStringList {"--bogus", "-"} << good << 2 << "";
    QTest::newRow("no table") << QStringList {} << QByteArray() << 2 << "";
    QTest::newRow("missing file") << QStringList {"/nonexistent/table.csv"} << QByteArray() << 2
                                  << "";
    QTest::newRow("header without years")
        << QStringList {"-"} << QByteArray("a;b\n1;2\n") << 2 << "";
    QTest::newRow("bad format") << QStringList {"--format", "xml", "-"} << good << 2 << "";
}

void TestBatch::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, stdoutStart);

    QProcess process;
    process.start(QStringLiteral(VANTOREL_BATCH_PATH), arguments);
    QVERIFY(process.waitForStarted());
    process.write(input);
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY2(stdoutStart.isEmpty() || out.startsWith(stdoutStart), qPrintable(out.left(200)));
    if (status == 2)
        QVERIFY(process.readAllStandardError().startsWith("vantorel-batch: "));
}

void TestBatch::shippedExampleWithCharts_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("svg") << "svg";
    QTest::newRow("png") << "png";
}

void TestBatch::shippedExampleWithCharts()
{
    QFETCH(QString, format);
    // The table the README shows, through the real command line.
    const QString out = dir.filePath(QStringLiteral("example-") + format);
    QProcess process;
    process.start(QStringLiteral(VANTOREL_BATCH_PATH),
        {QStringLiteral(VANTOREL_SOURCE_DIR "/examples/surveillance.csv"),
            QStringLiteral("--reports"), out + QStringLiteral("/reports"),
            QStringLiteral("--charts"), out + QStringLiteral("/charts"),
            QStringLiteral("--chart-format"), format, QStringLiteral("-o"),
            out + QStringLiteral("-summary.csv")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
        QStringLiteral(VANTOREL_SOURCE_DIR "/examples/surveillance.csv:5: Ветряная оспа / "
                                           "Южный: пустая ячейка за 2014 год\n"));
    QCOMPARE(summaryRows(readAll(out + QStringLiteral("-summary.csv"))).size(), std::size_t(6));

    const QStringList charts = QDir(out + QStringLiteral("/charts")).entryList(QDir::Files);
    QCOMPARE(charts.size(), 6);
    QCOMPARE(QDir(out + QStringLiteral("/reports")).entryList(QDir::Files).size(), 6);
    for (const QString &name : charts) {
        const QString path = out + QStringLiteral("/charts/") + name;
        QVERIFY(name.endsWith(QLatin1Char('.') + format));
        if (format == QLatin1String("svg")) {
            QVERIFY2(QSvgRenderer(path).isValid(), qPrintable(name));
            // The title names the series.
            const QString stem = QFileInfo(name).completeBaseName();
            QVERIFY(QString::fromUtf8(readAll(path)).contains(stem.section(u'_', 0, 0)));
        } else {
            QImage image(path);
            QVERIFY2(!image.isNull() && image.width() >= 900, qPrintable(name));
        }
    }
}

QTEST_MAIN(TestBatch)
#include "tst_batch.moc"
