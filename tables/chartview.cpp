// SPDX-License-Identifier: MIT
#include "tables/chartview.h"

#include "summary/chart.h"

#include <QPainter>

ChartView::ChartView(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(300, 180);
}

void ChartView::display(analysis::SeriesResult shown, const QString &name)
{
    result = std::move(shown);
    valueName = name;
    update();
}

void ChartView::clear()
{
    result.reset();
    update();
}

void ChartView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    if (!result)
        return;
    const double scale = std::min(width() / summary::Width, height() / summary::Height);
    painter.translate(
        (width() - summary::Width * scale) / 2, (height() - summary::Height * scale) / 2);
    painter.scale(scale, scale);
    summary::drawChart(painter, {*result}, valueName);
}
