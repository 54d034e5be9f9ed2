// SPDX-License-Identifier: MIT
// The selected series seen again: its chart, the report the trend form
// would save, its paragraph for the annual report, and its group of
// territories. They are made by
// the analysis every run makes of a series, so they are what the saved
// files hold for it.
#pragma once

#include "analysis/seriesresult.h"

#include <QSplitter>

class QPlainTextEdit;
class QTabWidget;
class ChartView;
class SummaryModel;
class TerritoryPane;

class SeriesDetail : public QSplitter
{
    Q_OBJECT

public:
    explicit SeriesDetail(QWidget *parent = nullptr);
    // Analyses `series` as the run did with `options`; `valueName` names the
    // chart's axis.
    void display(
        table::Series series, const analysis::AnalysisOptions &options, const QString &valueName);
    // The group of the model's `row`, ranked.
    void displayGroup(const SummaryModel &model, int row);
    void clear();

private:
    void fitTerritories();

    ChartView *chart;
    QPlainTextEdit *report;
    QPlainTextEdit *paragraph;
    TerritoryPane *territories;
    QTabWidget *texts;
};
