// SPDX-License-Identifier: MIT
#include "tables/saveformats.h"

#include <QCoreApplication>

namespace {

struct SaveFormat {
    const char *filter;
    summary::SummaryFormat format;
    const char *suffix;
};
const SaveFormat SaveFormats[] = {
    {QT_TRANSLATE_NOOP("TablesWindow", "Книга Excel (*.xlsx)"), summary::SummaryFormat::Xlsx,
        ".xlsx"},
    {QT_TRANSLATE_NOOP("TablesWindow", "CSV (*.csv)"), summary::SummaryFormat::Csv, ".csv"},
    {QT_TRANSLATE_NOOP("TablesWindow", "CSV для Excel (*.csv)"), summary::SummaryFormat::ExcelCsv,
        ".csv"},
    {QT_TRANSLATE_NOOP("TablesWindow", "JSON (*.json)"), summary::SummaryFormat::Json, ".json"},
};

} // namespace

QStringList summaryFilters()
{
    QStringList filters;
    for (const SaveFormat &f : SaveFormats)
        filters << QCoreApplication::translate("TablesWindow", f.filter);
    return filters;
}

SummaryFile summaryFile(const QString &typed, int filter)
{
    const SaveFormat &chosen = SaveFormats[std::clamp(filter, 0, int(std::size(SaveFormats)) - 1)];
    for (const SaveFormat &f : SaveFormats) {
        if (!typed.endsWith(QLatin1String(f.suffix), Qt::CaseInsensitive))
            continue;
        if (qstrcmp(f.suffix, chosen.suffix) == 0)
            return {typed, chosen.format};
        return {typed, f.format};
    }
    return {typed + QLatin1String(chosen.suffix), chosen.format};
}
