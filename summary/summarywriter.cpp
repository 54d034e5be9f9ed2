// SPDX-License-Identifier: MIT
#include "summary/summarywriter.h"

#include "calc/reportfile.h"
#include "summary/shortest.h"

#include <QFileDevice>

#include <algorithm>

#include <charconv>
#include <cmath>
#include <cstring>

namespace summary {

namespace {

// A row spelled through a pointer: room is made before each cell, and what
// is left of it cut once, at the row's end. A summary's rows have some
// fifty cells each, too many for a call to QByteArray for each.
class Cursor
{
public:
    Cursor(QByteArray &out, qsizetype expected)
        : out(out)
    {
        const qsizetype at = out.size();
        out.resize(at + expected);
        p = out.data() + at;
        end = out.data() + out.size();
    }
    ~Cursor() { out.truncate(p - out.constData()); }
    Cursor(const Cursor &) = delete;
    Cursor &operator=(const Cursor &) = delete;

    // At least n bytes to write at, up to where the next write starts.
    char *room(qsizetype n)
    {
        if (end - p < n) {
            const qsizetype used = p - out.constData();
            out.resize(std::max(out.size() * 2, used + n));
            p = out.data() + used;
            end = out.data() + out.size();
        }
        return p;
    }
    void wrote(char *to) { p = to; }
    void put(char c) { *room(1) = c, ++p; }
    void put(QByteArrayView bytes)
    {
        if (bytes.isEmpty())
            return; // an empty view may hold no pointer, which memcpy must not get
        std::memcpy(room(bytes.size()), bytes.data(), std::size_t(bytes.size()));
        p += bytes.size();
    }
    // Where the next write starts, kept as an offset: room may move the row.
    qsizetype mark() const { return p - out.constData(); }
    QByteArrayView since(qsizetype mark) const { return {out.constData() + mark, p}; }
    void rewind(qsizetype mark) { p = out.data() + mark; }

private:
    QByteArray &out;
    char *p, *end;
};

// Writes text as UTF-8 with room for three bytes a character; false, and
// nothing written, for a text beyond the basic plane, which is left to
// Qt's encoder. Labels and verdicts are in every row: encoded in place,
// they need no buffer of their own.
bool encodeUtf8(Cursor &out, QStringView value)
{
    char *p = out.room(3 * value.size());
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        if (u < 0x80) {
            *p++ = char(u);
        } else if (u < 0x800) {
            *p++ = char(0xC0 | u >> 6);
            *p++ = char(0x80 | (u & 0x3F));
        } else if (!c.isSurrogate()) {
            *p++ = char(0xE0 | u >> 12);
            *p++ = char(0x80 | (u >> 6 & 0x3F));
            *p++ = char(0x80 | (u & 0x3F));
        } else {
            return false;
        }
    }
    out.wrote(p);
    return true;
}

void putUtf8(Cursor &out, const QString &value)
{
    if (!encodeUtf8(out, value))
        out.put(value.toUtf8());
}

// Takes back what was written since `mark` and writes it again after
// `before`, with its quotes doubled, as a quoted cell holds it.
void doubleQuotesSince(Cursor &out, qsizetype mark, QByteArrayView before = {})
{
    const QByteArray text = out.since(mark).toByteArray();
    out.rewind(mark);
    out.put(before);
    for (char c : text) {
        if (c == '"')
            out.put('"');
        out.put(c);
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

// Spells a number at the end of `out`: a double as the shortest text that
// reads back as the same double.
void spell(QByteArray &out, qint64 x)
{
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, x).ptr - digits);
}

void spell(QByteArray &out, double x)
{
    char digits[ShortestRoom];
    out.append(digits, shortest(digits, x) - digits);
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
        Cursor out(buffer, 0);
        for (qsizetype i = 0; i < header.size(); ++i) {
            if (i)
                out.put(separator);
            text(out, header[i]);
        }
        out.put('\n');
    }

    void formatRow(QByteArray &rows, const RowInput &r) const override
    {
        Cursor out(rows, 32 * (labelNames.size() + qsizetype(model.size())));
        for (qsizetype i = 0; i < labelNames.size(); ++i) {
            text(out, r.result.series.labels.value(i));
            out.put(separator);
        }
        bool first = true;
        for (const Column &column : model) {
            if (!first)
                out.put(separator);
            first = false;
            cell(out, column.value(r));
        }
        out.put('\n');
    }

    // For Excel, a text that starts as a formula does ("=", "+", "-", "@",
    // a tab or a carriage return) is marked as text with an apostrophe:
    // quoted or not, Excel would take it for a formula.
    void text(Cursor &out, const QString &value) const
    {
        if (excel) {
            const bool formula
                = !value.isEmpty() && QStringView(u"=+-@\t\r").contains(value.front());
            out.put(formula ? "\"'" : "\"");
            const qsizetype mark = out.mark();
            putUtf8(out, value);
            if (out.since(mark).contains('"'))
                doubleQuotesSince(out, mark);
            out.put('"');
            return;
        }
        const qsizetype mark = out.mark();
        putUtf8(out, value);
        const QByteArrayView written = out.since(mark);
        if (std::any_of(written.begin(), written.end(),
                [](char c) { return c == ',' || c == '"' || c == '\n' || c == '\r'; })) {
            doubleQuotesSince(out, mark, "\"");
            out.put('"');
        }
    }

    void cell(Cursor &out, const CellValue &v) const
    {
        std::visit(Overloaded {[&](const QString &x) { text(out, x); },
                       [&](qint64 x) {
                           char *const p = out.room(24);
                           out.wrote(std::to_chars(p, p + 24, x).ptr);
                       },
                       [&](double x) { real(out, x); },
                       [&](trend::TrendClass x) { out.put(trend::classKey(x)); },
                       [&](stats::Verdict x) { key(out, verdictKey(x)); },
                       [&](bool x) { key(out, x ? "true" : "false"); }, [](Absent) {}},
            v);
    }

    // A word of plain letters, which needs no quotes but in Excel's CSV,
    // where every text is quoted.
    void key(Cursor &out, const char *word) const
    {
        if (excel)
            out.put('"');
        out.put(word);
        if (excel)
            out.put('"');
    }

    void real(Cursor &out, double x) const
    {
        if (excel && !std::isfinite(x))
            return; // Excel reads "inf" as text, and a text breaks a column of numbers
        if (std::isnan(x)) {
            out.put("nan");
            return;
        }
        char *const p = out.room(ShortestRoom);
        char *const end = shortest(p, x);
        if (excel)
            std::replace(p, end, '.', ',');
        out.wrote(end);
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
            jsonText(out, r.result.series.labels.value(i));
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
        std::visit(Overloaded {[&](const QString &x) { jsonText(out, x); },
                       [&](qint64 x) { spell(out, x); },
                       [&](double x) {
                           if (std::isfinite(x))
                               spell(out, x);
                           else
                               out.append("null");
                       },
                       [&](trend::TrendClass x) { quoted(out, trend::classKey(x)); },
                       [&](stats::Verdict x) { quoted(out, verdictKey(x)); },
                       [&](bool x) { out.append(x ? "true" : "false"); },
                       [&](Absent) { out.append("null"); }},
            v);
    }

    // A key of plain letters, which needs no escaping.
    static void quoted(QByteArray &out, const char *key)
    {
        out.append('"').append(key).append('"');
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
