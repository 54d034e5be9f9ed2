// SPDX-License-Identifier: MIT
#include "app/askleave.h"

#include <QMessageBox>
#include <QObject>
#include <QPushButton>

namespace dialogs {

bool askLeave(QWidget *parent, const QString &title, const QString &text, const QString &leave)
{
    QMessageBox question(QMessageBox::Warning, title, text, QMessageBox::NoButton, parent);
    QPushButton *leaving = question.addButton(leave, QMessageBox::DestructiveRole);
    QPushButton *cancel = question.addButton(QObject::tr("&Отмена"), QMessageBox::RejectRole);
    question.setDefaultButton(cancel);
    question.setEscapeButton(cancel);
    question.exec();
    return question.clickedButton() == leaving;
}

} // namespace dialogs
