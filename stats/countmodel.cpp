// SPDX-License-Identifier: MIT
#include "stats/countmodel.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace stats {

namespace {

constexpr double Unfitted = std::numeric_limits<double>::infinity();
constexpr double NoValue = std::numeric_limits<double>::quiet_NaN();
constexpr int MaxColumns = 7; // intercept and six segments

// Cholesky factor of the q×q matrix h (row-major, lower half used) in
// place; false unless it is positive definite.
template<int q> bool cholesky(double *h)
{
    for (int j = 0; j < q; ++j) {
        double d = h[j * q + j];
        for (int m = 0; m < j; ++m)
            d -= h[j * q + m] * h[j * q + m];
        if (!(d > 0))
            return false;
        d = std::sqrt(d);
        h[j * q + j] = d;
        for (int i = j + 1; i < q; ++i) {
            double v = h[i * q + j];
            for (int m = 0; m < j; ++m)
                v -= h[i * q + m] * h[j * q + m];
            h[i * q + j] = v / d;
        }
    }
    return true;
}

// Solves L·Lᵀ·x = b in place.
template<int q> void solveFactored(const double *l, double *b)
{
    for (int i = 0; i < q; ++i) {
        double v = b[i];
        for (int m = 0; m < i; ++m)
            v -= l[i * q + m] * b[m];
        b[i] = v / l[i * q + i];
    }
    for (int i = q - 1; i >= 0; --i) {
        double v = b[i];
        for (int m = i + 1; m < q; ++m)
            v -= l[m * q + i] * b[m];
        b[i] = v / l[i * q + i];
    }
}

// The counts of a series, with what every fit of them shares.
struct CountData {
    const double *c = nullptr;
    const double *population = nullptr;
    std::vector<double> offset; // ln P
    std::vector<double> logRate; // ln(c / P) where c > 0
    double saturated = 0; // Σ c·ln c − c, 0·ln 0 = 0: the deviance's constant
    double casesLogPopulation = 0; // Σ c·ln P
    double total = 0;

