// SPDX-License-Identifier: MIT
// Territories against their region. One label column names the territory
// (a district, a town); the other labels name the group (a disease, an age
// group). Each group of two territories or more gets its region as one more
// series: the territories' cases and population summed year by year (over
// the years all of them have), or, without counts, the mean of their rates.
// A row of the table whose territory says it is the whole ("Всего",
// "Итого", "по области" ...) is the region instead, and is not summed
// again.
//
// In its reporting year each territory is compared with its region: the
// ratio of the rates, as the practice compares them, and the standardised
// ratio of its cases to those it would have at the region's rate, with the
// exact interval, the p-value and the class on the funnel plot.
//
// The census reads the whole table once, before the series are computed:
// it needs every territory of a group before it can say anything of one.
// It keeps a few numbers a series, and the region's series.
#pragma once

#include "stats/territory.h"
#include "table/series.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <deque>
#include <limits>
#include <optional>
#include <vector>

namespace analysis {

// The territory label of a region the tool sums.
QString summedRegionName();
// Whether a territory's name says it is the whole: it begins with «всего»,
// «итого», «область», «по области» or «регион», in any case, ё as е.
bool namesRegion(const QString &territory);

// What the comparison says of one row. On the region's own row only
// `region` and the note.
struct TerritoryComparison {
    static constexpr double None = std::numeric_limits<double>::quiet_NaN();
    bool region = false; // the region's own row
    qint32 year = 0; // the year compared
    double rate = None, regionRate = None, ratio = None;
    // With counts: the cases observed and expected at the region's rate.
    double observed = None, expected = None, population = None;
    std::optional<stats::Sir> sir;
    double pValue = None;
    std::optional<stats::Funnel> funnel;
    double dispersion = None; // φ, where the classes allowed for it
    std::optional<bool> risk; // with a class
    int rank = 0; // by rate in the group, 1 the highest; 0: none
    QString note;

    bool ratioFlag() const { return ratio >= 1.5; }
};

// A ratio at which the practice calls a territory's rate raised.
constexpr double RaisedRatio = 1.5;

// The funnel class in a year, from the exact tails, with the group's
// over-dispersion φ allowed for where it is above 1: the limits are then
// widened by √φ (z / √φ against the normal quantiles), never narrowed
// below the exact ones, so that a group of pure chance is flagged no more
// often than the limits promise.
stats::Funnel funnelClass(double observed, double expected, double dispersion);

// Whether a territory is one of risk: above the 99.8 % limit in the
// reporting year, or above the 95 % limit in it and in the year before.
bool riskTerritory(stats::Funnel year, std::optional<stats::Funnel> before);

class TerritoryCensus
{
public:
    // `column`: the territory's label column; `reportYear`: the reporting
    // year asked for, 0 for each series' last.
    TerritoryCensus(qsizetype column, qint32 reportYear);

    // Every series of the table, in its order, prepared (below), and every
    // row skipped, by its label as a message gives it («Корь / Северный»);
    // then finish() once.
    //
    // What add() takes of a series is made apart from the census, on the
    // thread that read it: a national table's census then costs the run's
    // own thread little more than its sums.
    struct Prepared {
        QString key; // the group's
        QStringList labels;
        QString unit;
        qint64 line = 0;
        qint32 first = 0;
        double per = 100000;
        std::vector<double> exact, cases, population;
        std::optional<table::Series> whole; // a row that says it is the region
    };
    Prepared prepare(table::Series &&series) const;
    void add(Prepared &&series);
    void skipped(const QString &label, qint64 line, qsizetype labelCount);
    // `jobs`: threads to compare the groups on.
    void finish(int jobs = 1);

    // The region rows to compute just before the series that starts at
    // `line`: those of the groups it is the first series of.
    std::vector<const table::Series *> regionsBefore(qint64 line) const;
    // Whether the series at `line` is a region found in the table, which
    // comes with its group's first series instead of where it stands.
    bool movedAway(qint64 line) const;
    // The comparison of the row that starts at `line` (a summed region's
    // line is below 0); none for a series outside any group.
    const TerritoryComparison *comparison(qint64 line) const;

    qsizetype groupCount() const { return qsizetype(groups.size()); }
    qsizetype column() const { return territoryColumn; }

    // The territories of the group whose region's row starts at `line` that
    // have a rate to rank, in the order of their rank (equal ones in the
    // table's order); empty for any other line.
    struct Territory {
        QString name;
        const TerritoryComparison *comparison;
    };
    std::vector<Territory> territoriesOf(qint64 regionLine) const;

private:
    // What a territory gives the comparison: its cases, population and
    // rate in a year (NaN where it has none).
    struct Year {
        double cases = TerritoryComparison::None, population = TerritoryComparison::None;
        double rate = TerritoryComparison::None;
    };
    struct Member {
        qint64 line = 0;
        QString territory;
        qint32 first = 0, last = 0; // the series' years
        qint32 year = 0; // the reporting year
        Year at, before; // in it and the year before
        bool counts = false;
        double per = 100000;
        bool duplicate = false; // its territory is already in the group
        qint64 duplicateOf = 0;
    };
    struct Sum {
        double cases = 0, population = 0, rates = 0;
        int count = 0;
    };
    struct Group {
        QStringList labels; // the first series', its territory replaced
        qint64 firstLine = 0;
        std::vector<std::size_t> members; // territories, not the region
        QStringList names; // of the members
        std::optional<std::size_t> found; // a region row of the table
        std::vector<std::size_t> otherTotals; // more rows that say they are the whole
        QHash<QString, qint64> territories; // their first lines
        std::vector<Sum> years; // from `base` on
        qint32 base = 0;
        std::optional<table::Series> region; // summed, or the row found
        qint64 regionLine = 0;
        QString note; // of the region's row
        QString unit;
        bool counts = true;
    };

    void sum(Group &group, qint64 line);
    // The summed region's own comparison, if there is one to keep.
    std::optional<TerritoryComparison> compare(const Group &group);
    void compareTo(const Group &group, const std::vector<std::size_t> &own);
    // A year's numbers of a series, or of its parts from its first year.
    static Year in(qint32 first, const std::vector<double> &exact, const std::vector<double> &cases,
        const std::vector<double> &population, qint32 year);
    static Year in(const table::Series &series, qint32 year);

    qsizetype territoryColumn;
    qint32 reportYear;
    std::deque<Member> members; // no copies as it grows
    std::vector<Group> groups;
    QHash<QString, std::size_t> groupOf; // by the labels but the territory
    // The members by line, sorted once the table is read: a national table
    // asks for each of its series.
    std::vector<std::pair<qint64, std::size_t>> byLine;
    QHash<qint64, std::vector<std::size_t>> startsAt; // groups by their first line
    QHash<qint64, bool> moved; // region rows of the table, told with their group
    QHash<qint64, std::size_t> groupByRegion; // by the region's line
    QHash<QString, QList<qint64>> skips; // rows skipped, by group key
    std::vector<TerritoryComparison> compared; // by member
    QHash<qint64, TerritoryComparison> regions; // by line: the regions' own rows
};

} // namespace analysis
