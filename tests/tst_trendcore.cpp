// The calculation core: worked examples, thresholds, non-finite values,
// number formats, time codes and the reading of typed values.
#include "incidencetext.h"
#include "trendcore.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <limits>

using trend::TrendClass;

Q_DECLARE_METATYPE(std::vector<double>)
Q_DECLARE_METATYPE(std::vector<qint16>)
Q_DECLARE_METATYPE(trend::EntryKind)

namespace {

std::vector<double> values(std::initializer_list<double> v)
{
    return std::vector<double>(v);
}

QStringList lineTexts(const trend::TrendResult &r, const std::vector<qint32> &years)
{
    QStringList out;
    for (const trend::ReportLine &line : trend::calculationLines(r, years))
        out.append(line.text);
    return out;
}

constexpr double inf = std::numeric_limits<double>::infinity();
const double notANumber = std::numeric_limits<double>::quiet_NaN();

} // namespace

class TestTrendCore : public QObject
{
    Q_OBJECT

private slots:
    void timeCodes_data();
    void timeCodes();
    void lineReport_data();
    void lineReport();
    void indicators_data();
    void indicators();
    void thresholds_data();
    void thresholds();
    void nonFinite_data();
    void nonFinite();
    void realFormat_data();
    void realFormat();
    void straightLineIsReproduced();
    void seriesYearsStopAtUpperBound();
    void entry_data();
    void entry();
    void middleAndSum_data();
    void middleAndSum();
    void readingMatchesToFloat();
};

void TestTrendCore::timeCodes_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<std::vector<qint16>>("codes");
    QTest::addColumn<double>("squares");

    QTest::newRow("5 odd") << 5 << std::vector<qint16> {-2, -1, 0, 1, 2} << 10.0;
    QTest::newRow("6 even, zero left out")
        << 6 << std::vector<qint16> {-3, -2, -1, 1, 2, 3} << 28.0;
    QTest::newRow("7 odd") << 7 << std::vector<qint16> {-3, -2, -1, 0, 1, 2, 3} << 28.0;
    QTest::newRow("8 even") << 8 << std::vector<qint16> {-4, -3, -2, -1, 1, 2, 3, 4} << 60.0;
    QTest::newRow("9 odd") << 9 << std::vector<qint16> {-4, -3, -2, -1, 0, 1, 2, 3, 4} << 60.0;
    QTest::newRow("10 even") << 10 << std::vector<qint16> {-5, -4, -3, -2, -1, 1, 2, 3, 4, 5}
                             << 110.0;
}

void TestTrendCore::timeCodes()
{
    QFETCH(int, n);
    QFETCH(std::vector<qint16>, codes);
    QFETCH(double, squares);

    QCOMPARE(trend::timeCodes(qint16(n)), codes);
    const trend::TrendResult r
        = trend::calculate(std::vector<double>(std::size_t(n), 1.0), qint16(n));
    QCOMPARE(r.timeCodes, codes);
    QCOMPARE(r.squaredIntervalSum, squares);
}

void TestTrendCore::lineReport_data()
{
    QTest::addColumn<int>("firstYear");
    QTest::addColumn<std::vector<double>>("series");
    QTest::addColumn<QStringList>("expected"); // lines 1 to n + 5

    QTest::newRow("rising odd from 2000")
        << 2000 << values({10, 12, 14, 16, 18})
        << QStringList {"Сумма показателей заболеваемости за 5 лет равна 70.",
               "Средняя заболеваемость за 5 лет равна 14.",
               "Сумма значений показателей (фактическая заболеваемость * временные "
               "интервалы) равна 20.",
               "Разница между теоретическими уровнями заболеваемости равна 2.",
               "Теоретические уровни заболеваемости: ", "2000: 10", "2001: 12", "2002: 14",
               "2003: 16", "2004: 18"};
    QTest::newRow("one to six from 1995, even")
        << 1995 << values({1, 2, 3, 4, 5, 6})
        << QStringList {"Сумма показателей заболеваемости за 6 лет равна 21.",
               "Средняя заболеваемость за 6 лет равна 3.5.",
               "Сумма значений показателей (фактическая заболеваемость * временные "
               "интервалы) равна 22.",
               "Разница между теоретическими уровнями заболеваемости равна 0.785714.",
               "Теоретические уровни заболеваемости: ", "1995: 1.14286", "1996: 1.92857",
               "1997: 2.71429", "1998: 4.28571", "1999: 5.07143", "2000: 5.85714"};
    QTest::newRow("falling even from 2001")
        << 2001 << values({100, 90, 80, 75, 70, 60})
        << QStringList {"Сумма показателей заболеваемости за 6 лет равна 475.",
               "Средняя заболеваемость за 6 лет равна 79.1667.",
               "Сумма значений показателей (фактическая заболеваемость * временные "
               "интервалы) равна -165.",
               "Разница между теоретическими уровнями заболеваемости равна -5.89286.",
               "Теоретические уровни заболеваемости: ", "2001: 96.8452", "2002: 90.9524",
               "2003: 85.0595", "2004: 73.2738", "2005: 67.381", "2006: 61.4881"};
}

