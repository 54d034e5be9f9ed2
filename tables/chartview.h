// SPDX-License-Identifier: MIT
// One series' chart, drawn as vantorel-batch draws it into a file, scaled
// to the widget.
#pragma once

#include "analysis/seriesresult.h"

#include <QWidget>

#include <optional>

class ChartView : public QWidget
{
    Q_OBJECT

public:
    explicit ChartView(QWidget *parent = nullptr);
    // Shows a series with what was computed for it.
    void display(analysis::SeriesResult result, const QString &valueName);
    void clear();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::optional<analysis::SeriesResult> result;
    QString valueName;
};
