// SPDX-License-Identifier: MIT
#include "tables/seriesdetail.h"

#include "summary/reporttext.h"
#include "tables/chartview.h"
#include "tables/territorypane.h"

#include <QPlainTextEdit>
#include <QStyle>
#include <QTabWidget>

#include <algorithm>

SeriesDetail::SeriesDetail(QWidget *parent)
    : QSplitter(Qt::Horizontal, parent)
    , chart(new ChartView)
    , report(new QPlainTextEdit)
    , paragraph(new QPlainTextEdit)
    , territories(new TerritoryPane)
    , texts(new QTabWidget)
{
    report->setReadOnly(true);
    report->setLineWrapMode(QPlainTextEdit::NoWrap);
    paragraph->setReadOnly(true);
    texts->addTab(report, tr("Отчёт"));
    texts->addTab(paragraph, tr("Текст для доклада"));
    texts->addTab(territories, tr("Территории"));
    addWidget(chart);
    addWidget(texts);
    setSizes({700, 480});
    connect(texts, &QTabWidget::currentChanged, this, &SeriesDetail::fitTerritories);
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
    fitTerritories();
}

// The territories' table is wider than the texts: shown, it takes from the
// chart what it needs to be seen whole, its scroll bar too when it grows
// one, the chart keeping two fifths.
void SeriesDetail::fitTerritories()
{
    if (texts->currentWidget() != territories)
        return;
    const QList<int> now = sizes();
    const int total = now[0] + now[1];
    const int want = std::min(territories->sizeHint().width() + texts->width()
            - territories->width() + style()->pixelMetric(QStyle::PM_ScrollBarExtent),
        total * 3 / 5);
    if (now[1] < want)
        setSizes({total - want, want});
}

void SeriesDetail::clear()
{
    territories->clear();
    chart->clear();
    report->clear();
    paragraph->clear();
}
