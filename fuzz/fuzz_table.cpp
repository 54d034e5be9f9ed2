// SPDX-License-Identifier: MIT
// libFuzzer target: the table reader and both layouts on arbitrary bytes,
// through the same series source as the batch tool. Every series that
// survives is computed and its report composed, so the whole path from a
// cell to a report line is covered; and read once more in batches of a few
// bytes, it must give the same.
#include "ols.h"
#include "seriessource.h"
#include "trendcore.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the layout and the delimiter.
    const uint8_t mode = data[0];
    const char delimiters[] = {0, ',', ';', '\t'};
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const batch::SourceOptions options {bool(mode & 1), delimiters[(mode >> 1) & 3], true};

    // What one reader gives in one piece, and what it gives in batches of
    // a few bytes, must be the same: the batches' bounds are found by a
    // scan of its own.
    const auto read = [&](qsizetype batchBytes) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        batch::SourceOptions o = options;
        o.batchBytes = batchBytes;
        batch::SeriesSource source(&buffer, QStringLiteral("fuzz"), o);
        QStringList seen;
        QString error;
        if (!source.start(&error))
            return QStringList {error};
        batch::SourceItem item;
        while (source.next(item)) {
            if (!item.series) {
                seen.append(item.failure.isEmpty() ? item.skip.message() : item.failure);
                continue;
            }
            const batch::Series &s = *item.series;
            const auto r = trend::calculate(s.values, qint16(s.values.size()));
            seen.append(QString::number(s.line) + trend::reportText(s.years, s.typed, r));
            (void)batch::fitOverYears(s.years, s.values);
        }
        return seen;
    };
    if (read(1 << 20) != read(7))
        __builtin_trap();
    return 0;
}
