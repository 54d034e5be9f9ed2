// SPDX-License-Identifier: MIT
// A territory against its region in one year, as a regional report and a
// journal compare them: the ratio of its rate to the region's (the
// practice's number), and the standardised ratio of its observed cases O
// to those E it would have at the region's rate, with the exact Poisson
// interval, its p-value and its class on a funnel plot (Spiegelhalter,
// Stat Med 2005;24:1185), the classes widened by the group's
// over-dispersion where there is some.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace stats {

// Where a territory lies on the funnel plot: beyond the 99.8 % or the 95 %
// limit, above or below, or within both.
enum class Funnel { Above998, Above95, Within, Below95, Below998 };

// O / E with [χ²(0.025; 2O) / 2E, χ²(0.975; 2O + 2) / 2E], the lower 0
// when O = 0. E must be above 0.
struct Sir {
    double ratio, low, high;
};
Sir standardisedRatio(double observed, double expected);

// P(X ≤ O) and P(X ≥ O) for X ~ Poisson(E): the regularised gamma
// functions, so that a count that is not whole falls between its
// neighbours' tails.
double poissonAtMost(double observed, double expected);
double poissonAtLeast(double observed, double expected);

// min(1, 2 · min(P(X ≤ O), P(X ≥ O))).
double sirPValue(double observed, double expected);

// The class by the exact tails: beyond 99.8 % where a tail is below 0.001,
// beyond 95 % where it is below 0.025.
Funnel funnelByTails(double observed, double expected);

// The group's over-dispersion: the z-scores (O − E)/√E sorted, the ⌊0.1·m⌋
// lowest set to the next one up and as many highest to the next one down,
// φ = Σz²/m. Below 1 there is none to allow for.
double funnelDispersion(std::vector<double> z);

// The class by z/√φ against the normal quantiles of the same limits, for a
// group whose φ is above 1.
Funnel funnelByZ(double z, double dispersion);

// Ranks by value, 1 the highest; equal values share the better rank, and
// a value that is not a number has none (0).
std::vector<int> rankHighestFirst(const std::vector<double> &values);

} // namespace stats
