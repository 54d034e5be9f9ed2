// SPDX-License-Identifier: MIT
#include "stats/joinpoint.h"

#include "stats/studentst.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace stats {

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

// What a fit keeps of rounding, as a share of the log values' scale: about
// 4,000 units in the last place, far more than a stable fit leaves and far
// less than any misfit that data carry.
constexpr double RoundingShare = 0x1p-40;

// Placements of k joinpoints among n years: k of the n − 4 inner years,
// each two apart from the next, is C(n − 2 − 2k, k).
double placementCount(int n, int k)
{
    const int top = n - 2 - 2 * k;
    if (top < k)
        return 0;
    double count = 1;
    for (int i = 1; i <= k; ++i)
        count = count * (top - k + i) / i;
    return count;
}

// The sums of the hinges of n consecutive years, which do not depend on the
// values, in closed form: no n×n table of products. A hinge at index j is
// taken as (x − j)₊ or (j − x)₊, whichever is shorter: the two differ by a
// line, so their residuals after the line are the same, and the short one's
// sums are small where the long one's would cancel.
struct Hinges {
    int n = 0;
    std::vector<char> left; // (j − x)₊
    std::vector<double> s1, s2; // Σu and Σu² over the hinge's support, u = 1..m
    std::vector<double> mean, slope; // Σz/√n and Σ(x − x̄)z/√Sxx
    std::vector<double> gram; // z̃ᵀz̃, z̃ = z less its line

    void build(int years)
    {
        n = years;
        const std::size_t size = std::size_t(n);
        left.assign(size, 0);
        s1.assign(size, 0);
        s2.assign(size, 0);
        mean.assign(size, 0);
        slope.assign(size, 0);
        gram.assign(size, 0);
        const double xMean = (n - 1) / 2.0;
        const double rootN = std::sqrt(double(n));
        const double rootSxx = std::sqrt(double(n) * (double(n) * n - 1) / 12);
        for (int j = 2; j <= n - 3; ++j) {
            left[j] = j < n - 1 - j;
            const double m = left[j] ? j : n - 1 - j;
            s1[j] = m * (m + 1) / 2;
            s2[j] = m * (m + 1) * (2 * m + 1) / 6;
            mean[j] = s1[j] / rootN;
            slope[j]
                = (left[j] ? (j - xMean) * s1[j] - s2[j] : (j - xMean) * s1[j] + s2[j]) / rootSxx;
            gram[j] = s2[j] - mean[j] * mean[j] - slope[j] * slope[j];
        }
    }

    // z̃_aᵀz̃_b for a < b: a left hinge ends before a right one starts.
    double cross(int a, int b) const
    {
        double raw = 0;
        if (left[b])
            raw = s2[a] + (b - a) * s1[a];
        else if (!left[a])
            raw = s2[b] + (b - a) * s1[b];
        return raw - mean[a] * mean[b] - slope[a] * slope[b];
    }
};

// The least SSE for every k up to `depth`, with its placement, in one walk
// over all placements in lexicographic order. The normal equations of the
// hinges less their line are assembled from the closed forms and the
// hinges' products with the line's residuals; their Cholesky factor grows by
// one row per level, so a placement costs O(k²), and SSE_k is the line's
// SSE less the squares of the forward-substituted right-hand side.
class Search
{
public:
    std::vector<double> best; // [k]
    std::vector<int> where; // placement of k at [k·depth, k·depth + k)

