// Saving the report: the file dialog and the overwrite question driven from
// the event loop, every path through the slot, and the writing function on
// its own, failures included.
#include "modaldriver.h"
#include "trendform.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString newFilePrompt = QStringLiteral(
    "<font color=Blue> <p align=center> Введите первый год анализируемого ряда.</font> </p>");
const QString overwritePrompt = QStringLiteral(
    "<font color=Blue> <p align=center> Введите первый год анализируемого ряда.</p> </font>");

void calculateSeries(TTrendForm &form)
{
    form.YearBox->setValue(2001);
    form.SubmitButton->click();
    for (const char *value : {"10", "12", "11,0", "14", "15"}) {
        form.IncidenceEdit->setText(QString::fromLatin1(value));
        form.SubmitButton->click();
    }
    form.CalculateButton->click();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

// Still the calculated phase: the report is there and can be saved again.
void verifyCalculatedPhase(const TTrendForm &form, const QString &report)
{
    QCOMPARE(form.ResultEdit->toPlainText(), report);
    QVERIFY(form.SaveButton->isEnabled());
    QVERIFY(!form.YearBox->isEnabled());
    QVERIFY(!form.SubmitButton->isEnabled());
    QVERIFY(!form.CalculateButton->isEnabled());
    QVERIFY(form.MessageLabel->text().contains(QStringLiteral("color=Red")));
}

void verifyContainersEmpty(const TTrendForm &form)
{
    QVERIFY(form.years.empty());
    QVERIFY(form.incidences.empty());
    QVERIFY(form.timeIntervals.empty());
    QVERIFY(form.theoreticalLevels.empty());
}

// Lowers the largest file size this process may write, so that writing a
// report fails the way a full disk makes it fail.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }

private:
    rlimit saved {};
};

} // namespace

class TestSave : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void newFile();
    void overwrite();
    void overwriteDeclined();
    void cancelledThenSaved();
    void extensionAlwaysAppended();
    void failedSave_data();
    void failedSave();
    void nextSeriesStartsEmpty();
    void writeReport_data();
    void writeReport();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

