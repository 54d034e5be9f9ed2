// The constructed form: names, layout, initial state, texts and their
// translation contexts, focus chain, slot table and ownership.
#include "modaldriver.h"
#include "trendform.h"

#include <QApplication>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>

#include <memory>

class TestTrendForm : public QObject
{
    Q_OBJECT

private slots:
    void names_data();
    void names();
    void initialState();
    void layout();
    void texts_data();
    void texts();
    void tabChain_data();
    void tabChain();
    void slotTable();
    void slotsRunThroughMetaObject();
    void metacast();
    void deletionTakesChildren();

private:
    void enterValues(TTrendForm &form, int count);
};

void TestTrendForm::names_data()
{
    QTest::addColumn<QByteArray>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no name") << QByteArray() << "TrendForm";
    QTest::newRow("given name kept") << QByteArray("Second") << "Second";
}

void TestTrendForm::names()
{
    QFETCH(QByteArray, given);
    QFETCH(QString, expected);
    TTrendForm form(nullptr, given.isNull() ? nullptr : given.constData());
    QCOMPARE(form.objectName(), expected);
    QVERIFY(!form.isModal());

    const std::vector<std::pair<QObject *, const char *>> members {{form.MainLayout, "MainLayout"},
        {form.FieldsLayout, "FieldsLayout"}, {form.YearLabel, "YearLabel"},
        {form.IncidenceLabel, "IncidenceLabel"}, {form.CalculateButton, "CalculateButton"},
        {form.SaveButton, "SaveButton"}, {form.IncidenceEdit, "IncidenceEdit"},
        {form.MessageLabel, "MessageLabel"}, {form.YearBox, "YearBox"},
        {form.SubmitButton, "SubmitButton"}, {form.ResultEdit, "ResultEdit"},
        {form.IncidenceValidator, "IncidenceValidator"}};
    for (const auto &[object, name] : members)
        QCOMPARE(object->objectName(), QString::fromLatin1(name));
}

void TestTrendForm::initialState()
{
    TTrendForm form;
    QVERIFY(form.YearBox->isEnabled());
    QCOMPARE(form.YearBox->value(), 2005);
    QCOMPARE(form.YearBox->minimum(), 1900);
    QCOMPARE(form.YearBox->maximum(), 9999);
    QCOMPARE(form.YearBox->singleStep(), 1);
    QVERIFY(!form.IncidenceEdit->isEnabled());
    QVERIFY(form.SubmitButton->isEnabled());
    QVERIFY(!form.CalculateButton->isEnabled());
    QVERIFY(!form.SaveButton->isEnabled());
    QVERIFY(form.ResultEdit->isReadOnly());
    QVERIFY(form.ResultEdit->toPlainText().isEmpty());
    QCOMPARE(form.ResultEdit->font().family(), QStringLiteral("Nimbus Roman No9 l"));
    QCOMPARE(form.ResultEdit->font().pointSize(), 11);
    QCOMPARE(form.IncidenceEdit->validator(), form.IncidenceValidator);
    QCOMPARE(form.IncidenceValidator->parent(), &form);
    QVERIFY(form.years.empty() && form.incidences.empty());
    QVERIFY(form.timeIntervals.empty() && form.theoreticalLevels.empty());
}

void TestTrendForm::layout()
{
    TTrendForm form;
    QCOMPARE(form.layout(), form.MainLayout);
    QCOMPARE(form.MainLayout->contentsMargins(), QMargins(11, 11, 11, 11));
    QCOMPARE(form.MainLayout->spacing(), 5);
    QCOMPARE(form.MainLayout->count(), 3);
    QCOMPARE(form.MainLayout->itemAt(0)->widget(), form.MessageLabel);
    QCOMPARE(form.MainLayout->itemAt(1)->layout(), form.FieldsLayout);
    QCOMPARE(form.MainLayout->itemAt(2)->widget(), form.ResultEdit);
    QCOMPARE(form.FieldsLayout->parent(), form.MainLayout);
    QCOMPARE(form.FieldsLayout->spacing(), 5);
    QCOMPARE(form.FieldsLayout->rowCount(), 3);
    QCOMPARE(form.FieldsLayout->columnCount(), 4);

    const QWidget *cells[3][4] = {{form.YearLabel, form.IncidenceLabel, nullptr, nullptr},
        {form.YearBox, form.IncidenceEdit, form.SubmitButton, nullptr},
        {nullptr, nullptr, form.CalculateButton, form.SaveButton}};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            QLayoutItem *item = form.FieldsLayout->itemAtPosition(row, column);
            QCOMPARE(item ? item->widget() : nullptr, cells[row][column]);
        }
    }
}

