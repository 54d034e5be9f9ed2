// SPDX-License-Identifier: MIT
// The window driven as a user drives it: typed text to the saved report
// file, every way a save can end, closing, and the toolkit's own texts.
#include "app/startup.h"
#include "form/trendform.h"
#include "tests/testsupport.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include <unistd.h>

namespace {

const QString newFilePrompt = QStringLiteral(
    "<font color=Blue> <p align=center> Введите первый год анализируемого ряда.</font> </p>");
const QString overwritePrompt = QStringLiteral(
    "<font color=Blue> <p align=center> Введите первый год анализируемого ряда.</p> </font>");

void showActive(TTrendForm &form)
{
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
}

// The first year, then each value key by key with Enter, as a user types
// them. Returns the warnings shown, each answered at once.
QStringList typeSeries(TTrendForm &form, int firstYear, const QStringList &typed)
{
    ModalDriver driver;
    form.YearBox->setValue(firstYear);
    QTest::keyClick(form.YearBox, Qt::Key_Return);
    for (const QString &text : typed) {
        form.IncidenceEdit->clear();
        QTest::keyClicks(form.IncidenceEdit, text);
        QTest::keyClick(form.IncidenceEdit, Qt::Key_Return);
    }
    return driver.unexpected;
}

// What the calculation leaves in the form's members, against the core.
void verifyMembers(const TTrendForm &form)
{
    const qint16 n = form.incidenceCount;
    const trend::TrendResult r = trend::calculate(form.incidences, n);
    QCOMPARE(form.years.size(), std::size_t(n + 1));
    QCOMPARE(form.loopIndex, n);
    QCOMPARE(form.middlePosition, qint16(n % 2 ? (n + 1) / 2 : n / 2));
    QCOMPARE(form.timeIntervals, r.timeCodes);
    QCOMPARE(form.theoreticalLevels, r.theoreticalLevels);
    const double got[] = {form.runningSum, form.squaredIntervalSum, form.averageIncidence,
        form.slope, form.absoluteChange, form.averageAbsoluteChange, form.changeRate,
        form.averageAnnualChangeRate};
    const double want[] = {r.sumOfProducts, r.squaredIntervalSum, r.averageIncidence, r.slope,
        r.absoluteChange, r.averageAbsoluteChange, r.changeRate, r.averageAnnualChangeRate};
    for (int i = 0; i < 8; ++i)
        QVERIFY2(got[i] == want[i] || (std::isnan(got[i]) && std::isnan(want[i])),
            qPrintable(QString::number(i)));
}

} // namespace

class TestForm : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir.isValid()); }
    void report_data();
    void report();
    void seriesLimit();
    void paste_data();
    void paste();
    void save_data();
    void save();
    void closing_data();
    void closing();
    void toolkitTextsInRussian();

private:
    void calculate(TTrendForm &form);
    QTemporaryDir dir;
};

