// SPDX-License-Identifier: MIT
// The value field. An epidemiologist's series is almost always in a
// spreadsheet already: a paste of several values (a copied column or row)
// is handed to the form whole, by Ctrl+V, Shift+Insert or the context
// menu, to be entered value by value. A paste of one value goes into the
// field as always, and waits for «Ввод».
#pragma once

#include <QLineEdit>
#include <QStringList>

class TIncidenceEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit TIncidenceEdit(QWidget *parent);

signals:
    // Several values pasted, as pastedValues() splits them; `table`: a
    // block of rows and columns, which is no series.
    void valuesPasted(const QStringList &values, bool table);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void pasteValues();
};
