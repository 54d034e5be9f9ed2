// SPDX-License-Identifier: MIT
// The form's side of the calculation: runs the core, keeps its results in
// the form's members and appends the report lines.
#include "form/trendform.h"

#include "calc/trendcore.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>

void TTrendForm::CalculateSlot()
{
    // The button is enabled from the fifth value on; a call through the
    // meta-object with a shorter series has nothing to calculate.
    if (YearBox->isEnabled() || incidenceCount < trend::MinValues
        || incidences.size() < std::size_t(incidenceCount)
        || years.size() <= std::size_t(incidenceCount))
        return;

    IncidenceEdit->setDisabled(true);

    const qint16 n = incidenceCount;
    const trend::TrendResult r = trend::calculate(incidences, n);

    middlePosition = IsEven(n) ? qint16(n / 2) : MiddlePosition(n);
    timeIntervals = r.timeCodes;
    loopIndex = n;
    averageIncidence = r.averageIncidence;
    runningSum = r.sumOfProducts;
    squaredIntervalSum = r.squaredIntervalSum;
    theoreticalLevels = r.theoreticalLevels;
    slope = r.slope;
    absoluteChange = r.absoluteChange;
    averageAbsoluteChange = r.averageAbsoluteChange;
    changeRate = r.changeRate;
    averageAnnualChangeRate = r.averageAnnualChangeRate;

    appendLines(trend::calculationLines(r, years));

    SubmitButton->setDisabled(true);
    CalculateButton->setDisabled(true);
    SaveButton->setEnabled(true);
    SaveButton->setFocus();
    MessageLabel->setText(tr("<font color=Red> <p align=center> Нажмите кнопку, чтобы сохранить "
                             "результаты расчёта.</font> </p>"));
}
