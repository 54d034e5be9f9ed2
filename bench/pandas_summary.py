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
- the least-squares line over calendar years: slope, its standard error,
  95% interval, p-value (SciPy's t distribution) and R², the forecast for
  the year after the series with its 95% prediction interval, and the
  Durbin-Watson statistic of the residuals;
- the annual percent change of ln y over the years, with its interval and
  p-value; for a series with a value of 0 or below the cells are empty, as
  the tool leaves a statistic that does not exist, and a note says why;
- the Mann-Kendall test with tie-corrected variance and continuity
  correction, and Sen's slope with its rank interval as
  scipy.stats.theilslopes gives it.

Everything but the practice method reads the cells at double precision, as
written. It is written as a numpy user would write it: whole-array
operations over all series at once, the n(n - 1)/2 pairwise differences
a chunk of rows at a time so that memory stays modest, and no Python loop
over series.
"""
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
NON_POSITIVE = "есть значения ≤ 0: логарифм не определён"


def practice_columns(y, years):
    """The practice method over values y (rows x n) read through float32."""
    n = y.shape[1]
    half = n // 2
    if n % 2:
        codes = np.arange(-half, half + 1, dtype=np.float64)
    else:
        codes = np.concatenate([np.arange(-half, 0), np.arange(1, half + 1)]).astype(np.float64)
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
    crit = stats.t.ppf(0.975, df)
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
    for columns in (practice_columns(single, years), ols_columns(years, double),
                    apc_columns(years, double), rank_columns(years, double)):
        for name, column in columns.items():
            out[name] = column
    # Floats are spelled as repr spells them, the shortest that reads back.
    out.to_csv(target, index=False, na_rep="nan")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