void TestTrendForm::texts_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("context");

    const QString q = "QObject", f = "TTrendForm";
    QTest::newRow("caption") << "" << QByteArray("windowTitle") << "Эпидемическая тенденция" << q;
    QTest::newRow("year label") << "YearLabel" << QByteArray("text") << "Год:" << f;
    QTest::newRow("year tool tip") << "YearBox" << QByteArray("toolTip") << "Ввод года" << q;
    QTest::newRow("year what's this")
        << "YearBox" << QByteArray("whatsThis")
        << "Выберите с помощью стрелок или введите с клавиатуры первый год ряда, для которого "
           "рассчитывается эпидемическая тенденция."
        << q;
    QTest::newRow("incidence label")
        << "IncidenceLabel" << QByteArray("text") << "Заболеваемость:" << f;
    QTest::newRow("calculate text") << "CalculateButton" << QByteArray("text") << "Рассчитать" << f;
    QTest::newRow("calculate tool tip")
        << "CalculateButton" << QByteArray("toolTip") << "Рассчитать тенденцию" << q;
    QTest::newRow("calculate what's this")
        << "CalculateButton" << QByteArray("whatsThis")
        << "Нажмите кнопку, чтобы рассчитать эпидемическую тенденцию на основании введённых "
           "значений."
        << q;
    QTest::newRow("save text") << "SaveButton" << QByteArray("text") << "Сохранить" << f;
    QTest::newRow("save tool tip")
        << "SaveButton" << QByteArray("toolTip") << "Сохранить результат" << q;
    QTest::newRow("save what's this")
        << "SaveButton" << QByteArray("whatsThis")
        << "Нажмите кнопку, чтобы сохранить результаты вычислений в файл" << q;
    QTest::newRow("first prompt")
        << "MessageLabel" << QByteArray("text")
        << "<font color=Blue> <p align=center> Введите первый год анализируемого ряда.</p></font>"
        << f;
    QTest::newRow("submit text") << "SubmitButton" << QByteArray("text") << "Ввод" << f;
    QTest::newRow("submit tool tip")
        << "SubmitButton" << QByteArray("toolTip") << "Ввод значений активного поля" << q;
    QTest::newRow("submit what's this")
        << "SubmitButton" << QByteArray("whatsThis")
        << "Нажмите кнопку, чтобы ввести в память числовые значения в текущем (активном на "
           "данный момент) поле ввода."
        << q;
    QTest::newRow("value field has no tool tip") << "IncidenceEdit" << QByteArray("toolTip") << ""
                                                 << "";
    QTest::newRow("report has no tool tip") << "ResultEdit" << QByteArray("toolTip") << ""
                                            << "";
    QTest::newRow("value field has no what's this")
        << "IncidenceEdit" << QByteArray("whatsThis") << ""
        << "";
}

void TestTrendForm::texts()
{
    QFETCH(QString, widget);
    QFETCH(QByteArray, property);
    QFETCH(QString, text);
    QFETCH(QString, context);

    RecordingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    TTrendForm form;
    QObject *target = widget.isEmpty() ? &form : form.findChild<QObject *>(widget);
    QVERIFY(target);
    QCOMPARE(target->property(property).toString(), text);
    if (!context.isEmpty())
        QCOMPARE(translator.lookups.values(text), QStringList {context});

    // A second run of the slot sets the same texts and restores the prompt.
    form.MessageLabel->setText(QStringLiteral("changed"));
    QVERIFY(QMetaObject::invokeMethod(&form, "LanguageChangeSlot"));
    QCOMPARE(target->property(property).toString(), text);
    QCoreApplication::removeTranslator(&translator);
}

void TestTrendForm::enterValues(TTrendForm &form, int count)
{
    form.SubmitButton->click();
    for (int i = 0; i < count; ++i) {
        form.IncidenceEdit->setText(QString::number(10 + i));
        form.SubmitButton->click();
    }
}

void TestTrendForm::tabChain_data()
{
    QTest::addColumn<int>("values"); // -1: before the first year
    QTest::addColumn<QStringList>("chain");

    QTest::newRow("first year") << -1 << QStringList {"YearBox", "SubmitButton", "ResultEdit"};
    QTest::newRow("four values") << 4
                                 << QStringList {"IncidenceEdit", "SubmitButton", "ResultEdit"};
    QTest::newRow("five values") << 5
                                 << QStringList {"IncidenceEdit", "SubmitButton", "CalculateButton",
                                        "ResultEdit"};
}