void TestSave::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestSave::newFile()
{
    TTrendForm form;
    calculateSeries(form);
    const QString report = form.ResultEdit->toPlainText();

    ModalDriver driver;
    QString caption, filter, preselected;
    driver.expect([&](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        QVERIFY(dialog);
        caption = dialog->windowTitle();
        filter = dialog->nameFilters().join(QLatin1Char(';'));
        preselected = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text();
        QVERIFY(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        QCOMPARE(dialog->fileMode(), QFileDialog::AnyFile);
        ModalDriver::acceptFile(dir->filePath(QStringLiteral("Без_имени")))(w);
    });
    form.SaveButton->click();
    QCOMPARE(driver.unexpected, QStringList());
    QCOMPARE(driver.pending(), 0);
    QCOMPARE(caption, QStringLiteral("Сохранить результат"));
    QCOMPARE(filter, QStringLiteral("Текстовый файл (*.txt)"));
    QCOMPARE(preselected, QStringLiteral("Без_имени"));
    QVERIFY(form.findChildren<QFileDialog *>().isEmpty()); // deleted

    const QByteArray written = contents(dir->filePath(QStringLiteral("Без_имени.txt")));
    QCOMPARE(written, report.toUtf8());
    QVERIFY(written.startsWith("\xD0\xA4")); // "Ф", no byte-order mark
    QVERIFY(!written.endsWith('\n'));
    QCOMPARE(written.count('\n'), 21); // 22 lines

    QVERIFY(form.ResultEdit->toPlainText().isEmpty());
    QVERIFY(!form.ResultEdit->document()->isModified());
    QVERIFY(!form.SaveButton->isEnabled());
    QVERIFY(form.YearBox->isEnabled());
    QCOMPARE(form.YearBox->value(), 2005);
    QCOMPARE(form.MessageLabel->text(), newFilePrompt);
    QVERIFY(form.SubmitButton->isEnabled());
    QVERIFY(!form.IncidenceEdit->isEnabled());
    QVERIFY(!form.CalculateButton->isEnabled());
    verifyContainersEmpty(form);
}

void TestSave::overwrite()
{
    const QString target = dir->filePath(QStringLiteral("report.txt"));
    writeFile(target, "old report");
    TTrendForm form;
    calculateSeries(form);
    const QString report = form.ResultEdit->toPlainText();

    ModalDriver driver;
    QString title, message;
    QStringList buttons;
    QString defaultButton;
    bool escapeBound = true;
    driver.expect(ModalDriver::acceptFile(dir->filePath(QStringLiteral("report"))));
    driver.expect([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        QVERIFY(box);
        for (QAbstractButton *b : box->buttons())
            buttons.append(b->text());
        defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        QTest::keyClick(box, Qt::Key_Escape); // answers nothing
        escapeBound = !box->isVisible();
        ModalDriver::clickButton(QStringLiteral("&Да"), &title, &message)(w);
    });
    form.SaveButton->click();
    QCOMPARE(driver.unexpected, QStringList());
    QCOMPARE(driver.pending(), 0);
    QCOMPARE(title, QStringLiteral("Такой файл уже существует!"));
    QCOMPARE(message, QStringLiteral("Перезаписать существующий файл?"));
    QCOMPARE(buttons, (QStringList {"&Да", "&Нет"}));
    QCOMPARE(defaultButton, QStringLiteral("&Нет"));
    QVERIFY(!escapeBound);

    QCOMPARE(contents(target), report.toUtf8());
    QCOMPARE(form.YearBox->value(), 1900);
    QVERIFY(form.YearBox->isEnabled());
    QCOMPARE(form.MessageLabel->text(), overwritePrompt);
    QVERIFY(form.ResultEdit->toPlainText().isEmpty());
    QCOMPARE(entries(dir->path()), QStringList {"report.txt"});
}

void TestSave::overwriteDeclined()
{
    const QString target = dir->filePath(QStringLiteral("report.txt"));
    const QByteArray old("old report\r\nwith its own bytes\n");
    writeFile(target, old);
    TTrendForm form;
    calculateSeries(form);
    const QString report = form.ResultEdit->toPlainText();

    ModalDriver driver;
    driver.expect(ModalDriver::acceptFile(dir->filePath(QStringLiteral("report"))));
    driver.expect(ModalDriver::clickButton(QStringLiteral("&Нет")));
    form.SaveButton->click();
    QCOMPARE(driver.unexpected, QStringList());
    QCOMPARE(driver.pending(), 0);

    QCOMPARE(contents(target), old);
    verifyCalculatedPhase(form, report);
    verifyContainersEmpty(form);
}

void TestSave::cancelledThenSaved()
{
    TTrendForm form;
    calculateSeries(form);
    const QString report = form.ResultEdit->toPlainText();

    ModalDriver driver;
    driver.expect(ModalDriver::reject());
    form.SaveButton->click();
    QCOMPARE(driver.pending(), 0);
    verifyCalculatedPhase(form, report);
    QVERIFY(entries(dir->path()).isEmpty());

    driver.expect(ModalDriver::acceptFile(dir->filePath(QStringLiteral("second"))));
    form.SaveButton->click();
    QCOMPARE(driver.unexpected, QStringList());
    QCOMPARE(contents(dir->filePath(QStringLiteral("second.txt"))), report.toUtf8());
    QCOMPARE(form.YearBox->value(), 2005);
}

void TestSave::extensionAlwaysAppended()
{
    writeFile(dir->filePath(QStringLiteral("report.txt")), "keep");
    TTrendForm form;
    calculateSeries(form);
    const QString report = form.ResultEdit->toPlainText();

    // report.txt exists, but report.txt.txt does not: no question.
    ModalDriver driver;
    driver.expect(ModalDriver::acceptFile(dir->filePath(QStringLiteral("report.txt"))));
    form.SaveButton->click();
    QCOMPARE(driver.unexpected, QStringList());
    QCOMPARE(contents(dir->filePath(QStringLiteral("report.txt.txt"))), report.toUtf8());
    QCOMPARE(contents(dir->filePath(QStringLiteral("report.txt"))), QByteArray("keep"));
    QCOMPARE(form.YearBox->value(), 2005);
}

void TestSave::failedSave_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("directory that cannot be written") << "locked";
    QTest::newRow("name that is a directory") << "directory";
    QTest::newRow("folder that does not exist") << "missing";
}

