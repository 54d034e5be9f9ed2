// SPDX-License-Identifier: MIT
#include "stats/territory.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace stats {

namespace {

// The normal quantiles of a tail of 0.025 and of 0.001.
constexpr double Z95 = 1.959963984540054, Z998 = 3.090232306167813;

// In double precision throughout: a national table asks for these a few
// times for every one of its series, and the long double Boost would
// otherwise promote to costs several times more for digits no one reads.
using Double = boost::math::policies::policy<boost::math::policies::promote_double<false>>;

} // namespace

Sir standardisedRatio(double observed, double expected)
{
    using Chi2 = boost::math::chi_squared_distribution<double, Double>;
    const double low = observed > 0 ? quantile(Chi2(2 * observed), 0.025) / 2 : 0.0;
    const double high = quantile(Chi2(2 * observed + 2), 0.975) / 2;
    return {observed / expected, low / expected, high / expected};
}

double poissonAtMost(double observed, double expected)
{
    return boost::math::gamma_q(observed + 1, expected, Double());
}

double poissonAtLeast(double observed, double expected)
{
    return observed > 0 ? boost::math::gamma_p(observed, expected, Double()) : 1.0;
}

double sirPValue(double observed, double expected)
{
    return std::min(
        1.0, 2 * std::min(poissonAtMost(observed, expected), poissonAtLeast(observed, expected)));
}

Funnel funnelByTails(double observed, double expected)
{
    const double above = poissonAtLeast(observed, expected);
    const double below = poissonAtMost(observed, expected);
    return above < 0.001 ? Funnel::Above998
        : above < 0.025  ? Funnel::Above95
        : below < 0.001  ? Funnel::Below998
        : below < 0.025  ? Funnel::Below95
                         : Funnel::Within;
}

double funnelDispersion(std::vector<double> z)
{
    const std::size_t m = z.size();
    if (m == 0)
        return 0;
    std::sort(z.begin(), z.end());
    const std::size_t cut = m / 10;
    if (cut > 0 && 2 * cut < m) {
        std::fill(z.begin(), z.begin() + std::ptrdiff_t(cut), z[cut]);
        std::fill(z.end() - std::ptrdiff_t(cut), z.end(), z[m - 1 - cut]);
    }
    return std::inner_product(z.begin(), z.end(), z.begin(), 0.0) / double(m);
}

Funnel funnelByZ(double z, double dispersion)
{
    const double scaled = z / std::sqrt(dispersion);
    return scaled > Z998 ? Funnel::Above998
        : scaled > Z95   ? Funnel::Above95
        : scaled < -Z998 ? Funnel::Below998
        : scaled < -Z95  ? Funnel::Below95
                         : Funnel::Within;
}

std::vector<int> rankHighestFirst(const std::vector<double> &values)
{
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!std::isnan(values[i]))
            order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(),
        [&](std::size_t a, std::size_t b) { return values[a] > values[b]; });
    std::vector<int> rank(values.size(), 0);
    for (std::size_t i = 0; i < order.size(); ++i)
        rank[order[i]]
            = i > 0 && values[order[i]] == values[order[i - 1]] ? rank[order[i - 1]] : int(i) + 1;
    return rank;
}

} // namespace stats