void TestTrendCore::lineReport()
{
    QFETCH(int, firstYear);
    QFETCH(std::vector<double>, series);
    QFETCH(QStringList, expected);

    const qint16 n = qint16(series.size());
    const auto years = trend::seriesYears(firstYear, n);
    const trend::TrendResult r = trend::calculate(series, n);
    const QStringList lines = lineTexts(r, years);
    QCOMPARE(lines.mid(0, expected.size()), expected);
    // Year lines are shown as they are; composed lines are translatable.
    const auto report = trend::calculationLines(r, years);
    for (std::size_t i = 0; i < report.size(); ++i)
        QCOMPARE(report[i].translatable, i < 5 || i >= std::size_t(5 + n));
}

void TestTrendCore::indicators_data()
{
    QTest::addColumn<std::vector<double>>("series");
    QTest::addColumn<QStringList>("expected"); // the last six lines

    const QString inc1 = "Абсолютный прирост заболеваемости равен ";
    const QString dec1 = "Абсолютное снижение заболеваемости равно ";
    const QString inc2 = "Средний абсолютный прирост заболеваемости равен ";
    const QString dec2 = "Среднее абсолютное снижение заболеваемости равно ";
    const QString inc3 = "Темп прироста заболеваемости равен ";
    const QString dec3 = "Темп снижения заболеваемости равен ";
    const QString inc4 = "Среднегодовой темп прироста заболеваемости равен ";
    const QString dec4 = "Среднегодовой темп снижения заболеваемости равен ";
    const QString pronounced = "Выраженная тенденция.";
    const QString moderate = "Умеренная тенденция.";
    const QString stable = "Стабильная тенденция (отсутствие изменения).";
    const auto forecast = [](const char *year, const char *level) {
        return QString("Прогнозируемый уровень заболеваемости на %1 год равен %2.")
            .arg(year, level);
    };

    QTest::newRow("rising, pronounced")
        << values({10, 12, 11, 14, 15})
        << QStringList {inc1 + "4.8.", inc2 + "1.2.", inc3 + "48%.", inc4 + "9.67742%.", pronounced,
               forecast("2006", "16")};
    QTest::newRow("falling, moderate")
        << values({20, 19.5, 19, 18.5, 18})
        << QStringList {dec1 + "-2.", dec2 + "-0.5.", dec3 + "-10%.", dec4 + "-2.63158%.", moderate,
               forecast("2006", "17.5")};
    QTest::newRow("six values, stable")
        << values({100, 101, 99, 100, 102, 100})
        << QStringList {inc1 + "0.642857.", inc2 + "0.128571.", inc3 + "0.642781%.",
               inc4 + "0.106787%.", stable, forecast("2007", "100.762")};
    QTest::newRow("exactly +5 is moderate")
        << values({18, 19, 20, 21, 22})
        << QStringList {inc1 + "4.", inc2 + "1.", inc3 + "22.2222%.", inc4 + "5%.", moderate,
               forecast("2006", "23")};
    QTest::newRow("exactly -5 is moderate")
        << values({22, 21, 20, 19, 18})
        << QStringList {dec1 + "-4.", dec2 + "-1.", dec3 + "-18.1818%.", dec4 + "-5%.", moderate,
               forecast("2006", "17")};
    QTest::newRow("exactly +1 is stable")
        << values({98, 99, 100, 101, 102})
        << QStringList {inc1 + "4.", inc2 + "1.", inc3 + "4.08163%.", inc4 + "1%.", stable,
               forecast("2006", "103")};
    QTest::newRow("exactly -1 is stable")
        << values({102, 101, 100, 99, 98})
        << QStringList {dec1 + "-4.", dec2 + "-1.", dec3 + "-3.92157%.", dec4 + "-1%.", stable,
               forecast("2006", "97")};
    QTest::newRow("first level below zero: line 3 alone decreases")
        << values({0, 0, 0, 0, 10})
        << QStringList {inc1 + "8.", inc2 + "2.", dec3 + "-400%.", inc4 + "100%.", pronounced,
               forecast("2006", "8")};
    QTest::newRow("flat series") << values({7, 7, 7, 7, 7})
                                 << QStringList {inc1 + "0.", inc2 + "0.", inc3 + "0%.",
                                        inc4 + "0%.", stable, forecast("2006", "7")};
}

