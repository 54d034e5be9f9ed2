// Series entry and the report, driven through the form as a user drives it.
#include "modaldriver.h"
#include "trendform.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>

Q_DECLARE_METATYPE(std::vector<double>)

namespace {

const QString valuesPrompt
    = QStringLiteral("<font color=Blue> <p align=center> Вводите соответствующие году показатели "
                     "заболеваемости.</p> <font>");
const QString savePrompt = QStringLiteral(
    "<font color=Red> <p align=center> Нажмите кнопку, чтобы сохранить результаты расчёта.</font> "
    "</p>");

// Types a value into the field key by key and presses Enter, as a user does.
void typeValue(TTrendForm &form, const QString &text)
{
    QTest::keyClicks(form.IncidenceEdit, text);
    QTest::keyClick(form.IncidenceEdit, Qt::Key_Return);
}

void showActive(TTrendForm &form)
{
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
}

QStringList reportLines(const TTrendForm &form)
{
    return form.ResultEdit->toPlainText().split(QLatin1Char('\n'));
}

} // namespace

class TestEntry : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void wholeSeries_data();
    void wholeSeries();
    void emptyFieldIsRefused_data();
    void emptyFieldIsRefused();
    void typedText_data();
    void typedText();
    void calculateFromFifthValue_data();
    void calculateFromFifthValue();
    void yearStopsAtUpperBound();
    void seriesLimit_data();
    void seriesLimit();
    void enterPressesSubmit_data();
    void enterPressesSubmit();
};

void TestEntry::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

void TestEntry::wholeSeries_data()
{
    QTest::addColumn<int>("firstYear");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("middle");
    QTest::addColumn<std::vector<double>>(
        "members"); // runningSum, mean, squares, slope, 4 indicators

    QTest::newRow("five values from 2001")
        << 2001 << QStringList {"10", "12", "11", "14", "15"}
        << QStringList {"Фактическая заболеваемость: ", "2001: 10", "2002: 12", "2003: 11",
               "2004: 14", "2005: 15", "Сумма показателей заболеваемости за 5 лет равна 62.",
               "Средняя заболеваемость за 5 лет равна 12.4.",
               "Сумма значений показателей (фактическая заболеваемость * временные "
               "интервалы) равна 12.",
               "Разница между теоретическими уровнями заболеваемости равна 1.2.",
               "Теоретические уровни заболеваемости: ", "2001: 10", "2002: 11.2", "2003: 12.4",
               "2004: 13.6", "2005: 14.8", "Абсолютный прирост заболеваемости равен 4.8.",
               "Средний абсолютный прирост заболеваемости равен 1.2.",
               "Темп прироста заболеваемости равен 48%.",
               "Среднегодовой темп прироста заболеваемости равен 9.67742%.",
               "Выраженная тенденция.",
               "Прогнозируемый уровень заболеваемости на 2006 год равен 16."}
        << 3 << std::vector<double> {12, 12.4, 10, 1.2, 4.8, 1.2, 48, 100 * 1.2 / 12.4};
}

