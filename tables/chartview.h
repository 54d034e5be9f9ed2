// SPDX-License-Identifier: MIT
// One series' chart, drawn as vantorel-batch draws it into a file, scaled
// to the widget.
#pragma once

#include "engine.h"

#include <QWidget>

#include <optional>

class ChartView : public QWidget
{
    Q_OBJECT

public:
    explicit ChartView(QWidget *parent = nullptr);
    // Shows `series` with what was computed for it; nothing when empty.
    void display(
        const table::Series &series, const engine::Computed &computed, const QString &valueName);
    void clear();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::optional<table::Series> series;
    std::optional<engine::Computed> computed;
    QString valueName;
};
