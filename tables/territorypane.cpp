// SPDX-License-Identifier: MIT
#include "tables/territorypane.h"

#include "calc/spelling.h"
#include "tables/summarymodel.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// A number as the practice writes it, or nothing where there is none.
template<typename Spell> QString spelt(double value, Spell spell)
{
    return std::isfinite(value) ? spell(value) : QString();
}

QString hundredths(double value)
{
    return spelt(value, [](double x) { return spelling::fixed(x, 2); });
}

// «1,45 (1,02–2,01)»
QString sirText(const SummaryModel::Territory &t)
{
    if (!std::isfinite(t.sir))
        return {};
    return QStringLiteral("%1 (%2–%3)")
        .arg(hundredths(t.sir), hundredths(t.sirLow), hundredths(t.sirHigh));
}

} // namespace

TerritoryPane::TerritoryPane(QWidget *parent)
    : QWidget(parent)
    , funnel(new QWidget)
    , message(new QLabel)
    , table(new QTableWidget)
{
    auto *column = new QVBoxLayout(this);
    funnel->hide(); // until the plot is drawn in it
    column->addWidget(funnel);
    message->setWordWrap(true);
    column->addWidget(message);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->setWordWrap(false);
    table->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents); // for its width
    column->addWidget(table, 1);
    clear();
}

void TerritoryPane::clear()
{
    message->clear();
    table->clear();
    table->setRowCount(0);
    table->setColumnCount(0);
}

void TerritoryPane::display(const SummaryModel &model, int row)
{
    clear();
    const SummaryModel::Territory *selected = model.territory(row);
    if (!model.territories() || !selected) {
        message->setText(tr("Выберите столбец территории в параметрах чтения"));
        table->hide();
        return;
    }
    table->show();
    message->setText(selected->note);
    const std::vector<int> rows = model.group(row);
    const bool counts = std::any_of(
        rows.begin(), rows.end(), [&](int r) { return std::isfinite(model.territory(r)->cases); });
    QStringList titles {tr("Место"), tr("Территория"), tr("Показатель")};
    if (counts)
        titles << tr("Случаев");
    // In lines: the pane is narrower than the words.
    titles << tr("Отношение\nк показателю\nпо территориям") << tr("SIR (95 % ДИ)") << tr("Воронка")
           << tr("Территория\nриска");
    table->setColumnCount(int(titles.size()));
    table->setHorizontalHeaderLabels(titles);
    table->setRowCount(int(rows.size()));
    for (int i = 0; i < int(rows.size()); ++i) {
        const SummaryModel::Territory &t = *model.territory(rows[std::size_t(i)]);
        QStringList cells {t.rank > 0 ? QString::number(t.rank) : QString(),
            model.territoryName(rows[std::size_t(i)]), spelt(t.rate, spelling::rate)};
        if (counts)
            cells << spelt(t.cases, [](double x) { return spelling::whole(qint64(x)); });
        cells << hundredths(t.ratio) << sirText(t) << t.funnel << (t.risk ? tr("да") : QString());
        for (int c = 0; c < int(cells.size()); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment(Qt::AlignVCenter | (c == 1 ? Qt::AlignLeft : Qt::AlignRight));
            QFont font = item->font();
            font.setBold(t.region);
            item->setFont(font);
            table->setItem(i, c, item);
        }
        if (rows[std::size_t(i)] == row)
            table->selectRow(i);
    }
    table->resizeColumnsToContents();
}
