// SPDX-License-Identifier: MIT
// Runs stats::fitJoinpoints on series read from standard input, one a line
// ("firstYear v1 v2 ..."), the line's number (from 0) as its stream, and
// prints one JSON object a line; NaN is null.
//
//     joinpoint_driver wbic|bic|bic3|permutation MAX PERMUTATIONS SEED
#include "joinpoint.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

namespace {

void number(double v, const char *after)
{
    std::isfinite(v) ? std::printf("%.17g%s", v, after) : std::printf("null%s", after);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 5)
        return 2;
    const std::string name = argv[1];
    stats::JoinpointOptions options;
    options.method = name == "bic" ? stats::JoinpointMethod::Bic
        : name == "bic3"           ? stats::JoinpointMethod::Bic3
        : name == "permutation"    ? stats::JoinpointMethod::Permutation
                                   : stats::JoinpointMethod::Wbic;
    options.maxJoinpoints = std::atoi(argv[2]);
    options.permutations = std::atoi(argv[3]);
    options.seed = std::strtoull(argv[4], nullptr, 10);
    std::string line;
    for (std::uint64_t stream = 0; std::getline(std::cin, line); ++stream) {
        std::istringstream in(line);
        std::int32_t year = 0;
        in >> year;
        std::vector<std::int32_t> years;
        std::vector<double> values;
        for (double v; in >> v;) {
            years.push_back(year++);
            values.push_back(v);
        }
        const stats::JoinpointFit fit = stats::fitJoinpoints(years, values, options, stream);
        std::printf("{\"searched_max\": %d, \"joinpoints\": [", fit.searchedMax);
        for (std::size_t i = 0; i < fit.joinpoints.size(); ++i)
            std::printf("%s%d", i ? ", " : "", fit.joinpoints[i]);
        std::printf("], \"sse\": ");
        number(fit.sse, ", \"segments\": [");
        for (std::size_t i = 0; i < fit.segments.size(); ++i) {
            const stats::Segment &s = fit.segments[i];
            std::printf("%s[%d, %d, ", i ? ", " : "", s.start, s.end);
            for (const double v : {s.logSlope, s.slopeError, s.apc, s.apcLow, s.apcHigh})
                number(v, ", ");
            number(s.pValue, "]");
        }
        std::printf("], \"aapc\": [");
        for (const double v : {fit.aapc, fit.aapcLow, fit.aapcHigh})
            number(v, ", ");
        number(fit.aapcP, "]}\n");
    }
}
