// SPDX-License-Identifier: MIT
#include "form/reportedit.h"

#include <QScrollBar>
#include <QTextDocument>

TReportEdit::TReportEdit(QWidget *parent)
    : QTextEdit(parent)
{ }

QSize TReportEdit::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int margins = 2 * (frameWidth() + int(document()->documentMargin()));
    return QSize(
        Columns * metrics.averageCharWidth() + margins + verticalScrollBar()->sizeHint().width(),
        Rows * metrics.lineSpacing() + margins);
}
