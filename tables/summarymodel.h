// SPDX-License-Identifier: MIT
// The rows of a run as a table view shows them: the labels, then a chosen
// few of the summary's columns. Numbers are shown as a person reads them
// (a decimal comma, four significant digits) and sorted by their full
// values; the class is coloured by the direction of the trend. Each row
// keeps its series, compactly, so that its chart and report can be made
// again when it is selected: a national table has hundreds of thousands.
// A run that compares territories keeps each row's comparison with its
// region, and the rows of each group as they come, so that a selected
// row's group is found without a pass over the table.
#pragma once

#include "engine/engine.h"
#include "tables/seriesrows.h"

#include <QAbstractTableModel>

#include <QHash>

#include <deque>
#include <limits>
#include <optional>
#include <vector>

class SummaryModel final : public QAbstractTableModel, public SeriesRows
{
    Q_OBJECT

public:
    // The sort role gives a number's full value (NaN last); the display
    // role its text.
    static constexpr int SortRole = Qt::UserRole;

    // The columns shown, out of a summary's.
    struct Shown {
        summary::ColumnId id;
        QString name; // as the saved summary names it
        QString title;
        std::size_t at; // its place among the summary's columns
        enum Kind { Plain, Class, Verdict } kind; // the class or the verdict in words
        int text; // its place among the text columns; -1 for a number
        bool integer;
        enum Note { NoNote, ApcNote, JoinpointNote } note; // why it may be empty
    };
    struct Layout {
        QStringList labelNames;
        std::vector<Shown> shown;
        int textColumns = 0;
        std::size_t classAt = 0, rateAt = 0, verdictAt = 0; // among the summary's columns
        std::size_t apcNoteAt = SIZE_MAX, jpNoteAt = SIZE_MAX; // SIZE_MAX: not in the summary
        int territory = -1; // the label column of the territory; -1: none
        // The columns a row's territory is read from, and where they are.
        std::vector<std::pair<summary::ColumnId, std::size_t>> territoryCells;
    };
    // Whether a row must hold a summary's column: shown, or telling the
    // class and its direction.
    static bool needs(const summary::Column &column);
    // The bounds shown are those the verdict goes `by`.
    static Layout layoutFor(const QStringList &labelNames,
        const std::vector<summary::Column> &columns, stats::ExpectedBy by);

    // A territory against its region in the reporting year, as a run with
    // a territory column gives it.
    struct Territory {
        static constexpr double None = std::numeric_limits<double>::quiet_NaN();
        double rate = None, regionRate = None, ratio = None;
        double sir = None, sirLow = None, sirHigh = None;
        double cases = None; // in the reporting year, for rates from counts
        QString funnel, note; // the funnel class in words; why a part is missing
        bool risk = false;
        bool region = false; // the group's region, not a territory
        int rank = 0; // by rate in the group, 1 the highest; 0: none
    };

    // A row as kept: what is shown, and enough of the series to make it
    // again. Made on the run's thread, as the rows come.
    struct Compact {
        QStringList labels;
        QString file;
        qint64 line = 0;
        qint32 firstYear = 0;
        QByteArray typed; // the cells as written, joined by '\x1f'
        // Rates from counts, which have no cells: the values, and the counts
        // they were made of.
        std::vector<double> rates, cases, population;
        double per = 0;
        QString unit;
        std::vector<double> numbers; // the shown columns; NaN for text
        std::vector<QString> texts; // the text columns
        std::vector<bool> absent; // the statistics that do not exist
        QString apcNote, jpNote; // why the APC or the joinpoint fit does not
        trend::TrendClass trendClass = trend::TrendClass::Stable;
        signed char direction = 0; // +1 rising, -1 falling
        stats::Verdict verdict = stats::Verdict::None;
        std::optional<Territory> territory; // with a territory column
        std::shared_ptr<const summary::FunnelInput> funnel; // a region's
    };
    static Compact compact(const engine::Row &row, const Layout &layout);

    explicit SummaryModel(QObject *parent = nullptr);
    void reset(const Layout &layout);
    void append(std::vector<Compact> &rows);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // A cell's full value, for sorting; NaN when it is not a number.
    double number(int row, int column) const;
    // A cell as the table shows it.
    QString text(int row, int column) const;
    // The summary's name of a column ("apc"), or the label's name.
    QString columnKey(int column) const;
    // The view's column of a summary's column; -1 when it is not shown.
    int column(summary::ColumnId id) const;
    static int columnIn(const Layout &layout, summary::ColumnId id);
    // Whether a column sorts by numbers, not by text.
    bool numeric(int column) const;
    const QStringList &labels(int row) const override { return rows[std::size_t(row)].labels; }
    qint64 line(int row) const override { return rows[std::size_t(row)].line; }
    trend::TrendClass trendClass(int row) const { return rows[std::size_t(row)].trendClass; }
    stats::Verdict verdict(int row) const { return rows[std::size_t(row)].verdict; }
    table::Series series(int row) const override;

    // Whether the run compares territories with their region.
    bool territories() const { return layout.territory >= 0; }
    const Territory *territory(int row) const
    {
        const auto &t = rows[std::size_t(row)].territory;
        return t ? &*t : nullptr;
    }
    // The funnel plot of a region's row; none for any other.
    const summary::FunnelInput *funnel(int row) const
    {
        return rows[std::size_t(row)].funnel.get();
    }
    QString territoryName(int row) const { return labels(row).value(layout.territory); }
    bool risk(int row) const
    {
        const Territory *t = territory(row);
        return t && t->risk;
    }
    // The rows of a row's group (its labels but the territory): the region
    // first, then the territories by rank, then the rest in the table's
    // order.
    std::vector<int> group(int row) const;

private:
    static Territory territoryOf(const engine::Row &row, const Layout &layout);
    QString classWord(int row) const;
    QString groupKey(const QStringList &labels) const;

    Layout layout;
    std::deque<Compact> rows; // no copy of them all as they grow
    // The rows of each group, as they came: a selection asks for its group
    // among hundreds of thousands of rows.
    QHash<QString, std::vector<int>> groups;
};
