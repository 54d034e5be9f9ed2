// SPDX-License-Identifier: MIT
#include "table/tablereader.h"

#include "table/encoding.h"
#include <QIODevice>
#include <QObject>

#include <algorithm>

namespace table {

QByteArrayView Record::trimmed(qsizetype i) const
{
    QByteArrayView v = cell(i);
    while (!v.isEmpty() && (v.front() == ' ' || v.front() == '\t'))
        v = v.sliced(1);
    while (!v.isEmpty() && (v.back() == ' ' || v.back() == '\t'))
        v.chop(1);
    return v;
}

char detectDelimiter(QByteArrayView header)
{
    qsizetype tabs = 0, semicolons = 0, commas = 0;
    bool quoted = false;
    for (char c : header) {
        if (c == '"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == '\t')
            ++tabs;
        else if (c == ';')
            ++semicolons;
        else if (c == ',')
            ++commas;
        else if (c == '\n')
            break;
    }
    if (tabs > 0 && tabs >= semicolons && tabs >= commas)
        return '\t';
    if (semicolons > 0 && semicolons >= commas)
        return ';';
    return ',';
}

TableReader::TableReader(QIODevice *device, char delimiter)
    : device(device)
    , delim(delimiter)
{ }

TableReader::TableReader(const QByteArray &block, char delimiter, qint64 firstLine)
    : device(nullptr)
    , delim(delimiter)
    , buffer(block)
    , line(firstLine)
    , eof(true)
    , started(true)
{ }

namespace {

// Where the last whole record in data[from, to) ends, with the parser's
// rules for quotes; -1 when there is none. `lines` counts the line feeds
// up to there.
qsizetype lastRecordEnd(const char *data, qsizetype from, qsizetype to, char delim, qint64 &lines)
{
    bool quoted = false, fieldStart = true;
    qsizetype end = -1;
    qint64 feeds = 0;
    lines = 0;
    for (qsizetype i = from; i < to; ++i) {
        const char c = data[i];
        if (quoted) {
            if (c == '\n') {
                ++feeds;
            } else if (c == '"') {
                if (i + 1 == to)
                    break; // a doubled quote may straddle the end
                if (data[i + 1] == '"')
                    ++i;
                else
                    quoted = false;
            }
        } else if (c == '\n') {
            ++feeds;
            end = i + 1;
            lines = feeds;
            fieldStart = true;
        } else if (c == delim) {
            fieldStart = true;
        } else {
            quoted = c == '"' && fieldStart;
            fieldStart = false;
        }
    }
    return end;
}

} // namespace

void TableReader::begin()
{
    if (started)
        return;
    // Read enough for the byte-order mark and the header.
    while (!eof && buffer.indexOf('\n', pos) < 0 && buffer.size() - pos < MaxRecordBytes)
        fill();
    if (buffer.startsWith("\xEF\xBB\xBF"))
        pos += 3;
    if (delim == 0)
        delim = detectDelimiter(QByteArrayView(buffer).sliced(pos));
    started = true;
}

bool TableReader::nextBlock(QByteArray &block, qint64 &firstLine, qsizetype bytes)
{
    begin();
    while (!eof && buffer.size() - pos < bytes)
        fill();
    for (;;) {
        qint64 lines = 0;
        qsizetype end = lastRecordEnd(
            buffer.constData(), pos, std::min(buffer.size(), pos + bytes), delim, lines);
        if (end < 0 && eof && failure.isEmpty()) {
            // The rest of the input: a record without a final line feed,
            // or a quote that is never closed.
            if (pos == buffer.size())
                return false;
            end = buffer.size();
            lines = std::count(buffer.constData() + pos, buffer.constData() + end, '\n');
        }
        if (end >= 0) {
            block = buffer.mid(pos, end - pos);
            firstLine = line;
            line += lines;
            pos = end;
            return true;
        }
        if (!failure.isEmpty())
            return false;
        if (tooLong())
            return false;
        bytes *= 2; // a record longer than the batch: look further
        while (!eof && buffer.size() - pos < bytes)
            fill();
    }
}

bool TableReader::fill()
{
    if (eof)
        return false;
    if (pos > 0) {
        buffer.remove(0, pos);
        pos = 0;
    }
    // Growing reads keep a long record from being parsed over and over.
    const qsizetype chunk = std::max<qsizetype>(1 << 16, buffer.size());
    const qsizetype old = buffer.size();
    buffer.resize(old + chunk);
    const qint64 got = device->read(buffer.data() + old, chunk);
    if (got < 0) {
        buffer.resize(old);
        fail(-1, QObject::tr("ошибка чтения: %1").arg(device->errorString()));
        eof = true;
        return false;
    }
    buffer.resize(old + qsizetype(got));
    eof = got == 0;
    return got > 0;
}

bool TableReader::readQuoted(Record &record, qsizetype &i, bool &quoted)
{
    const char *data = buffer.constData();
    const qsizetype size = buffer.size();
    while (i < size) {
        if (data[i] != '"') {
            qsizetype run = i + 1;
            while (run < size && data[run] != '"')
                ++run;
            record.text.append(data + i, run - i);
            i = run;
            continue;
        }
        if (i + 1 >= size && !eof)
            return false; // a doubled quote may straddle the chunk
        if (i + 1 < size && data[i + 1] == '"') {
            record.text.append('"');
            i += 2;
            continue;
        }
        quoted = false;
        ++i;
        return true;
    }
    return true;
}

// A "\r\n" line end leaves its "\r" on the last cell.
void TableReader::closeCell(Record &record, Scan &s, qsizetype rawEnd, bool lineEnd) const
{
    const char *data = buffer.constData();
    if (s.copied) {
        if (lineEnd && record.text.size() > s.cellStart && record.text.back() == '\r')
            record.text.chop(1);
        record.spans.push_back({s.cellStart, record.text.size() - s.cellStart, true});
    } else {
        const qsizetype length
            = rawEnd - s.cellStart - (lineEnd && rawEnd > s.cellStart && data[rawEnd - 1] == '\r');
        record.spans.push_back({s.cellStart, length, false});
    }
    s.copied = false;
    s.cellStart = rawEnd + 1;
}

bool TableReader::parse(Record &record, qsizetype &end)
{
    record.text.clear();
    record.spans.clear();
    Scan s {pos, pos};
    while (s.i < buffer.size()) {
        if (s.quoted) {
            if (!readQuoted(record, s.i, s.quoted))
                return false;
        } else if (scanUnquoted(record, s)) {
            end = s.i;
            record.base = buffer.constData();
            return true;
        }
    }
    return parseLast(record, s, end);
}

bool TableReader::scanUnquoted(Record &record, Scan &s)
{
    const char *data = buffer.constData();
    const qsizetype size = buffer.size();
    const char c = data[s.i];
    if (c == '"' && s.fieldStart) {
        s.quoted = s.copied = true;
        s.quoteStart = s.i;
        s.cellStart = record.text.size();
        s.fieldStart = false;
        ++s.i;
        return false;
    }
    if (c == delim || c == '\n') {
        closeCell(record, s, s.i, c == '\n');
        s.fieldStart = true;
        ++s.i;
        return c == '\n';
    }
    // A run of ordinary characters: copied only after a quoted start.
    qsizetype run = s.i + 1;
    while (run < size && data[run] != delim && data[run] != '\n' && data[run] != '"')
        ++run;
    if (s.copied)
        record.text.append(data + s.i, run - s.i);
    s.fieldStart = false;
    s.i = run;
    return false;
}

bool TableReader::parseLast(Record &record, Scan &s, qsizetype &end)
{
    if (!eof)
        return false;
    if (s.quoted) {
        fail(line + std::count(buffer.constData() + pos, buffer.constData() + s.quoteStart, '\n'),
            QObject::tr("кавычка, открытая в этой строке, не закрыта до конца файла"));
        return false;
    }
    // The last record of a file without a final line feed.
    if (s.i == pos)
        return false;
    closeCell(record, s, s.i, true);
    end = s.i;
    record.base = buffer.constData();
    return true;
}

bool TableReader::next(Record &record)
{
    if (!failure.isEmpty())
        return false;
    begin();
    for (;;) {
        qsizetype end = 0;
        if (pos < buffer.size() && parse(record, end)) {
            record.line = line;
            if (!checkText(record, QByteArrayView(buffer).sliced(pos, end - pos)))
                return false;
            for (qsizetype k = pos; k < end; ++k)
                line += buffer.at(k) == '\n';
            pos = end;
            return true;
        }
        if (eof || !failure.isEmpty())
            return false;
        if (tooLong())
            return false;
        fill();
    }
}

bool TableReader::tooLong()
{
    if (buffer.size() - pos <= MaxRecordBytes)
        return false;
    fail(
        line, QObject::tr("запись длиннее %1 байт (нет закрывающей кавычки?)").arg(MaxRecordBytes));
    return true;
}

void TableReader::fail(qint64 atLine, const QString &reason)
{
    failureLine = atLine;
    failure = reason;
}

bool TableReader::checkText(const Record &record, QByteArrayView text)
{
    if (std::all_of(text.begin(), text.end(), [](char c) { return c > 0; }))
        return true; // ASCII without NUL: the usual case, and a quick one
    for (qsizetype i = 0; i < record.size(); ++i) {
        if (record.cell(i).contains('\0')) {
            fail(record.line,
                QObject::tr("в ячейке %1 нулевой байт: это не текстовая таблица").arg(i + 1));
            return false;
        }
    }
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    if (!validUtf8(decoder, text)) {
        fail(record.line,
            QObject::tr("текст не в кодировке UTF-8 (возможно, таблица сохранена в CP1251); "
                        "сохраните её в UTF-8"));
        return false;
    }
    return true;
}

} // namespace table
