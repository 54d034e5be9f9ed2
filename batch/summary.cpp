#include "summary.h"

#include <QIODevice>

#include <charconv>
#include <cmath>

namespace batch {

namespace {

void csvCell(QByteArray &out, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    if (utf8.contains(',') || utf8.contains('"') || utf8.contains('\n') || utf8.contains('\r')) {
        out.append('"');
        for (char c : utf8) {
            if (c == '"')
                out.append('"');
            out.append(c);
        }
        out.append('"');
    } else {
        out.append(utf8);
    }
}

void jsonString(QByteArray &out, const QString &value)
{
    out.append('"');
    for (char c : value.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.append('\\').append(c);
        } else if (u < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out.append("\\u00").append(hex[u >> 4]).append(hex[u & 15]);
        } else {
            out.append(c);
        }
    }
    out.append('"');
}

// The shortest text that reads back as the same double.
void number(QByteArray &out, double x, SummaryFormat format)
{
    if (std::isnan(x)) {
        out.append(format == SummaryFormat::Json ? "null" : "nan");
        return;
    }
    if (format == SummaryFormat::Json && std::isinf(x)) {
        out.append("null");
        return;
    }
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, x);
    out.append(text, result.ptr - text);
}

} // namespace

QStringList SummaryWriter::columns()
{
    static const QStringList names {"first_year", "last_year", "n", "total", "mean", "slope",
        "absolute_change", "average_absolute_change", "change_rate", "average_annual_change_rate",
        "trend_class", "trend_class_ru", "forecast_year", "forecast_level", "ols_slope_per_year",
        "ols_slope_se", "ols_ci95_low", "ols_ci95_high", "ols_p_value", "ols_r2"};
    return names;
}

SummaryWriter::SummaryWriter(QIODevice *device, SummaryFormat format, const QStringList &names)
    : device(device)
    , format(format)
{
    for (qsizetype i = 0; i < names.size(); ++i)
        labelNames.append(names[i].isEmpty() ? QStringLiteral("label%1").arg(i + 1) : names[i]);
    if (format == SummaryFormat::Csv) {
        const QStringList header = labelNames + columns();
        for (qsizetype i = 0; i < header.size(); ++i) {
            if (i)
                buffer.append(',');
            csvCell(buffer, header[i]);
        }
        buffer.append('\n');
    } else {
        buffer.append('[');
    }
}

void SummaryWriter::write(const Series &s, const trend::TrendResult &r, const OlsFit &ols)
{
    const std::size_t n = std::size_t(r.count);
    const double numbers[] = {r.total, r.averageIncidence, r.slope, r.absoluteChange,
        r.averageAbsoluteChange, r.changeRate, r.averageAnnualChangeRate};
    const double fitted[]
        = {ols.slope, ols.slopeError, ols.ciLow, ols.ciHigh, ols.pValue, ols.rSquared};

    if (format == SummaryFormat::Csv) {
        for (qsizetype i = 0; i < labelNames.size(); ++i) {
            csvCell(buffer, s.labels.value(i));
            buffer.append(',');
        }
        buffer.append(QByteArray::number(s.years.front())).append(',');
        buffer.append(QByteArray::number(s.years[n - 1])).append(',');
        buffer.append(QByteArray::number(qint64(n)));
        for (double x : numbers)
            number(buffer.append(','), x, format);
        buffer.append(',').append(trend::classKey(r.trendClass)).append(',');
        csvCell(buffer, trend::classLine(r.trendClass));
        buffer.append(',').append(QByteArray::number(s.years[n])).append(',');
        number(buffer, r.forecastLevel, format);
        for (double x : fitted)
            number(buffer.append(','), x, format);
        buffer.append('\n');
    } else {
        buffer.append(rows ? ",\n{" : "\n{");
        buffer.append("\"labels\":{");
        for (qsizetype i = 0; i < labelNames.size(); ++i) {
            if (i)
                buffer.append(',');
            jsonString(buffer, labelNames[i]);
            buffer.append(':');
            jsonString(buffer, s.labels.value(i));
        }
        buffer.append('}');
        const QStringList &names = columns();
        const auto key = [&](int column) {
            buffer.append(",\"").append(names[column].toLatin1()).append("\":");
        };
        key(0);
        buffer.append(QByteArray::number(s.years.front()));
        key(1);
        buffer.append(QByteArray::number(s.years[n - 1]));
        key(2);
        buffer.append(QByteArray::number(qint64(n)));
        int column = 3;
        for (double x : numbers) {
            key(column++);
            number(buffer, x, format);
        }
        key(column++);
        jsonString(buffer, QString::fromLatin1(trend::classKey(r.trendClass)));
        key(column++);
        jsonString(buffer, trend::classLine(r.trendClass));
        key(column++);
        buffer.append(QByteArray::number(s.years[n]));
        key(column++);
        number(buffer, r.forecastLevel, format);
        for (double x : fitted) {
            key(column++);
            number(buffer, x, format);
        }
        buffer.append('}');
    }
    ++rows;
    if (buffer.size() > (1 << 16))
        flush();
}

bool SummaryWriter::flush()
{
    if (!failed && !buffer.isEmpty() && device->write(buffer) != buffer.size())
        failed = true;
    buffer.clear();
    return !failed;
}

bool SummaryWriter::finish()
{
    if (format == SummaryFormat::Json)
        buffer.append(rows ? "\n]\n" : "]\n");
    return flush();
}

} // namespace batch