    void take(const CountSeries &s, std::size_t from, std::size_t n)
    {
        c = s.cases + from;
        population = s.population + from;
        offset.resize(n);
        logRate.resize(n);
        saturated = total = casesLogPopulation = 0;
        for (std::size_t i = 0; i < n; ++i) {
            offset[i] = std::log(s.population[from + i]);
            logRate[i] = c[i] > 0 ? std::log(c[i]) - offset[i] : 0.0;
            saturated += c[i] > 0 ? c[i] * (logRate[i] + offset[i]) - c[i] : 0.0;
            total += c[i];
            casesLogPopulation += c[i] * offset[i];
        }
    }
};

struct PoissonFit {
    int q = 0;
    double beta[MaxColumns] {};
    double factor[MaxColumns * MaxColumns] {}; // Cholesky factor of XᵀWX at the fit
    double deviance = Unfitted;
    double pearson = 0;
    bool converged = false;
    bool abandoned = false; // sure not to beat the bound
};

// The intercept and the centred ramps of the segments between joinpoints
// `joins` (indices), column after column: a ramp climbs by one a year
// across its segment and is flat outside, so its coefficient is the
// segment's slope.
void buildRamps(int n, const int *joins, int k, std::vector<double> &x)
{
    const int q = k + 2;
    x.resize(std::size_t(n) * q);
    std::fill(x.begin(), x.begin() + n, 1.0);
    for (int s = 0; s <= k; ++s) {
        const int start = s ? joins[s - 1] : 0;
        const int end = s < k ? joins[s] : n - 1;
        double *column = x.data() + std::size_t(n) * (s + 1);
        const int length = end - start;
        const double mean = (length * (length + 1) / 2.0 + double(length) * (n - 1 - end)) / n;
        for (int i = 0; i < n; ++i)
            column[i] = std::clamp(i - start, 0, length) - mean;
    }
}

// Σ w·x·xᵀ (its lower half, row-major Q×Q) and Σ w·x over the n rows of
// the column-major design x, in one pass: the sums are independent of one
// another, so none waits on the last addition of another.
template<int Q> void normalSums(const double *x, int n, const double *w, double *h, double *sums)
{
    double products[Q * (Q + 1) / 2] {}, totals[Q] {};
    for (int i = 0; i < n; ++i) {
        double row[Q], weightedRow[Q];
#pragma GCC unroll 8
        for (int a = 0; a < Q; ++a) {
            row[a] = x[a * n + i];
            weightedRow[a] = w[i] * row[a];
            totals[a] += weightedRow[a];
        }
        int t = 0;
#pragma GCC unroll 8
        for (int a = 0; a < Q; ++a) {
#pragma GCC unroll 8
            for (int b = 0; b <= a; ++b)
                products[t++] += weightedRow[a] * row[b];
        }
    }
    int t = 0;
    for (int a = 0; a < Q; ++a) {
        sums[a] = totals[a];
        for (int b = 0; b <= a; ++b)
            h[a * Q + b] = products[t++];
    }
}

// The Poisson fit of the counts over `n` years on the intercept and the
// ramps of the segments between joinpoints `joins`. Starts from `start`,
// or else from the weighted least-squares line of the log rates with
// weights c (one Newton step from μ = c), and takes Newton steps, halved
// while the deviance does not fall, until the step's decrease of the
// deviance is below rounding.
//
// ln(μ/P) is a broken line: within a segment μ/P grows by e^slope a year,
// so a fit's μ takes one exponential a segment, not one a year.
//
// A search need not fit a placement that cannot beat its best: after each
// step the fit gives up once the deviance is sure to stay above `bound`.
// The sure floor is the dual's: with the Newton step δ at μ and u = Xδ,
// m = μ·(1 + u) meets Xᵀm = Xᵀc, so wherever u > −1 the maximum's
// deviance is at least D − gᵀδ − 2·Σ μ·h(u), h(u) = (1 + u)·ln(1 + u) − u −
// u²/2, and h(u) ≤ −u³/(6·(1 + u)²) by Taylor's remainder.
class PoissonNewton
{
public:
    // μ at the last fit's maximum.
    const std::vector<double> &means() const { return mu; }

    void fit(const CountData &d, int n, const int *joins, int k, PoissonFit &f,
        const double *start = nullptr, double bound = Unfitted)
    {
        switch (k) {
        case 0:
            return run<2>(d, n, joins, f, start, bound);
        case 1:
            return run<3>(d, n, joins, f, start, bound);
        case 2:
            return run<4>(d, n, joins, f, start, bound);
        case 3:
            return run<5>(d, n, joins, f, start, bound);
        case 4:
            return run<6>(d, n, joins, f, start, bound);
        default:
            return run<7>(d, n, joins, f, start, bound);
        }
    }

private:
    template<int q>
    void run(const CountData &d, int n, const int *joins, PoissonFit &f, const double *start,
        double bound)
    {
        const int k = q - 2;
        f.q = q;
        f.converged = f.abandoned = false;
        prepare(d, n, joins, k);
        double h[MaxColumns * MaxColumns] {}, g[MaxColumns] {};
        if (start) {
            std::copy(start, start + q, f.beta);
        } else {
            // Σ c·x·xᵀ β = Σ c·x·ln(c/P).
            double unused[MaxColumns];
            normalSums<q>(x.data(), n, d.c, h, unused);
            for (int a = 0; a < q; ++a) {
                const double *xa = column(a);
                for (int i = 0; i < n; ++i)
                    g[a] += d.c[i] * xa[i] * d.logRate[i];
            }
            if (!cholesky<q>(h))
                return;
            solveFactored<q>(h, g);
            std::copy(g, g + q, f.beta);
        }
        double deviance = devianceAt<q>(d, f.beta);
        // The tolerance on the decrease: what rounding leaves of Σ c·ln μ.
        const double floor = 1e-13 * (1 + d.total);
        bool polished = false;
        for (int iteration = 0; iteration < 200; ++iteration) {
            normalSums<q>(x.data(), n, mu.data(), h, g);
            for (int a = 0; a < q; ++a)
                g[a] = crossed[a] - g[a];
            if (!cholesky<q>(h))
                return;
            double step[MaxColumns];
            std::copy(g, g + q, step);
            solveFactored<q>(h, step);
            double decrease = 0;
            bool negligible = true;
            for (int a = 0; a < q; ++a) {
                decrease += g[a] * step[a];
                negligible = negligible && std::fabs(step[a]) <= 1e-13 * (1 + std::fabs(f.beta[a]));
            }
            // Near the maximum a step gains less than rounding shows in
            // the deviance while a flat direction (a segment of few cases)
            // may still move: one more step from there, taken whole, ends
            // at the maximum itself.
            if (negligible || (decrease <= floor * 1e-6 && polished)) {
                std::copy(h, h + q * q, f.factor);
                f.deviance = deviance;
                f.pearson = 0;
                for (int i = 0; i < n; ++i)
                    f.pearson += (d.c[i] - mu[i]) * (d.c[i] - mu[i]) / mu[i];
                f.converged = true;
                return;
            }
            if (bound < Unfitted && deviance - decrease > bound
                && surelyAbove<q>(step, deviance - decrease, bound)) {
                f.abandoned = true;
                return;
            }
            double trial[MaxColumns], length = 1;
            if (decrease <= floor) {
                polished = true;
                for (int a = 0; a < q; ++a)
                    f.beta[a] += step[a];
                deviance = devianceAt<q>(d, f.beta);
                continue;
            }
            for (int halving = 0; halving < 60; ++halving, length /= 2) {
                for (int a = 0; a < q; ++a)
                    trial[a] = f.beta[a] + length * step[a];
                const double next = devianceAt<q>(d, trial);
                if (next <= deviance + floor) {
                    deviance = next;
                    break;
                }
            }
            // After the halvings the last trial stands: a step of 2⁻⁶⁰ is
            // no change.
            std::copy(trial, trial + q, f.beta);
        }
    }