    void run(const Hinges &hinges, const double *y, int depth, double zeroBound)
    {
        h = &hinges;
        levels = depth;
        const int n = h->n;
        const std::size_t size = std::size_t(n);
        const double xMean = (n - 1) / 2.0;
        double yMean = 0, sxy = 0;
        for (int i = 0; i < n; ++i)
            yMean += y[i];
        yMean /= n;
        for (int i = 0; i < n; ++i)
            sxy += (i - xMean) * (y[i] - yMean);
        const double b = sxy / (double(n) * (double(n) * n - 1) / 12);
        residual.resize(size);
        double sst = 0, sse = 0;
        for (int i = 0; i < n; ++i) {
            residual[i] = y[i] - yMean - b * (i - xMean);
            sst += (y[i] - yMean) * (y[i] - yMean);
            sse += residual[i] * residual[i];
        }
        // zᵀr for every hinge from running sums, so that no sum of
        // (x − j)·r is found as a difference of two large ones.
        rhs.assign(size, 0);
        double sum = 0, weighted = 0;
        for (int j = 1; j < n; ++j) {
            sum += residual[j - 1];
            weighted += sum;
            if (j <= n - 3 && h->left[j])
                rhs[j] = weighted;
        }
        sum = weighted = 0;
        for (int j = n - 2; j >= 2; --j) {
            sum += residual[j + 1];
            weighted += sum;
            if (!h->left[j])
                rhs[j] = weighted;
        }
        // Placements whose SSEs differ by rounding are tied: the earlier
        // one stays.
        tolerance = RoundingShare * std::sqrt(sst * sse) + zeroBound;
        best.assign(std::size_t(depth) + 1, Inf);
        best[0] = sse;
        where.assign(std::size_t(depth) * (depth + 1), 0);
        factor.resize(std::size_t(depth) * depth);
        inverseDiagonal.resize(std::size_t(depth));
        projected.resize(std::size_t(depth));
        path.resize(std::size_t(depth));
        if (depth > 0)
            descend(0, 2, sse);
    }

private:
    const Hinges *h = nullptr;
    int levels = 0;
    double tolerance = 0;
    std::vector<double> residual, rhs, factor, inverseDiagonal, projected;
    std::vector<int> path;

    void descend(int level, int from, double ssePrevious)
    {
        const int last = h->n - 3;
        double *row = factor.data() + std::size_t(level) * levels;
        double &record = best[std::size_t(level) + 1];
        for (int j = from; j <= last; ++j) {
            double squares = 0, along = 0;
            for (int i = 0; i < level; ++i) {
                const double *above = factor.data() + std::size_t(i) * levels;
                double v = h->cross(path[i], j);
                for (int m = 0; m < i; ++m)
                    v -= above[m] * row[m];
                v *= inverseDiagonal[i];
                row[i] = v;
                squares += v * v;
                along += v * projected[i];
            }
            const double pivot = h->gram[j] - squares;
            if (!(pivot > 0))
                continue; // cannot happen two years apart; guards the square root
            const double excess = rhs[j] - along;
            const double sse = ssePrevious - excess * excess / pivot;
            if (sse < record - tolerance) {
                record = sse;
                int *at = where.data() + std::size_t(level + 1) * levels;
                std::copy(path.begin(), path.begin() + level, at);
                at[level] = j;
            }
            if (level + 1 < levels && j + 3 <= last) {
                const double root = std::sqrt(pivot);
                row[level] = root;
                inverseDiagonal[level] = 1 / root;
                projected[level] = excess / root;
                path[level] = j;
                descend(level + 1, j + 3, sse);
            }
        }
    }
};

// One model refitted stably for what is reported: ln y less its mean on the
// centred ramps of the segments, one a segment, by Householder QR. A ramp
// climbs by one a year across its segment and is flat outside it, so its
// coefficient is the segment's slope, and the AAPC is a plain weighted sum
// of the coefficients.
struct Model {
    std::vector<int> joins; // indices
    std::vector<double> slopes;
    std::vector<double> inverse; // R⁻¹, row-major, (k + 1)²
    std::vector<double> residuals;
    double sse = 0;

    void fit(const std::vector<double> &y, double zeroBound)
    {
        thread_local std::vector<double> ramps, a, q, diagonal;
        buildRamps(int(y.size()), ramps);
        a = ramps;
        q = y;
        decompose(int(y.size()), a, q, diagonal);
        solve(int(y.size()), a, q, diagonal);
        residualsOf(y, ramps, zeroBound);
    }

    // The centred ramp of each segment, column after column.
    void buildRamps(int n, std::vector<double> &ramps) const
    {
        const int p = int(joins.size()) + 1;
        const std::size_t size = std::size_t(n);
        ramps.resize(size * p);
        for (int s = 0; s < p; ++s) {
            const int start = s ? joins[s - 1] : 0;
            const int end = s + 1 < p ? joins[s] : n - 1;
            double *column = ramps.data() + size * s;
            double mean = 0;
            for (int i = 0; i < n; ++i) {
                column[i] = std::clamp(i - start, 0, end - start);
                mean += column[i];
            }
            mean /= n;
            for (int i = 0; i < n; ++i)
                column[i] -= mean;
        }
    }

