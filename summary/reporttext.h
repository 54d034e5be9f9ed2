// SPDX-License-Identifier: MIT
// The annual report's paragraph for one series, as an epidemiologist writes
// it into the office's chapter: the reporting year's value, its comparison
// with last year and with the multi-year average level, what the trend
// expected, the multi-year trend, the joinpoints and the forecast. Each
// sentence is left out where its numbers do not exist.
//
// Numbers are spelled here and only here, by the rules of a Russian report:
// a decimal comma, the minus sign «−»; rates with one decimal from 10 up,
// two from 0,1 to 10, three significant digits below; percents with one
// decimal; «в 2,1 раза», «в 2 раза», «в 5 раз».
#pragma once

#include "summaryrow.h"

#include <QString>

namespace summary {

// A rate: «12,8», «3,47», «0,0412», «−1,25».
QString rateText(double value);
// A percent with one decimal: «29,1», «−3,2».
QString percentText(double value);
// «в 2,1 раза», «в 2 раза», «в 5 раз», «в 12 раз», «в 22 раза».
QString timesText(double times);
// How `value` compares with `reference`: «на 29,1 % ниже», «в 2,1 раза
// выше», «на том же уровне»; empty when the reference is 0 or missing.
QString comparison(double value, double reference);

// The trend's class in a word: «выраженная», «умеренная», «стабильная».
QString classWord(trend::TrendClass trendClass);
// What a series' rates are per, as a report says it: «на 100 тыс.
// населения»; empty for values as they are.
QString unitText(const table::Series &series);

// The paragraph of one summary row; with rates from counts their unit is
// written after the rate.
QString reportParagraph(const RowInput &row);

} // namespace summary