    int n = 0;
    std::vector<double> x, mu, u;
    std::vector<int> segmentOf; // the segment of the step from year i to i + 1
    double crossed[MaxColumns] {}; // Xᵀc
    double constant = 0; // Σ(c·ln c − c) − Σ c·ln P: D = 2·(constant − βᵀXᵀc + Σ μ)

    const double *column(int a) const { return x.data() + std::size_t(a) * n; }

    void prepare(const CountData &d, int years, const int *joins, int k)
    {
        n = years;
        const int q = k + 2;
        buildRamps(n, joins, k, x);
        mu.resize(std::size_t(n));
        u.resize(std::size_t(n));
        segmentOf.resize(std::size_t(n));
        for (int s = 0, i = 0; i + 1 < n; ++i) {
            while (s < k && i >= joins[s])
                ++s;
            segmentOf[i] = s;
        }
        constant = d.saturated - d.casesLogPopulation;
        for (int a = 0; a < q; ++a) {
            const double *xa = column(a);
            double sum = 0;
            for (int i = 0; i < n; ++i)
                sum += d.c[i] * xa[i];
            crossed[a] = sum;
        }
    }

    // The deviance at beta; leaves μ at beta.
    template<int q> double devianceAt(const CountData &d, const double *beta)
    {
        double first = 0, linear = 0;
        for (int a = 0; a < q; ++a) {
            first += beta[a] * column(a)[0];
            linear += beta[a] * crossed[a];
        }
        double growth[MaxColumns];
        for (int s = 0; s + 1 < q; ++s)
            growth[s] = std::exp(beta[s + 1]);
        double rate = std::exp(first), sum = 0;
        for (int i = 0; i < n; ++i) {
            mu[i] = d.population[i] * rate;
            sum += mu[i];
            if (i + 1 < n)
                rate *= growth[segmentOf[i]];
        }
        const double deviance = 2 * (constant - linear + sum);
        return std::isfinite(deviance) && sum > 0 ? std::max(deviance, 0.0) : Unfitted;
    }

