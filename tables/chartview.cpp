// SPDX-License-Identifier: MIT
#include "chartview.h"

#include "chart.h"

#include <QPainter>

ChartView::ChartView(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(300, 180);
}

void ChartView::display(const table::Series &s, const engine::Computed &c, const QString &name)
{
    series = s;
    computed = c;
    valueName = name;
    update();
}

void ChartView::clear()
{
    series.reset();
    computed.reset();
    update();
}

void ChartView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    if (!series || !computed)
        return;
    const double scale = std::min(width() / summary::Width, height() / summary::Height);
    painter.translate(
        (width() - summary::Width * scale) / 2, (height() - summary::Height * scale) / 2);
    painter.scale(scale, scale);
    summary::drawChart(painter, computed->row(*series), valueName);
}
