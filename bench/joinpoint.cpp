// SPDX-License-Identifier: MIT
// What a joinpoint fit costs a series: 20-year series like a surveillance
// table's (a trend, often a break, lognormal noise), fitted one after
// another on one thread, best of five rounds. Prints microseconds per
// series for the weighted BIC and the BIC up to 3 joinpoints and for the
// permutation test with 4,499 permutations, then seconds for one long
// series at the budget's edges.
//
//     bench_joinpoint [SERIES]
#include "stats/joinpoint.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>

namespace {

std::vector<double> series(std::mt19937_64 &random, int n)
{
    std::normal_distribution<double> noise(0, 0.08);
    const int knot = 4 + int(random() % std::uint64_t(n - 8));
    const double change = random() % 2 ? -0.15 : 0;
    std::vector<double> values;
    for (int i = 0; i < n; ++i)
        values.push_back(50 * std::exp(0.02 * i + change * std::max(i - knot, 0) + noise(random)));
    return values;
}

std::vector<std::int32_t> yearsOf(std::size_t n)
{
    std::vector<std::int32_t> years(n);
    std::iota(years.begin(), years.end(), 2000);
    return years;
}

// Seconds for fitting every series once, the best of `rounds`.
double time(const std::vector<std::vector<double>> &all, stats::JoinpointOptions options,
    int rounds, double &checksum)
{
    const std::vector<std::int32_t> years = yearsOf(all.front().size());
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t s = 0; s < all.size(); ++s)
            checksum += stats::fitJoinpoints(years, all[s], options, s).aapc;
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
    std::mt19937_64 random(2000);
    std::vector<std::vector<double>> all;
    for (int i = 0; i < count; ++i)
        all.push_back(series(random, 20));
    double checksum = 0;
    stats::JoinpointOptions options;
    options.maxJoinpoints = 3;
    std::printf("wbic, up to 3: %.2f µs a series\n", 1e6 * time(all, options, 5, checksum) / count);
    options.method = stats::JoinpointMethod::Bic;
    std::printf("bic, up to 3: %.2f µs a series\n", 1e6 * time(all, options, 5, checksum) / count);
    options.method = stats::JoinpointMethod::Permutation;
    all.resize(std::size_t(std::min(count, 200)));
    std::printf("permutation, 4,499, up to 3: %.0f µs a series\n",
        1e6 * time(all, options, 1, checksum) / double(all.size()));

    options = stats::JoinpointOptions();
    for (const int n : {200, 8100}) {
        const std::vector<std::vector<double>> one {series(random, n)};
        const stats::JoinpointFit fit
            = stats::fitJoinpoints(yearsOf(std::size_t(n)), one[0], options, 0);
        std::printf("%d years, wbic up to %d%s: %.2f s\n", n, fit.searchedMax,
            fit.maxLowered ? " (lowered)" : "", time(one, options, 1, checksum));
    }
    std::printf("checksum %g\n", checksum);
}