    // Whether the dual's floor, `quadratic` less the cubic term at μ, lies
    // above `bound`.
    template<int q> bool surelyAbove(const double *step, double quadratic, double bound)
    {
        std::fill(u.begin(), u.end(), 0.0);
        for (int a = 0; a < q; ++a) {
            const double *xa = column(a);
            for (int i = 0; i < n; ++i)
                u[i] += step[a] * xa[i];
        }
        double cubic = 0;
        for (int i = 0; i < n; ++i) {
            if (!(u[i] > -1))
                return false;
            cubic += mu[i] * u[i] * u[i] * u[i] / ((1 + u[i]) * (1 + u[i]));
        }
        return quadratic + cubic / 3 > bound;
    }
};

double dispersionOf(const PoissonFit &f, int df)
{
    return std::max(1.0, f.pearson / df);
}

// The variance factor of a contrast w of the coefficients: wᵀ(XᵀWX)⁻¹w.
double quadratic(const PoissonFit &f, const double *w)
{
    double v[MaxColumns];
    std::copy(w, w + f.q, v);
    // L⁻¹w, whose squared length is the form.
    double sum = 0;
    for (int i = 0; i < f.q; ++i) {
        double t = v[i];
        for (int m = 0; m < i; ++m)
            t -= f.factor[i * f.q + m] * v[m];
        v[i] = t / f.factor[i * f.q + i];
        sum += v[i] * v[i];
    }
    return sum;
}

// Years with cases before each index: casesBefore[b + 1] − casesBefore[a]
// years of [a, b] have cases.
void countYears(const double *c, std::size_t n, std::vector<int> &before)
{
    before.assign(n + 1, 0);
    for (std::size_t i = 0; i < n; ++i)
        before[i + 1] = before[i] + (c[i] > 0);
}

// The least deviance for each k, with its placement and its fit, over
// every allowed placement.
//
// Fitting every placement to its maximum would cost a few Newton steps
// each. Instead one walk over the placements takes, for each, the Newton
// step from the line's maximum (the line lies in every placement's model):
// with the hinges made W-orthonormal to the line and to one another as the
// walk descends (W = μ of the line), the step is the sum of the hinges'
// projections of the line's residuals c − μ, its decrease of the deviance
// λ² the sum of their squares, and the dual's floor (see PoissonNewton)
// bounds the placement's least deviance from below. The placement of the
// least D_line − λ² is fitted first, then the others in order, and one
// whose floor lies above the best deviance so far is not fitted (nor
// finished, once a step's floor is): the answer is the exhaustive
// search's.
class CountSearch
{
public:
    struct Best {
        double deviance = Unfitted;
        int ordinal = 0; // in lexicographic order: ties go to the earliest
        int joins[5] {};
        PoissonFit fit;
    };
    std::vector<Best> best; // [k]; k = 0 unused

    void run(const CountData &d, int n, int depth, const std::vector<int> &before,
        const PoissonFit &line, const std::vector<double> &mu)
    {
        data = &d;
        years = n;
        cases = &before;
        levels = depth;
        best.assign(std::size_t(depth) + 1, Best());
        if (depth == 0)
            return;
        candidates.resize(std::size_t(depth) + 1);
        for (auto &level : candidates)
            level.clear();
        orthogonalise(d, mu);
        base = line.deviance;
        margin = 1e-8 * (1 + line.deviance);
        ordinal = 0;
        descend(0, 2, 0);
        for (int k = 1; k <= depth; ++k)
            fitLevel(k, line);
    }

private:
    struct Candidate {
        double approximate, floor;
        int ordinal;
        int joins[5];
    };
    const CountData *data = nullptr;
    const std::vector<int> *cases = nullptr;
    int years = 0, levels = 0, ordinal = 0;
    double base = 0, margin = 0;
    int path[5] {};
    std::vector<double> weight, residual, hingeLevels, hingeSlopes, hinges, norms, products, basis,
        moments, steps;
    double centreYear = 0;
    double projections[5] {};
    std::vector<std::vector<Candidate>> candidates;
    PoissonNewton poisson;

    bool enough(int a, int b) const { return (*cases)[b + 1] - (*cases)[a] >= 2; }