    // Householder QR of the ramps `a` in place, applied to `q` too: R above
    // the diagonal in `a`, its diagonal in `diagonal`.
    void decompose(
        int n, std::vector<double> &a, std::vector<double> &q, std::vector<double> &diagonal) const
    {
        const int p = int(joins.size()) + 1;
        const std::size_t size = std::size_t(n);
        diagonal.resize(std::size_t(p));
        for (int c = 0; c < p; ++c) {
            double *v = a.data() + size * c;
            double norm = 0;
            for (int i = c; i < n; ++i)
                norm += v[i] * v[i];
            norm = std::sqrt(norm);
            const double alpha = v[c] > 0 ? -norm : norm;
            v[c] -= alpha;
            const double length = norm * (norm + std::fabs(v[c] + alpha));
            diagonal[c] = alpha;
            const auto reflect = [&](double *w) {
                double dot = 0;
                for (int i = c; i < n; ++i)
                    dot += v[i] * w[i];
                const double f = dot / length;
                for (int i = c; i < n; ++i)
                    w[i] -= f * v[i];
            };
            for (int d = c + 1; d < p; ++d)
                reflect(a.data() + size * d);
            reflect(q.data());
        }
    }

    // The slopes, and R⁻¹ for their covariance. R's entry (c, d) above the
    // diagonal is a[d·n + c].
    void solve(int n, const std::vector<double> &a, const std::vector<double> &q,
        const std::vector<double> &diagonal)
    {
        const int p = int(joins.size()) + 1;
        const std::size_t size = std::size_t(n);
        slopes.assign(std::size_t(p), 0);
        inverse.assign(std::size_t(p) * p, 0);
        for (int c = p - 1; c >= 0; --c) {
            double v = q[c];
            for (int d = c + 1; d < p; ++d)
                v -= a[size * d + c] * slopes[d];
            slopes[c] = v / diagonal[c];
            inverse[std::size_t(c) * p + c] = 1 / diagonal[c];
            for (int m = c + 1; m < p; ++m) {
                double w = 0;
                for (int d = c + 1; d <= m; ++d)
                    w -= a[size * d + c] * inverse[std::size_t(d) * p + m];
                inverse[std::size_t(c) * p + m] = w / diagonal[c];
            }
        }
    }

    void residualsOf(
        const std::vector<double> &y, const std::vector<double> &ramps, double zeroBound)
    {
        const int n = int(y.size());
        const int p = int(joins.size()) + 1;
        const std::size_t size = std::size_t(n);
        double yMean = 0;
        for (const double v : y)
            yMean += v;
        yMean /= n;
        residuals.resize(size);
        sse = 0;
        for (int i = 0; i < n; ++i) {
            double r = y[i] - yMean;
            for (int s = 0; s < p; ++s)
                r -= slopes[s] * ramps[size * s + i];
            residuals[i] = r;
            sse += r * r;
        }
        if (sse <= zeroBound)
            sse = 0;
    }
};

// The largest partial R² of a joinpoint's hinge given a line, each over the
// years from the joinpoint before it to the one after (or the series' ends).
// Where a line already fits those years to rounding the hinge explains
// nothing: its R² is 0, not the ratio of two roundings.
double largestPartialR2(const std::vector<double> &y, const std::vector<int> &joins, double unit)
{
    const int k = int(joins.size());
    const int n = int(y.size());
    double largest = 0;
    for (int i = 0; i < k; ++i) {
        const int lo = i ? joins[i - 1] : 0;
        const int hi = i + 1 < k ? joins[i + 1] : n - 1;
        const int j = joins[i];
        const double count = hi - lo + 1;
        const double xMean = (lo + hi) / 2.0;
        double yMean = 0, zMean = 0;
        for (int x = lo; x <= hi; ++x) {
            yMean += y[x];
            zMean += std::max(x - j, 0);
        }
        yMean /= count;
        zMean /= count;
        double sxx = 0, sxy = 0, sxz = 0;
        for (int x = lo; x <= hi; ++x) {
            sxx += (x - xMean) * (x - xMean);
            sxy += (x - xMean) * (y[x] - yMean);
            sxz += (x - xMean) * (std::max(x - j, 0) - zMean);
        }
        double yy = 0, zz = 0, yz = 0;
        for (int x = lo; x <= hi; ++x) {
            const double ry = y[x] - yMean - sxy / sxx * (x - xMean);
            const double rz = std::max(x - j, 0) - zMean - sxz / sxx * (x - xMean);
            yy += ry * ry;
            zz += rz * rz;
            yz += ry * rz;
        }
        if (yy > count * unit)
            largest = std::max(largest, std::min(1.0, yz * yz / (yy * zz)));
    }
    return largest;
}