void TestTrendForm::tabChain()
{
    QFETCH(int, values);
    QFETCH(QStringList, chain);

    TTrendForm form;
    if (values >= 0)
        enterValues(form, values);
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.findChild<QWidget *>(chain.front())->setFocus();

    QStringList seen;
    for (int i = 0; i < chain.size() + 1; ++i) {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        while (focus && focus->objectName().isEmpty()) // the spin box's inner editor
            focus = focus->parentWidget();
        seen.append(focus->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(seen, chain + QStringList {chain.front()});
}

void TestTrendForm::slotTable()
{
    const QMetaObject *meta = &TTrendForm::staticMetaObject;
    QCOMPARE(meta->className(), "TTrendForm");
    QCOMPARE(meta->superClass(), &QDialog::staticMetaObject);
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 5);
    QCOMPARE(meta->propertyCount(), meta->propertyOffset());
    QCOMPARE(meta->enumeratorCount(), meta->enumeratorOffset());
    QCOMPARE(meta->classInfoCount(), meta->classInfoOffset());
    const QByteArrayList names {
        "InitSlot()", "LanguageChangeSlot()", "SubmitSlot()", "CalculateSlot()", "SaveSlot()"};
    for (int i = 0; i < 5; ++i) {
        const QMetaMethod method = meta->method(meta->methodOffset() + i);
        QCOMPARE(method.methodSignature(), names[i]);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Protected);
        QCOMPARE(method.parameterCount(), 0);
    }
    QCOMPARE(meta->method(meta->methodOffset() - 1).enclosingMetaObject()->className(), "QDialog");
}

void TestTrendForm::slotsRunThroughMetaObject()
{
    TTrendForm form;
    const int offset = form.metaObject()->methodOffset();
    const auto invoke = [&](int i) {
        return form.metaObject()->method(offset + i).invoke(&form, Qt::DirectConnection);
    };

    // 0: the tab order is set again after it was disturbed.
    QWidget::setTabOrder(form.SaveButton, form.YearBox);
    QVERIFY(invoke(0));
    QCOMPARE(form.SubmitButton->nextInFocusChain(), form.CalculateButton);
    QCOMPARE(form.SaveButton->nextInFocusChain(), form.ResultEdit);

    // 1: the prompt returns to the first-year request.
    form.MessageLabel->setText(QStringLiteral("x"));
    QVERIFY(invoke(1));
    QVERIFY(form.MessageLabel->text().contains(QStringLiteral("Введите первый год")));

    // 2: the first year is taken.
    QVERIFY(invoke(2));
    QVERIFY(!form.YearBox->isEnabled());
    QCOMPARE(form.years, std::vector<qint32> {2005});

    // 3: with five values the report is made.
    for (int i = 0; i < 5; ++i) {
        form.IncidenceEdit->setText(QStringLiteral("1"));
        QVERIFY(invoke(2));
    }
    QVERIFY(invoke(3));
    QVERIFY(form.SaveButton->isEnabled());

    // 4: the save dialog opens; cancelled, it leaves the report.
    ModalDriver driver;
    driver.expect(ModalDriver::reject());
    QVERIFY(invoke(4));
    QCOMPARE(driver.pending(), 0);
    QVERIFY(driver.unexpected.isEmpty());
    QVERIFY(form.SaveButton->isEnabled());
}

void TestTrendForm::metacast()
{
    TTrendForm form;
    QCOMPARE(form.qt_metacast("TTrendForm"), static_cast<void *>(&form));
    QCOMPARE(form.qt_metacast("QDialog"), form.QDialog::qt_metacast("QDialog"));
    QCOMPARE(form.qt_metacast("QWidget"), form.QDialog::qt_metacast("QWidget"));
    QCOMPARE(form.qt_metacast("Nothing"), nullptr);
    QCOMPARE(qobject_cast<TTrendForm *>(static_cast<QObject *>(&form)), &form);
}

void TestTrendForm::deletionTakesChildren()
{
    auto *form = new TTrendForm;
    std::vector<QPointer<QObject>> owned {form->MainLayout, form->FieldsLayout, form->YearLabel,
        form->IncidenceLabel, form->CalculateButton, form->SaveButton, form->IncidenceEdit,
        form->MessageLabel, form->YearBox, form->SubmitButton, form->ResultEdit,
        form->IncidenceValidator};
    for (QObject *child : form->findChildren<QObject *>())
        owned.emplace_back(child);
    delete form;
    for (const auto &object : owned)
        QVERIFY(object.isNull());
}

QTEST_MAIN(TestTrendForm)
#include "tst_trendform.moc"
