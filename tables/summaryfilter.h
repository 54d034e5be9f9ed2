// SPDX-License-Identifier: MIT
// SummaryFilter shows the rows whose labels hold a text, of one trend class
// or verdict, the territories of risk, or of any, in the order of a column.
// It keeps a plain list of the rows it shows, sorted and filtered in one
// pass over raw values, so that a table of 300,000 rows sorts and filters
// in a fraction of a second.
#pragma once

#include "tables/seriesrows.h"
#include "tables/summarymodel.h"

#include <QAbstractProxyModel>

#include <variant>
#include <vector>

// The territories of risk of a run that compares territories.
struct RiskTerritories {
    bool operator==(const RiskTerritories &) const { return true; }
};

// The rows let through: all (monostate), those of a trend class, those of
// a verdict, or the territories of risk.
using RowFilter = std::variant<std::monostate, trend::TrendClass, stats::Verdict, RiskTerritories>;
Q_DECLARE_METATYPE(RowFilter)

class SummaryFilter : public QAbstractProxyModel, public SeriesRows
{
    Q_OBJECT

public:
    explicit SummaryFilter(SummaryModel *model, QObject *parent = nullptr);
    void setText(const QString &text);
    void setFilter(const RowFilter &filter);

    const QStringList &labels(int row) const override { return model->labels(source(row)); }
    qint64 line(int row) const override { return model->line(source(row)); }
    table::Series series(int row) const override { return model->series(source(row)); }

    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    QModelIndex mapToSource(const QModelIndex &proxy) const override;
    QModelIndex mapFromSource(const QModelIndex &source) const override;
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;

private:
    int source(int row) const { return shown[std::size_t(row)]; }
    bool accepts(int row) const;
    bool numberBefore(double x, double y) const;
    bool textBefore(const QString &s, const QString &t) const;
    void sortShown();
    void mergeShown(std::size_t from);
    // The rows shown, again from all.
    void rebuild();
    template<typename Change> void relayout(Change change);
    void sourceRowsInserted(int first, int last);

    SummaryModel *model;
    QString text;
    RowFilter kept;
    int sortColumn = -1;
    Qt::SortOrder order = Qt::AscendingOrder;
    std::vector<int> shown; // source rows, in the order shown
    std::vector<int> at; // for each source row, its place in `shown`, or -1
};