void TestTrendCore::indicators()
{
    QFETCH(std::vector<double>, series);
    QFETCH(QStringList, expected);

    const qint16 n = qint16(series.size());
    const QStringList lines = lineTexts(trend::calculate(series, n), trend::seriesYears(2001, n));
    QCOMPARE(lines.mid(lines.size() - 6), expected);
}

void TestTrendCore::thresholds_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<TrendClass>("expected");

    QTest::newRow("0") << 0.0 << TrendClass::Stable;
    QTest::newRow("-0") << -0.0 << TrendClass::Stable;
    QTest::newRow("+1") << 1.0 << TrendClass::Stable;
    QTest::newRow("-1") << -1.0 << TrendClass::Stable;
    QTest::newRow("just above +1") << std::nextafter(1.0, 2.0) << TrendClass::Moderate;
    QTest::newRow("just below -1") << std::nextafter(-1.0, -2.0) << TrendClass::Moderate;
    QTest::newRow("+5") << 5.0 << TrendClass::Moderate;
    QTest::newRow("-5") << -5.0 << TrendClass::Moderate;
    QTest::newRow("just above +5") << std::nextafter(5.0, 6.0) << TrendClass::Pronounced;
    QTest::newRow("just below -5") << std::nextafter(-5.0, -6.0) << TrendClass::Pronounced;
    QTest::newRow("+inf") << inf << TrendClass::Pronounced;
    QTest::newRow("-inf") << -inf << TrendClass::Pronounced;
    QTest::newRow("nan") << notANumber << TrendClass::Stable;
}

void TestTrendCore::thresholds()
{
    QFETCH(double, rate);
    QFETCH(TrendClass, expected);
    QCOMPARE(trend::classify(rate), expected);
}

void TestTrendCore::nonFinite_data()
{
    QTest::addColumn<std::vector<double>>("series");
    QTest::addColumn<QStringList>("expected"); // lines 3 and 4 of the indicators, class

    QTest::newRow("all zeros: undefined rates take the increase wording")
        << values({0, 0, 0, 0, 0})
        << QStringList {"Темп прироста заболеваемости равен nan%.",
               "Среднегодовой темп прироста заболеваемости равен nan%.",
               "Стабильная тенденция (отсутствие изменения)."};
    QTest::newRow("first level zero: infinite rate of change")
        << values({0, 1, 2, 3, 4})
        << QStringList {"Темп прироста заболеваемости равен inf%.",
               "Среднегодовой темп прироста заболеваемости равен 50%.", "Выраженная тенденция."};
    QTest::newRow("mean zero, falling: -inf is a pronounced decrease")
        << values({2, 1, 0, -1, -2})
        << QStringList {"Темп снижения заболеваемости равен -200%.",
               "Среднегодовой темп снижения заболеваемости равен -inf%.", "Выраженная тенденция."};
}

