// SPDX-License-Identifier: MIT
#include "summary/chart.h"

#include <QBuffer>
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QSvgGenerator>

#include <png.h>

#include <csetjmp>

namespace summary {

namespace {

void appendPng(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

void flushPng(png_structp) { }

// libpng's own messages name no series; the caller's line does.
void failPng(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void warnPng(png_structp, png_const_charp) { }

} // namespace

// The toolkit's PNG writer tries every row filter on every row, which costs
// more than drawing the chart. A chart's rows are long runs of one colour:
// the Sub filter and zlib's fastest level give nearly the same size in a
// fraction of the time.
QByteArray encodePng(const QImage &drawn)
{
    const QImage image = drawn.convertToFormat(QImage::Format_RGB888);
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, failPng, warnPng);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return {};
    }
    png_set_write_fn(png, &out, appendPng, flushPng);
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8,
        PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
        PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, image.constScanLine(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

QByteArray renderChart(ChartFormat format, const RowInput &row, const QString &valueName)
{
    const table::Series &series = row.result.series;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (format == ChartFormat::Svg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(QSize(int(Width), int(Height)));
        svg.setViewBox(QRectF(0, 0, Width, Height));
        svg.setTitle(table::displayLabel(series.labels, series.line));
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
        return encodePng(image);
    }
    return buffer.data();
}

} // namespace summary