void TestForm::report_data()
{
    QTest::addColumn<int>("firstYear");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<QString>("golden");

    const auto row = [](const char *name, int year, const QStringList &typed, const char *golden,
                         const QStringList &warnings = {}) {
        QTest::newRow(name) << year << typed << warnings << QString::fromLatin1(golden);
    };
    row("line: rising, odd, from 2000", 2000, {"10", "12", "14", "16", "18"}, "rising-odd");
    row("line: one to six, even, from 1995", 1995, {"1", "2", "3", "4", "5", "6"}, "even");
    row("line: falling, even", 2001, {"100", "90", "80", "75", "70", "60"}, "falling-even");
    row("rising, pronounced", 2001, {"10", "12", "11", "14", "15"}, "pronounced");
    row("falling, moderate", 2001, {"20", "19,5", "19", "18.5", "18"}, "moderate");
    row("six values, stable", 2001, {"100", "101", "99", "100", "102", "100"}, "stable");
    row("exactly +5 is moderate", 2001, {"18", "19", "20", "21", "22"}, "plus5");
    row("exactly -5 is moderate", 2001, {"22", "21", "20", "19", "18"}, "minus5");
    row("exactly +1 is stable", 2001, {"98", "99", "100", "101", "102"}, "plus1");
    row("exactly -1 is stable", 2001, {"102", "101", "100", "99", "98"}, "minus1");
    row("first level below zero", 2001, {"0", "0", "0", "0", "10"}, "below-zero");
    row("flat", 2001, {"7", "7", "7", "7", "7"}, "flat");
    row("negative values", 2010, {"-5", "-3,5", "-1.25", "-2", "-0.5", "-4", "-1"}, "negative");
    row("zeros: undefined rates", 2001, {"0", "0", "0", "0", "0"}, "zeros");
    row("first level zero: infinite rate", 2001, {"0", "1", "2", "3", "4"}, "infinite");
    row("large and small numbers", 2001, {"1234567", "0.0001234567", "1e6", "3e5", "0.1"},
        "formats");
    row("twenty six-digit values", 1990,
        {"123456.5", "234567", "345678.25", "456789", "567890.5", "678901", "789012", "890123.5",
            "901234", "912345", "923456.75", "934567", "945678", "956789", "967890.5", "978901",
            "989012", "990123", "991234.5", "992345"},
        "six-digits");
    row("year box stops at 9999", 9997, {"0", "1", "2", "3", "4"}, "year-limit");
    row("entry edges: empty, placeholders, comma, refused text", 2001,
        {"12,5", "", "-", ".", "1,000.5", "12e", "1e39", "13.25", "1 2x"}, "entry-edges",
        {"QMessageBox: Ошибка ввода: Введите значение заболеваемости для соответствующего года!",
            "QMessageBox: Ошибка ввода: «1,000.5» не является числом. Введите значение "
            "заболеваемости без пробелов и разделителей разрядов, например 12.5 или 12,5.",
            "QMessageBox: Ошибка ввода: «12e» не является числом. Введите значение "
            "заболеваемости без пробелов и разделителей разрядов, например 12.5 или 12,5.",
            "QMessageBox: Ошибка ввода: Число «1e39» не может быть сохранено: допускаются "
            "значения по модулю не больше 3,4·10³⁸ и не меньше 1,4·10⁻⁴⁵, а также ноль."});
}

