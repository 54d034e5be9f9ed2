// SPDX-License-Identifier: MIT
// Numbers as a person reads them, in one place for every text a person
// reads: the report paragraph, the document, the charts, the window's
// table and the form's messages. A decimal comma and the minus sign «−»
// throughout; rates with one decimal from 10 up, two from 0,1 to 10, three
// significant digits below; percents with one decimal; «в 2,1 раза», «в 2
// раза», «в 5 раз»; counts with their noun, «12 случаев». The saved
// report of the trend form keeps its own format (trend::formatReal): its
// files are read back by other programs.
#pragma once

#include <QString>

namespace spelling {

// A decimal comma and a real minus sign in a number spelled by QString.
QString russian(QString number);
// `decimals` after the comma; a negative number that rounds to zero is 0.
QString fixed(double value, int decimals);
// A rate: «12,8», «3,47», «0,0412», «−1,25».
QString rate(double value);
// A percent with one decimal: «29,1», «−3,2».
QString percent(double value);
// «в 2,1 раза», «в 2 раза», «в 5 раз», «в 12 раз», «в 22 раза».
QString times(double times);
// A whole number in a text: its digits grouped by three with a no-break
// space from five digits up, as Russian typesetting leaves four together:
// «1000», «12 345», «1 000 011».
QString whole(qint64 n);
// The form of a noun after a whole number: «1 случай» (1, 21, 101, not
// 11, 111), «2 случая» (2–4, 22–24, not 12–14), «5 случаев» (the rest).
enum class Numeral { One, Few, Many };
Numeral numeral(qint64 n);
// A count of cases with its noun, the two joined by a no-break space:
// «1 случай», «21 случай», «3 случая», «11 случаев», «1 000 012 случаев».
QString cases(qint64 n);
// A mean or a count that is not whole, with `decimals` after the comma:
// «1,2 случая», «0,4 случая». The noun after a decimal fraction is in the
// genitive singular, and a number written with a comma is a fraction even
// where it ends in «,0»: «2,0 случая». Unlike times(), «,0» stays: a mean
// of 2 written «2» would read as two cases counted.
QString cases(double value, int decimals);
// A scale's mark, with as many decimals as its step needs: «0», «2,5».
QString tick(double value, double step);
// «3,4·10³⁸»: `decimals` after the comma, times a power of ten.
QString scientific(double value, int decimals);
// A number in a table of many: four significant digits, whole from
// 100 000 up, «1,27·10⁻¹⁷» below 0,001; «—» when it is not a number.
QString tableNumber(double value);

} // namespace spelling
