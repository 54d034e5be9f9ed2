// SPDX-License-Identifier: MIT
// The quasi-Poisson log-linear model of a series of yearly case counts c_i
// among P_i people: ln μ_i = ln P_i + β₀ + β₁·t_i (+ Σ δ_j·(t_i − τ_j)₊ at
// joinpoints τ_j), fitted by Poisson maximum likelihood (Newton's method,
// which for this model is IRLS), the years centred. Years without cases
// are counts of 0 like any other: nothing is added to them. The fit is
// iterated to the maximum itself: the score equations Σ(c_i − μ_i)·x_i = 0
// hold to rounding, not a tolerance on the deviance.
//
// The dispersion φ̂ = max(1, X²/(n − p)), X² Pearson's, p = 2k + 2 for k
// joinpoints (the joinpoints counted, as the log-linear joinpoint model
// counts them). Slopes' variances are φ̂·(XᵀWX)⁻¹ at the fit, the
// joinpoints held fixed, and their intervals and p-values Student's t on
// n − p degrees of freedom.
//
// A slope exists when cases fall in at least two different years. A
// placement of joinpoints is allowed, on top of the log-linear model's
// rules, only where every segment (its end years included) has cases in at
// least two of its years: below that the likelihood may have no maximum.
// For each k the allowed placement with the least deviance is found by an
// exhaustive search, ties to the earliest; k is chosen by D_k/φ̂_K plus the
// criterion's penalty times ln n, φ̂_K the dispersion of the best fit of the
// most joinpoints that have an allowed placement. The weighted BIC's R²max
// is the partial deviance R² of a joinpoint's hinge, 1 − D(line + hinge) /
// D(line), over the years from the joinpoint before it to the one after.
#pragma once

#include "stats/joinpoint.h"
#include "stats/studentst.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace stats {

// n consecutive years of counts and populations (every population > 0).
struct CountSeries {
    const double *cases;
    const double *population;
    std::size_t n;
};

struct CountLine {
    Reason reason = Reason::None; // NoCases or CasesInOneYear: nothing else is set
    double slope = 0; // of ln μ a year
    double slopeError = 0;
    double dispersion = std::numeric_limits<double>::quiet_NaN();
    double deviance = 0;
    int degreesOfFreedom = 0;
    PercentChange change {};
};

// Whether the counts can carry a slope.
Reason countReason(const CountSeries &series);

CountLine fitCountLine(const CountSeries &series);

// The joinpoint model of the counts at years[i], i < series.n; the fit's
// `fitted` holds ln of the model's rate per `per` people at each year, its
// `sse` the deviance.
JoinpointFit fitCountJoinpoints(const std::vector<std::int32_t> &years, const CountSeries &series,
    double per, const JoinpointOptions &options);

// Placements a count model's search may visit, over all k it searches:
// each costs a fit of its own, so there are far fewer than the log-linear
// model's.
constexpr double countPlacementBudget = 2e5;

// The expected count of a year `ahead` years past the first of a baseline
// of counts, among `population` people, by the baseline's quasi-Poisson
// line, with the bounds of the 2/3-power threshold (Farrington, Andrews,
// Beale & Catchpole, 1996, without their seasonal windows):
// U, L = (μ₀^(2/3) ± z·s)^(3/2), s² = 4/9·μ₀^(1/3)·(φ̂ + μ₀·Var η̂), L = 0
// where μ₀^(2/3) ≤ z·s. None when the baseline's cases are in fewer than
// two years.
struct CountBounds {
    double expected, low, high;
};
std::optional<CountBounds> expectedCount(
    const CountSeries &baseline, double ahead, double population);

} // namespace stats
