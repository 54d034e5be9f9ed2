// SPDX-License-Identifier: MIT
#include "tables/summaryfilter.h"

#include <algorithm>
#include <cmath>

SummaryFilter::SummaryFilter(SummaryModel *rows, QObject *parent)
    : QAbstractProxyModel(parent)
    , model(rows)
{
    QAbstractProxyModel::setSourceModel(model);
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        beginResetModel();
        shown.clear();
        at.clear();
        endResetModel();
    });
    connect(model, &QAbstractItemModel::rowsInserted, this,
        [this](const QModelIndex &, int first, int last) { sourceRowsInserted(first, last); });
}

void SummaryFilter::setText(const QString &t)
{
    text = t.trimmed();
    rebuild();
}

void SummaryFilter::setFilter(const RowFilter &filter)
{
    kept = filter;
    rebuild();
}

void SummaryFilter::sort(int column, Qt::SortOrder o)
{
    sortColumn = column;
    order = o;
    rebuild();
}

bool SummaryFilter::accepts(int row) const
{
    const bool kind
        = std::visit(summary::Overloaded {[](std::monostate) { return true; },
                         [&](trend::TrendClass c) { return model->trendClass(row) == c; },
                         [&](stats::Verdict v) { return model->verdict(row) == v; },
                         [&](RiskTerritories) { return model->risk(row); }},
            kept);
    if (!kind)
        return false;
    if (text.isEmpty())
        return true;
    const QStringList &labels = model->labels(row);
    return std::any_of(labels.begin(), labels.end(),
        [&](const QString &label) { return label.contains(text, Qt::CaseInsensitive); });
}

namespace {

// Sorts `rows` by their keys; ties keep the table's order.
template<typename Key, typename Less> void sortByKeys(std::vector<int> &rows, Key key, Less less)
{
    using K = decltype(key(0));
    std::vector<std::pair<K, int>> keyed;
    keyed.reserve(rows.size());
    for (const int row : rows)
        keyed.emplace_back(key(row), row);
    std::stable_sort(keyed.begin(), keyed.end(),
        [&](const auto &a, const auto &b) { return less(a.first, b.first); });
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = keyed[i].second;
}

} // namespace

// How two keys of the sorted column compare. Not a number goes last,
// whichever way the column is sorted.
bool SummaryFilter::numberBefore(double x, double y) const
{
    if (std::isnan(x) || std::isnan(y))
        return !std::isnan(x) && std::isnan(y);
    return order == Qt::AscendingOrder ? x < y : y < x;
}

bool SummaryFilter::textBefore(const QString &s, const QString &t) const
{
    return order == Qt::AscendingOrder ? s < t : t < s;
}

// By keys taken out first: comparing through the model, or through a
// variant, millions of times would make sorting a national table take
// seconds.
void SummaryFilter::sortShown()
{
    if (model->numeric(sortColumn))
        sortByKeys(
            shown, [&](int row) { return model->number(row, sortColumn); },
            [this](double x, double y) { return numberBefore(x, y); });
    else
        sortByKeys(
            shown, [&](int row) { return model->text(row, sortColumn); },
            [this](const QString &s, const QString &t) { return textBefore(s, t); });
}

// Rows that arrive while the table is sorted, shown from `from` on, are
// sorted among themselves and merged in: a run's every look would
// otherwise sort all the rows again.
void SummaryFilter::mergeShown(std::size_t from)
{
    std::vector<int> added(shown.begin() + std::ptrdiff_t(from), shown.end());
    shown.resize(from);
    std::swap(shown, added);
    sortShown();
    std::swap(shown, added);
    shown.insert(shown.end(), added.begin(), added.end());
    const auto middle = shown.begin() + std::ptrdiff_t(from);
    if (model->numeric(sortColumn))
        std::inplace_merge(shown.begin(), middle, shown.end(), [&](int a, int b) {
            return numberBefore(model->number(a, sortColumn), model->number(b, sortColumn));
        });
    else
        std::inplace_merge(shown.begin(), middle, shown.end(), [&](int a, int b) {
            return textBefore(model->text(a, sortColumn), model->text(b, sortColumn));
        });
}

void SummaryFilter::rebuild()
{
    relayout([this] {
        shown.clear();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (accepts(row))
                shown.push_back(row);
        }
        if (sortColumn >= 0 && sortColumn < model->columnCount())
            sortShown();
    });
}

// Changes the rows shown by `change`; views keep their current row.
template<typename Change> void SummaryFilter::relayout(Change change)
{
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<int> sources;
    for (const QModelIndex &index : before)
        sources.push_back(shown[std::size_t(index.row())]);
    change();
    at.assign(std::size_t(model->rowCount()), -1);
    for (std::size_t i = 0; i < shown.size(); ++i)
        at[std::size_t(shown[i])] = int(i);
    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i) {
        const int row = at[std::size_t(sources[std::size_t(i)])];
        after << (row < 0 ? QModelIndex() : index(row, before[i].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

// Rows computed while the table is shown: at the end, then merged into
// their places when the table is sorted.
void SummaryFilter::sourceRowsInserted(int first, int last)
{
    at.resize(std::size_t(last + 1), -1);
    std::vector<int> added;
    for (int row = first; row <= last; ++row) {
        if (accepts(row))
            added.push_back(row);
    }
    if (added.empty())
        return;
    const std::size_t before = shown.size();
    beginInsertRows({}, int(before), int(before + added.size() - 1));
    for (const int row : added) {
        at[std::size_t(row)] = int(shown.size());
        shown.push_back(row);
    }
    endInsertRows();
    if (sortColumn >= 0 && sortColumn < model->columnCount())
        relayout([&] { mergeShown(before); });
}

QModelIndex SummaryFilter::mapToSource(const QModelIndex &proxy) const
{
    if (!proxy.isValid() || proxy.row() >= int(shown.size()))
        return {};
    return model->index(source(proxy.row()), proxy.column());
}

QModelIndex SummaryFilter::mapFromSource(const QModelIndex &source) const
{
    if (!source.isValid() || source.row() >= int(at.size()) || at[std::size_t(source.row())] < 0)
        return {};
    return index(at[std::size_t(source.row())], source.column());
}

QModelIndex SummaryFilter::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= int(shown.size()) || column < 0
        || column >= model->columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex SummaryFilter::parent(const QModelIndex &) const
{
    return {};
}

int SummaryFilter::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(shown.size());
}

int SummaryFilter::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : model->columnCount();
}
