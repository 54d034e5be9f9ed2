#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The batch tool's trend statistics against independent implementations:
statsmodels for APC, the prediction interval and Durbin-Watson, SciPy for
Sen's slope and its interval, and the textbook Mann-Kendall test with
SciPy's normal distribution. Series with ties, zeros, negative values,
constant ones and n from 5 to 200. The same summary as an Excel workbook,
read back with openpyxl, holds the same numbers as numeric cells.


    stats_check.py VANTOREL_BATCH
"""
import csv, math, subprocess, sys, tempfile
import numpy as np
import openpyxl
import statsmodels.api as sm
from scipy import stats
from statsmodels.stats.stattools import durbin_watson

rng = np.random.default_rng(2026)
kinds = {
    "trend": lambda n: 50 + 2 * np.arange(n) + rng.normal(0, 5, n),
    "ties": lambda n: np.round(rng.normal(20, 2, n)),
    "zeros": lambda n: np.maximum(0, np.round(rng.normal(1, 1.5, n))),
    "negative": lambda n: rng.normal(0, 10, n) - 0.5 * np.arange(n),
    "constant": lambda n: np.full(n, 7.0),
    "falling": lambda n: 300 * 0.97 ** np.arange(n) * rng.lognormal(0, 0.05, n),
}
series = [(f"{k}-{n}", f(n)) for k, f in kinds.items() for n in (5, 6, 9, 20, 57, 200)]

def textbook_mann_kendall(y):
    n = len(y)
    s = sum(np.sign(y[j] - y[i]) for i in range(n) for j in range(i + 1, n))
    _, ties = np.unique(y, return_counts=True)
    var = (n * (n - 1) * (2 * n + 5) - sum(t * (t - 1) * (2 * t + 5) for t in ties)) / 18
    z = (s - 1) / math.sqrt(var) if s > 0 else (s + 1) / math.sqrt(var) if s < 0 else 0.0
    return s, z, 2 * stats.norm.sf(abs(z))

def expected(y, first):
    n = len(y)
    x = np.arange(first, first + n, dtype=float)
    xc = x - x.mean()  # the same line, without calendar years' lost digits
    fit = sm.OLS(y, sm.add_constant(xc)).fit()
    frame = fit.get_prediction(np.array([[1.0, x[-1] + 1 - x.mean()]])).summary_frame(alpha=0.05)
    out = {"ols_forecast": frame["mean"][0], "ols_pi95_low": frame["obs_ci_lower"][0],
           "ols_pi95_high": frame["obs_ci_upper"][0], "ols_durbin_watson": durbin_watson(fit.resid)}
    if np.ptp(y) == 0:  # no residual variance: nothing to test, nothing to correlate
        out["ols_durbin_watson"] = math.nan
    if (y > 0).all():
        log = sm.OLS(np.log(y), sm.add_constant(xc)).fit()
        b, se, t = log.params[1], log.bse[1], stats.t.ppf(0.975, n - 2)
        out.update(apc=100 * (math.exp(b) - 1), apc_ci95_low=100 * (math.exp(b - t * se) - 1),
                   apc_ci95_high=100 * (math.exp(b + t * se) - 1),
                   apc_p_value=log.pvalues[1] if np.ptp(y) else math.nan)
    else:
        out.update(apc=math.nan, apc_ci95_low=math.nan, apc_ci95_high=math.nan, apc_p_value=math.nan)
    out["mk_s"], out["mk_z"], out["mk_p_value"] = textbook_mann_kendall(y)
    sen = stats.theilslopes(y, x, alpha=0.95)
    out.update(sen_slope=sen[0], sen_ci95_low=sen[2], sen_ci95_high=sen[3])
    return out

def close(got, want, column, scale):
    if math.isnan(want) or math.isnan(got):
        return math.isnan(want) and math.isnan(got)
    relative = 1e-12 if column.startswith("sen_") else 1e-9
    return abs(got - want) <= relative * max(abs(want), scale) + 1e-12

with tempfile.TemporaryDirectory() as work:
    table = f"{work}/table.csv"
    with open(table, "w") as f:
        f.write("series," + ",".join(str(2001 + i) for i in range(200)) + "\n")
        for name, y in series:
            f.write(name + "," + ",".join(f"{v:.2f}" for v in y) + "," * (200 - len(y)) + "\n")
    subprocess.run([sys.argv[1], table, "-o", f"{work}/summary.csv", "--segments",
                    f"{work}/segments.csv"], check=True)
    rows = list(csv.DictReader(open(f"{work}/summary.csv")))
    segments = list(csv.reader(open(f"{work}/segments.csv")))
    subprocess.run([sys.argv[1], table, "--format", "xlsx", "-o", f"{work}/summary.xlsx"], check=True)
    book = openpyxl.load_workbook(f"{work}/summary.xlsx")
    sheet = list(book["Сводка"].iter_rows(values_only=True))
    segment_sheet = list(book["Отрезки"].iter_rows(values_only=True))

failures = 0
# The workbook: a Russian header, then each CSV number as a number (empty
# where it is not finite), to the 16 digits libxlsxwriter writes.
if sheet[0][:3] != ("series", "первый год", "последний год") or len(sheet) != len(rows) + 1:
    print(f"workbook header {sheet[0][:3]}, {len(sheet)} rows")
    failures += 1
for row, cells in zip(rows, sheet[1:]):
    for (column, text), cell in zip(row.items(), cells):
        if column == "jp_years":  # a text, "2008;2013", that may look like one year
            continue
        try:
            number = float(text)
        except ValueError:
            continue
        if not math.isfinite(number) and cell is None:
            continue
        if not isinstance(cell, (int, float)) or abs(cell - number) > 1e-15 * abs(number):
            print(f"{row['series']}: the workbook has {cell!r} for {text}")
            failures += 1

# The segments sheet: the segments table, a row a segment, numbers as numbers.
if len(segment_sheet) != len(segments):
    print(f"the segments sheet has {len(segment_sheet)} rows, the table {len(segments)}")
    failures += 1
for line, cells in zip(segments[1:], segment_sheet[1:]):
    for text, cell in zip(line, cells):
        if text != str(cell) and not (text == "nan" and cell is None) and not (
                isinstance(cell, (int, float)) and abs(float(text) - cell) <= 1e-15 * abs(cell)):
            print(f"segments: the workbook has {cell!r} for {text}")
            failures += 1

for (name, y), row in zip(series, rows, strict=True):
    # The statistics read each value as written, at double precision.
    y = np.array([float(f"{v:.2f}") for v in y])
    want_all = expected(y, 2001)
    # SciPy 1.10's t quantile is off by about 7e-10 (Boost's agrees with
    # 40-digit arithmetic), so an interval bound is held to its width.
    width = abs(want_all["ols_pi95_high"] - want_all["ols_pi95_low"])
    for column, want in want_all.items():
        got = float(row[column] or "nan")  # empty: the statistic does not exist
        if not close(got, float(want), column, width if "pi95" in column else 0):
            print(f"{name}: {column} is {got!r}, expected {float(want)!r}")
            failures += 1
    if (y > 0).all() == bool(row["apc_note"]):
        print(f"{name}: apc_note «{row['apc_note']}»")
        failures += 1
print(f"stats_check: {len(series)} series, {failures} differences")
sys.exit(1 if failures else 0)
