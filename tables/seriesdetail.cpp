// SPDX-License-Identifier: MIT
#include "tables/seriesdetail.h"

#include "summary/reporttext.h"
#include "tables/chartview.h"
#include "tables/territorypane.h"

#include <QPlainTextEdit>
#include <QTabWidget>

SeriesDetail::SeriesDetail(QWidget *parent)
    : QSplitter(Qt::Horizontal, parent)
    , chart(new ChartView)
    , report(new QPlainTextEdit)
    , paragraph(new QPlainTextEdit)
    , territories(new TerritoryPane)
{
    report->setReadOnly(true);
    report->setLineWrapMode(QPlainTextEdit::NoWrap);
    paragraph->setReadOnly(true);
    auto *texts = new QTabWidget;
    texts->addTab(report, tr("Отчёт"));
    texts->addTab(paragraph, tr("Текст для доклада"));
    texts->addTab(territories, tr("Территории"));
    addWidget(chart);
    addWidget(texts);
    setSizes({700, 480});
}

void SeriesDetail::display(
    table::Series series, const analysis::AnalysisOptions &options, const QString &valueName)
{
    analysis::SeriesResult r = analysis::analyse(std::move(series), options);
    report->setPlainText(trend::reportText(r.series.years, r.series.typed, r.practice));
    paragraph->setPlainText(summary::reportParagraph({r}));
    chart->display(std::move(r), valueName);
}

void SeriesDetail::displayGroup(const SummaryModel &model, int row)
{
    territories->display(model, row);
}

void SeriesDetail::clear()
{
    territories->clear();
    chart->clear();
    report->clear();
    paragraph->clear();
}
