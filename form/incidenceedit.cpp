// SPDX-License-Identifier: MIT
#include "form/incidenceedit.h"

#include "calc/incidencetext.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

TIncidenceEdit::TIncidenceEdit(QWidget *parent)
    : QLineEdit(parent)
{ }

void TIncidenceEdit::keyPressEvent(QKeyEvent *event)
{
    // Ctrl+V and Shift+Insert alike.
    if (event->matches(QKeySequence::Paste) && !isReadOnly()) {
        pasteValues();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

// The toolkit's own menu, its «Вставить» pasting as the keys do. The action
// is known by the shortcut its text shows: it has no name of its own.
void TIncidenceEdit::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu();
    const QString paste
        = QLatin1Char('\t') + QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
    for (QAction *action : menu->actions()) {
        if (action->text().endsWith(paste)) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, &TIncidenceEdit::pasteValues);
        }
    }
    menu->exec(event->globalPos());
    delete menu;
}

void TIncidenceEdit::pasteValues()
{
    const QString text = QApplication::clipboard()->text();
    const QStringList values = trend::pastedValues(text);
    if (values.size() > 1)
        emit valuesPasted(values, trend::pastedTable(text));
    else if (!values.isEmpty())
        insert(values.front()); // a spreadsheet's cell comes with a line break
    else
        paste();
}
