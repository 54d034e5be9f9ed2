// SPDX-License-Identifier: MIT
#include "form/trendform.h"

#include "calc/incidencetext.h"
#include "calc/spelling.h"
#include "calc/trendcore.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>

#include <cstdlib>
#include <limits>

namespace {

void warnInput(const QString &text)
{
    QMessageBox::warning(nullptr, QObject::tr("Ошибка ввода"), text);
}

} // namespace

void TTrendForm::SubmitSlot()
{
    if (YearBox->isEnabled())
        takeFirstYear();
    else
        takeValue();
}

void TTrendForm::takeFirstYear()
{
    // A new series starts from empty containers whatever happened before.
    years.assign(1, YearBox->value());
    incidences.clear();
    incidenceCount = 0;
    YearBox->setDisabled(true);
    MessageLabel->setText(tr("<font color=Blue> <p align=center> Вводите соответствующие году "
                             "показатели заболеваемости.</p> <font>"));
    ResultEdit->clear();
    appendLines({trend::headerLine()});
    IncidenceEdit->setEnabled(true);
    IncidenceEdit->setFocus();
}

void TTrendForm::takePastedValues(const QStringList &values, bool table)
{
    if (table) {
        warnInput(QObject::tr("Скопирована таблица из нескольких строк и столбцов: скопируйте "
                              "один столбец или одну строку значений."));
        return;
    }
    // What is typed and not selected would be lost, or taken for a value.
    QString kept = IncidenceEdit->text();
    if (IncidenceEdit->hasSelectedText())
        kept.remove(IncidenceEdit->selectionStart(), IncidenceEdit->selectedText().size());
    if (!kept.isEmpty()) {
        warnInput(QObject::tr("В поле уже введено «%1». Нажмите «Ввод» или очистите поле, "
                              "затем вставьте значения.")
                      .arg(IncidenceEdit->text()));
        return;
    }
    const trend::PastedNumbers pasted = trend::pastedNumbers(values, incidenceCount);
    if (!pasted.problem.isEmpty()) {
        warnInput(pasted.problem);
        return;
    }
    // As typed one by one, the echoes laid out at once: a column of thirty
    // thousand values takes a moment, not seconds.
    std::vector<trend::ReportLine> lines;
    for (std::size_t i = 0; i < pasted.numbers.size(); ++i)
        lines.push_back(enterValue(pasted.numbers[i], values[qsizetype(i)]));
    appendLines(lines);
}

void TTrendForm::takeValue()
{
    // Counts and time codes are 16-bit: the series is full at 32767 values.
    // The button is disabled when that happens; this guards the slot itself.
    if (incidenceCount >= trend::MaxValues)
        return;

    const QString typed = IncidenceEdit->text();
    const trend::Entry entry = trend::parseEntry(typed);
    switch (entry.kind) {
    case trend::EntryKind::Empty:
        warnInput(QObject::tr("Введите значение заболеваемости для соответствующего года!"));
        return;
    case trend::EntryKind::Malformed:
    case trend::EntryKind::Foreign:
        // Storing 0 for "1,000.5" or "12e" would put a wrong number into the
        // report without a word; the user corrects the field instead.
        warnInput(QObject::tr("«%1» не является числом. Введите значение заболеваемости "
                              "без пробелов и разделителей разрядов, например 12.5 или 12,5.")
                      .arg(typed));
        return;
    case trend::EntryKind::OutOfRange:
        warnInput(QObject::tr("Число «%1» не может быть сохранено: допускаются значения "
                              "по модулю не больше %2 и не меньше %3, а также ноль.")
                      .arg(typed, spelling::scientific(std::numeric_limits<float>::max(), 1),
                          spelling::scientific(std::numeric_limits<float>::denorm_min(), 1)));
        return;
    case trend::EntryKind::Number:
    case trend::EntryKind::Placeholder:
        break;
    }

    appendLines({enterValue(entry.value, typed)});
}

// Stores a value for the year the year box shows, moves the box on, and
// gives the line that echoes it as typed.
trend::ReportLine TTrendForm::enterValue(double value, const QString &typed)
{
    incidences.push_back(value);
    YearBox->setValue(YearBox->value() + 1);
    ++incidenceCount;
    years.push_back(YearBox->value());
    IncidenceEdit->clear();
    if (incidenceCount > trend::MinValues - 1)
        CalculateButton->setEnabled(true);

    if (incidenceCount >= trend::MaxValues) {
        IncidenceEdit->setDisabled(true);
        SubmitButton->setDisabled(true);
        MessageLabel->setText(
            tr("<font color=Red> <p align=center> Введено наибольшее возможное "
               "число значений (32767). Нажмите кнопку «Рассчитать».</p></font>"));
        CalculateButton->setFocus();
    }
    return trend::yearLine(years[std::size_t(incidenceCount - 1)], typed);
}
