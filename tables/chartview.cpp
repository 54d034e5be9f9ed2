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
    summary::fitPicture(painter, width(), height());
    summary::drawChart(painter, {*result}, valueName);
}
