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
bool cholesky(double *h, int q)
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
void solveFactored(const double *l, int q, double *b)
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
    std::vector<double> offset; // ln P
    std::vector<double> logRate; // ln(c / P) where c > 0
    double saturated = 0; // Σ c·ln c − c, 0·ln 0 = 0: the deviance's constant
    double total = 0;

    void take(const CountSeries &s, std::size_t from, std::size_t n)
    {
        c = s.cases + from;
        offset.resize(n);
        logRate.resize(n);
        saturated = total = 0;
        for (std::size_t i = 0; i < n; ++i) {
            offset[i] = std::log(s.population[from + i]);
            logRate[i] = c[i] > 0 ? std::log(c[i]) - offset[i] : 0.0;
            saturated += c[i] > 0 ? c[i] * (logRate[i] + offset[i]) - c[i] : 0.0;
            total += c[i];
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
};

// The Poisson fit of the counts over `n` years on the design `x` (column
// major, q columns). Starts from the weighted least-squares line of the log
// rates with weights c, one Newton step from μ = c, and takes Newton steps,
// halved while the deviance does not fall, until the step's decrease of the
// deviance is below rounding.
class PoissonNewton
{
public:
    void fit(const CountData &d, const double *x, int n, int q, PoissonFit &f)
    {
        f.q = q;
        f.converged = false;
        eta.resize(std::size_t(n));
        mu.resize(std::size_t(n));
        // Start: Σ c·x·xᵀ β = Σ c·x·ln(c/P).
        double h[MaxColumns * MaxColumns] {}, g[MaxColumns] {};
        for (int i = 0; i < n; ++i) {
            const double w = d.c[i];
            if (w == 0)
                continue;
            for (int a = 0; a < q; ++a) {
                const double xa = w * x[a * n + i];
                g[a] += xa * d.logRate[i];
                for (int b = 0; b <= a; ++b)
                    h[a * q + b] += xa * x[b * n + i];
            }
        }
        if (!cholesky(h, q))
            return;
        solveFactored(h, q, g);
        std::copy(g, g + q, f.beta);
        double deviance = devianceAt(d, x, n, q, f.beta);
        // The tolerance on the decrease: what rounding leaves of Σ c·ln μ.
        const double floor = 1e-13 * (1 + d.total);
        for (int iteration = 0; iteration < 200; ++iteration) {
            std::fill(h, h + q * q, 0.0);
            std::fill(g, g + q, 0.0);
            for (int i = 0; i < n; ++i) {
                const double r = d.c[i] - mu[i];
                for (int a = 0; a < q; ++a) {
                    const double xa = x[a * n + i];
                    g[a] += r * xa;
                    const double wa = mu[i] * xa;
                    for (int b = 0; b <= a; ++b)
                        h[a * q + b] += wa * x[b * n + i];
                }
            }
            if (!cholesky(h, q))
                return;
            double step[MaxColumns];
            std::copy(g, g + q, step);
            solveFactored(h, q, step);
            double decrease = 0;
            for (int a = 0; a < q; ++a)
                decrease += g[a] * step[a];
            bool negligible = true;
            for (int a = 0; a < q; ++a)
                negligible = negligible && std::fabs(step[a]) <= 1e-13 * (1 + std::fabs(f.beta[a]));
            if (decrease <= floor * 1e-6 || negligible) {
                std::copy(h, h + q * q, f.factor);
                f.deviance = deviance;
                f.pearson = 0;
                for (int i = 0; i < n; ++i)
                    f.pearson += (d.c[i] - mu[i]) * (d.c[i] - mu[i]) / mu[i];
                f.converged = true;
                return;
            }
            double trial[MaxColumns], length = 1;
            for (int halving = 0; halving < 60; ++halving, length /= 2) {
                for (int a = 0; a < q; ++a)
                    trial[a] = f.beta[a] + length * step[a];
                const double next = devianceAt(d, x, n, q, trial);
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

private:
    std::vector<double> eta, mu;

    // The deviance at beta; leaves μ at beta.
    double devianceAt(const CountData &d, const double *x, int n, int q, const double *beta)
    {
        double linear = 0, sum = 0;
        for (int i = 0; i < n; ++i) {
            double e = d.offset[i];
            for (int a = 0; a < q; ++a)
                e += beta[a] * x[a * n + i];
            eta[i] = e;
            mu[i] = std::exp(e);
            linear += d.c[i] * e;
            sum += mu[i];
        }
        const double deviance = 2 * (d.saturated - linear + sum);
        return std::isfinite(deviance) ? std::max(deviance, 0.0) : Unfitted;
    }
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

// The least deviance for each k, with its placement, over every allowed
// placement in lexicographic order.
class CountSearch
{
public:
    struct Best {
        double deviance = Unfitted;
        int joins[5] {};
    };
    std::vector<Best> best; // [k]

    void run(const CountData &d, int n, int depth, const std::vector<int> &before)
    {
        data = &d;
        years = n;
        cases = &before;
        best.assign(std::size_t(depth) + 1, Best());
        for (int k = 1; k <= depth; ++k) {
            levels = k;
            descend(0, 2);
        }
    }

private:
    const CountData *data = nullptr;
    const std::vector<int> *cases = nullptr;
    int years = 0, levels = 0;
    int path[5] {};
    std::vector<double> x;
    PoissonNewton poisson;
    PoissonFit fit;

    bool enough(int a, int b) const { return (*cases)[b + 1] - (*cases)[a] >= 2; }

    void descend(int level, int from)
    {
        const int n = years, last = n - 3;
        const int previous = level ? path[level - 1] : 0;
        // What the joinpoints after this one need: three years each.
        const int room = 3 * (levels - level - 1);
        for (int j = from; j <= last - room; ++j) {
            if (!enough(previous, j))
                continue;
            path[level] = j;
            if (level + 1 < levels) {
                descend(level + 1, j + 3);
                continue;
            }
            if (!enough(j, n - 1))
                continue;
            buildRamps(n, path, levels, x);
            poisson.fit(*data, x.data(), n, levels + 2, fit);
            Best &record = best[std::size_t(levels)];
            if (fit.converged && fit.deviance < record.deviance - 0x1p-40 * (1 + record.deviance)) {
                record.deviance = fit.deviance;
                std::copy(path, path + levels, record.joins);
            }
        }
    }
};

// The partial deviance R² of each joinpoint's hinge over the years from
// the joinpoint before it to the one after; the largest.
double largestPartialR2(const CountSeries &s, const int *joins, int k)
{
    thread_local CountData part;
    thread_local PoissonNewton poisson;
    thread_local std::vector<double> x;
    double largest = 0;
    const int n = int(s.n);
    for (int i = 0; i < k; ++i) {
        const int lo = i ? joins[i - 1] : 0;
        const int hi = i + 1 < k ? joins[i + 1] : n - 1;
        const int m = hi - lo + 1;
        part.take(s, std::size_t(lo), std::size_t(m));
        PoissonFit line, hinge;
        buildRamps(m, nullptr, 0, x);
        poisson.fit(part, x.data(), m, 2, line);
        const int at = joins[i] - lo;
        buildRamps(m, &at, 1, x);
        poisson.fit(part, x.data(), m, 3, hinge);
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
        Segment segment;
        segment.start = years[std::size_t(start)];
        segment.end = years[std::size_t(end)];
        segment.logSlope = f.beta[s + 1];
        segment.slopeError = std::sqrt(phi * quadratic(f, unit));
        const PercentChange c = percentChange(segment.logSlope, segment.slopeError,
            out.degreesOfFreedom);
        segment.apc = c.apc;
        segment.apcLow = c.low;
        segment.apcHigh = c.high;
        segment.pValue = c.p;
        out.segments.push_back(segment);
        weights[s + 1] = double(end - start) / (n - 1);
        average += weights[s + 1] * f.beta[s + 1];
    }
    const PercentChange a = percentChange(
        average, std::sqrt(phi * quadratic(f, weights)), out.degreesOfFreedom);
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
    buildRamps(n, nullptr, 0, x);
    PoissonFit f;
    poisson.fit(d, x.data(), n, 2, f);
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
    d.take(s, 0, s.n);
    countYears(s.cases, s.n, before);
    const int depth = searchDepth(n, options, countPlacementBudget, out);
    search.run(d, n, depth, before);

    // The most joinpoints with an allowed placement give the dispersion
    // that scales every k's deviance.
    thread_local std::vector<double> x;
    thread_local PoissonNewton poisson;
    std::vector<PoissonFit> fits(std::size_t(depth) + 1);
    int most = 0;
    for (int k = 0; k <= depth; ++k) {
        if (k > 0 && search.best[std::size_t(k)].deviance == Unfitted)
            continue;
        buildRamps(n, search.best[std::size_t(k)].joins, k, x);
        poisson.fit(d, x.data(), n, k + 2, fits[std::size_t(k)]);
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
    thread_local std::vector<double> x;
    const int n = int(baseline.n);
    d.take(baseline, 0, baseline.n);
    buildRamps(n, nullptr, 0, x);
    PoissonFit f;
    poisson.fit(d, x.data(), n, 2, f);
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
