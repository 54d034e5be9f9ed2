#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The batch tool's quasi-Poisson model of case counts against statsmodels'
GLM (Poisson, offset ln P, Pearson's scale) and an exhaustive joinpoint
search by a batched Newton's method in numpy, on rare diseases with many
zeros, over-dispersed counts, one or two breaks, a run of years without
cases, cases in one year only or none, n from 5 to 30: the line and its
dispersion, the joinpoints by wbic, bic and bic3, the segments (and the
score equations at the tool's own slopes), AAPC, the last APC, the expected
count's bounds and verdict; populations ten times larger change no APC.

    counts_check.py VANTOREL_BATCH
"""
import csv, functools, itertools, math, os, subprocess, sys, tempfile
import numpy as np
import statsmodels.api as sm
from scipy import stats

NONE, ONE = "случаев нет ни в одном году", "случаи менее чем в двух годах: тенденция не оценивается"

@functools.lru_cache(None)
def placements(n, k):
    out = [c for c in itertools.combinations(range(2, n - 2), k) if all(b - a >= 3 for a, b in zip(c, c[1:]))]
    return np.array(out, int).reshape(len(out), k)

def design(n, js, lo=0):
    x = np.arange(lo, lo + n, dtype=float)
    return np.column_stack([np.ones(n), x - x.mean()] + [np.maximum(x - j, 0) for j in js])

def deviance(c, mu):
    with np.errstate(divide="ignore", invalid="ignore"):
        return 2 * np.sum(np.where(c > 0, c * np.log(c / mu), 0) - (c - mu), axis=-1)

def poisson(X, c, off):
    """Poisson fits for a batch of designs X (B, n, p) by Newton's method, the step halved while
    the deviance grows, until every score is within 1e-10 of its scale, then two steps more."""
    beta = np.zeros(X.shape[::2])
    beta[:, 0] = math.log(c.sum() / np.exp(off).sum())
    mu = lambda b: np.exp(np.einsum("bnp,bp->bn", X, b) + off)
    d, extra = deviance(c, mu(beta)), 0
    with np.errstate(over="ignore", invalid="ignore"):
        for _ in range(200):
            m = mu(beta)
            score = np.einsum("bnp,bn->bp", X, c - m)
            extra += np.all(np.abs(score) <= 1e-10 * np.einsum("bnp,bn->bp", np.abs(X), c + m))
            if extra > 2:
                break
            step = np.linalg.solve(np.einsum("bnp,bn,bnq->bpq", X, m, X), score[..., None])[..., 0]
            for _ in range(60):
                dn = deviance(c, mu(beta + step))
                worse = ~(dn <= d * (1 + 1e-12) + 1e-300)
                if extra or not worse.any():
                    break
                step[worse] /= 2
            beta, d = beta + step, dn
        else:
            raise RuntimeError("the reference fit did not converge")
    m = mu(beta)
    return beta, d, np.einsum("bnp,bn,bnq->bpq", X, m, X), np.sum((c - m) ** 2 / m, axis=1)

@functools.lru_cache(None)
def search(key, k):  # the placements of k joinpoints whose every segment has cases in two years; deviances
    c, P = np.frombuffer(key).reshape(2, -1)
    n, cands, seen = len(c), placements(len(c), k), np.r_[0, np.cumsum(c > 0)]
    knots = np.column_stack([np.zeros(len(cands), int), cands, np.full(len(cands), n - 1)])
    cands = cands[(seen[knots[:, 1:] + 1] - seen[knots[:, :-1]] >= 2).all(axis=1)]
    hinges = np.maximum(np.arange(n) - np.arange(n)[:, None], 0.0)
    devs = [poisson(np.concatenate([np.broadcast_to(design(n, ()), (len(part), n, 2)),
                                    hinges[part].transpose(0, 2, 1)], axis=2), c, np.log(P))[1]
            for part in np.array_split(cands, len(cands) // 2000 + 1) if len(part)]
    return cands, np.concatenate(devs) if devs else np.zeros(0)

def glm_line(c, P, lo=0):  # statsmodels: β, its covariance with φ̂ clamped at 1, φ̂, the deviance
    fit = sm.GLM(c, design(len(c), (), lo), family=sm.families.Poisson(), offset=np.log(P)).fit(
        scale="X2", tol=1e-12, maxiter=300)
    return fit.params, fit.cov_params() * max(1.0, fit.scale) / fit.scale, max(1.0, fit.scale), fit.deviance

def model(c, P, method, most, hint):
    """The joinpoint model the tool should choose. The tool's joinpoints `hint` are taken where they
    are as good to rounding: a tie, not a fault."""
    n, key, off = len(c), np.concatenate([c, P]).tobytes(), np.log(P)
    most = min(min(5, (n - 2) // 5) if most < 0 else most, (n - 2) // 3)
    fits = list(itertools.takewhile(lambda f: len(f[0]), (search(key, k) for k in range(most + 1))))
    picks, K, h = [tuple(cands[int(np.argmin(devs))]) for cands, devs in fits], len(fits) - 1, len(hint)
    if h <= K and np.any(fits[h][1][(fits[h][0] == hint).all(axis=1)] <= fits[h][1].min() * (1 + 1e-9) + 1e-12):
        picks[h] = tuple(hint)
    one = lambda js, lo=0, hi=n - 1: poisson(design(hi - lo + 1, js, lo)[None], c[lo:hi + 1], off[lo:hi + 1])
    phiK = max(1.0, one(picks[K])[3][0] / (n - 2 * K - 2))
    def r2max(js):  # the partial deviance R² of each hinge between its neighbours
        knots, d = [0, *js, n - 1], lambda i, js: one(js, knots[i], knots[i + 2])[1][0]
        return max(1 - d(i, (j,)) / d(i, ()) if d(i, ()) > 0 else 0.0 for i, j in enumerate(js))
    penalty = {"bic": lambda k: 2 * k + 2, "bic3": lambda k: 3 * k + 2,
               "wbic": lambda k: (2 + (r2max(picks[k]) if k else 0)) * k + 2}[method]
    crit = [fits[k][1].min() / phiK + penalty(k) * math.log(n) for k in range(K + 1)]
    k = min(range(K + 1), key=crit.__getitem__)
    k = h if h <= K and crit[h] <= crit[k] + 1e-9 * abs(crit[k]) else k
    js, knots, df = picks[k], np.array([0, *picks[k], n - 1]), n - 2 * k - 2
    beta, _, H, X2 = one(js)
    cov, t = max(1.0, X2[0] / df) * np.linalg.inv(H[0]), stats.t.ppf(0.975, df)
    def stat(w):
        b, se = w @ beta[0], math.sqrt(w @ cov @ w)
        return [b, *(100 * math.expm1(b + s * t * se) for s in (0, -1, 1)), 2 * stats.t.sf(abs(b / se), df)]
    contrasts = np.array([[0, 1] + [1] * s + [0] * (k - s) for s in range(k + 1)], float)
    return {"joinpoints": list(js), "aapc": stat(np.diff(knots) / (n - 1) @ contrasts)[1:],
            "last": [knots[-2], *stat(contrasts[-1])[1:]],
            "segments": [[knots[s], knots[s + 1], *stat(w)] for s, w in enumerate(contrasts)]}

def bounds(c, P, T, a, b, per=1e5):  # the rates of year T's expected count and bounds by the line over a..b
    if b - a + 1 < 5 or np.count_nonzero(c[a:b + 1]) < 2:
        return [math.nan] * 3
    beta, cov, phi, _ = glm_line(c[a:b + 1], P[a:b + 1], a)
    x = np.array([1.0, T - (a + b) / 2])
    mu, z = P[T] * math.exp(x @ beta), stats.norm.ppf(0.975)
    s = math.sqrt(4 / 9 * mu ** (1 / 3) * (phi + mu * (x @ cov @ x)))
    low = (mu ** (2 / 3) - z * s) ** 1.5 if mu ** (2 / 3) > z * s else 0.0
    return [v * per / P[T] for v in (mu, low, (mu ** (2 / 3) + z * s) ** 1.5)]

def verdict(c, qp, P, per=1e5):
    return "" if math.isnan(qp[2]) else "above" if c > qp[2] * P / per else "below" if c < qp[1] * P / per else "within"

rng = np.random.default_rng(4242)
def counts(kind, n):
    t, log = np.arange(n) - (n - 1) / 2, math.log
    P = np.rint(math.exp(rng.uniform(log(5e3), log(5e5))) * np.exp(rng.uniform(-0.02, 0.02) * t))
    eta = rng.uniform(*((log(0.2), log(4)) if kind == "rare" else (log(5), log(3000)))) + rng.uniform(-0.08, 0.08) * t
    k = min({"break": 1, "breaks": 2}.get(kind, 0), (n - 2) // 3)
    if k:
        js = placements(n, k)[rng.integers(len(placements(n, k)))]
        eta += sum(rng.choice([-1, 1]) * rng.uniform(0.1, 0.3) * np.maximum(np.arange(n) - j, 0) for j in js)
    mu = np.exp(eta) * (rng.gamma(s := rng.uniform(2, 30), 1 / s, n) if kind in ("overdispersed", "break") else 1)
    c = rng.poisson(mu).astype(float)
    if kind == "gap":  # at the start, the end or anywhere
        w = int(rng.integers(3, min(7, n - 1)))
        c[(start := int(rng.choice([0, n - w, rng.integers(0, n - w + 1)]))):start + w] = 0
    if kind in ("one", "zeros"):
        c[:], c[rng.integers(n)] = 0, rng.integers(1, 30) if kind == "one" else 0
    return c, P

KINDS = ["rare", "rare", "common", "overdispersed", "overdispersed", "break", "breaks", "breaks", "gap"]
series = {n: [(kind, counts(kind, n)) for kind in KINDS + [("one", "zeros")[n % 2]]] for n in range(5, 31)}

def run(args, scale=1):
    """The summary's and the segments' rows by (disease, district), a table for each length."""
    rows, segments = {}, {}
    with tempfile.TemporaryDirectory() as work:
        for n, group in series.items():
            with open(f"{work}/t.csv", "w") as f:
                f.write("disease,district," + ",".join(f"{w} {y}" for w in ("случаи", "население")
                                                      for y in range(2025 - n, 2025)) + "\n")
                for i, (kind, (c, P)) in enumerate(group):
                    f.write(f"{kind},n{n}-{i}," + ",".join(f"{v:.0f}" for v in np.r_[c, P * scale]) + "\n")
            done = subprocess.run([sys.argv[1], f"{work}/t.csv", "--cases", "случаи", "--population", "население",
                                   "-q", "-o", f"{work}/s.csv", "--segments", f"{work}/g.csv", "--model",
                                   "quasipoisson"] + args, capture_output=True, text=True)
            if done.returncode not in (0, 1) or not os.path.exists(f"{work}/s.csv"):
                sys.exit(f"vantorel-batch {' '.join(args)} failed ({done.returncode}): {done.stderr.strip()}")
            rows.update(((r["disease"], r["district"]), r) for r in csv.DictReader(open(f"{work}/s.csv")))
            for r in csv.DictReader(open(f"{work}/g.csv")):
                segments.setdefault((r["disease"], r["district"]), []).append(r)
            os.remove(f"{work}/s.csv")
    return rows, segments

def close(got, want, floor=1e-10):
    if isinstance(want, (list, tuple)):
        return len(got) == len(want) and all(close(g, w, floor) for g, w in zip(got, want))
    if isinstance(want, str):
        return got == want
    return (math.isnan(got) and math.isnan(want)) or abs(got - want) <= 1e-7 * abs(want) + floor

num = lambda row, keys: [float(row[k]) if row[k] != "" else math.nan for k in keys]
APC = ("apc", "apc_ci95_low", "apc_ci95_high", "apc_p_value")
AAPC = ("aapc", "aapc_ci95_low", "aapc_ci95_high", "aapc_p_value")
LAST = ("last_segment_start", "last_apc", "last_apc_ci95_low", "last_apc_ci95_high", "last_apc_p_value")
QP = ("qp_expected", "qp_low", "qp_high")
SEG = ("start_year", "end_year", "log_slope", "apc", "apc_ci95_low", "apc_ci95_high", "apc_p_value")
checked = failures = 0
for method, most in ("wbic", -1), ("bic", -1), ("bic3", 2):
    rows, segs = run(["--joinpoints", method, "--expected-by", "quasipoisson"]
                     + (["--max-joinpoints", str(most)] if most >= 0 else []))
    if method == "wbic":
        tenfold = run(["--expected-by", "quasipoisson"], scale=10)[0]
        moved = run(["--expected-by", "quasipoisson", "--year", "2023", "--baseline", "2000-2020"])[0]
    for n, group in series.items():
        first = 2025 - n
        for i, (kind, (c, P)) in enumerate(group):
            label, wrong = (kind, f"n{n}-{i}"), []
            if label not in rows or (method == "wbic" and not (label in tenfold and label in moved)):
                print(f"{method} {kind}/n{n}-{i}: no row in a summary")
                checked, failures = checked + 1, failures + 1
                continue
            row, got = rows[label], segs.get(label, [])
            expect = lambda column, g, w, floor=1e-10: close(g, w, floor) or wrong.append((column, g, w))
            if np.count_nonzero(c) < 2:
                expect("notes", [row["apc_note"], row["jp_note"]], [NONE if not c.any() else ONE] * 2)
                expect("empty cells", [row[k] for k in APC + AAPC + ("jp_count", "dispersion")], [""] * 10)
            else:
                expect("trend_model", row["trend_model"], "quasipoisson")
                if method == "wbic":
                    beta, cov, phi, dev = glm_line(c, P)
                    mine = poisson(design(n, ())[None], c, np.log(P))
                    expect("reference line, numpy's against statsmodels'", [*mine[0][0], mine[1][0]], [*beta, dev], 1e-12)
                    b, se, t = beta[1], math.sqrt(cov[1, 1]), stats.t.ppf(0.975, n - 2)
                    expect("apc", num(row, APC), [*(100 * math.expm1(b + s * t * se) for s in (0, -1, 1)),
                                                  2 * stats.t.sf(abs(b / se), n - 2)])
                    expect("dispersion", num(row, ["dispersion"]), [phi])
                want = model(c, P, method, most, [int(y) - first for y in row["jp_years"].split(";") if y])
                if expect("jp_years", row["jp_years"], ";".join(str(first + j) for j in want["joinpoints"])):
                    expect("aapc", num(row, AAPC), want["aapc"])
                    expect("last_apc", num(row, LAST), [first + want["last"][0], *want["last"][1:]])
                    expect("segments", [num(s, SEG) for s in got],
                           [[first + s[0], first + s[1], *s[2:]] for s in want["segments"]])
                    slopes = np.repeat([num(s, ["log_slope"])[0] for s in got],
                                       [int(s["end_year"]) - int(s["start_year"]) for s in got])
                    if len(slopes) == n - 1:  # the tool's own slopes, the intercept profiled out: every score 0
                        mu = P * np.exp(np.r_[0, np.cumsum(slopes)])
                        mu, X = mu * c.sum() / mu.sum(), design(n, want["joinpoints"])
                        expect("score", np.abs(X.T @ (c - mu)) / (np.abs(X.T) @ (c + mu)), [0.0] * X.shape[1], 1e-8)
            if method == "wbic":
                qp, back = bounds(c, P, n - 1, 0, n - 2), bounds(c, P, n - 2, max(0, 2000 - first), n - 5)
                expect("qp", num(row, QP) + [row["verdict"]], qp + [verdict(c[-1], qp, P[-1])])
                expect("qp --year 2023 --baseline 2000-2020", num(moved[label], QP) + [moved[label]["verdict"]],
                       back + [verdict(c[-2], back, P[-2])])
                keys, ten = APC + AAPC + ("dispersion", "last_apc"), tenfold[label]
                expect("populations x10", num(ten, keys) + num(ten, QP) + [ten["jp_years"]],
                       num(row, keys) + [v / 10 for v in num(row, QP)] + [row["jp_years"]])
            checked, failures = checked + 1, failures + bool(wrong)
            for column, g, w in wrong:
                print(f"{method} {kind}/n{n}-{i} cases={c.astype(int).tolist()}: {column} got {g}, want {w}")
print(f"counts_check: {checked - failures} passed, {failures} failed")
sys.exit(failures > 0)