void TestTrendCore::nonFinite()
{
    QFETCH(std::vector<double>, series);
    QFETCH(QStringList, expected);
    const qint16 n = qint16(series.size());
    const QStringList lines = lineTexts(trend::calculate(series, n), trend::seriesYears(2001, n));
    QCOMPARE(lines.mid(lines.size() - 4, 3), expected);
}

void TestTrendCore::realFormat_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("million in exponent form") << 1234567.0 << "1.23457e+06";
    QTest::newRow("six digits stay plain") << 123456.0 << "123456";
    QTest::newRow("rounds up into exponent form") << 999999.5 << "1e+06";
    QTest::newRow("small value") << 0.0001234567 << "0.000123457";
    QTest::newRow("smaller still") << 0.00001234567 << "1.23457e-05";
    QTest::newRow("whole value without point") << 70.0 << "70";
    QTest::newRow("negative keeps sign") << -5.892857142857143 << "-5.89286";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("huge") << 3.4e38 << "3.4e+38";
    QTest::newRow("inf") << inf << "inf";
    QTest::newRow("-inf") << -inf << "-inf";
    QTest::newRow("nan") << notANumber << "nan";
}

void TestTrendCore::realFormat()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(trend::formatReal(value), text);
}

void TestTrendCore::straightLineIsReproduced()
{
    // Over an odd series the codes are the years shifted by the middle year,
    // so values on a straight line come back as their own theoretical levels
    // and the forecast continues the line.
    QRandomGenerator rng(20261206);
    for (int round = 0; round < 500; ++round) {
        const int n = 5 + 2 * int(rng.bounded(200));
        const double intercept = rng.bounded(2000.0) - 1000.0;
        const double step = rng.bounded(20.0) - 10.0;
        std::vector<double> series;
        for (int i = 0; i < n; ++i)
            series.push_back(intercept + step * i);
        const trend::TrendResult r = trend::calculate(series, qint16(n));
        const double scale = std::fabs(intercept) + std::fabs(step) * n + 1;
        const double tolerance = 1e-11 * scale;
        QVERIFY2(std::fabs(r.slope - step) <= tolerance, qPrintable(QString::number(n)));
        for (int i = 0; i < n; ++i)
            QVERIFY(std::fabs(r.theoreticalLevels[std::size_t(i)] - series[std::size_t(i)])
                <= tolerance);
        QVERIFY(std::fabs(r.forecastLevel - (intercept + step * n)) <= tolerance);
        QCOMPARE(r.timeCodes.front(), qint16(-(n - 1) / 2));
    }
}

void TestTrendCore::seriesYearsStopAtUpperBound()
{
    QCOMPARE(
        trend::seriesYears(2005, 5), (std::vector<qint32> {2005, 2006, 2007, 2008, 2009, 2010}));
    QCOMPARE(trend::seriesYears(9998, 3), (std::vector<qint32> {9998, 9999, 9999, 9999}));
}

void TestTrendCore::entry_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<trend::EntryKind>("kind");
    QTest::addColumn<double>("value");

    // The common cases are typed through the form in its own test; these
    // are the rest of the grammar.
    using K = trend::EntryKind;
    QTest::newRow("trailing point") << "12." << K::Number << 12.0;
    QTest::newRow("leading comma") << ",5" << K::Number << 0.5;
    QTest::newRow("exponent") << "1e5" << K::Number << 1e5;
    QTest::newRow("negative") << "-3,25" << K::Number << -3.25;
    QTest::newRow("zero") << "0" << K::Number << 0.0;
    QTest::newRow("subnormal kept") << "1e-40" << K::Number << double(1e-40f);
    QTest::newRow("sign and comma") << "+," << K::Placeholder << 0.0;
    QTest::newRow("grouped, Continental") << "1.000,5" << K::Malformed << 0.0;
    QTest::newRow("sign inside") << "1-2" << K::Malformed << 0.0;
    QTest::newRow("underflows to zero") << "1e-50" << K::OutOfRange << 0.0;
    QTest::newRow("letters") << "abc" << K::Foreign << 0.0;
    QTest::newRow("blank") << " 12" << K::Foreign << 0.0;
    QTest::newRow("empty") << "" << K::Empty << 0.0;
}

