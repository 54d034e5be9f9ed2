#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The batch tool's joinpoint fits (the summary's columns and the segments
table) against a plain exhaustive search with numpy, on random series of 5
to 40 years with 0 to 2 breaks; the permutation test on noise and on one
large break, with 499 permutations, not 4,499, to keep the run short.

    joinpoint_check.py VANTOREL_BATCH
"""
import csv, functools, itertools, math, subprocess, sys, tempfile
import numpy as np
from scipy import stats

@functools.lru_cache(None)
def placements(n, k):
    return np.array([c for c in itertools.combinations(range(2, n - 2), k)
                     if all(b - a >= 3 for a, b in zip(c, c[1:]))]).reshape(-1, k)

def design(n, js):
    x = np.arange(n, dtype=float)
    return np.column_stack([np.ones(n), x - x.mean()] + [np.maximum(x - j, 0) for j in js])

@functools.lru_cache(None)
def least(key, k):  # every placement by QR, batched; the first of equal SSEs
    y = np.frombuffer(key)
    n, cands, sse = len(y), placements(len(y), k), []
    hinges = np.maximum(np.arange(n) - np.arange(n)[:, None], 0.0)
    for part in np.array_split(cands, len(cands) // 10000 + 1):
        line = np.broadcast_to(design(n, ()), (len(part), n, 2))
        q = np.linalg.qr(np.concatenate([line, hinges[part].transpose(0, 2, 1)], axis=2))[0]
        r = y - (q @ (q.transpose(0, 2, 1) @ y[:, None]))[..., 0]
        sse.append((r * r).sum(axis=1))
    return tuple(cands[int(np.argmin(np.concatenate(sse)))])

def r2max(y, js):
    out, knots = 0.0, [0, *js, len(y) - 1]
    for i, j in enumerate(js):
        x = np.arange(knots[i], knots[i + 2] + 1, dtype=float)
        line = np.column_stack([np.ones_like(x), x])
        rest = lambda v: v - line @ np.linalg.lstsq(line, v, rcond=None)[0]
        ry, rz = rest(y[knots[i]:knots[i + 2] + 1]), rest(np.maximum(x - j, 0))
        out = max(out, (ry @ rz) ** 2 / ((ry @ ry) * (rz @ rz)))
    return out

def expected(values, method, most):
    y = np.log(values)
    n = len(y)
    most = min(min(5, (n - 2) // 5) if most < 0 else most, (n - 2) // 3)
    models = []
    for k in range(most + 1):
        js = least(y.tobytes(), k) if k else ()
        beta, sse = np.linalg.lstsq(design(n, js), y, rcond=None)[:2]
        models.append((js, beta, float(sse[0])))
    penalty = {"bic": lambda k, js: 2 * k + 2, "bic3": lambda k, js: 3 * k + 2,
               "wbic": lambda k, js: (2 + (r2max(y, js) if k else 0)) * k + 2}[method]
    k = min(range(most + 1), key=lambda k: math.log(models[k][2] / n)
            + penalty(k, models[k][0]) * math.log(n) / n)
    js, beta, sse = models[k]
    df = n - 2 * k - 2
    inverse = np.linalg.inv(np.linalg.qr(design(n, js), mode="r"))
    cov, t = sse / df * inverse @ inverse.T, stats.t.ppf(0.975, df)
    for _ in range(2):  # SciPy's ppf misses by up to 4e-9; its sf does not
        t += (stats.t.sf(t, df) - 0.025) / stats.t.pdf(t, df)
    contrasts = np.array([[0, 1] + [1] * s + [0] * (k - s) for s in range(k + 1)], float)
    knots = np.array([0, *js, n - 1])
    def stat(c):
        b, se = c @ beta, math.sqrt(c @ cov @ c)
        return [b, *(100 * math.expm1(b + d * t * se) for d in (0, -1, 1)),
                2 * stats.t.sf(abs(b / se), df)]
    return {"joinpoints": [2001 + j for j in js],
            "segments": [[2001 + knots[s], 2001 + knots[s + 1], *stat(c)]
                         for s, c in enumerate(contrasts)],
            "aapc": stat(np.diff(knots) / (n - 1) @ contrasts)[1:]}

def run(method, series, most, permutations=4499):
    """Each series' fit as the summary and the segments table give it."""
    with tempfile.TemporaryDirectory() as work:
        with open(f"{work}/table.csv", "w") as f:
            f.write("series," + ",".join(str(2001 + i) for i in range(40)) + "\n")
            for i, y in enumerate(series):
                f.write(f"s{i}," + ",".join(repr(v) for v in y) + "," * (40 - len(y)) + "\n")
        subprocess.run([sys.argv[1], f"{work}/table.csv", "-q", "-o", f"{work}/summary.csv",
                        "--segments", f"{work}/segments.csv", "--joinpoints", method,
                        "--permutations", str(permutations), "--seed", "7"]
                       + (["--max-joinpoints", str(most)] if most >= 0 else []), check=True)
        rows = list(csv.DictReader(open(f"{work}/summary.csv")))
        segments = list(csv.DictReader(open(f"{work}/segments.csv")))
    numbers = lambda row, keys: [float(row[key]) for key in keys]
    return [{"joinpoints": [int(year) for year in row["jp_years"].split(";") if year],
             "aapc": numbers(row, ("aapc", "aapc_ci95_low", "aapc_ci95_high", "aapc_p_value")),
             "segments": [[int(s["start_year"]), int(s["end_year"])]
                          + numbers(s, ("log_slope", "apc", "apc_ci95_low", "apc_ci95_high",
                                        "apc_p_value"))
                          for s in segments if s["series"] == row["series"]]} for row in rows]

def close(got, want):
    if isinstance(want, list):
        return len(got) == len(want) and all(close(g, w) for g, w in zip(got, want))
    return abs(got - want) <= 1e-9 * abs(want) + 1e-13

rng = np.random.default_rng(335)
def trend(n, changes={}, noise=0.05):  # changes: {index: change of the log slope}
    x = np.arange(n)
    return np.exp(3 + 0.02 * x + sum(d * np.maximum(x - j, 0) for j, d in changes.items())
                  + rng.normal(0, noise, n))

series = [trend(n, dict(zip(rng.integers(2, n - 2, k), rng.normal(0, 0.1, k))))
          for n in range(5, 41) for k in (0, 1, 2)]
failures = 0
for method, most in ("wbic", -1), ("bic", -1), ("bic3", 2):
    for y, got in zip(series, run(method, series, most)):
        wrong = [key for key, value in expected(y, method, most).items() if not close(got[key], value)]
        failures += bool(wrong)
        for key in wrong:
            print(f"{method} n={len(y)} {key}: got {got[key]}, want {expected(y, method, most)[key]}")

# The permutation test: k = 0 on noise, and a break of 0.3 found.
noise = [trend(20) for _ in range(200)]
where = rng.integers(5, 15, 200)
null = sum(fit["joinpoints"] == [] for fit in run("permutation", noise, -1, 499))
found = sum(2001 + j in fit["joinpoints"]
            for j, fit in zip(where, run("permutation", [trend(20, {j: -0.3}) for j in where], -1, 499)))
print(f"permutation: k = 0 in {null} of 200 noise series, the break in {found} of 200")
failures += (null < 180) + (found < 190)
print(f"{len(series) * 3 + 2 - failures} passed, {failures} failed")
sys.exit(failures > 0)
