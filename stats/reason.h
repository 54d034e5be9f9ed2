// SPDX-License-Identifier: MIT
// Why a statistic does not exist for a series. The words for each reason
// are written where the rows are spelled, not here.
#pragma once

namespace stats {

enum class Reason : unsigned char {
    None, // the statistic exists
    NonPositiveValue, // a value is 0 or below: no logarithm
    NoCases, // a count model: no year has a case
    CasesInOneYear, // a count model: cases in one year only, no slope
};

} // namespace stats
