// SPDX-License-Identifier: MIT
// TTrendForm: the program's one window.
//
// The user types a first year, then one incidence value per year, presses
// "Рассчитать" for the trend report and "Сохранить" to write it to a file.
// The form leads through three phases, shown by which widgets are enabled
// and by the prompt above the fields:
//
//   first year  - YearBox and SubmitButton enabled;
//   values      - IncidenceEdit and SubmitButton, CalculateButton too from
//                 the fifth value on;
//   calculated  - only SaveButton; a written file leads back to the first
//                 year, a cancelled or failed save stays here.
//
// The enabled state of YearBox is the mode: the form keeps no other. The
// calculation itself lives in the widget-free core (calc/trendcore.h); the
// form keeps its results in the members below, where they stay readable
// after every slot.
#pragma once

#include <QDialog>
#include <QString>

#include "calc/trendcore.h"

#include <vector>

class QDoubleValidator;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTextEdit;
class QVBoxLayout;

class TTrendForm : public QDialog
{
    Q_OBJECT

public:
    explicit TTrendForm(QWidget *parent = nullptr, const char *name = nullptr, bool modal = false,
        Qt::WindowFlags fl = {});
    ~TTrendForm() override;

    // Closing asks first while entered values or an unsaved report would be
    // lost. Not a slot: the slot table holds the five slots below only.
    void reject() override;

    // The series and the results of the last calculation.
    qint16 incidenceCount = 0;
    std::vector<qint32> years;
    qint16 middlePosition = 0;
    std::vector<double> incidences;
    std::vector<qint16> timeIntervals;
    qint16 loopIndex = 0;
    double averageIncidence = 0;
    double runningSum = 0;
    double squaredIntervalSum = 0;
    std::vector<double> theoreticalLevels;
    double slope = 0;
    double absoluteChange = 0;
    double averageAbsoluteChange = 0;
    double changeRate = 0;
    double averageAnnualChangeRate = 0;

    // Widgets, owned by the form through Qt's parent/child ownership.
    QVBoxLayout *MainLayout;
    QGridLayout *FieldsLayout;
    QLabel *YearLabel;
    QLabel *IncidenceLabel;
    QPushButton *CalculateButton;
    QPushButton *SaveButton;
    QLineEdit *IncidenceEdit;
    QLabel *MessageLabel;
    QSpinBox *YearBox;
    QPushButton *SubmitButton;
    QTextEdit *ResultEdit;
    QDoubleValidator *IncidenceValidator;

    // The method's own helpers, which CalculateSlot uses for the middle of
    // the series; the core does the same for every front end.
    bool IsEven(qint16 n) const;
    qint16 MiddlePosition(qint16 n) const;

protected slots:
    // Slot order is part of the interface: indices 0-4 past the method offset.
    void InitSlot();
    void LanguageChangeSlot();
    void SubmitSlot();
    void CalculateSlot();
    void SaveSlot();

private:
    void buildFields();
    // Appends each line as a paragraph, composed lines through the form's
    // translation look-up, year lines as they are.
    void appendLines(const std::vector<trend::ReportLine> &lines);
    void takeFirstYear();
    void takeValue();
    // Values pasted from a spreadsheet: each entered as if typed and
    // submitted with «Ввод», or none of them.
    void takePastedValues(const QStringList &values, bool table);
    trend::ReportLine enterValue(double value, const QString &typed);
    void resetForNextSeries(bool overwritten);
};
