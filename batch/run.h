// SPDX-License-Identifier: MIT
// One batch run: read a table, compute every series with the window's core,
// write the summary, and optionally a report file and a chart per series.
#pragma once

#include "cells.h"
#include "chart.h"
#include "encoding.h"
#include "summarywriter.h"

#include <QString>

class QTextStream;

namespace batch {

struct Options {
    QString input; // a file name, or "-" for standard input
    QString output; // empty: standard output
    SummaryFormat format = SummaryFormat::Csv;
    bool longLayout = false;
    char delimiter = 0; // 0: detect
    Encoding encoding = Encoding::Detect;
    // The sheet of a workbook (.xlsx by its name, or any input when this
    // is set); empty: the first.
    QString sheet;
    Rates rates; // incidence from cases and population

    QString reportsDir; // empty: no report files
    QString chartsDir; // empty: no charts (needs a QGuiApplication)
    ChartFormat chartFormat = ChartFormat::Svg;
    bool progress = false; // a progress line on `err` after a second
    int jobs = 0; // threads that compute series; 0: one per core
    qsizetype batchBytes = 1 << 20; // how much of a wide table a thread takes at a time
};

enum ExitStatus { AllComputed = 0, SomeSkipped = 1, Failure = 2 };

// Messages go to `err`, one line each: "FILE:LINE: LABEL: reason" for a
// skipped series, "vantorel-batch: ..." for anything that stops the run.
int run(const Options &options, QTextStream &err);

} // namespace batch