void TestTrendCore::entry()
{
    QFETCH(QString, text);
    QFETCH(trend::EntryKind, kind);
    QFETCH(double, value);

    const trend::Entry e = trend::parseEntry(text);
    QCOMPARE(e.kind, kind);
    QCOMPARE(e.value, value);
}

void TestTrendCore::middleAndSum_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<bool>("even");
    QTest::addColumn<int>("middle");
    QTest::addColumn<double>("sum"); // of 1, 2, ... n

    QTest::newRow("0") << 0 << true << 0 << 0.0;
    QTest::newRow("negative") << -3 << false << -2 << 0.0;
    QTest::newRow("5") << 5 << false << 3 << 15.0;
    QTest::newRow("6") << 6 << true << 0 << 21.0;
    QTest::newRow("largest") << 32767 << false << 16384 << 32767.0 * 32768 / 2;
}

void TestTrendCore::middleAndSum()
{
    QFETCH(int, n);
    QFETCH(bool, even);
    QFETCH(int, middle);
    QFETCH(double, sum);

    QCOMPARE(trend::isEven(qint16(n)), even);
    QCOMPARE(int(trend::middlePosition(qint16(n))), middle);
    std::vector<double> series;
    for (int i = 1; i <= std::max(n, 0); ++i)
        series.push_back(i);
    QCOMPARE(trend::sumOfValues(series, qint16(n)), sum);
}

void TestTrendCore::readingMatchesToFloat()
{
    // The reader must give exactly what QString::toFloat gives for the same
    // number written with a point, for typed text and table bytes alike.
    const auto check = [](const QString &text) {
        QString withPoint = text;
        withPoint.replace(u',', u'.');
        bool ok = false;
        const float expected = withPoint.toFloat(&ok);
        const trend::Entry typed = trend::parseEntry(text);
        const trend::Entry bytes = trend::parseEntry(QByteArrayView(text.toLatin1()));
        QVERIFY2(typed.kind == (ok ? trend::EntryKind::Number : trend::EntryKind::OutOfRange),
            qPrintable(text));
        QCOMPARE(bytes.kind, typed.kind);
        if (ok) {
            QCOMPARE(typed.value, double(expected));
            QCOMPARE(bytes.value, double(expected));
        }
    };
    // Edges of single precision and of rounding.
    for (const char *edge :
        {"3.4028235e38", "3.4028234e38", "-3.40282347e+38", "1e-45", "7e-46", "7.1e-46",
            "0,000000000000000000000000000000000000000000001", "16777217", "16777217.0000001",
            "0.1000000014901161193847656249999", "0.10000000149011611938476562500001", "1e-320",
            "4.9e-324", "2e-324", "1e400", "-0", "+0,0e-0", "00000000000000000000000012.5"}) {
        check(QString::fromLatin1(edge));
    }
    QRandomGenerator rng(7);
    const auto digits = [&](int count) {
        QString out;
        for (int i = 0; i < count; ++i)
            out += QChar(u'0' + char16_t(rng.bounded(10)));
        return out;
    };
    for (int round = 0; round < 20000; ++round) {
        QString text;
        if (rng.bounded(3) == 0)
            text += rng.bounded(2) ? u'-' : u'+';
        const int whole = int(rng.bounded(12));
        text += digits(whole);
        if (whole == 0 || rng.bounded(2)) {
            text += rng.bounded(2) ? u'.' : u',';
            text += digits(int(rng.bounded(whole == 0 ? 1 : 0, 12)));
        }
        if (rng.bounded(3) == 0) {
            text += rng.bounded(2) ? u'e' : u'E';
            if (rng.bounded(2))
                text += rng.bounded(2) ? u'-' : u'+';
            text += digits(int(rng.bounded(1, 3)));
        }
        check(text);
    }
}

QTEST_GUILESS_MAIN(TestTrendCore)
#include "tst_trendcore.moc"
