#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Every column of the batch summary with pandas, numpy and SciPy, for comparison.

    pandas_summary.py TABLE OUT

Reads a wide table (two label columns, then consecutive years, every cell
filled) and writes the columns vantorel-batch writes for it, in its order:

- the practice method: total, mean, the slope over symmetric codes (zero
  left out for even n), the four indicators, the class with its Russian
  line, the forecast. These read each value through single precision
  (np.float32, then widened), as the window stores it;
- the reporting year with the tool's defaults: each series' last year
  against the year before and the years before it (the baseline): their
  mean, the practice line over them continued to the year with its
  normative bounds, the least-squares prediction interval, the verdict;
- the least-squares line over calendar years: slope, its standard error,
  95% interval, p-value (SciPy's t distribution) and R², the forecast for
  the year after the series with its 95% prediction interval, and the
  Durbin-Watson statistic of the residuals;
- the annual percent change of ln y over the years, with its interval and
  p-value; for a series with a value of 0 or below the cells are empty, as
  the tool leaves a statistic that does not exist, and a note says why;
- the Mann-Kendall test with tie-corrected variance and continuity
  correction, and Sen's slope with its rank interval as
  scipy.stats.theilslopes gives it;
- joinpoint regression of ln y by the weighted BIC, up to the tool's
  default number of joinpoints: their count and years, the AAPC and the
  last segment's APC with intervals and p-values, empty cells with a note
  for a series with a value of 0 or below.

Everything but the practice method reads the cells at double precision, as
written. It is written as a numpy user would write it: whole-array
operations over all series at once, the n(n - 1)/2 pairwise differences
a chunk of rows at a time so that memory stays modest, and no Python loop
over series: the joinpoint search loops over placements instead, each the
same design for every series.
"""
import itertools
import math
import sys

import numpy as np
import pandas as pd
from scipy import special, stats

# Rows per chunk for the pairwise arrays: 190 doubles a row for 20 years,
# so about 30 MB each.
CHUNK = 20_000

CLASS_LINES = {
    "pronounced": "Выраженная тенденция.",
    "moderate": "Умеренная тенденция.",
    "stable": "Стабильная тенденция (отсутствие изменения).",
}
VERDICTS = {"above": "выше ожидаемого", "within": "в пределах ожидаемого",
            "below": "ниже ожидаемого"}
NON_POSITIVE = "есть значения ≤ 0: логарифм не определён"
LONG_SERIES = "ряд длинный: искали не больше {} точек перелома"

# Rows per chunk of the joinpoint search: the projections on the hinges of
# the 220 placements of 3 joinpoints in 20 years, the most of any k, are
# 660 doubles a row, so about 50 MB.
JP_CHUNK = 10_000
# The placements a search may visit over all k it searches, as the tool
# counts them: past it the tool searches fewer joinpoints and says so.
PLACEMENT_BUDGET = 1e7
# What the tool counts as rounding, as a share of the log values' scale.
ROUNDING_SHARE = 2.0 ** -40


def symmetric_codes(n):
    """The practice method's codes of n years: zero left out for even n."""
    half = n // 2
    if n % 2:
        return np.arange(-half, half + 1, dtype=np.float64)
    return np.concatenate([np.arange(-half, 0), np.arange(1, half + 1)]).astype(np.float64)


def practice_columns(y, years):
    """The practice method over values y (rows x n) read through float32."""
    n = y.shape[1]
    codes = symmetric_codes(n)
    total = y.sum(axis=1)
    mean = total / n
    slope = (y * codes).sum(axis=1) / (codes * codes).sum()
    first = codes[0] * slope + mean
    last = codes[-1] * slope + mean
    absolute = last - first
    with np.errstate(divide="ignore", invalid="ignore"):
        rate = 100 * absolute / first
        annual = 100 * slope / mean
    klass = np.where(np.abs(annual) > 5, "pronounced",
                     np.where(np.abs(annual) > 1, "moderate", "stable"))
    return {
        "first_year": years[0],
        "last_year": years[-1],
        "n": n,
        "total": total,
        "mean": mean,
        "slope": slope,
        "absolute_change": absolute,
        "average_absolute_change": absolute / (n - 1),
        "change_rate": rate,
        "average_annual_change_rate": annual,
        "trend_class": klass,
        "trend_class_ru": pd.Series(klass).map(CLASS_LINES).to_numpy(),
        "forecast_year": years[-1] + 1,
        "forecast_level": last + slope,
    }


def critical_t(df):
    """Student's t 0.975 quantile, as Boost gives it to the tool: SciPy's
    ppf misses by up to 4e-9 (relative, at 39 degrees of freedom; 4e-14 at
    18), its sf does not, so two Newton steps on the sf."""
    t = stats.t.ppf(0.975, df)
    for _ in range(2):
        t = t + (stats.t.sf(t, df) - 0.025) / stats.t.pdf(t, df)
    return t


def least_squares(years, y):
    """The line through each row of y over the years, centred on their mean.

    A flat row is fitted by its first value, so that its residuals are
    exactly zero and what needs them is NaN, not noise.
    """
    n = y.shape[1]
    x = years - years.mean()
    x_next = years[-1] + 1 - years.mean()
    sxx = (x * x).sum()
    flat = (y == y[:, :1]).all(axis=1)
    mean = np.where(flat, y[:, 0], y.mean(axis=1))
    yc = y - mean[:, None]
    slope = (yc * x).sum(axis=1) / sxx
    resid = yc - slope[:, None] * x
    sse = (resid * resid).sum(axis=1)
    syy = (yc * yc).sum(axis=1)
    df = n - 2
    crit = critical_t(df)
    se = np.sqrt(sse / df / sxx)
    forecast = mean + slope * x_next
    margin = crit * np.sqrt(sse / df * (1 + 1 / n + x_next * x_next / sxx))
    with np.errstate(divide="ignore", invalid="ignore"):
        t = slope / se
        r2 = np.where(syy > 0, 1 - sse / syy, np.nan)
        durbin_watson = (np.diff(resid, axis=1) ** 2).sum(axis=1) / sse
    return {
        "slope": slope,
        "se": se,
        "low": slope - crit * se,
        "high": slope + crit * se,
        "p": 2 * stats.t.sf(np.abs(t), df),
        "r2": r2,
        "forecast": forecast,
        "pi_low": forecast - margin,
        "pi_high": forecast + margin,
        "durbin_watson": durbin_watson,
    }


BELOW_ZERO = "линия тенденции базы ниже нуля: ожидаемый уровень принят за 0"


def report_columns(years, single, double):
    """The reporting year's block with the tool's defaults: the last year
    against the one before and against the years before it, the baseline,
    with the normative bounds deciding the verdict."""
    value, previous, base = single[:, -1], single[:, -2], single[:, :-1]
    n = base.shape[1]
    codes = symmetric_codes(n)
    mean = base.sum(axis=1) / n
    slope = (base * codes).sum(axis=1) / (codes * codes).sum()
    levels = codes * slope[:, None] + mean[:, None]
    line = levels[:, -1] + slope * (years[-1] - years[-2])
    expected = np.maximum(line, 0)  # a line below 0 expects 0, and says so
    d = base - levels
    ups, downs = (d > 0).sum(axis=1), (d < 0).sum(axis=1)
    above = np.where(d > 0, d, 0).sum(axis=1) / np.maximum(ups, 1)
    below = np.where(d < 0, -d, 0).sum(axis=1) / np.maximum(downs, 1)
    high, low = expected + above, np.maximum(0, expected - below)
    fit = least_squares(years[:-1], double[:, :-1])  # its forecast is the reporting year's
    verdict = np.where(value > high, "above", np.where(value < low, "below", "within"))
    with np.errstate(divide="ignore", invalid="ignore"):
        change = absent(previous == 0, (value / previous - 1) * 100)
        ratio = absent(mean == 0, value / mean)
    return {
        "report_year": years[-1],
        "report_value": value,
        "prev_value": previous,
        "change_prev_pct": change,
        "smu": mean,
        "smu_ratio": ratio,
        "expected": expected,
        "expected_low": low,
        "expected_high": high,
        "pi_report_low": np.maximum(fit["pi_low"], 0),
        "pi_report_high": np.maximum(fit["pi_high"], 0),
        "verdict": verdict,
        "verdict_ru": pd.Series(verdict).map(VERDICTS).to_numpy(),
        "report_note": np.where(line < 0, BELOW_ZERO, ""),
    }


def ols_columns(years, y):
    fit = least_squares(years, y)
    return {
        "ols_slope_per_year": fit["slope"],
        "ols_slope_se": fit["se"],
        "ols_ci95_low": fit["low"],
        "ols_ci95_high": fit["high"],
        "ols_p_value": fit["p"],
        "ols_r2": fit["r2"],
        "ols_forecast": fit["forecast"],
        "ols_pi95_low": fit["pi_low"],
        "ols_pi95_high": fit["pi_high"],
        "ols_durbin_watson": fit["durbin_watson"],
    }


def absent(missing, column):
    """column with an empty cell wherever `missing` is set: the tool writes
    no cell for a statistic that does not exist for its series, and "nan"
    only for one that exists and is not a number."""
    column = np.asarray(column).astype(object)
    column[missing] = ""
    return column


def apc_columns(years, y):
    """The log-linear fit; a NaN log carries NaN through every sum of its row."""
    positive = (y > 0).all(axis=1)
    fit = least_squares(years, np.log(np.where(y > 0, y, np.nan)))
    return {
        # A table without counts has the log-linear model and no dispersion.
        "trend_model": np.full(len(y), "loglinear"),
        "dispersion": np.full(len(y), ""),
        "apc": absent(~positive, 100 * np.expm1(fit["slope"])),
        "apc_ci95_low": absent(~positive, 100 * np.expm1(fit["low"])),
        "apc_ci95_high": absent(~positive, 100 * np.expm1(fit["high"])),
        "apc_p_value": absent(~positive, fit["p"]),
        "apc_note": np.where(positive, "", NON_POSITIVE),
    }


def rank_columns(years, y):
    """Mann-Kendall and Sen's slope, from the pairwise differences."""
    n = y.shape[1]
    i, j = np.triu_indices(n, 1)
    count = len(i)
    z_crit = stats.norm.ppf(0.025)
    s = np.empty(len(y), dtype=np.int64)
    variance = np.empty(len(y))
    sen = np.empty(len(y))
    low = np.empty(len(y))
    high = np.empty(len(y))
    for start in range(0, len(y), CHUNK):
        rows = slice(start, start + CHUNK)
        chunk = y[rows]
        difference = chunk[:, j] - chunk[:, i]
        s[rows] = np.sign(difference).sum(axis=1)
        # How many values equal each one, itself included: a tie group of
        # t takes t(t - 1)(2t + 5) from the variance, (t - 1)(2t + 5) for
        # each of its values.
        same = (chunk[:, :, None] == chunk[:, None, :]).sum(axis=2)
        ties = ((same - 1) * (2 * same + 5)).sum(axis=1)
        variance[rows] = (n * (n - 1) * (2 * n + 5) - ties) / 18
        # Sen's rank interval, as scipy.stats.theilslopes computes it. The
        # slopes need be in order only at the ranks some row of the chunk
        # asks for: the median's and the bounds', which vary with the ties.
        sigma = np.sqrt(variance[rows])
        upper = np.minimum(np.rint((count - z_crit * sigma) / 2), count - 1).astype(np.intp)
        lower = np.maximum(np.rint((count + z_crit * sigma) / 2) - 1, 0).astype(np.intp)
        middle = count // 2
        ranks = np.unique(np.concatenate([lower, upper, [middle - 1, middle]]))
        slopes = np.partition(difference / (years[j] - years[i]), ranks, axis=1)
        low[rows] = np.take_along_axis(slopes, lower[:, None], axis=1)[:, 0]
        high[rows] = np.take_along_axis(slopes, upper[:, None], axis=1)[:, 0]
        sen[rows] = slopes[:, middle] if count % 2 else (slopes[:, middle] + slopes[:, middle - 1]) / 2
    root = np.sqrt(variance)
    with np.errstate(divide="ignore", invalid="ignore"):  # a flat row: S = 0, no variance
        z = np.where(s > 0, (s - 1) / root, np.where(s < 0, (s + 1) / root, 0.0))
    return {
        "mk_s": s,
        "mk_z": z,
        "mk_p_value": special.erfc(np.abs(z) / np.sqrt(2)),
        "sen_slope": sen,
        "sen_ci95_low": low,
        "sen_ci95_high": high,
    }


def placements(n, k):
    """Every allowed placement of k joinpoints among n years, as indices, in
    the order the tool's search visits them: each joinpoint two years or
    more from either end and from the next, the joinpoints not counted."""
    inner = itertools.combinations(range(2, n - 2), k)
    allowed = [c for c in inner if all(b - a >= 3 for a, b in zip(c, c[1:]))]
    return np.array(allowed, dtype=np.intp).reshape(len(allowed), k)


def hinge_bases(n, places):
    """For each placement (P x k), an orthonormal basis (P x n x k) of its
    hinges (x - j)+ less their least-squares line: what the placement adds
    to the line."""
    x = np.arange(n, dtype=np.float64)
    centred = x - x.mean()
    line = np.column_stack([np.ones(n) / math.sqrt(n), centred / np.linalg.norm(centred)])
    hinges = np.maximum(x[None, :, None] - places[:, None, :], 0.0)
    hinges -= line @ (line.T @ hinges)
    return np.linalg.qr(hinges)[0]


def segment_fit(yc, joins, zero_bound, unit):
    """The broken line with joinpoints at `joins` (indices) fitted to every
    row of yc (centred logs, all with the same years), as the tool refits
    its chosen models: ln y less its mean on one centred ramp a segment, by
    QR, so that each coefficient is a segment's slope.

    Returns the SSE (0 where it is rounding), R²max, and the slopes and the
    unscaled standard errors (σ = 1) of the AAPC and of the last segment.
    """
    rows, n = yc.shape
    x = np.arange(n)
    knots = np.array([0, *joins, n - 1])
    ramps = np.column_stack([np.clip(x - a, 0, b - a) for a, b in zip(knots, knots[1:])])
    ramps = ramps - ramps.mean(axis=0)
    q, r = np.linalg.qr(ramps)
    inverse = np.linalg.inv(r)  # (XᵀX)⁻¹ = R⁻¹R⁻ᵀ
    slopes = yc @ q @ inverse.T
    residuals = yc - yc.mean(axis=1, keepdims=True) - slopes @ ramps.T
    sse = np.einsum("ij,ij->i", residuals, residuals)
    sse[sse <= zero_bound] = 0.0
    # R²max: for each joinpoint, the partial R² of its hinge given a line,
    # over the years from the joinpoint before it to the one after; 0 where
    # a line fits those years to rounding.
    r2max = np.zeros(rows)
    for i, j in enumerate(joins):
        lo, hi = knots[i], knots[i + 2]
        window = np.arange(lo, hi + 1, dtype=np.float64)
        line = np.column_stack([np.ones_like(window), window - window.mean()])
        rest = np.eye(len(window)) - line @ np.linalg.pinv(line)
        ry = yc[:, lo:hi + 1] @ rest
        rz = rest @ np.maximum(window - j, 0.0)
        yy = np.einsum("ij,ij->i", ry, ry)
        with np.errstate(divide="ignore", invalid="ignore"):
            r2 = np.minimum(1.0, (ry @ rz) ** 2 / (yy * (rz @ rz)))
        r2max = np.maximum(r2max, np.where(yy > len(window) * unit, r2, 0.0))
    weights = np.diff(knots) / (n - 1)
    return {
        "sse": sse,
        "r2max": r2max,
        "aapc": slopes @ weights,
        "aapc_scale": np.linalg.norm(inverse.T @ weights),
        "last": slopes[:, -1],
        "last_scale": np.linalg.norm(inverse[-1]),
    }


def joinpoint_columns(years, y):
    """Joinpoint regression of ln y on every row of y (rows x n consecutive
    years), as the tool fits it by default: the weighted BIC chooses among
    k = 0 up to min(5, (n - 2) / 5) joinpoints, each k's placement the one
    of least SSE over every allowed placement.

    The search, vectorised over rows: for each placement the line's
    residuals r0 of all rows of a chunk are projected on its hinges, one
    matrix product for all placements of a k, and SSE = |r0|² - |projection|².
    The least SSE wins, ties within the tool's rounding bound to the earliest
    placement. Then each k's chosen model is refitted, rows grouped by
    their placement (one design for a whole group), for its SSE and R²max,
    and the WBIC (ties to fewer joinpoints) picks k. The chosen model's
    AAPC (the slopes weighted by their segments' lengths) and last segment
    get their 95% intervals and p-values from Student's t on n - 2k - 2
    degrees of freedom. A row with a value of 0 or below has empty cells
    and a note.
    """
    rows, n = y.shape
    positive = (y > 0).all(axis=1)
    logs = np.log(y[positive])
    # Centred on the mean; a flat series on its value, so that it fits exactly.
    flat = (logs == logs[:, :1]).all(axis=1)
    yc = logs - np.where(flat, logs[:, 0], logs.mean(axis=1))[:, None]
    # A log is rounded by about its unit in the last place: an SSE below
    # this bound is rounding, not misfit, and counts as 0.
    unit = (ROUNDING_SHARE * (1 + np.abs(logs).max(axis=1))) ** 2
    zero_bound = n * unit

    ceiling = min(min(5, (n - 2) // 5), max(0, (n - 2) // 3))
    most, visited = 0, 0
    while most < ceiling and visited + math.comb(n - 4 - 2 * most, most + 1) <= PLACEMENT_BUDGET:
        most += 1
        visited += math.comb(n - 2 - 2 * most, most)
    places = [placements(n, k) for k in range(most + 1)]
    bases = [hinge_bases(n, p).transpose(1, 0, 2).reshape(n, -1) for p in places]

    # The search: each k's placement of least SSE, the first of those whose
    # SSEs differ by less than the tool's rounding bound.
    x = np.arange(n, dtype=np.float64) - (n - 1) / 2
    chosen = np.zeros((len(yc), most + 1), dtype=np.intp)
    for start in range(0, len(yc), JP_CHUNK):
        part = yc[start:start + JP_CHUNK]
        centred = part - part.mean(axis=1, keepdims=True)
        r0 = centred - np.outer(centred @ x / (x @ x), x)
        sst = np.einsum("ij,ij->i", centred, centred)
        sse0 = np.einsum("ij,ij->i", r0, r0)
        tolerance = ROUNDING_SHARE * np.sqrt(sst * sse0) + zero_bound[start:start + JP_CHUNK]
        for k in range(1, most + 1):
            projected = (r0 @ bases[k]).reshape(len(part), -1, k)
            sse = sse0[:, None] - np.einsum("ipk,ipk->ip", projected, projected)
            record = np.full(len(part), np.inf)
            best = chosen[start:start + JP_CHUNK, k]
            for placement in range(len(places[k])):
                better = sse[:, placement] < record - tolerance
                record[better] = sse[better, placement]
                best[better] = placement

    # Each k's model refitted, a group of rows with the same placement at a
    # time; the criterion of each, and what is reported of each.
    fits = {key: np.empty((len(yc), most + 1)) for key in
            ("sse", "r2max", "aapc", "aapc_scale", "last", "last_scale")}
    for k in range(most + 1):
        order = np.argsort(chosen[:, k], kind="stable")
        found, first = np.unique(chosen[order, k], return_index=True)
        for placement, group in zip(found, np.split(order, first[1:])):
            fit = segment_fit(yc[group], places[k][placement], zero_bound[group], unit[group])
            for key, value in fit.items():
                fits[key][group, k] = value
    ks = np.arange(most + 1)
    with np.errstate(divide="ignore"):
        criterion = (np.log(fits["sse"] / n)
                     + ((2 + fits["r2max"]) * ks + 2) * math.log(n) / n)
    criterion[fits["sse"] == 0] = -np.inf  # nothing fits better than exactly
    count = np.argmin(criterion, axis=1)
    pick = lambda key: np.take_along_axis(fits[key], count[:, None], axis=1)[:, 0]
    joins = np.take_along_axis(chosen, count[:, None], axis=1)[:, 0]

    df = n - 2 * count - 2
    sigma = np.sqrt(pick("sse") / df)
    critical = critical_t(n - 2 * ks - 2)[count]

    def describe(slope, scale):
        error = sigma * scale
        with np.errstate(divide="ignore", invalid="ignore"):
            p = 2 * stats.t.sf(np.abs(slope / error), df)
        return (100 * np.expm1(slope), 100 * np.expm1(slope - critical * error),
                100 * np.expm1(slope + critical * error), p)

    aapc = describe(pick("aapc"), pick("aapc_scale"))
    last = describe(pick("last"), pick("last_scale"))
    # Each placement's years spelled once, looked up for every row.
    spelled = [np.array([";".join(str(years[j]) for j in p) for p in ps], dtype=object)
               for ps in places]
    starts = [years[ps[:, -1]] if k else years[:1] for k, ps in enumerate(places)]
    jp_years = np.empty(len(yc), dtype=object)
    last_start = np.empty(len(yc), dtype=np.int64)
    for k in range(most + 1):
        at = count == k
        jp_years[at] = spelled[k][joins[at]]
        last_start[at] = starts[k][joins[at]]

    def spread(column):  # the positive rows' values into every row, empty elsewhere
        out = np.full(rows, "", dtype=object)
        out[positive] = np.asarray(column).astype(object)
        return out

    note = LONG_SERIES.format(most) if most < ceiling else ""
    return {
        "jp_count": spread(count),
        "jp_years": spread(jp_years),
        "aapc": spread(aapc[0]),
        "aapc_ci95_low": spread(aapc[1]),
        "aapc_ci95_high": spread(aapc[2]),
        "aapc_p_value": spread(aapc[3]),
        "last_segment_start": spread(last_start),
        "last_apc": spread(last[0]),
        "last_apc_ci95_low": spread(last[1]),
        "last_apc_ci95_high": spread(last[2]),
        "last_apc_p_value": spread(last[3]),
        "jp_note": np.where(positive, note, NON_POSITIVE),
    }


def main(source, target):
    # Each cell read as Python reads a float, correctly rounded: pandas' own
    # parser may miss the last bit of a long number.
    table = pd.read_csv(source, float_precision="round_trip")
    years = np.array([int(c) for c in table.columns[2:]])
    cells = table.iloc[:, 2:]
    # The practice method reads each value through single precision, as the
    # window stores it; the statistics read it as written.
    single = cells.to_numpy(dtype=np.float32).astype(np.float64)
    double = cells.to_numpy(dtype=np.float64)
    out = table.iloc[:, :2].copy()
    for columns in (practice_columns(single, years), report_columns(years, single, double),
                    ols_columns(years, double),
                    apc_columns(years, double), rank_columns(years, double),
                    joinpoint_columns(years, double)):
        for name, column in columns.items():
            out[name] = column
    # Floats are spelled as repr spells them, the shortest that reads back.
    out.to_csv(target, index=False, na_rep="nan")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