double criterion(
    JoinpointMethod method, const Model &model, const std::vector<double> &y, double unit)
{
    if (model.sse == 0)
        return -Inf; // nothing fits better than exactly
    const double n = double(y.size());
    const int k = int(model.joins.size());
    double parameters = 2 * k + 2;
    if (method == JoinpointMethod::Bic3)
        parameters = 3 * k + 2;
    else if (method == JoinpointMethod::Wbic && k > 0)
        parameters = (2 + largestPartialR2(y, model.joins, unit)) * k + 2;
    return std::log(model.sse / n) + parameters * std::log(n) / n;
}

// xoshiro256**, seeded through splitmix64: both fully specified, so a seed
// gives the same permutations with any standard library.
class Generator
{
public:
    Generator(std::uint64_t seed, std::uint64_t stream)
    {
        std::uint64_t mixer = stream;
        mixer = splitmix(mixer) ^ seed;
        for (std::uint64_t &word : state)
            word = splitmix(mixer);
    }

    // Uniform on [0, bound): draws below 2⁶⁴ mod bound are redrawn, so
    // every residue is left equally often.
    std::uint64_t below(std::uint64_t bound)
    {
        const std::uint64_t threshold = (0 - bound) % bound;
        for (;;) {
            const std::uint64_t r = next();
            if (r >= threshold)
                return r % bound;
        }
    }

private:
    std::uint64_t state[4];

