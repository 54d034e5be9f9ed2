// SPDX-License-Identifier: MIT
// The report area: a read-only text edit that asks, at the start, for room
// for a whole report line and a screenful of lines.
#pragma once

#include <QTextEdit>

class TReportEdit : public QTextEdit
{
public:
    explicit TReportEdit(QWidget *parent);

    // Average characters of the report's font a line is given, and lines
    // shown. The longest report line, the sum of products with a number in
    // exponent form, takes about 84.
    static constexpr int Columns = 86;
    static constexpr int Rows = 24;

    QSize sizeHint() const override;
};
