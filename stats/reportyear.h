// SPDX-License-Identifier: MIT
// The reporting year of a series as an office's annual report assesses it:
// its value against last year's, against the multi-year average level of a
// baseline of earlier years (СМУ), and against the level the baseline's
// trend expected for it, with bounds:
// - normative: the expected level plus the mean of the baseline's positive
//   deviations from its trend line, minus the mean of the negative ones
//   (not below 0);
// - prediction: the 95% least-squares prediction interval at the reporting
//   year, over calendar years and the values as written;
// - Poisson: with case counts, the exact 95% interval of the year's rate,
//   from the chi-squared quantiles of its count;
// - quasi-Poisson: with case counts, the bounds of the year's count about
//   the level the baseline's quasi-Poisson line expects for it (see
//   expectedCount()), as rates.
// No expected level and no bound is below 0: a trend line that falls below
// 0 expects 0 (and the report says so).
// The verdict says whether the year lies above, within or below what was
// expected, by the bounds chosen.
//
// The trend line is the trend form's own (its time codes, its least
// squares), handed in by the caller: the expected level continues it as
// the form continues its forecast, L[n-1] + b (T - B), so that a baseline
// ending the year before gives exactly the form's forecast for the
// reporting year.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace stats {

enum class ExpectedBy { Normative, Prediction, Poisson, QuasiPoisson };

struct ReportYearOptions {
    std::int32_t year = 0; // 0: each series' last year
    // The baseline's first and last year; 0: from the series' first year,
    // and up to the year before the reporting year.
    std::int32_t baselineFrom = 0, baselineTo = 0;
    ExpectedBy expectedBy = ExpectedBy::Normative;
};

enum class Verdict { None, Above, Within, Below };

// Why a part of the assessment is missing; the words are written where the
// rows are spelled.
enum class ReportGap {
    None,
    NoValue, // the series has no value for the reporting year
    NotAfterBaseline, // the reporting year is not after the baseline's end
    NoBaseline, // no year of the series lies in the baseline
    ShortBaseline, // fewer years than a trend needs: no expected level
    NoVerdict, // the bounds chosen do not exist (no counts for Poisson)
    FewCases, // quasi-Poisson: the baseline's cases are in fewer than two years
};

struct ReportYear {
    std::int32_t year = 0;
    std::optional<double> value, previous, changePercent;
    std::optional<double> mean, meanRatio; // СМУ, and the value over it
    std::optional<double> expected, low, high; // with the normative bounds
    std::optional<double> predictionLow, predictionHigh;
    std::optional<double> rateLow, rateHigh; // Poisson, with counts
    std::optional<double> countExpected, countLow, countHigh; // quasi-Poisson, as rates
    bool belowZero = false; // the trend line expected less than 0: 0 is expected
    std::int32_t baselineFrom = 0, baselineTo = 0, baselineYears = 0; // the years used
    ExpectedBy by = ExpectedBy::Normative; // the bounds the verdict goes by
    Verdict verdict = Verdict::None;
    ReportGap gap = ReportGap::None;
};

// The trend form's line over the first n values: its theoretical levels
// and the difference between consecutive ones.
struct PracticeLine {
    std::vector<double> levels;
    double slope = 0;
};
using PracticeFit = std::function<PracticeLine(const std::vector<double> &values, std::size_t n)>;

// The series: its years (consecutive; a last extra entry is ignored), its
// values as the trend form reads them, as written, and with rates from
// counts each year's cases and population (empty otherwise; `per` their
// base).
struct ReportSeries {
    const std::vector<std::int32_t> &years;
    const std::vector<double> &values;
    const std::vector<double> &exact;
    const std::vector<double> &cases;
    const std::vector<double> &population;
    double per = 100000;
};

ReportYear assessReportYear(
    const ReportSeries &series, const ReportYearOptions &options, const PracticeFit &practice);

// The bounds the verdict goes by: about the expected level (normative, or
// the prediction interval), or the year's own interval (Poisson); none
// where they do not exist.
std::optional<std::pair<double, double>> verdictBounds(const ReportYear &report);
// The expected level the verdict's bounds belong to: the quasi-Poisson
// line's with its bounds, the trend's otherwise.
std::optional<double> verdictExpected(const ReportYear &report);

// The exact 95% interval of a Poisson count observed as `count`:
// [χ²(0.025; 2c) / 2, χ²(0.975; 2c + 2) / 2], the lower 0 when c = 0.
std::pair<double, double> poissonInterval(double count);

constexpr int MinBaselineYears = 5;

} // namespace stats