void TestEntry::wholeSeries()
{
    QFETCH(int, firstYear);
    QFETCH(QStringList, typed);
    QFETCH(QStringList, expected);
    QFETCH(int, middle);
    QFETCH(std::vector<double>, members);

    RecordingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    TTrendForm form;
    showActive(form);

    form.YearBox->setValue(firstYear);
    QTest::keyClick(form.YearBox, Qt::Key_Return);
    QCOMPARE(form.MessageLabel->text(), valuesPrompt);
    QCOMPARE(form.ResultEdit->toPlainText(), QStringLiteral("Фактическая заболеваемость: "));
    QVERIFY(form.IncidenceEdit->hasFocus());
    for (const QString &value : typed)
        typeValue(form, value);
    const int n = int(typed.size());
    QCOMPARE(int(form.incidenceCount), n);
    QCOMPARE(form.YearBox->value(), firstYear + n);

    QTest::mouseClick(form.CalculateButton, Qt::LeftButton);
    const QStringList lines = reportLines(form);
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(lines[i], expected[i]);

    // Only saving is left, with the red prompt.
    QVERIFY(!form.YearBox->isEnabled());
    QVERIFY(!form.IncidenceEdit->isEnabled());
    QVERIFY(!form.SubmitButton->isEnabled());
    QVERIFY(!form.CalculateButton->isEnabled());
    QVERIFY(form.SaveButton->isEnabled());
    QVERIFY(form.SaveButton->hasFocus());
    QCOMPARE(form.MessageLabel->text(), savePrompt);

    // What the calculation leaves in the form.
    QCOMPARE(int(form.middlePosition), middle);
    QCOMPARE(int(form.loopIndex), n);
    QCOMPARE(form.timeIntervals.size(), std::size_t(n));
    QCOMPARE(form.theoreticalLevels.size(), std::size_t(n));
    QCOMPARE(form.years.size(), std::size_t(n + 1));
    QCOMPARE(form.runningSum, members[0]);
    QCOMPARE(form.averageIncidence, members[1]);
    QCOMPARE(form.squaredIntervalSum, members[2]);
    QCOMPARE(form.slope, members[3]);
    QCOMPARE(form.absoluteChange, members[4]);
    QCOMPARE(form.averageAbsoluteChange, members[5]);
    QCOMPARE(form.changeRate, members[6]);
    QCOMPARE(form.averageAnnualChangeRate, members[7]);
    QCOMPARE(form.theoreticalLevels.front(), form.averageIncidence - (n / 2) * form.slope);

    // Composed lines are looked up in the form's context; year lines are not.
    QCOMPARE(translator.lookups.values(expected[0]), QStringList {"TTrendForm"});
    QCOMPARE(translator.lookups.values(expected[n + 1]), QStringList {"TTrendForm"});
    QCOMPARE(translator.lookups.values(expected.last()), QStringList {"TTrendForm"});
    QVERIFY(!translator.lookups.contains(expected[n + 6]));
    QCOMPARE(translator.lookups.values(savePrompt), QStringList {"TTrendForm"});
    QCoreApplication::removeTranslator(&translator);
}

void TestEntry::emptyFieldIsRefused_data()
{
    QTest::addColumn<int>("accepted");
    QTest::newRow("first value") << 0;
    QTest::newRow("after five values") << 5;
}

void TestEntry::emptyFieldIsRefused()
{
    QFETCH(int, accepted);

    TTrendForm form;
    form.SubmitButton->click();
    for (int i = 0; i < accepted; ++i) {
        form.IncidenceEdit->setText(QString::number(i));
        form.SubmitButton->click();
    }
    const auto years = form.years;
    const auto values = form.incidences;
    const QString report = form.ResultEdit->toPlainText();
    const int year = form.YearBox->value();
    const bool calculate = form.CalculateButton->isEnabled();

    ModalDriver driver;
    QString title, message;
    driver.expect(ModalDriver::clickButton(QStringLiteral("OK"), &title, &message));
    form.SubmitButton->click();
    QCOMPARE(driver.pending(), 0);
    QCOMPARE(driver.unexpected, QStringList());
    QCOMPARE(title, QStringLiteral("Ошибка ввода"));
    QCOMPARE(message, QStringLiteral("Введите значение заболеваемости для соответствующего года!"));

    QCOMPARE(int(form.incidenceCount), accepted);
    QCOMPARE(form.years, years);
    QCOMPARE(form.incidences, values);
    QCOMPARE(form.ResultEdit->toPlainText(), report);
    QCOMPARE(form.YearBox->value(), year);
    QCOMPARE(form.CalculateButton->isEnabled(), calculate);

    // The next value goes to the same year.
    form.IncidenceEdit->setText(QStringLiteral("7"));
    form.SubmitButton->click();
    QCOMPARE(form.years[std::size_t(accepted)], year);
    QCOMPARE(form.incidences.back(), 7.0);
}