    // The hinges (x − j)₊, j = 2..n − 3, less their W-projection on the
    // line, each with its W-norm and its product with the residuals.
    void orthogonalise(const CountData &d, const std::vector<double> &mu)
    {
        const int n = years;
        weight.assign(mu.begin(), mu.begin() + n);
        residual.resize(std::size_t(n));
        double total = 0, moment = 0;
        for (int i = 0; i < n; ++i) {
            residual[i] = d.c[i] - mu[i];
            total += weight[i];
            moment += weight[i] * i;
        }
        const double centre = moment / total;
        double spread = 0;
        for (int i = 0; i < n; ++i)
            spread += weight[i] * (i - centre) * (i - centre);
        hingeLevels.resize(std::size_t(n));
        hingeSlopes.resize(std::size_t(n));
        hinges.resize(std::size_t(n) * (n <= StoredYears ? n : 1));
        centreYear = centre;
        norms.resize(std::size_t(n));
        products.resize(std::size_t(n));
        for (int j = 2; j <= n - 3; ++j) {
            // The shorter of (x − j)₊ and (j − x)₊: they differ by a line,
            // and the short one's sums do not cancel.
            const bool left = j < n - 1 - j;
            const auto raw = [&](int i) { return left ? std::max(j - i, 0) : std::max(i - j, 0); };
            double level = 0, slope = 0;
            for (int i = left ? 0 : j + 1; i < (left ? j : n); ++i) {
                level += weight[i] * raw(i);
                slope += weight[i] * raw(i) * (i - centre);
            }
            hingeLevels[j] = level /= total;
            hingeSlopes[j] = slope /= spread;
            double norm = 0, product = 0;
            double *z = stored(j);
            for (int i = 0; i < n; ++i) {
                z[i] = raw(i) - level - slope * (i - centre);
                norm += weight[i] * z[i] * z[i];
                product += z[i] * residual[i];
            }
            norms[j] = norm;
            products[j] = product;
        }
        basis.resize(std::size_t(levels) * n);
        moments.resize(std::size_t(levels) * 4 * (n + 1));
        steps.resize(std::size_t(levels + 1) * n);
        std::fill(steps.begin(), steps.begin() + n, 0.0);
    }

    // The hinges less their lines are kept for the series of a table; a
    // series of centuries makes each again when it is needed, in n doubles
    // rather than n².
    static constexpr int StoredYears = 256;
    double *stored(int j)
    {
        return hinges.data() + (years <= StoredYears ? std::size_t(j) * years : 0);
    }
    const double *hingeLess(int j, bool left)
    {
        double *z = stored(j);
        if (years <= StoredYears)
            return z;
        for (int i = 0; i < years; ++i)
            z[i] = (left ? std::max(j - i, 0) : std::max(i - j, 0)) - hingeLevels[j]
                - hingeSlopes[j] * (i - centreYear);
        return z;
    }

    // The new direction e, the hinge z less its parts `along` the L before
    // it, scaled; the step u with e's share added; the least u, and the
    // dual's cubic term Σ w·u³/(1 + u)².
    template<int L>
    double direction(const double *z, const double *along, double scale, double projection,
        const double *stepBefore, double *e, double *step, double &least) const
    {
        const int n = years;
        double cubic = 0;
        for (int i = 0; i < n; ++i) {
            double v = z[i];
#pragma GCC unroll 4
            for (int m = 0; m < L; ++m)
                v -= along[m] * basis[std::size_t(m) * n + i];
            e[i] = v * scale;
            const double u = stepBefore[i] + projection * e[i];
            step[i] = u;
            least = std::min(least, u);
            cubic += weight[i] * u * u * u / ((1 + u) * (1 + u));
        }
        return cubic;
    }