void TestSave::failedSave()
{
    QFETCH(QString, where);

    QString folder = dir->path();
    QString chosen;
    if (where == QLatin1String("locked")) {
        folder = dir->filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkdir(folder));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        if (access(QFile::encodeName(folder).constData(), W_OK) == 0)
            folder = QStringLiteral("/proc"); // root writes anywhere but here
        chosen = folder + QStringLiteral("/report");
    } else if (where == QLatin1String("directory")) {
        QVERIFY(QDir().mkdir(dir->filePath(QStringLiteral("report.txt"))));
        chosen = dir->filePath(QStringLiteral("report"));
    } else {
        chosen = dir->filePath(QStringLiteral("missing/report"));
    }
    // Only our own names: other processes come and go in /proc.
    const QStringList before = entries(folder).filter(QStringLiteral("report"));

    TTrendForm form;
    calculateSeries(form);
    const QString report = form.ResultEdit->toPlainText();

    ModalDriver driver;
    QString title, message;
    driver.expect(ModalDriver::acceptFile(chosen));
    driver.expect(ModalDriver::clickButton(QStringLiteral("OK"), &title, &message));
    form.SaveButton->click();
    QCOMPARE(driver.unexpected, QStringList());
    QCOMPARE(driver.pending(), 0);

    QCOMPARE(title, QStringLiteral("Ошибка сохранения"));
    QVERIFY2(message.startsWith(
                 QStringLiteral("Отчёт не сохранён в файл «") + chosen + QStringLiteral(".txt»: ")),
        qPrintable(message));
    verifyCalculatedPhase(form, report);
    QCOMPARE(entries(folder).filter(QStringLiteral("report")), before);
    if (folder != QLatin1String("/proc"))
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestSave::nextSeriesStartsEmpty()
{
    TTrendForm form;
    calculateSeries(form);
    ModalDriver driver;
    driver.expect(ModalDriver::acceptFile(dir->filePath(QStringLiteral("first"))));
    form.SaveButton->click();
    QCOMPARE(driver.pending(), 0);

    form.SubmitButton->click();
    QCOMPARE(form.years, std::vector<qint32> {2005});
    QVERIFY(form.incidences.empty());
    QCOMPARE(form.ResultEdit->toPlainText(), QStringLiteral("Фактическая заболеваемость: "));
    for (int i = 0; i < 5; ++i) {
        form.IncidenceEdit->setText(QStringLiteral("2"));
        form.SubmitButton->click();
    }
    form.CalculateButton->click();
    QCOMPARE(form.theoreticalLevels, std::vector<double>(5, 2.0));
    QCOMPARE(form.timeIntervals.size(), std::size_t(5));
    QVERIFY(form.ResultEdit->toPlainText().endsWith(
        QStringLiteral("Прогнозируемый уровень заболеваемости на 2010 год равен 2.")));
}

void TestSave::writeReport_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason"); // start of the reason; empty: success

    QTest::newRow("success") << "report.txt"
                             << ""
                             << "";
    QTest::newRow("failure at open") << "missing/report.txt"
                                     << ""
                                     << "папка «";
    QTest::newRow("failure while writing: file size limit") << "report.txt"
                                                            << "size limit"
                                                            << "ошибка записи";
    QTest::newRow("failure at commit: name taken by a folder") << "report.txt"
                                                               << "taken at commit"
                                                               << "запись не удалось завершить";
}

void TestSave::writeReport()
{
    QFETCH(QString, name);
    QFETCH(QString, fault);
    QFETCH(QString, reason);

    const QString path = dir->filePath(name);
    const QByteArray old("the report saved last week");
    const bool folderExists = QFileInfo(path).absoluteDir().exists();
    if (folderExists)
        writeFile(path, old);
    QString text;
    for (int i = 0; i < 2000; ++i)
        text += QStringLiteral("Строка %1\n").arg(i);
    text.chop(1);

    QString why;
    bool ok;
    {
        QSaveFile file(path);
        std::unique_ptr<FileSizeLimit> limit;
        if (fault == QLatin1String("size limit"))
            limit = std::make_unique<FileSizeLimit>(10);
        if (fault == QLatin1String("taken at commit")) {
            // Between the last byte and the rename, the name becomes a
            // folder that holds something.
            connect(&file, &QIODevice::aboutToClose, this, [&] {
                QFile::remove(path);
                QDir().mkdir(path);
                writeFile(path + QStringLiteral("/inside"), "x");
            });
        }
        ok = TTrendForm::WriteReport(file, text, &why);
    }
    if (reason.isEmpty()) {
        QVERIFY2(ok, qPrintable(why));
        QVERIFY(why.isEmpty());
        QCOMPARE(contents(path), text.toUtf8());
    } else {
        QVERIFY(!ok);
        QVERIFY2(why.startsWith(reason), qPrintable(why));
        if (fault == QLatin1String("size limit"))
            QCOMPARE(contents(path), old); // the old file is whole
    }
    // Nothing but the report, the old file or the folder is left behind.
    const QStringList left = entries(dir->path());
    QCOMPARE(left, folderExists ? QStringList {name} : QStringList {});
}

QTEST_MAIN(TestSave)
#include "tst_save.moc"