void TestEntry::typedText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("field"); // what the field shows after typing
    QTest::addColumn<bool>("stored");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("warning"); // start of the warning text, if refused

    for (const char *locale : {"C", "ru_RU"}) {
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::addRow("%s, %s", locale, name) << QString::fromLatin1(locale);
        };
        row("point") << "12.5"
                     << "12.5" << true << 12.5 << "";
        row("comma") << "12,5"
                     << "12,5" << true << 12.5 << "";
        row("lone minus stored as zero") << "-"
                                         << "-" << true << 0.0 << "";
        row("lone point stored as zero") << "."
                                         << "." << true << 0.0 << "";
        row("single precision") << "0.1"
                                << "0.1" << true << double(0.1f) << "";
        row("negative exponent") << "-2,5e-3"
                                 << "-2,5e-3" << true << double(-2.5e-3f) << "";
        row("letters and blanks are not typed") << "1 2x"
                                                << "12" << true << 12.0 << "";
        row("group separators kept and refused")
            << "1,000.5"
            << "1,000.5" << false << 0.0 << "«1,000.5» не является числом";
        row("dangling exponent refused") << "12e"
                                         << "12e" << false << 0.0 << "«12e» не является";
        row("beyond single precision refused")
            << "1e39"
            << "1e39" << false << 0.0 << "Число «1e39» не может быть сохранено";
    }
}

void TestEntry::typedText()
{
    QFETCH(QString, locale);
    QFETCH(QString, keys);
    QFETCH(QString, field);
    QFETCH(bool, stored);
    QFETCH(double, value);
    QFETCH(QString, warning);

    QLocale::setDefault(QLocale(locale));
    TTrendForm form;
    form.SubmitButton->click();
    QTest::keyClicks(form.IncidenceEdit, keys);
    QCOMPARE(form.IncidenceEdit->text(), field);

    ModalDriver driver;
    QString message;
    if (!stored)
        driver.expect(ModalDriver::clickButton(QStringLiteral("OK"), nullptr, &message));
    form.SubmitButton->click();
    QCOMPARE(driver.unexpected, QStringList());
    QCOMPARE(driver.pending(), 0);

    if (stored) {
        QCOMPARE(int(form.incidenceCount), 1);
        QCOMPARE(form.incidences.front(), value);
        QCOMPARE(reportLines(form).last(), QStringLiteral("2005: ") + field);
        QVERIFY(form.IncidenceEdit->text().isEmpty());
    } else {
        QVERIFY2(message.startsWith(warning), qPrintable(message));
        QCOMPARE(int(form.incidenceCount), 0);
        QVERIFY(form.incidences.empty());
        QCOMPARE(form.IncidenceEdit->text(), field); // left for the user to correct
        QCOMPARE(reportLines(form).size(), 1);
    }
}

void TestEntry::calculateFromFifthValue_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("four") << 4 << false;
    QTest::newRow("five") << 5 << true;
    QTest::newRow("six") << 6 << true;
}

void TestEntry::calculateFromFifthValue()
{
    QFETCH(int, count);
    QFETCH(bool, enabled);
    TTrendForm form;
    form.SubmitButton->click();
    for (int i = 0; i < count; ++i) {
        form.IncidenceEdit->setText(QStringLiteral("3"));
        form.SubmitButton->click();
    }
    QCOMPARE(form.CalculateButton->isEnabled(), enabled);
    QVERIFY(form.SubmitButton->isEnabled());
    QVERIFY(form.IncidenceEdit->isEnabled());
    QCOMPARE(form.years.size(), std::size_t(count + 1));
    QCOMPARE(form.years.back(), 2005 + count);
    QCOMPARE(form.YearBox->value(), 2005 + count);
}

