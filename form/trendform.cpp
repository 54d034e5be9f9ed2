// SPDX-License-Identifier: MIT
#include "form/trendform.h"

#include "app/askleave.h"

#include "calc/trendcore.h"
#include "form/incidenceedit.h"
#include "form/incidencevalidator.h"
#include "form/reportedit.h"

#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

TTrendForm::TTrendForm(QWidget *parent, const char *name, bool modal, Qt::WindowFlags fl)
    : QDialog(parent, fl)
{
    setModal(modal);
    setObjectName(name ? QString::fromUtf8(name) : QStringLiteral("TrendForm"));

    MainLayout = new QVBoxLayout(this);
    MainLayout->setContentsMargins(11, 11, 11, 11);
    MainLayout->setSpacing(5);
    MainLayout->setObjectName(QStringLiteral("MainLayout"));

    MessageLabel = new QLabel(this);
    MessageLabel->setObjectName(QStringLiteral("MessageLabel"));
    MainLayout->addWidget(MessageLabel);

    FieldsLayout = new QGridLayout();
    MainLayout->addLayout(FieldsLayout);
    FieldsLayout->setSpacing(5);
    FieldsLayout->setObjectName(QStringLiteral("FieldsLayout"));

    buildFields();

    ResultEdit = new TReportEdit(this);
    ResultEdit->setObjectName(QStringLiteral("ResultEdit"));
    QFont reportFont = ResultEdit->font();
    reportFont.setFamily(QStringLiteral("Nimbus Roman No9 l"));
    reportFont.setPointSize(11);
    ResultEdit->setFont(reportFont);
    ResultEdit->setReadOnly(true);
    // A read-only report has nothing to undo; an undo stack would only grow
    // with every paragraph of a long series.
    ResultEdit->setUndoRedoEnabled(false);
    MainLayout->addWidget(ResultEdit);

    InitSlot();
    LanguageChangeSlot();

    connect(SubmitButton, &QPushButton::clicked, this, &TTrendForm::SubmitSlot);
    connect(CalculateButton, &QPushButton::clicked, this, &TTrendForm::CalculateSlot);
    connect(SaveButton, &QPushButton::clicked, this, &TTrendForm::SaveSlot);
    connect(static_cast<TIncidenceEdit *>(IncidenceEdit), &TIncidenceEdit::valuesPasted, this,
        &TTrendForm::takePastedValues);
}

// The labels, fields and buttons of the grid, in the order of the window.
void TTrendForm::buildFields()
{
    YearLabel = new QLabel(this);
    YearLabel->setObjectName(QStringLiteral("YearLabel"));
    FieldsLayout->addWidget(YearLabel, 0, 0);

    IncidenceLabel = new QLabel(this);
    IncidenceLabel->setObjectName(QStringLiteral("IncidenceLabel"));
    FieldsLayout->addWidget(IncidenceLabel, 0, 1);

    CalculateButton = new QPushButton(this);
    CalculateButton->setObjectName(QStringLiteral("CalculateButton"));
    CalculateButton->setEnabled(false);
    FieldsLayout->addWidget(CalculateButton, 2, 2);

    SaveButton = new QPushButton(this);
    SaveButton->setObjectName(QStringLiteral("SaveButton"));
    SaveButton->setEnabled(false);
    FieldsLayout->addWidget(SaveButton, 2, 3);

    IncidenceEdit = new TIncidenceEdit(this);
    IncidenceEdit->setObjectName(QStringLiteral("IncidenceEdit"));
    IncidenceEdit->setEnabled(false);

    IncidenceValidator = new TIncidenceValidator(this);
    IncidenceValidator->setObjectName(QStringLiteral("IncidenceValidator"));
    IncidenceEdit->setValidator(IncidenceValidator);
    FieldsLayout->addWidget(IncidenceEdit, 1, 1);

    YearBox = new QSpinBox(this);
    YearBox->setObjectName(QStringLiteral("YearBox"));
    YearBox->setEnabled(true);
    YearBox->setMaximum(trend::MaxYear);
    YearBox->setMinimum(trend::MinYear);
    YearBox->setValue(trend::DefaultFirstYear);
    FieldsLayout->addWidget(YearBox, 1, 0);

    SubmitButton = new QPushButton(this);
    SubmitButton->setObjectName(QStringLiteral("SubmitButton"));
    SubmitButton->setEnabled(true);
    FieldsLayout->addWidget(SubmitButton, 1, 2);
}

