// SPDX-License-Identifier: MIT
// libFuzzer target: the table reader and both layouts on arbitrary bytes,
// through the same series source as the batch tool. Every series that
// survives is computed and its report composed, so the whole path from a
// cell to a report line is covered; and read once more in batches of a few
// bytes, it must give the same. With the mode byte's bit 3 set, the bytes
// are a workbook's sheet XML (and, after a NUL, its shared strings), packed
// into a workbook here, or a whole workbook when they start with "PK".
#include "calc/trendcore.h"
#include "stats/ols.h"
#include "table/seriessource.h"
#include "table/xlsxsheet.h"

#include <QBuffer>

#include <zip.h>

#include <cstddef>
#include <cstdint>

namespace {

// A workbook of one sheet, its parts stored uncompressed.
QByteArray packWorkbook(const QByteArray &sheet, const QByteArray &strings)
{
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const QList<std::pair<const char *, QByteArray>> parts {
        {"xl/workbook.xml",
            "<workbook xmlns:r=\"" + rel
                + "\"><sheets><sheet name=\"S\" r:id=\"a\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
            "<Relationships><Relationship Id=\"a\" Type=\"" + rel
                + "/worksheet\" Target=\"s.xml\"/><Relationship Id=\"b\" Type=\"" + rel
                + "/sharedStrings\" Target=\"t.xml\"/></Relationships>"},
        {"_rels/.rels", "<Relationships/>"}, {"xl/s.xml", sheet}, {"xl/t.xml", strings}};
    zip_error_t e;
    zip_error_init(&e);
    zip_source_t *out = zip_source_buffer_create(nullptr, 0, 0, &e);
    zip_source_keep(out);
    zip_t *z = zip_open_from_source(out, ZIP_TRUNCATE, &e);
    for (const auto &[name, bytes] : parts) {
        const zip_int64_t i = zip_file_add(
            z, name, zip_source_buffer(z, bytes.constData(), zip_uint64_t(bytes.size()), 0), 0);
        zip_set_file_compression(z, zip_uint64_t(i), ZIP_CM_STORE, 0);
    }
    zip_close(z);
    QByteArray packed;
    if (zip_source_open(out) == 0) {
        zip_source_seek(out, 0, SEEK_END);
        packed.resize(qsizetype(zip_source_tell(out)));
        zip_source_seek(out, 0, SEEK_SET);
        zip_source_read(out, packed.data(), zip_uint64_t(packed.size()));
        zip_source_close(out);
    }
    zip_source_free(out);
    zip_error_fini(&e);
    return packed;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the layout and the delimiter.
    const uint8_t mode = data[0];
    const char delimiters[] = {0, ',', ';', '\t'};
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    table::SourceOptions options;
    options.longLayout = mode & 1;
    options.delimiter = delimiters[(mode >> 1) & 3];
    std::unique_ptr<table::Workbook> book;
    if (mode & 8) {
        const qsizetype nul = bytes.indexOf('\0');
        QString error;
        book = table::Workbook::fromData(bytes.startsWith("PK")
                ? bytes
                : packWorkbook(bytes.left(nul), nul < 0 ? QByteArray() : bytes.mid(nul + 1)),
            &error);
        if (!book)
            return 0;
        options.delimiter = '\t';
        options.sheet = book->sheetNames().constFirst();
    }

    // What one reader gives in one piece, and what it gives in batches of
    // a few bytes, must be the same: the batches' bounds are found by a
    // scan of its own.
    const auto read = [&](qsizetype batchBytes) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QString error;
        std::unique_ptr<QIODevice> sheet = book ? book->sheet({}, &error) : nullptr;
        if (book && !sheet)
            return QStringList {error};
        table::SourceOptions o = options;
        o.batchBytes = batchBytes;
        table::SeriesSource source(sheet ? sheet.get() : &buffer, QStringLiteral("fuzz"), o);
        QStringList seen;
        table::Problem problem;
        if (!source.start(&problem))
            return QStringList {problem.message()};
        table::SourceItem item;
        while (source.next(item)) {
            if (const auto *failure = std::get_if<table::ReadFailure>(&item)) {
                seen.append(failure->problem.message());
                continue;
            }
            if (const auto *skip = std::get_if<table::Skip>(&item)) {
                seen.append(skip->message());
                continue;
            }
            const table::Series &s = std::get<table::Series>(item);
            const auto r = trend::calculate(s.values, qint16(s.values.size()));
            seen.append(QString::number(s.line) + trend::reportText(s.years, s.typed, r));
            (void)stats::fitOverYears(s.years, s.exact);
        }
        return seen;
    };
    if (read(1 << 20) != read(7))
        __builtin_trap();
    return 0;
}
