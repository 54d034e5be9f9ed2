// SPDX-License-Identifier: MIT
#include "form/trendform.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTextDocument>
#include <QTextEdit>

#include "calc/reportfile.h"
#include "calc/trendcore.h"

void TTrendForm::SaveSlot()
{
    auto *dialog = new QFileDialog(this);
    dialog->setWindowTitle(tr("Сохранить результат"));
    dialog->setNameFilter(tr("Текстовый файл (*.txt)"));
    dialog->selectFile(QObject::tr("Без_имени"));
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    // The question below is about the name with ".txt" added; the dialog
    // would ask about the name as chosen.
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);

    if (dialog->exec() == QDialog::Accepted) {
        const QString target = dialog->selectedFiles().value(0) + QStringLiteral(".txt");
        const QFileInfo info(target);
        const bool existed = info.exists() && !info.isDir();
        bool confirmed = true;
        if (existed) {
            QMessageBox question(QMessageBox::Warning, QObject::tr("Такой файл уже существует!"),
                QObject::tr("Перезаписать существующий файл?"));
            // Action roles: neither button answers Escape.
            QPushButton *yes = question.addButton(QObject::tr("&Да"), QMessageBox::ActionRole);
            QPushButton *no = question.addButton(QObject::tr("&Нет"), QMessageBox::ActionRole);
            question.setDefaultButton(no);
            question.exec();
            confirmed = question.clickedButton() == yes;
        }
        if (confirmed) {
            QString reason;
            if (trend::writeTextFile(target, ResultEdit->toPlainText(), &reason)) {
                resetForNextSeries(existed);
            } else {
                // The report stays on screen and "Сохранить" stays enabled.
                QMessageBox::warning(nullptr, QObject::tr("Ошибка сохранения"),
                    QObject::tr("Отчёт не сохранён в файл «%1»: %2.")
                        .arg(QDir::toNativeSeparators(target), reason));
            }
        }
    }

    delete dialog;
    years.clear();
    incidences.clear();
    timeIntervals.clear();
    theoreticalLevels.clear();
}

void TTrendForm::resetForNextSeries(bool overwritten)
{
    ResultEdit->clear();
    ResultEdit->document()->setModified(false);
    SaveButton->setDisabled(true);
    YearBox->setEnabled(true);
    YearBox->setValue(overwritten ? trend::MinYear : trend::DefaultFirstYear);
    MessageLabel->setText(overwritten ? tr("<font color=Blue> <p align=center> Введите первый год "
                                           "анализируемого ряда.</p> </font>")
                                      : tr("<font color=Blue> <p align=center> Введите первый год "
                                           "анализируемого ряда.</font> </p>"));
    SubmitButton->setEnabled(true);
}
