// SPDX-License-Identifier: MIT
#include "chart.h"

#include <QBuffer>
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QSvgGenerator>

namespace batch {

QByteArray renderChart(ChartFormat format, const RowInput &row, const QString &valueName)
{
    const Series &series = row.series;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (format == ChartFormat::Svg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(QSize(int(Width), int(Height)));
        svg.setViewBox(QRectF(0, 0, Width, Height));
        svg.setTitle(displayLabel(series.labels, series.line));
        svg.setDescription(QObject::tr("Многолетняя эпидемическая тенденция"));
        QPainter painter(&svg);
        drawChart(painter, row, valueName);
        painter.end();
    } else {
        const double scale = PngWidth / Width;
        QImage image(PngWidth, int(Height * scale + 0.5), QImage::Format_RGB32);
        image.setDevicePixelRatio(scale);
        QPainter painter(&image);
        drawChart(painter, row, valueName);
        painter.end();
        // Quality 80 is zlib's fastest level but one: a fraction of the
        // default's time, for a file about a fifth larger.
        if (!image.save(&buffer, "PNG", 80))
            return {};
    }
    return buffer.data();
}

} // namespace batch
