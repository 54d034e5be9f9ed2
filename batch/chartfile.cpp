// SPDX-License-Identifier: MIT
#include "chart.h"
#include "reportfile.h"

#include <QBuffer>
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QSvgGenerator>

namespace batch {

namespace {

// The chart is drawn into memory first, so that a failing disk is met by
// the one file writer that reports use, never by libpng or the SVG stream.
QByteArray render(ChartFormat format, const Series &series, const trend::TrendResult &result)
{
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
        drawChart(painter, series, result);
        painter.end();
    } else {
        QImage image(int(Width * 2), int(Height * 2), QImage::Format_RGB32);
        image.setDevicePixelRatio(2);
        QPainter painter(&image);
        drawChart(painter, series, result);
        painter.end();
        if (!image.save(&buffer, "PNG"))
            return {};
    }
    return buffer.data();
}

} // namespace

bool writeChart(const QString &path, ChartFormat format, const Series &series,
    const trend::TrendResult &result, QString *error)
{
    const QByteArray bytes = render(format, series, result);
    if (bytes.isEmpty()) {
        *error = QObject::tr("изображение не построено");
        return false;
    }
    return trend::writeWholeFile(path, bytes, error);
}

} // namespace batch
