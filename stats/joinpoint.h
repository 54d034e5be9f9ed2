// SPDX-License-Identifier: MIT
// Joinpoint regression of a yearly series (Kim et al., Stat Med 2000;19:335):
// ln y fitted by a continuous broken line whose slope may change at k
// joinpoints, each on a data year. For every k up to a maximum the
// placement with the least SSE is found by an exhaustive grid search; k is
// chosen by the weighted BIC, the BIC, the BIC3 or Kim's sequence of
// permutation tests. Each segment's annual percent change and the average
// annual percent change of the whole series come with 95% intervals and
// p-values from Student's t on n − 2k − 2 degrees of freedom, the joinpoints
// held fixed.
//
// Where a joinpoint may be: at least two years lie between it and either
// end of the series, and at least two between two joinpoints, none of the
// joinpoints counted. Ties in SSE (within the search's rounding,
// 2⁻⁴⁰·√(SST·SSE₀)) go to the earliest placement, ties in the criterion to
// fewer joinpoints.
//
// The weighted BIC's penalty is ((2 + R²max)·k + 2)·ln n / n, R²max the
// largest partial R² of a joinpoint's hinge given a line over the years from
// the joinpoint before it to the one after; where a line fits those years to
// within the rounding bound below (taken over those years), that R² is 0.
//
// An SSE below n·(2⁻⁴⁰·(1 + max|ln y|))² is rounding, not misfit: it counts
// as 0, so that a line that fits exactly is not beaten by one with a spare
// joinpoint whose residuals happen to round smaller. Such a fit reports
// zero-width intervals, p = 0 for a slope and NaN for a slope of 0.
//
// The work of a grid search grows like n^k. The maximum is lowered, and the
// fit says so, until the placements of all the k searched together number
// at most joinpointPlacementBudget, about a tenth of a second of work, so
// that a national table of long series still takes minutes, not days; the permutation
// method divides the budget among the 1 + N searches of a test.
//
// A permutation test of k = a against k = b (Kim et al.) permutes the
// residuals of the k = a fit, refits both by grid search, and has
// p = (1 + #{T* ≥ T}) / (1 + N), T = SSE_a / SSE_b; it stops early once no
// further permutation can change its decision.
//
// The permutations of a series come from its own generator, seeded by
// `seed` and the series' `stream` number: splitmix64 mixes the stream and
// fills the state of xoshiro256**, and the shuffle is Fisher–Yates with an
// unbiased bounded draw. The result depends on nothing else, so series may
// be fitted on any thread in any order.
#pragma once

#include "stats/reason.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace stats {

enum class JoinpointMethod { Wbic, Bic, Bic3, Permutation };

struct JoinpointOptions {
    JoinpointMethod method = JoinpointMethod::Wbic;
    int maxJoinpoints = -1; // below 0: min(5, (n − 2) / 5)
    int permutations = 4499;
    std::uint64_t seed = 20000335;
};

struct Segment {
    std::int32_t start = 0; // years; a joinpoint ends one segment and starts the next
    std::int32_t end = 0;
    double logSlope = 0;
    double slopeError = 0;
    double apc = 0;
    double apcLow = 0;
    double apcHigh = 0;
    double pValue = 0;
};

struct JoinpointFit {
    Reason reason = Reason::None;
    int searchedMax = 0; // after the default, the placement rules and the budget
    bool maxLowered = false; // the budget lowered it
    std::vector<std::int32_t> joinpoints; // years
    std::vector<Segment> segments;
    double sse = 0; // of ln y
    int degreesOfFreedom = 0;
    double aapc = std::numeric_limits<double>::quiet_NaN();
    double aapcLow = std::numeric_limits<double>::quiet_NaN();
    double aapcHigh = std::numeric_limits<double>::quiet_NaN();
    double aapcP = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> fitted; // ln of the fitted value at each year
};

// A segment of years [start, end] with its log slope and that slope's
// standard error: its APC, interval and p-value on `df` degrees of freedom.
Segment describeSegment(
    std::int32_t start, std::int32_t end, double logSlope, double slopeError, int df);

// Placements a grid search may visit, over all k it searches.
constexpr double joinpointPlacementBudget = 1e7;

// The most joinpoints searched in a series of n years: the default or the
// one asked for, no more than the placement rules allow, and lowered until
// the search's placements number at most `budget`; `fit` is told which.
int searchDepth(int n, const JoinpointOptions &options, double budget, JoinpointFit &fit);

// Fits values[i] at years[i], i < n = values.size(): consecutive years,
// n >= 3 (a joinpoint needs n >= 5). years may hold one year more, which is
// not used. With a value 0 or below (or NaN) only the reason is set.
JoinpointFit fitJoinpoints(const std::vector<std::int32_t> &years,
    const std::vector<double> &values, const JoinpointOptions &options, std::uint64_t stream);

} // namespace stats