    static std::uint64_t splitmix(std::uint64_t &x)
    {
        std::uint64_t z = (x += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    std::uint64_t next()
    {
        const std::uint64_t result = rotl(state[1] * 5, 7) * 9;
        const std::uint64_t t = state[1] << 17;
        state[2] ^= state[0];
        state[3] ^= state[1];
        state[1] ^= state[2];
        state[0] ^= state[3];
        state[2] ^= t;
        state[3] = rotl(state[3], 45);
        return result;
    }
};

// Kim et al.'s sequence of tests, k = a against k = b, each at 0.05/(max − a).
int permutationChoice(const std::vector<Model> &models, const std::vector<double> &y,
    const Hinges &hinges, Search &search, const JoinpointOptions &options, std::uint64_t stream)
{
    const int most = int(models.size()) - 1;
    const int count = std::max(options.permutations, 0);
    const std::size_t n = y.size();
    Generator generator(options.seed, stream);
    std::vector<double> shuffled(n), permuted(n);
    int a = 0, b = most;
    while (a < b) {
        const double level = 0.05 / (most - a);
        const auto rejects = [&](int exceed) { return (1.0 + exceed) / (1.0 + count) <= level; };
        bool reject = false; // a k = a that fits exactly needs no more joinpoints
        if (models[a].sse > 0) {
            const double statistic = models[b].sse > 0 ? models[a].sse / models[b].sse : Inf;
            shuffled = models[a].residuals;
            int exceed = 0;
            for (int done = 1; done <= count; ++done) {
                for (std::size_t i = n - 1; i > 0; --i)
                    std::swap(shuffled[i], shuffled[generator.below(i + 1)]);
                for (std::size_t i = 0; i < n; ++i)
                    permuted[i] = y[i] - models[a].residuals[i] + shuffled[i];
                search.run(hinges, permuted.data(), b, 0);
                const double sseA = std::max(search.best[a], 0.0);
                const double sseB = std::max(search.best[b], 0.0);
                exceed += (sseB > 0 ? sseA / sseB : Inf) >= statistic;
                // Stop once the remaining permutations cannot change the
                // decision either way.
                if (!rejects(exceed) || rejects(exceed + count - done))
                    break;
            }
            reject = rejects(exceed);
        }
        if (reject)
            ++a;
        else
            --b;
    }
    return a;
}

// ln y less its mean; a flat series is centred on its value exactly, so
// that its fit is exact, not a mean's rounding. `unit` is the rounding of a
// log value: about its unit in the last place, and the value's of 1.
struct Logs {
    double centre = 0;
    double unit = 0;
};

Logs centredLogs(const std::vector<double> &values, std::vector<double> &y)
{
    const int n = int(values.size());
    y.resize(values.size());
    double centre = 0, largest = 0;
    for (int i = 0; i < n; ++i) {
        y[i] = std::log(values[i]);
        centre += y[i];
        largest = std::max(largest, std::fabs(y[i]));
    }
    const bool flat = std::all_of(y.begin(), y.end(), [&](double v) { return v == y[0]; });
    centre = flat ? y[0] : centre / n;
    for (double &v : y)
        v -= centre;
    return {centre, std::pow(RoundingShare * (1 + largest), 2)};
}

} // namespace

Segment describeSegment(
    std::int32_t start, std::int32_t end, double logSlope, double slopeError, int df)
{
    const PercentChange c = percentChange(logSlope, slopeError, df);
    return {start, end, logSlope, slopeError, c.apc, c.low, c.high, c.p};
}

int searchDepth(int n, const JoinpointOptions &options, double budget, JoinpointFit &fit)
{
    const int allowed = std::max(0, (n - 2) / 3);
    const int wanted = options.maxJoinpoints < 0 ? std::min(5, (n - 2) / 5) : options.maxJoinpoints;
    const int ceiling = std::min(wanted, allowed);
    budget
        /= (options.method == JoinpointMethod::Permutation ? 1.0 + std::max(options.permutations, 0)
                                                           : 1.0);
    double placements = 0;
    int most = 0;
    while (most < ceiling && placements + placementCount(n, most + 1) <= budget)
        placements += placementCount(n, ++most);
    fit.searchedMax = most;
    fit.maxLowered = most < ceiling;
    return most;
}

namespace {

// The segments, each with its APC, and the AAPC, of the chosen model.
void describeModel(
    const Model &model, const std::vector<std::int32_t> &years, int n, int k, JoinpointFit &fit)
{
    const int p = k + 1;
    fit.sse = model.sse;
    fit.degreesOfFreedom = n - 2 * k - 2;
    const double sigma = std::sqrt(model.sse / fit.degreesOfFreedom);
    std::vector<double> weighted(std::size_t(p), 0);
    double average = 0;
    for (int s = 0; s < p; ++s) {
        const int start = s ? model.joins[s - 1] : 0;
        const int end = s < k ? model.joins[s] : n - 1;
        if (s < k)
            fit.joinpoints.push_back(years[end]);
        double variance = 0;
        for (int m = s; m < p; ++m) {
            const double r = model.inverse[std::size_t(s) * p + m];
            variance += r * r;
        }
        fit.segments.push_back(describeSegment(years[start], years[end], model.slopes[s],
            sigma * std::sqrt(variance), fit.degreesOfFreedom));
        // R⁻ᵀw, whose squared length is the AAPC's variance over σ².
        const double w = double(end - start) / (n - 1);
        average += w * model.slopes[s];
        for (int m = s; m < p; ++m)
            weighted[m] += w * model.inverse[std::size_t(s) * p + m];
    }
    double variance = 0;
    for (const double v : weighted)
        variance += v * v;
    const PercentChange d
        = percentChange(average, sigma * std::sqrt(variance), fit.degreesOfFreedom);
    fit.aapc = d.apc;
    fit.aapcLow = d.low;
    fit.aapcHigh = d.high;
    fit.aapcP = d.p;
}

} // namespace

JoinpointFit fitJoinpoints(const std::vector<std::int32_t> &years,
    const std::vector<double> &values, const JoinpointOptions &options, std::uint64_t stream)
{
    const int n = int(values.size());
    assert(n >= 3 && years.size() >= values.size());
    JoinpointFit fit;
    if (std::any_of(values.begin(), values.end(), [](double v) { return !(v > 0); })) {
        fit.reason = Reason::NonPositiveValue;
        return fit;
    }

    thread_local std::vector<double> y;
    const Logs logs = centredLogs(values, y);
    const double zeroBound = n * logs.unit;
    const int most = searchDepth(n, options, joinpointPlacementBudget, fit);

    thread_local Hinges hinges;
    if (hinges.n != n)
        hinges.build(n);
    thread_local Search search;
    search.run(hinges, y.data(), most, zeroBound);
    std::vector<Model> models(std::size_t(most) + 1);
    for (int k = 0; k <= most; ++k) {
        const int *at = search.where.data() + std::size_t(k) * most;
        models[k].joins.assign(at, at + k);
        models[k].fit(y, zeroBound);
    }

    int k = 0;
    if (options.method == JoinpointMethod::Permutation) {
        k = permutationChoice(models, y, hinges, search, options, stream);
    } else {
        double least = Inf;
        for (int c = 0; c <= most; ++c) {
            const double value = criterion(options.method, models[c], y, logs.unit);
            if (c == 0 || value < least) {
                least = value;
                k = c;
            }
        }
    }

    const Model &model = models[k];
    describeModel(model, years, n, k, fit);
    fit.fitted.resize(values.size());
    for (int i = 0; i < n; ++i)
        fit.fitted[i] = logs.centre + y[i] - model.residuals[i];
    return fit;
}

} // namespace stats
