#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The reporting year's columns of the batch tool against numpy and SciPy:
random series and tables of case counts (zero counts too), with the default
year and baseline and with a year and a baseline named, by each kind of
bounds. Values are read as the tool reads them: the practice columns through
single precision, the prediction interval as written, rates from counts at
double precision.

    report_check.py VANTOREL_BATCH
"""
import csv, math, subprocess, sys, tempfile
import numpy as np
from scipy import stats

rng = np.random.default_rng(31)
FIRST, YEARS = 2001, 30

def practice(y):  # the trend form's codes: zero left out for an even count
    n = len(y)
    t = np.arange(n) - n // 2 if n % 2 else np.r_[np.arange(-(n // 2), 0), np.arange(1, n // 2 + 1)]
    b = float(np.sum(y * t)) / float(np.sum(t * t))
    return np.mean(y) + b * t, b

def block(v, exact, first, year, frm, to, cases=None, pop=None, per=1e5):
    last = first + len(v) - 1
    T = year or last
    out = dict.fromkeys(COLUMNS, math.nan)
    out["report_year"] = T
    if not first <= T <= last:
        return out
    at = lambda y: y - first
    out["report_value"] = v[at(T)]
    if T > first:
        out["prev_value"] = v[at(T) - 1]
        if v[at(T) - 1]:
            out["change_prev_pct"] = (v[at(T)] / v[at(T) - 1] - 1) * 100
    if cases is not None:
        c = cases[at(T)]
        low = stats.chi2.ppf(0.025, 2 * c) / 2 if c > 0 else 0.0
        out.update(report_ci95_low=low * per / pop[at(T)],
                   report_ci95_high=stats.chi2.ppf(0.975, 2 * c + 2) / 2 * per / pop[at(T)])
    if to and to >= T:
        return out
    a, b = max(first, frm or first), min(T - 1, to or T - 1)
    if b < a:
        return out
    base = v[at(a):at(b) + 1]
    out["smu"] = base.mean()
    if out["smu"]:
        out["smu_ratio"] = v[at(T)] / out["smu"]
    if len(base) >= 5:
        levels, slope = practice(base)
        e = max(0.0, levels[-1] + slope * (T - b))  # a line below 0 expects 0
        d = base - levels
        out.update(expected=e, expected_high=e + (d[d > 0].mean() if (d > 0).any() else 0),
                   expected_low=max(0.0, e - (-d[d < 0].mean() if (d < 0).any() else 0)))
        x, y = np.arange(a, b + 1, dtype=float), exact[at(a):at(b) + 1]
        fit = stats.linregress(x, y)
        s = math.sqrt(np.sum((y - fit.intercept - fit.slope * x) ** 2) / (len(x) - 2))
        w = stats.t.ppf(0.975, len(x) - 2) * s * math.sqrt(
            1 + 1 / len(x) + (T - x.mean()) ** 2 / np.sum((x - x.mean()) ** 2))
        out.update(pi_report_low=max(0.0, fit.intercept + fit.slope * T - w),
                   pi_report_high=max(0.0, fit.intercept + fit.slope * T + w))
    return out

COLUMNS = ["report_year", "report_value", "prev_value", "change_prev_pct", "smu", "smu_ratio",
           "expected", "expected_low", "expected_high", "pi_report_low", "pi_report_high",
           "report_ci95_low", "report_ci95_high"]

def verdict(w, by):
    low, high = {"normative": ("expected_low", "expected_high"),
                 "prediction": ("pi_report_low", "pi_report_high")}.get(by, (None, None))
    if by == "poisson":
        e, lo, hi = w["expected"], w["report_ci95_low"], w["report_ci95_high"]
        return "" if math.isnan(e) or math.isnan(lo) else "above" if e < lo else "below" if e > hi else "within"
    v, lo, hi = w["report_value"], w[low], w[high]
    return "" if math.isnan(lo) else "above" if v > hi else "below" if v < lo else "within"

def run(table, args):  # the reporting year's block needs no joinpoint search
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([sys.argv[1], table, "-q", "-o", f"{work}/s.csv", "--joinpoints", "off"] + args,
                       check=False)
        return list(csv.DictReader(open(f"{work}/s.csv")))

failures = checked = 0
with tempfile.TemporaryDirectory() as work:
    plain, counts = f"{work}/plain.csv", f"{work}/counts.csv"
    rows = []
    with open(plain, "w") as f:
        f.write("ряд," + ",".join(str(FIRST + i) for i in range(YEARS)) + "\n")
        for i in range(120):
            n, start = int(rng.integers(1, 26)) + 5, int(rng.integers(0, 5))
            n = min(n, YEARS - start)
            y = np.round(np.maximum(0, rng.normal(20, 8, n) + rng.normal(0, 1) * np.arange(n)), 2)
            if i % 10 == 0:
                y[-1] = 0
            rows.append((FIRST + start, y))
            f.write(f"s{i}," + "," * start + ",".join(f"{v:.2f}" for v in y) + "," * (YEARS - start - n) + "\n")
    with open(counts, "w") as f:
        f.write("ряд," + ",".join(f"случаи {FIRST + i}" for i in range(YEARS))
                + "," + ",".join(f"население {FIRST + i}" for i in range(YEARS)) + "\n")
        tables = []
        for i in range(60):
            c = rng.poisson(rng.uniform(0.5, 30), YEARS).astype(float)
            p = rng.integers(20000, 400000, YEARS).astype(float)
            tables.append((c, p))
            f.write(f"c{i}," + ",".join(f"{v:.0f}" for v in c) + "," + ",".join(f"{v:.0f}" for v in p) + "\n")
    rates = ["--cases", "случаи", "--population", "население"]
    for year, frm, to in [(0, 0, 0), (2024, 2005, 2019), (2020, 0, 2014)]:
        args = (["--year", str(year)] if year else []) + (["--baseline", f"{frm or 1900}-{to}"] if to else [])
        for by in ("normative", "prediction", "poisson"):
            cases = []
            if by != "poisson":
                for (first, y), got in zip(rows, run(plain, args + ["--expected-by", by]), strict=True):
                    v = np.array([float(np.float32(x)) for x in y])
                    cases.append((got, block(v, y, first, year, frm, to)))
            for (c, p), got in zip(tables, run(counts, args + rates + ["--expected-by", by]), strict=True):
                r = c * 1e5 / p
                cases.append((got, block(r, r, FIRST, year, frm, to, c, p)))
            for got, want in cases:
                checked += 1
                width = abs(want["pi_report_high"] - want["pi_report_low"])
                for column in COLUMNS:
                    if column not in got:
                        continue
                    g, w = float(got[column] or "nan"), float(want[column])
                    scale = width if column.startswith("pi_") else abs(w)
                    if (math.isnan(g) != math.isnan(w)) or (not math.isnan(w) and abs(g - w) > 1e-9 * max(scale, abs(w)) + 1e-12):
                        print(f"{got['ряд']} {args} {by}: {column} is {g!r}, expected {w!r}")
                        failures += 1
                if got["verdict"] != verdict(want, by):
                    print(f"{got['ряд']} {args} {by}: verdict {got['verdict']!r}, expected {verdict(want, by)!r}")
                    failures += 1
print(f"report_check: {checked} assessments, {failures} differences")
sys.exit(1 if failures else 0)
