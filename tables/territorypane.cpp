// SPDX-License-Identifier: MIT
#include "tables/territorypane.h"

#include "calc/spelling.h"
#include "summary/funnelchart.h"
#include "tables/summarymodel.h"

#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <optional>

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

// The funnel plot, drawn at the pane's width in the plot's proportions.
class TerritoryPane::FunnelView : public QWidget
{
public:
    void display(const summary::FunnelInput *shown)
    {
        input = shown ? std::optional(*shown) : std::nullopt;
        setVisible(input && !input->points.empty());
        update();
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int w) const override { return int(w * summary::Height / summary::Width); }
    QSize sizeHint() const override { return {450, heightForWidth(450)}; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (!input)
            return;
        summary::fitPicture(painter, width(), height());
        summary::drawFunnel(painter, *input);
    }

private:
    std::optional<summary::FunnelInput> input;
};

TerritoryPane::TerritoryPane(QWidget *parent)
    : QWidget(parent)
    , funnel(new FunnelView)
    , message(new QLabel)
    , table(new QTableWidget)
{
    // The plot above the table, the two apart by a handle the user may
    // move; the table, which is what is read, takes the larger part.
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *parts = new QSplitter(Qt::Vertical);
    outer->addWidget(parts);
    funnel->hide(); // until there is a plot
    funnel->setMinimumHeight(120);
    parts->addWidget(funnel);
    auto *below = new QWidget;
    auto *column = new QVBoxLayout(below);
    column->setContentsMargins(0, 0, 0, 0);
    parts->addWidget(below);
    parts->setStretchFactor(0, 2);
    parts->setStretchFactor(1, 3);
    parts->setChildrenCollapsible(false);
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
    funnel->display(nullptr);
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
    funnel->display(rows.empty() ? nullptr : model.funnel(rows.front()));
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
