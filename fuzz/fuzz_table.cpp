// libFuzzer target: the table reader and both layouts on arbitrary bytes.
// Every series that survives is computed and its report composed, so the
// whole path from a cell to a report line is covered.
#include "ols.h"
#include "series.h"
#include "table.h"
#include "trendcore.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

namespace {

void compute(const batch::Series &s)
{
    const auto r = trend::calculate(s.values, qint16(s.values.size()));
    (void)trend::reportText(s.years, s.typed, r);
    (void)batch::fitOverYears(s.years, s.values);
}

void runLayout(const QByteArray &bytes, bool longLayout, char delimiter)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    batch::TableReader reader(&buffer, delimiter);
    batch::Record record;
    if (!reader.next(record))
        return;
    QString error;
    batch::WideLayout wide;
    batch::LongLayout longTable;
    if (longLayout ? !longTable.setHeader(record, &error) : !wide.setHeader(record, &error))
        return;
    while (reader.next(record)) {
        if (longLayout) {
            longTable.add(record, reader.delimiter(), QStringLiteral("fuzz"));
        } else {
            batch::Skip skip;
            if (const auto s = wide.row(record, reader.delimiter(), QStringLiteral("fuzz"), &skip))
                compute(*s);
            else
                (void)skip.message();
        }
    }
    if (longLayout) {
        for (const auto &result : longTable.finish()) {
            if (result.series)
                compute(*result.series);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the layout and the delimiter.
    const uint8_t mode = data[0];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const char delimiters[] = {0, ',', ';', '\t'};
    runLayout(bytes, mode & 1, delimiters[(mode >> 1) & 3]);
    return 0;
}