void TestEntry::yearStopsAtUpperBound()
{
    TTrendForm form;
    form.YearBox->setValue(9997);
    form.SubmitButton->click();
    for (int i = 0; i < 5; ++i) {
        form.IncidenceEdit->setText(QString::number(i));
        form.SubmitButton->click();
    }
    QCOMPARE(form.YearBox->value(), 9999);
    QCOMPARE(form.years, (std::vector<qint32> {9997, 9998, 9999, 9999, 9999, 9999}));
    form.CalculateButton->click();
    const QStringList lines = reportLines(form);
    QCOMPARE(
        lines.mid(1, 5), (QStringList {"9997: 0", "9998: 1", "9999: 2", "9999: 3", "9999: 4"}));
    QCOMPARE(
        lines.last(), QStringLiteral("Прогнозируемый уровень заболеваемости на 9999 год равен 5."));
    QCOMPARE(form.timeIntervals, (std::vector<qint16> {-2, -1, 0, 1, 2}));
}

void TestEntry::seriesLimit_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<bool>("full");
    QTest::newRow("one short of the limit") << 32765 << false;
    QTest::newRow("reaching the limit") << 32766 << true;
}

void TestEntry::seriesLimit()
{
    QFETCH(int, before);
    QFETCH(bool, full);

    TTrendForm form;
    form.YearBox->setValue(1900);
    form.SubmitButton->click();
    // Filling the containers directly keeps the test quick; the last value
    // goes through the slot.
    std::vector<qint32> years = form.years;
    std::vector<double> values;
    for (int i = 0; i < before; ++i) {
        values.push_back(i % 7);
        years.push_back(std::min(years.back() + 1, 9999));
    }
    form.years = years;
    form.incidences = values;
    form.incidenceCount = qint16(before);
    form.YearBox->setValue(years.back());
    form.CalculateButton->setEnabled(true);

    form.IncidenceEdit->setText(QStringLiteral("1"));
    form.SubmitButton->click();
    QCOMPARE(int(form.incidenceCount), before + 1);
    QCOMPARE(form.SubmitButton->isEnabled(), !full);
    QCOMPARE(form.IncidenceEdit->isEnabled(), !full);
    QVERIFY(form.CalculateButton->isEnabled());
    QCOMPARE(form.MessageLabel->text().contains(QStringLiteral("32767")), full);

    // Even a call that bypasses the button adds nothing past the limit.
    if (full) {
        form.IncidenceEdit->setText(QStringLiteral("1"));
        QVERIFY(QMetaObject::invokeMethod(&form, "SubmitSlot"));
        QCOMPARE(int(form.incidenceCount), 32767);
        QCOMPARE(form.incidences.size(), std::size_t(32767));
    }

    form.CalculateButton->click();
    const int n = before + 1;
    QCOMPARE(form.theoreticalLevels.size(), std::size_t(n));
    QCOMPARE(int(form.loopIndex), n);
    QCOMPARE(int(form.timeIntervals.front()), -(n / 2));
    QCOMPARE(int(form.timeIntervals.back()), n / 2);
    // Twice the sum of k^2 for k = 1 .. n/2, exact in double.
    const double half = n / 2;
    QCOMPARE(form.squaredIntervalSum, 2 * half * (half + 1) * (2 * half + 1) / 6);
    QVERIFY(form.SaveButton->isEnabled());
}

void TestEntry::enterPressesSubmit_data()
{
    QTest::addColumn<bool>("fromYearBox");
    QTest::newRow("in the year box") << true;
    QTest::newRow("in the value field") << false;
}

void TestEntry::enterPressesSubmit()
{
    QFETCH(bool, fromYearBox);
    TTrendForm form;
    showActive(form);
    form.YearBox->setFocus();
    if (fromYearBox) {
        QTest::keyClick(form.YearBox, Qt::Key_Enter);
        QVERIFY(!form.YearBox->isEnabled());
        QCOMPARE(form.years, std::vector<qint32> {2005});
    } else {
        form.SubmitButton->click();
        QTest::keyClicks(form.IncidenceEdit, QStringLiteral("42"));
        QTest::keyClick(form.IncidenceEdit, Qt::Key_Enter);
        QCOMPARE(form.incidences, std::vector<double> {42});
        QVERIFY(form.IncidenceEdit->hasFocus());
    }
}

QTEST_MAIN(TestEntry)
#include "tst_entry.moc"