    // Each placement that starts with `path[0..level)` and one more
    // joinpoint after `from`: the hinge's part W-orthogonal to those of the
    // joinpoints before it, the Newton step and its floor.
    void descend(int level, int from, double decrease)
    {
        const int n = years, last = n - 3;
        const int previous = level ? path[level - 1] : 0;
        double *e = basis.data() + std::size_t(level) * n;
        const double *stepBefore = steps.data() + std::size_t(level) * n;
        double *step = steps.data() + std::size_t(level + 1) * n;
        double along[5];
        for (int j = from; j <= last; ++j) {
            if (!enough(previous, j))
                continue;
            if (!enough(j, n - 1))
                break; // and every later j: their last segments are shorter
            path[level] = j;
            ++ordinal;
            const bool left = j < n - 1 - j;
            const double *z = hingeLess(j, left);
            double norm = norms[j], product = products[j];
            // The W-product of the hinge with an earlier direction f, which
            // is W-orthogonal to the line: Σ w·f·(x − j)₊ from the sums of
            // w·f after j, or Σ w·f·(j − x)₊ from those before, whichever
            // is shorter.
            for (int m = 0; m < level; ++m) {
                const double *sums = moments.data() + std::size_t(m) * 4 * (n + 1);
                const double *count = sums + (left ? 0 : 2) * (n + 1), *moment = count + (n + 1);
                const double sum = left ? j * count[j] - moment[j] : moment[j] - j * count[j];
                along[m] = sum;
                norm -= sum * sum;
                product -= sum * projections[m];
            }
            if (!(norm > 1e-12 * norms[j]))
                continue;
            const double scale = 1 / std::sqrt(norm);
            const double projection = product * scale;
            const double total = decrease + projection * projection;
            double least = 0, cubic = 0;
            switch (level) {
            case 0:
                cubic = direction<0>(z, along, scale, projection, stepBefore, e, step, least);
                break;
            case 1:
                cubic = direction<1>(z, along, scale, projection, stepBefore, e, step, least);
                break;
            case 2:
                cubic = direction<2>(z, along, scale, projection, stepBefore, e, step, least);
                break;
            case 3:
                cubic = direction<3>(z, along, scale, projection, stepBefore, e, step, least);
                break;
            default:
                cubic = direction<4>(z, along, scale, projection, stepBefore, e, step, least);
                break;
            }
            Candidate c {base - total, least > -1 ? base - total + cubic / 3 - margin : -Unfitted,
                ordinal, {}};
            std::copy(path, path + level + 1, c.joins);
            candidates[std::size_t(level) + 1].push_back(c);
            if (level + 1 < levels && j + 3 <= last) {
                // Σ w·e and Σ w·e·x before each year and after it.
                double *sums = moments.data() + std::size_t(level) * 4 * (n + 1);
                double *before = sums, *beforeMoment = sums + (n + 1);
                double *after = sums + 2 * (n + 1), *afterMoment = sums + 3 * (n + 1);
                before[0] = beforeMoment[0] = 0;
                for (int i = 0; i < n; ++i) {
                    const double we = weight[i] * e[i];
                    before[i + 1] = before[i] + we;
                    beforeMoment[i + 1] = beforeMoment[i] + we * i;
                }
                after[n - 1] = afterMoment[n - 1] = 0;
                for (int i = n - 1; i > 0; --i) {
                    const double we = weight[i] * e[i];
                    after[i - 1] = after[i] + we;
                    afterMoment[i - 1] = afterMoment[i] + we * i;
                }
                projections[level] = projection;
                descend(level + 1, j + 3, total);
            }
        }
    }

