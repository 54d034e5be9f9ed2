// SPDX-License-Identifier: MIT
// The summary's formats as the save dialog offers them, and the file a
// typed name and a chosen filter make.
#pragma once

#include "summary/summarywriter.h"

#include <QStringList>

// The dialog's filters, in Russian, the workbook first.
QStringList summaryFilters();

struct SummaryFile {
    QString path;
    summary::SummaryFormat format;
};

// A name that ends in a known ending (.xlsx, .csv, .json, in any case)
// chooses its format: .csv the CSV the filter names, plain CSV when the
// filter names another format. A name without one takes the filter's
// format and ending.
SummaryFile summaryFile(const QString &typed, int filter);
