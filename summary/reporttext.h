// SPDX-License-Identifier: MIT
// The annual report's paragraph for one series, as an epidemiologist writes
// it into the office's chapter: the reporting year's value (and cases,
// with counts), its comparison with last year and with the multi-year
// average level, what the trend expected, whether the cases are too few
// for a trend to mean much, the multi-year trend, the joinpoints and the
// forecast. Each sentence is left out where its numbers do not exist, and
// a comparison in percent where a year had no cases.
//
// Numbers are spelled by the rules of a Russian report (calc/spelling.h),
// joined to their «г.», «%» or «тыс.» by a no-break space.
#pragma once

#include "calc/spelling.h"
#include "summary/summaryrow.h"

#include <QString>

namespace summary {

// How a value compares with a reference: the words, «на 29,1 % ниже», «в
// 2,1 раза выше», «на том же уровне», and which it is, for the grammar of
// the sentence around them.
struct Comparison {
    enum Relation { None, Same, Higher, Lower } relation = None; // None: no reference
    QString words;
};
Comparison comparison(double value, double reference);

// The trend's class in a word: «выраженная», «умеренная», «стабильная».
QString classWord(trend::TrendClass trendClass);
// What a series' rates are per, as a report says it: «на 100 тыс.
// населения»; empty for values as they are.
QString unitText(const table::Series &series);
// A unit, «на 100 тыс.», with its number and its word kept on one line.
QString unitWords(QString unit);

// The paragraph of one summary row; with rates from counts the year's
// cases come first and the unit is written after the rate.
QString reportParagraph(const RowInput &row);

// What a group's territories say: «Выше среднего по территориям показатель
// в 4 районах: Тотемский (в 2,3 раза), …; статистически значимо (95 %): …;
// территории риска: ….» `territoryName` is the label column's name: a
// column of districts («Район») speaks of районы, any other of территории.
QString territoryParagraph(const QString &territoryName,
    const std::vector<analysis::TerritoryCensus::Territory> &territories);

} // namespace summary