    void fitLevel(int k, const PoissonFit &line)
    {
        auto &list = candidates[std::size_t(k)];
        if (list.empty())
            return;
        // The most promising first, for a near bound from the start.
        std::swap(list.front(),
            *std::min_element(list.begin(), list.end(), [](const Candidate &a, const Candidate &b) {
                return a.approximate < b.approximate;
            }));
        // The line in the placement's terms: every segment's slope the
        // line's.
        double start[MaxColumns];
        start[0] = line.beta[0];
        std::fill(start + 1, start + k + 2, line.beta[1]);
        Best &record = best[std::size_t(k)];
        PoissonFit fit;
        for (const Candidate &c : list) {
            // Deviances within rounding of the best are tied: the earliest
            // placement wins.
            const double tolerance = 0x1p-40 * (1 + record.deviance);
            const double bound = record.deviance == Unfitted ? Unfitted
                : c.ordinal < record.ordinal                 ? record.deviance + tolerance
                                                             : record.deviance - tolerance;
            if (c.floor > bound)
                continue;
            poisson.fit(*data, years, c.joins, k, fit, start, bound);
            if (!fit.converged || fit.deviance > bound)
                continue;
            record.deviance = fit.deviance;
            record.ordinal = c.ordinal;
            std::copy(c.joins, c.joins + k, record.joins);
            record.fit = fit;
        }
    }
};

// The partial deviance R² of each joinpoint's hinge over the years from
// the joinpoint before it to the one after; the largest.
double largestPartialR2(const CountSeries &s, const int *joins, int k)
{
    thread_local CountData part;
    thread_local PoissonNewton poisson;
    double largest = 0;
    const int n = int(s.n);
    for (int i = 0; i < k; ++i) {
        const int lo = i ? joins[i - 1] : 0;
        const int hi = i + 1 < k ? joins[i + 1] : n - 1;
        const int m = hi - lo + 1;
        part.take(s, std::size_t(lo), std::size_t(m));
        PoissonFit line, hinge;
        poisson.fit(part, m, nullptr, 0, line);
        const int at = joins[i] - lo;
        poisson.fit(part, m, &at, 1, hinge);
        if (line.converged && hinge.converged && line.deviance > 0)
            largest = std::max(largest, std::clamp(1 - hinge.deviance / line.deviance, 0.0, 1.0));
    }
    return largest;
}

double penalty(JoinpointMethod method, int k, double r2)
{
    switch (method) {
    case JoinpointMethod::Bic:
    case JoinpointMethod::Permutation:
        break;
    case JoinpointMethod::Bic3:
        return 3.0 * k + 2;
    case JoinpointMethod::Wbic:
        return (2 + r2) * k + 2;
    }
    return 2.0 * k + 2;
}

// The segments with their APCs, the AAPC and the fitted rates of the
// chosen fit.
void describe(const PoissonFit &f, const int *joins, int k, const std::vector<std::int32_t> &years,
    const CountData &d, double per, const std::vector<double> &x, JoinpointFit &out)
{
    const int n = int(d.offset.size());
    const int q = k + 2;
    out.sse = f.deviance;
    out.degreesOfFreedom = n - 2 * k - 2;
    const double phi = dispersionOf(f, out.degreesOfFreedom);
    double weights[MaxColumns] {};
    double average = 0;
    for (int s = 0; s <= k; ++s) {
        const int start = s ? joins[s - 1] : 0;
        const int end = s < k ? joins[s] : n - 1;
        if (s < k)
            out.joinpoints.push_back(years[std::size_t(end)]);
        double unit[MaxColumns] {};
        unit[s + 1] = 1;
        out.segments.push_back(describeSegment(years[std::size_t(start)], years[std::size_t(end)],
            f.beta[s + 1], std::sqrt(phi * quadratic(f, unit)), out.degreesOfFreedom));
        weights[s + 1] = double(end - start) / (n - 1);
        average += weights[s + 1] * f.beta[s + 1];
    }
    const PercentChange a
        = percentChange(average, std::sqrt(phi * quadratic(f, weights)), out.degreesOfFreedom);
    out.aapc = a.apc;
    out.aapcLow = a.low;
    out.aapcHigh = a.high;
    out.aapcP = a.p;
    out.fitted.resize(std::size_t(n));
    const double scale = std::log(per);
    for (int i = 0; i < n; ++i) {
        double e = scale;
        for (int c = 0; c < q; ++c)
            e += f.beta[c] * x[std::size_t(c) * n + i];
        out.fitted[std::size_t(i)] = e;
    }
}

} // namespace

Reason countReason(const CountSeries &s)
{
    int years = 0;
    for (std::size_t i = 0; i < s.n; ++i)
        years += s.cases[i] > 0;
    return years == 0 ? Reason::NoCases : years == 1 ? Reason::CasesInOneYear : Reason::None;
}

