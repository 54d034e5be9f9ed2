// SPDX-License-Identifier: MIT
// libFuzzer target: the table reader and both layouts on arbitrary bytes,
// through the same series source as the batch tool. Every series that
// survives is computed and its report composed, so the whole path from a
// cell to a report line is covered.
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
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    buffer.open(QIODevice::ReadOnly);
    batch::SeriesSource source(
        &buffer, QStringLiteral("fuzz"), {bool(mode & 1), delimiters[(mode >> 1) & 3], true});
    QString error;
    if (!source.start(&error))
        return 0;
    batch::SourceItem item;
    while (source.next(item)) {
        if (!item.series) {
            (void)item.skip.message();
            continue;
        }
        const batch::Series &s = *item.series;
        const auto r = trend::calculate(s.values, qint16(s.values.size()));
        (void)trend::reportText(s.years, s.typed, r);
        (void)batch::fitOverYears(s.years, s.values);
    }
    return 0;
}