TTrendForm::~TTrendForm() = default;

// Escape and the window's close button both end in reject(). Values typed,
// or a report not yet saved, would be lost without a word: ask first.
void TTrendForm::reject()
{
    if ((!incidences.empty() || SaveButton->isEnabled())
        && !dialogs::askLeave(this, tr("Отчёт не сохранён"),
            tr("Введённые значения и отчёт будут потеряны. Закрыть программу?"), tr("&Закрыть")))
        return;
    QDialog::reject();
}

void TTrendForm::InitSlot()
{
    setTabOrder(YearBox, IncidenceEdit);
    setTabOrder(IncidenceEdit, SubmitButton);
    setTabOrder(SubmitButton, CalculateButton);
    setTabOrder(CalculateButton, SaveButton);
    setTabOrder(SaveButton, ResultEdit);
}

void TTrendForm::LanguageChangeSlot()
{
    setWindowTitle(QObject::tr("Эпидемическая тенденция"));
    YearLabel->setText(tr("Год:"));
    YearBox->setToolTip(QObject::tr("Ввод года"));
    YearBox->setWhatsThis(QObject::tr("Выберите с помощью стрелок или введите с клавиатуры первый "
                                      "год ряда, для которого рассчитывается эпидемическая "
                                      "тенденция."));
    IncidenceLabel->setText(tr("Заболеваемость:"));
    CalculateButton->setText(tr("Рассчитать"));
    CalculateButton->setToolTip(QObject::tr("Рассчитать тенденцию"));
    CalculateButton->setWhatsThis(QObject::tr("Нажмите кнопку, чтобы рассчитать эпидемическую "
                                              "тенденцию на основании введённых значений."));
    SaveButton->setText(tr("Сохранить"));
    SaveButton->setToolTip(QObject::tr("Сохранить результат"));
    SaveButton->setWhatsThis(
        QObject::tr("Нажмите кнопку, чтобы сохранить результаты вычислений в файл"));
    MessageLabel->setText(tr(
        "<font color=Blue> <p align=center> Введите первый год анализируемого ряда.</p></font>"));
    SubmitButton->setText(tr("Ввод"));
    SubmitButton->setToolTip(QObject::tr("Ввод значений активного поля"));
    SubmitButton->setWhatsThis(QObject::tr("Нажмите кнопку, чтобы ввести в память числовые "
                                           "значения в текущем (активном на данный момент) поле "
                                           "ввода."));
}

bool TTrendForm::IsEven(qint16 n) const
{
    return trend::isEven(n);
}

qint16 TTrendForm::MiddlePosition(qint16 n) const
{
    return trend::middlePosition(n);
}

// Each line becomes a paragraph of its own, exactly as QTextEdit::append
// would make it for plain text, but in one edit: a long report is laid out
// once instead of once per line.
void TTrendForm::appendLines(const std::vector<trend::ReportLine> &lines)
{
    if (lines.empty())
        return;
    QScrollBar *bar = ResultEdit->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    QTextDocument *document = ResultEdit->document();
    const QTextCursor viewCursor = ResultEdit->textCursor();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    bool first = document->isEmpty();
    for (const trend::ReportLine &line : lines) {
        if (first)
            cursor.setCharFormat(viewCursor.charFormat());
        else
            cursor.insertBlock(viewCursor.blockFormat(), viewCursor.charFormat());
        first = false;
        cursor.insertText(line.translatable ? tr(line.text.toUtf8().constData()) : line.text);
    }
    cursor.endEditBlock();
    // Like append: a view that showed the end keeps showing it.
    if (atBottom)
        bar->setValue(bar->maximum());
}