CountLine fitCountLine(const CountSeries &s)
{
    CountLine line;
    line.reason = countReason(s);
    if (line.reason != Reason::None) {
        line.change = {NoValue, NoValue, NoValue, NoValue};
        return line;
    }
    thread_local CountData d;
    thread_local PoissonNewton poisson;
    thread_local std::vector<double> x;
    const int n = int(s.n);
    d.take(s, 0, s.n);
    PoissonFit f;
    poisson.fit(d, n, nullptr, 0, f);
    assert(f.converged);
    line.degreesOfFreedom = n - 2;
    line.dispersion = dispersionOf(f, line.degreesOfFreedom);
    line.deviance = f.deviance;
    line.slope = f.beta[1];
    const double unit[2] = {0, 1};
    line.slopeError = std::sqrt(line.dispersion * quadratic(f, unit));
    line.change = percentChange(line.slope, line.slopeError, line.degreesOfFreedom);
    return line;
}

JoinpointFit fitCountJoinpoints(const std::vector<std::int32_t> &years, const CountSeries &s,
    double per, const JoinpointOptions &options)
{
    const int n = int(s.n);
    assert(n >= 3 && years.size() >= s.n);
    JoinpointFit out;
    out.reason = countReason(s);
    if (out.reason != Reason::None)
        return out;
    thread_local CountData d;
    thread_local std::vector<int> before;
    thread_local CountSearch search;
    thread_local PoissonNewton poisson;
    d.take(s, 0, s.n);
    countYears(s.cases, s.n, before);
    const int depth = searchDepth(n, options, countPlacementBudget, out);
    std::vector<PoissonFit> fits(std::size_t(depth) + 1);
    poisson.fit(d, n, nullptr, 0, fits[0]);
    search.run(d, n, depth, before, fits[0], poisson.means());

    // The most joinpoints with an allowed placement give the dispersion
    // that scales every k's deviance.
    int most = 0;
    for (int k = 1; k <= depth; ++k) {
        if (search.best[std::size_t(k)].deviance == Unfitted)
            continue;
        fits[std::size_t(k)] = search.best[std::size_t(k)].fit;
        most = k;
    }
    const double phi = dispersionOf(fits[std::size_t(most)], n - 2 * most - 2);
    int chosen = 0;
    double least = Unfitted;
    for (int k = 0; k <= most; ++k) {
        const PoissonFit &f = fits[std::size_t(k)];
        if (!f.converged)
            continue;
        const int *joins = search.best[std::size_t(k)].joins;
        const double r2 = options.method == JoinpointMethod::Wbic && k > 0
            ? largestPartialR2(s, joins, k)
            : 0.0;
        const double value = f.deviance / phi + penalty(options.method, k, r2) * std::log(n);
        if (value < least) {
            least = value;
            chosen = k;
        }
    }
    const int *joins = search.best[std::size_t(chosen)].joins;
    thread_local std::vector<double> x;
    buildRamps(n, joins, chosen, x);
    describe(fits[std::size_t(chosen)], joins, chosen, years, d, per, x, out);
    return out;
}

std::optional<CountBounds> expectedCount(
    const CountSeries &baseline, double ahead, double population)
{
    if (countReason(baseline) != Reason::None)
        return std::nullopt;
    thread_local CountData d;
    thread_local PoissonNewton poisson;
    const int n = int(baseline.n);
    d.take(baseline, 0, baseline.n);
    PoissonFit f;
    poisson.fit(d, n, nullptr, 0, f);
    if (!f.converged)
        return std::nullopt;
    const double phi = dispersionOf(f, n - 2);
    const double at[2] = {1, ahead - (n - 1) / 2.0};
    const double mu = population * std::exp(f.beta[0] + f.beta[1] * at[1]);
    const double tau = phi + mu * phi * quadratic(f, at);
    const double z = 1.959963984540054;
    const double s = std::sqrt(4.0 / 9 * std::cbrt(mu) * tau);
    const double centre = std::pow(mu, 2.0 / 3);
    const double low = centre > z * s ? std::pow(centre - z * s, 1.5) : 0.0;
    return CountBounds {mu, low, std::pow(centre + z * s, 1.5)};
}

} // namespace stats
