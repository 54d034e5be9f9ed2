// SPDX-License-Identifier: MIT
// Streaming reader of delimited text tables (CSV, semicolon-separated, TSV).
//
// Records are read one at a time, so memory does not grow with the number
// of rows. Fields may be quoted with '"' (a doubled quote inside stands for
// one), and a quoted field may hold the delimiter and line breaks. A UTF-8
// byte-order mark at the start is skipped; "\r\n" line ends are accepted.
// The text must be UTF-8.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <vector>

class QIODevice;

namespace table {

// One record: its fields, unquoted, and the line on which it starts. An
// unquoted field is a view of the reader's buffer, valid until the next
// record is read; a quoted one is copied, without its quotes.
class Record
{
public:
    qsizetype size() const { return qsizetype(spans.size()); }
    QByteArrayView cell(qsizetype i) const
    {
        if (i >= size())
            return {};
        const Span &s = spans[std::size_t(i)];
        return QByteArrayView((s.copied ? text.constData() : base) + s.offset, s.length);
    }
    // A cell with blanks around it trimmed.
    QByteArrayView trimmed(qsizetype i) const;
    qint64 line = 0;

private:
    friend class TableReader;
    struct Span {
        qsizetype offset;
        qsizetype length;
        bool copied; // in `text`, not in the buffer at `base`
    };
    const char *base = nullptr;
    QByteArray text;
    std::vector<Span> spans;
};

// The delimiter most used outside quotes in `header`: tab, then
// semicolon, then comma on a tie; comma when there is none.
char detectDelimiter(QByteArrayView header);

class TableReader
{
public:
    // The device must stay open while the reader is used. A delimiter of
    // 0 means: detect it from the first record.
    explicit TableReader(QIODevice *device, char delimiter = 0);
    // A reader of one block that nextBlock() gave: no byte-order mark, the
    // delimiter known, and lines counted from `firstLine`.
    TableReader(const QByteArray &block, char delimiter, qint64 firstLine);

    // Reads the next record; false at the end of the input or on an error.
    bool next(Record &record);
    // Instead of records: the raw bytes of the next whole records, about
    // `bytes` of them, to be parsed elsewhere by a reader of their own;
    // `firstLine` is the line they start on. False at the end of the input
    // or on an error.
    bool nextBlock(QByteArray &block, qint64 &firstLine, qsizetype bytes);
    char delimiter() const { return delim; }
    // Non-empty after a read error, an over-long record, a quote left
    // open at the end, a NUL byte or text that is not UTF-8; the reading
    // ends there. errorLine() is the line the error is found on; for a
    // read error, the line of the first record not read whole before it.
    QString error() const { return failure; }
    qint64 errorLine() const { return failureLine < 0 ? line : failureLine; }

    // Largest record accepted, in bytes: a stray quote must not make the
    // reader swallow a whole file.
    static constexpr qsizetype MaxRecordBytes = 16 * 1024 * 1024;

private:
    bool fill();
    void begin();
    // Where the parse of a record stands.
    struct Scan {
        qsizetype i; // the next byte
        qsizetype cellStart; // in the buffer, or in the record's text when copied
        bool copied = false; // the cell is quoted, and so copied into the record's text
        bool quoted = false; // inside the quotes
        bool fieldStart = true;
        qsizetype quoteStart = 0;
    };
    // Parses the record that starts at `pos`; false when more input is needed.
    bool parse(Record &record, qsizetype &end);
    // Takes the next byte or run of bytes outside quotes; true when it ends
    // the record.
    bool scanUnquoted(Record &record, Scan &s);
    // The end of the input ends a record: its last one, or an open quote.
    bool parseLast(Record &record, Scan &s, qsizetype &end);
    void closeCell(Record &record, Scan &s, qsizetype rawEnd, bool lineEnd) const;
    // Copies a quoted field's text up to its closing quote, from `i` on;
    // false when the buffer ends before it is known where the field ends.
    bool readQuoted(Record &record, qsizetype &i, bool &quoted);
    // A record that is no text (NUL bytes, invalid UTF-8) ends the reading.
    bool checkText(const Record &record, QByteArrayView raw);
    void fail(qint64 atLine, const QString &reason);
    // More than MaxRecordBytes without a record's end: an error.
    bool tooLong();

    QIODevice *device;
    char delim;
    QByteArray buffer;
    qsizetype pos = 0;
    qint64 line = 1;
    bool eof = false;
    bool started = false;
    QString failure;
    qint64 failureLine = 0;
};

} // namespace table
