// SPDX-License-Identifier: MIT
#include "summarywriter.h"

#include "reportfile.h"

#include <QFileDevice>

#include <algorithm>

#include <charconv>
#include <cmath>

namespace summary {

namespace {

// Appends text as UTF-8; most labels are ASCII, copied without the
// conversion's own buffer.
void appendUtf8(QByteArray &out, const QString &value)
{
    const qsizetype at = out.size();
    out.resize(at + value.size());
    char *p = out.data() + at;
    for (const QChar c : value) {
        if (c.unicode() >= 0x80) {
            out.truncate(at);
            out.append(value.toUtf8());
            return;
        }
        *p++ = char(c.unicode());
    }
}

void csvText(QByteArray &out, const QString &value)
{
    const qsizetype at = out.size();
    appendUtf8(out, value);
    if (std::any_of(out.cbegin() + at, out.cend(),
            [](char c) { return c == ',' || c == '"' || c == '\n' || c == '\r'; })) {
        const QByteArray text = out.mid(at);
        out.truncate(at);
        out.append('"');
        for (char c : text) {
            if (c == '"')
                out.append('"');
            out.append(c);
        }
        out.append('"');
    }
}

void jsonText(QByteArray &out, const QString &value)
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

// Spells a number at the end of `out`, in place: a double as the shortest
// text that reads back as the same double. None takes more than 24 bytes.
template<typename T> void spell(QByteArray &out, T x)
{
    const qsizetype at = out.size();
    out.resize(at + 32);
    const auto result = std::to_chars(out.data() + at, out.data() + out.size(), x);
    out.truncate(result.ptr - out.constData());
}

// Plain CSV, or what Russian Excel opens as a table: UTF-8 with a
// byte-order mark, ';' between cells, decimal commas, and every text cell
// quoted, so that a label such as "1-2" is not taken for a date.
class CsvWriter : public SummaryWriter
{
public:
    CsvWriter(QIODevice *device, const QStringList &labelNames, const std::vector<Column> &model,
        bool excel)
        : SummaryWriter(device, labelNames, model)
        , excel(excel)
        , separator(excel ? ';' : ',')
    { }

private:
    void begin() override
    {
        if (excel)
            buffer.append("\xEF\xBB\xBF");
        QStringList header = labelNames;
        for (const Column &column : model)
            header.append(QString::fromLatin1(column.name));
        for (qsizetype i = 0; i < header.size(); ++i) {
            if (i)
                buffer.append(separator);
            text(buffer, header[i]);
        }
        buffer.append('\n');
    }

    void formatRow(QByteArray &out, const RowInput &r) const override
    {
        for (qsizetype i = 0; i < labelNames.size(); ++i) {
            text(out, r.series.labels.value(i));
            out.append(separator);
        }
        bool first = true;
        for (const Column &column : model) {
            if (!first)
                out.append(separator);
            first = false;
            cell(out, column.value(r));
        }
        out.append('\n');
    }

    // For Excel, a text that starts as a formula does ("=", "+", "-", "@",
    // a tab or a carriage return) is marked as text with an apostrophe:
    // quoted or not, Excel would take it for a formula.
    void text(QByteArray &out, const QString &value) const
    {
        if (!excel)
            return csvText(out, value);
        const bool formula = !value.isEmpty() && QStringView(u"=+-@\t\r").contains(value.front());
        out.append(formula ? "\"'" : "\"").append(value.toUtf8().replace('"', "\"\"")).append('"');
    }

    void cell(QByteArray &out, const CellValue &v) const
    {
        switch (v.type) {
        case CellType::Text:
            return text(out, v.text);
        case CellType::Integer:
            spell(out, v.integer);
            return;
        case CellType::Absent:
            return;
        case CellType::Real:
            if (excel && !std::isfinite(v.real)) {
                return; // Excel reads "inf" as text, and a text breaks a column of numbers
            } else if (std::isnan(v.real)) {
                out.append("nan");
            } else {
                const qsizetype at = out.size();
                spell(out, v.real);
                if (excel)
                    std::replace(out.begin() + at, out.end(), '.', ',');
            }
            return;
        case CellType::Class:
            out.append(trend::classKey(v.trendClass));
            return;
        }
    }

    void end() override { }

    const bool excel;
    const char separator;
};

class JsonWriter : public SummaryWriter
{
public:
    using SummaryWriter::SummaryWriter;

private:
    void begin() override { buffer.append('['); }

    // Each row starts with the comma that separates it from the one before;
    // the first row written drops it.
    void formatRow(QByteArray &out, const RowInput &r) const override
    {
        out.append(",\n{\"labels\":{");
        for (qsizetype i = 0; i < labelNames.size(); ++i) {
            if (i)
                out.append(',');
            jsonText(out, labelNames[i]);
            out.append(':');
            jsonText(out, r.series.labels.value(i));
        }
        out.append('}');
        for (const Column &column : model) {
            out.append(",\"").append(column.name).append("\":");
            cell(out, column.value(r));
        }
        out.append('}');
    }

    qsizetype separatorLength() const override { return 1; }

    static void cell(QByteArray &out, const CellValue &v)
    {
        switch (v.type) {
        case CellType::Text:
            return jsonText(out, v.text);
        case CellType::Integer:
            spell(out, v.integer);
            return;
        case CellType::Real:
            if (std::isfinite(v.real))
                spell(out, v.real);
            else
                out.append("null");
            return;
        case CellType::Absent:
            out.append("null");
            return;
        case CellType::Class:
            return jsonText(out, QString::fromLatin1(trend::classKey(v.trendClass)));
        }
    }

    void end() override { buffer.append(anyRow ? "\n]\n" : "]\n"); }
};

} // namespace

std::unique_ptr<SummaryWriter> SummaryWriter::create(QIODevice *device, SummaryFormat format,
    const QStringList &labelNames, const std::vector<Column> &model)
{
    std::unique_ptr<SummaryWriter> writer;
    if (format == SummaryFormat::Json)
        writer.reset(new JsonWriter(device, labelNames, model));
    else
        writer.reset(new CsvWriter(device, labelNames, model, format == SummaryFormat::ExcelCsv));
    writer->begin();
    return writer;
}

SummaryWriter::SummaryWriter(
    QIODevice *device, const QStringList &names, const std::vector<Column> &model)
    : model(model)
    , device(device)
{
    for (qsizetype i = 0; i < names.size(); ++i)
        labelNames.append(names[i].isEmpty() ? QStringLiteral("label%1").arg(i + 1) : names[i]);
}

void SummaryWriter::append(QByteArrayView rows)
{
    if (rows.isEmpty())
        return;
    if (!anyRow)
        rows = rows.sliced(separatorLength());
    anyRow = true;
    // A batch's rows, a few megabytes, go out as they are: copying them
    // into the buffer first would cost as much as writing them.
    if (buffer.size() + rows.size() > (1 << 16)) {
        flush();
        writeRows(rows);
    } else {
        buffer.append(rows);
    }
}

bool SummaryWriter::flush()
{
    if (!buffer.isEmpty())
        writeRows(buffer);
    buffer.clear();
    return !failed;
}

void SummaryWriter::writeRows(QByteArrayView rows)
{
    if (failed)
        return;
    const qint64 written = device->write(rows.data(), rows.size());
    if (written != rows.size()) {
        failed = true;
        const auto file = qobject_cast<QFileDevice *>(device);
        failure = file ? trend::writeFailure(*file, rows.sliced(std::max<qint64>(written, 0)))
                       : device->errorString();
    }
}

bool SummaryWriter::finish()
{
    end();
    return flush();
}

} // namespace summary
