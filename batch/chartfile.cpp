// SPDX-License-Identifier: MIT
#include "chart.h"

#include <QImage>
#include <QObject>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

namespace batch {

bool writeChart(const QString &path, ChartFormat format, const Series &series,
    const trend::TrendResult &result, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (format == ChartFormat::Svg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
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
        if (!image.save(&file, "PNG")) {
            *error = QObject::tr("изображение не записано");
            file.cancelWriting();
            return false;
        }
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace batch