void TestForm::report()
{
    QFETCH(int, firstYear);
    QFETCH(QStringList, typed);
    QFETCH(QStringList, warnings);
    QFETCH(QString, golden);

    RecordingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    TTrendForm form;
    showActive(form);
    const int width = form.width();
    // What an earlier series left must not reach this one.
    form.years = {1901, 1902};
    form.incidences = {99};
    form.ResultEdit->setPlainText(QStringLiteral("old"));

    QCOMPARE(typeSeries(form, firstYear, typed), warnings);
    QApplication::setActiveWindow(&form); // the warnings took it
    QVERIFY(!form.CalculateButton->hasFocus());
    QTest::mouseClick(form.CalculateButton, Qt::LeftButton);
    QVERIFY(form.SaveButton->isEnabled() && form.SaveButton->hasFocus());
    QVERIFY(!form.SubmitButton->isEnabled() && !form.CalculateButton->isEnabled());
    QVERIFY(!form.IncidenceEdit->isEnabled() && !form.YearBox->isEnabled());
    verifyMembers(form);
    QCOMPARE(form.width(), width);

    // No line wraps at the start size; composed lines were looked up in the
    // form's context, year lines not at all.
    for (QTextBlock b = form.ResultEdit->document()->begin(); b.isValid(); b = b.next()) {
        QVERIFY2(b.layout()->lineCount() == 1, qPrintable(b.text()));
        const bool yearLine
            = QRegularExpression(QStringLiteral("^\\d{4}: ")).match(b.text()).hasMatch();
        QCOMPARE(translator.lookups.values(b.text()),
            yearLine ? QStringList() : QStringList {"TTrendForm"});
    }
    // The window's own texts in its context, what a message box says in
    // QObject's, as a translation would look them up.
    QCOMPARE(translator.lookups.values("Год:"), QStringList {"TTrendForm"});
    QCOMPARE(translator.lookups.values("<font color=Red> <p align=center> Нажмите кнопку, чтобы "
                                       "сохранить результаты расчёта.</font> </p>"),
        QStringList {"TTrendForm"});
    if (!warnings.isEmpty())
        QCOMPARE(
            translator.lookups.values("Введите значение заболеваемости для соответствующего года!"),
            QStringList {"QObject"});
    QCoreApplication::removeTranslator(&translator);

    ModalDriver driver;
    driver.expect(ModalDriver::acceptFile(dir.filePath(golden)));
    QTest::keyClick(form.SaveButton, Qt::Key_Space);
    QCOMPARE(driver.unexpected, QStringList());
    const QString difference
        = goldenDifference(contents(dir.filePath(golden + ".txt")), "report/" + golden + ".txt");
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestForm::seriesLimit()
{
    TTrendForm form;
    form.YearBox->setValue(1900);
    form.SubmitButton->click();
    // The containers are filled directly up to one short of the limit; the
    // last value is typed.
    for (int i = 0; i < 32766; ++i) {
        form.incidences.push_back(i % 7);
        form.years.push_back(std::min(form.years.back() + 1, 9999));
    }
    form.incidenceCount = 32766;
    form.YearBox->setValue(9999);
    form.IncidenceEdit->setText(QStringLiteral("1"));
    form.SubmitButton->click();
    QVERIFY(!form.SubmitButton->isEnabled() && !form.IncidenceEdit->isEnabled());
    QVERIFY(form.CalculateButton->isEnabled());
    QVERIFY(form.MessageLabel->text().contains(QStringLiteral("(32767)")));
    // Not even a call past the button adds a value.
    form.IncidenceEdit->setText(QStringLiteral("1"));
    QVERIFY(QMetaObject::invokeMethod(&form, "SubmitSlot"));
    QCOMPARE(form.incidences.size(), std::size_t(32767));

    form.CalculateButton->click();
    verifyMembers(form);
    const QStringList lines = form.ResultEdit->toPlainText().split(u'\n');
    QCOMPARE(lines.size(), 2 + 5 + 32767 + 6); // header, typed value, calculation
    const QString tail = (lines.mid(0, 8) + lines.mid(lines.size() - 8)).join(u'\n');
    const QString difference = goldenDifference(tail.toUtf8(), "report/limit-excerpt.txt");
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestForm::paste_data()
{
    QTest::addColumn<QStringList>("typed"); // key by key, before the paste
    QTest::addColumn<QString>("pending"); // then typed into the field, not entered
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("way"); // the keys, or the context menu
    QTest::addColumn<QStringList>("entered"); // what the paste enters
    QTest::addColumn<QString>("field"); // what the field holds after it
    QTest::addColumn<QString>("warning");
    const auto row = [](const char *name, const QStringList &typed, const char *pending,
                         const QString &clipboard, const char *way, const QStringList &entered,
                         const char *field, const QString &warning = {}) {
        QTest::newRow(name) << typed << QString(pending) << clipboard << QString(way) << entered
                            << QString(field) << warning;
    };
    const QStringList five {"10", "11", "12", "13", "14"};
    // Values read as typed, in single precision: past it, the report shows it.
    row("a column with CRLF", {}, "",
        "100000,1\r\n100000.2\r\n100000,3\r\n100000.2\r\n100000,4\r\n", "Ctrl+V",
        {"100000,1", "100000.2", "100000,3", "100000.2", "100000,4"}, "");
    row("a row with tabs", {}, "", "1\t2\t3\t4\t5\t6", "Shift+Insert",
        {"1", "2", "3", "4", "5", "6"}, "");
    row("semicolons with decimal commas", {}, "", " 1,5; 2,5 ;3,5;4,5;5,5", "menu",
        {"1,5", "2,5", "3,5", "4,5", "5,5"}, "");
    row("a trailing line break", {}, "", "10\n11\n12\n13\n14\n", "Ctrl+V", five, "");
    row("a gap", {}, "", "1\n2\n\n4\n5", "Ctrl+V", {}, "",
        "значение 3 из 5: пустая ячейка — в ряду не должно быть пропусков");
    row("a text in the middle", {}, "", "1\n2\nн/д\n4\n5", "Ctrl+V", {}, "",
        "значение 3 из 5: «н/д» — не число");
    row("a spreadsheet's dash for no data", {"1"}, "", "2\n-\n4", "Ctrl+V", {}, "",
        "значение 2 из 3: «-» — не число");
    row("past the longest series", {"1"}, "", QString("1\n").repeated(trend::MaxValues), "Ctrl+V",
        {}, "",
        "вставлено значений: 32767, а в ряду их может быть не больше 32767 (уже введено 1)");
    row("years beside values", {}, "", "2001\t10\n2002\t11\n2003\t12\n2004\t13\n2005\t14", "Ctrl+V",
        {}, "",
        "Скопирована таблица из нескольких строк и столбцов: скопируйте один столбец или одну "
        "строку значений.");
    row("one cell, with its line break", {}, "", "7\r\n", "Ctrl+V", {}, "7");
    row("text left in the field", {}, "12", "1\n2", "Ctrl+V", {}, "12",
        "В поле уже введено «12». Нажмите «Ввод» или очистите поле, затем вставьте значения.");
    row("text selected, replaced", {}, "12", "1\n2", "Ctrl+A, Ctrl+V", {"1", "2"}, "");
    row("a paste after three typed values", {"1", "2", "3"}, "", "4\n5\n6", "Ctrl+V",
        {"4", "5", "6"}, "");
    row("a paste that crosses the fifth value", {"1", "2", "3"}, "", "4\n5", "Ctrl+V", {"4", "5"},
        "");
}

// A spreadsheet's column or row pasted into the value field: the report is
// what typing the same values gives, or nothing is entered and the warning
// names the first bad piece.
void TestForm::paste()
{
    QFETCH(QStringList, typed);
    QFETCH(QString, pending);
    QFETCH(QString, clipboard);
    QFETCH(QString, way);
    QFETCH(QStringList, entered);
    QFETCH(QString, field);
    QFETCH(QString, warning);
    TTrendForm form, byKeys;
    showActive(form);
    QCOMPARE(typeSeries(form, 2001, typed), QStringList());
    QTest::keyClicks(form.IncidenceEdit, pending);
    QGuiApplication::clipboard()->setText(clipboard);
    ModalDriver driver;
    if (way == u"menu") {
        QTimer::singleShot(0, [] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            for (QAction *action : menu->actions()) {
                if (action->text().endsWith("\tCtrl+V"))
                    action->trigger();
            }
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Keyboard, {5, 5}, {5, 5});
        QApplication::sendEvent(form.IncidenceEdit, &event);
    } else {
        QTest::keySequence(form.IncidenceEdit, QKeySequence(way));
    }
    QCOMPARE(driver.unexpected,
        warning.isEmpty() ? QStringList() : QStringList {"QMessageBox: Ошибка ввода: " + warning});
    QCOMPARE(form.IncidenceEdit->text(), field);
    showActive(byKeys);
    QCOMPARE(typeSeries(byKeys, 2001, typed + entered), QStringList());
    QCOMPARE(form.CalculateButton->isEnabled(), typed.size() + entered.size() >= 5);
    if (form.CalculateButton->isEnabled()) {
        form.CalculateButton->click();
        byKeys.CalculateButton->click();
    }
    QCOMPARE(form.ResultEdit->toPlainText(), byKeys.ResultEdit->toPlainText());
}

void TestForm::calculate(TTrendForm &form)
{
    form.YearBox->setValue(2001);
    form.SubmitButton->click();
    for (const char *value : {"10", "12", "11,0", "14", "15"}) {
        form.IncidenceEdit->setText(QString::fromLatin1(value));
        form.SubmitButton->click();
    }
    form.CalculateButton->click();
}

void TestForm::save_data()
{
    QTest::addColumn<QString>("before"); // what stands at the target name beforehand
    QTest::addColumn<QString>("chosen"); // typed in the dialog; empty: dialog cancelled
    QTest::addColumn<QString>("answer"); // to the overwrite question
    QTest::addColumn<QString>("warning"); // start of a failure's text
    QTest::addColumn<int>("year"); // the year box after; 0: the report stays

    QTest::newRow("new file") << ""
                              << "Без_имени"
                              << ""
                              << "" << 2005;
    QTest::newRow(".txt is appended to .txt") << ""
                                              << "report.txt"
                                              << ""
                                              << "" << 2005;
    QTest::newRow("overwrite confirmed") << "file"
                                         << "report"
                                         << "&Да"
                                         << "" << 1900;
    QTest::newRow("overwrite declined") << "file"
                                        << "report"
                                        << "&Нет"
                                        << "" << 0;
    QTest::newRow("dialog cancelled") << ""
                                      << ""
                                      << ""
                                      << "" << 0;
    QTest::newRow("name that is a folder") << "folder"
                                           << "report"
                                           << ""
                                           << "под этим именем уже есть папка" << 0;
    QTest::newRow("unwritable folder")
        << "locked"
        << "locked/report"
        << ""
        << "*" << 0; // root is refused by /proc, others by the folder
    QTest::newRow("missing parent folder") << ""
                                           << "missing/report"
                                           << ""
                                           << "папка «" << 0;
}

void TestForm::save()
{
    QFETCH(QString, before);
    QFETCH(QString, chosen);
    QFETCH(QString, answer);
    QFETCH(QString, warning);
    QFETCH(int, year);

    QString path = dir.filePath(chosen);
    if (before == "locked") {
        QDir().mkdir(dir.filePath("locked"));
        QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::ExeOwner);
        if (access(qPrintable(dir.filePath("locked")), W_OK) == 0)
            path = QStringLiteral("/proc/report"); // root writes anywhere but there
    }
    const QString target = path + ".txt";
    if (before == "folder")
        QDir().mkdir(target);
    QFile old(target);
    if (before == "file" && old.open(QIODevice::WriteOnly))
        old.write("old report\r\n");
    old.close();
    const QStringList entries = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    TTrendForm form;
    calculate(form);
    const QString report = form.ResultEdit->toPlainText();
    ModalDriver driver;
    QString question;
    driver.expect(chosen.isEmpty() ? ModalDriver::reject() : ModalDriver::acceptFile(path));
    if (!answer.isEmpty())
        driver.expect(ModalDriver::answer(answer, &question));
    RecordingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    form.SaveButton->click();
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(driver.pending(), 0);

    const QString written = QString::fromUtf8(contents(target));
    QCOMPARE(written == report, year != 0);
    if (before == "file") {
        QCOMPARE(question, "Такой файл уже существует! | &Нет | Перезаписать существующий файл?");
        QCOMPARE(
            translator.lookups.values("Перезаписать существующий файл?"), QStringList {"QObject"});
        QCOMPARE(written, year ? report : "old report\r\n");
    }
    if (warning.isEmpty()) {
        QCOMPARE(driver.unexpected, QStringList());
    } else {
        QCOMPARE(driver.unexpected.size(), 1);
        const QString start
            = "QMessageBox: Ошибка сохранения: Отчёт не сохранён в файл «" + target + "»: ";
        QVERIFY2(driver.unexpected[0].startsWith(start + QString(warning).remove(u'*')),
            qPrintable(driver.unexpected[0]));
    }
    QVERIFY(form.years.empty() && form.incidences.empty());
    QVERIFY(form.timeIntervals.empty() && form.theoreticalLevels.empty());
    QCOMPARE(form.ResultEdit->toPlainText(), year ? QString() : report);
    QCOMPARE(form.SaveButton->isEnabled(), year == 0);
    QCOMPARE(form.YearBox->isEnabled(), year != 0);
    QCOMPARE(form.SubmitButton->isEnabled(), year != 0);
    if (year) {
        QCOMPARE(form.YearBox->value(), year);
        QCOMPARE(form.MessageLabel->text(), year == 1900 ? overwritePrompt : newFilePrompt);
    }
    // Nothing but the report: no temporary file, no other name.
    QStringList after = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    if (year && before.isEmpty())
        after.removeOne(QFileInfo(target).fileName());
    QCOMPARE(after, entries);
    QFile::setPermissions(
        dir.filePath("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir(dir.path()).removeRecursively();
    QDir().mkpath(dir.path());
}

void TestForm::closing_data()
{
    QTest::addColumn<int>("values"); // typed before closing; -1: not even a first year
    QTest::addColumn<bool>("calculated");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("answer"); // to the question; empty: none is asked
    QTest::addColumn<bool>("closes");

    QTest::newRow("nothing entered") << -1 << false << false << "" << true;
    QTest::newRow("first year only") << 0 << false << false << "" << true;
    QTest::newRow("values entered, cancelled") << 3 << false << false << "&Отмена" << false;
    QTest::newRow("values entered, Escape") << 3 << false << false << "Escape" << false;
    QTest::newRow("values entered, closed") << 3 << false << false << "&Закрыть" << true;
    QTest::newRow("report not saved, kept") << 5 << true << false << "Escape" << false;
    QTest::newRow("report not saved, closed") << 5 << true << false << "&Закрыть" << true;
    QTest::newRow("right after a save") << 5 << true << true << "" << true;
}

void TestForm::closing()
{
    QFETCH(int, values);
    QFETCH(bool, calculated);
    QFETCH(bool, saved);
    QFETCH(QString, answer);
    QFETCH(bool, closes);

    TTrendForm form;
    showActive(form);
    if (values >= 0)
        form.SubmitButton->click();
    for (int i = 0; i < values; ++i) {
        form.IncidenceEdit->setText(QString::number(i));
        form.SubmitButton->click();
    }
    if (calculated)
        form.CalculateButton->click();
    ModalDriver driver;
    if (saved) {
        driver.expect(ModalDriver::acceptFile(dir.filePath("closing")));
        form.SaveButton->click();
    }
    QString question;
    if (!answer.isEmpty())
        driver.expect(ModalDriver::answer(answer, &question));
    form.close();
    QCOMPARE(driver.pending(), 0);
    QCOMPARE(driver.unexpected, QStringList());
    QCOMPARE(form.isVisible(), !closes);
    if (!answer.isEmpty())
        QCOMPARE(question,
            "Отчёт не сохранён | &Отмена | Введённые значения и отчёт будут "
            "потеряны. Закрыть программу?");
}

void TestForm::toolkitTextsInRussian()
{
    // Last: the toolkit's translation stays installed once loaded.
    QVERIFY(startup::installToolkitTranslation(*qApp));
    TTrendForm form;
    calculate(form);
    QStringList buttons;
    ModalDriver driver;
    driver.expect([&](QWidget *w) {
        for (QAbstractButton *b : w->findChild<QDialogButtonBox *>()->buttons())
            buttons.append(b->text().remove(u'&'));
        ModalDriver::reject()(w);
    });
    form.SaveButton->click();
    QCOMPARE(driver.pending(), 0);
    QCOMPARE(buttons, (QStringList {"Сохранить", "Отмена"}));
    QCOMPARE(form.SaveButton->text(), QStringLiteral("Сохранить")); // the form's own, as written
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
