#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The batch tool's territories against a computation of their own in SciPy,
on random tables of counts: without a total row and with one, over-dispersed,
rare diseases with zeros, territories whose years differ, a repeated
territory, and a table of rates without counts. Checks the region's sums,
the ratios, SIR and its exact interval, the p-value, the funnel class with
the over-dispersion allowed for, the risk and the ranks to 1e-9; that the
region's row is what the tool gives for a table holding only that series;
and how often pure chance is flagged against what the limits promise.

    territory_check.py VANTOREL_BATCH
"""
import csv, io, math, os, subprocess, sys, tempfile
import numpy as np
from scipy import stats

BATCH = sys.argv[1]
REGION = "Всего по территориям"
PER = 100000
failures = []


def check(what, ok):
    if not ok:
        failures.append(what)


def close(a, b, tol=1e-9):
    if a is None or b is None:
        return a is None and b is None
    return abs(a - b) <= tol * max(1.0, abs(a), abs(b))


def run(path, *args):
    done = subprocess.run([BATCH, path, "-q", *args], capture_output=True, text=True)
    if done.returncode not in (0, 1):
        raise SystemExit(f"{path}: exit {done.returncode}: {done.stderr}")
    return list(csv.DictReader(io.StringIO(done.stdout))), done.stderr


def number(row, key):
    return float(row[key]) if row[key] != "" else None


def write_counts(path, years, rows):
    """rows: (disease, territory, {year: (cases, population)})."""
    with open(path, "w", encoding="utf-8", newline="") as f:
        w = csv.writer(f, delimiter=";", lineterminator="\n")
        w.writerow(["Болезнь", "Район"] + [f"случаи {y}" for y in years] + [f"население {y}" for y in years])
        for disease, territory, data in rows:
            w.writerow([disease, territory]
                       + [str(data[y][0]) if y in data else "" for y in years]
                       + [str(data[y][1]) if y in data else "" for y in years])


def funnel_by_tails(o, e):
    up, down = stats.poisson.sf(o - 1, e), stats.poisson.cdf(o, e)
    if up < 0.001: return "above99.8"
    if up < 0.025: return "above95"
    if down < 0.001: return "below99.8"
    if down < 0.025: return "below95"
    return "within"


def funnel_by_z(z, phi):
    s = z / math.sqrt(phi)
    for limit, word in ((3.090232306167813, "99.8"), (1.959963984540054, "95")):
        if s > limit: return "above" + word
        if s < -limit: return "below" + word
    return "within"


STRENGTH = {"above99.8": 2, "below99.8": 2, "above95": 1, "below95": 1, "within": 0}


def dispersion(z):
    z, m = sorted(z), len(z)
    k = m // 10
    if k:
        z[:k] = [z[k]] * k
        z[m - k:] = [z[m - k - 1]] * k
    return sum(x * x for x in z) / m


def expected(rows, prefix=("всего", "итого", "область", "по области", "регион")):
    """What every row of a counts table should hold, by group."""
    groups = {}
    for disease, territory, data in rows:
        groups.setdefault(disease, []).append((territory, data))
    out = {}
    for disease, members in groups.items():
        total = next((d for t, d in members if t.lower().replace("ё", "е").startswith(prefix)), None)
        own, seen = [], set()
        for t, d in members:
            if t.lower().replace("ё", "е").startswith(prefix) or t in seen:
                continue
            seen.add(t)
            own.append((t, d))
        if total is None:
            if len(own) < 2:
                continue
            first = max(min(d) for t, d in own)
            last = min(max(d) for t, d in own)
            if last - first + 1 < 5:
                continue
            total = {y: (sum(d[y][0] for t, d in own), sum(d[y][1] for t, d in own))
                     for y in range(first, last + 1)}
            out[(disease, REGION)] = {"region": total}
        rate = lambda c, p: c * PER / p
        result, z = {}, {}
        for t, d in own:
            year = max(d)
            r = {"rate": rate(*d[year])}
            if year in total:
                rc, rp = total[year]
                r["region_rate"] = rate(rc, rp)
                r["ratio"] = r["rate"] / r["region_rate"] if rc > 0 else None
                for y in (year, year - 1):
                    if y in d and y in total and total[y][0] > 0:
                        o, e = d[y][0], d[y][1] * total[y][0] / total[y][1]
                        r[y] = (o, e)
                        z.setdefault(y, []).append((o - e) / math.sqrt(e))
            result[t] = (year, r)
        phis = {y: dispersion(v) for y, v in z.items()}
        rates = [r["rate"] for t, (y, r) in result.items()]
        ranks = stats.rankdata([-x for x in rates], method="min")
        for (t, (year, r)), rank in zip(result.items(), ranks):
            r["rank"] = int(rank)
            classes = {}
            for y in (year, year - 1):
                if y in r:
                    o, e = r[y]
                    c = funnel_by_tails(o, e)
                    if phis[y] > 1:
                        w = funnel_by_z((o - e) / math.sqrt(e), phis[y])
                        c = w if STRENGTH[w] < STRENGTH[c] else c
                    classes[y] = c
            if year in r:
                o, e = r[year]
                r["sir"] = o / e
                r["low"] = stats.chi2.ppf(0.025, 2 * o) / (2 * e) if o > 0 else 0.0
                r["high"] = stats.chi2.ppf(0.975, 2 * o + 2) / (2 * e)
                r["p"] = min(1.0, 2 * min(stats.poisson.cdf(o, e), stats.poisson.sf(o - 1, e)))
                r["funnel"] = classes[year]
                r["phi"] = phis[year]
                r["risk"] = classes[year] == "above99.8" or (
                    classes[year].startswith("above") and classes.get(year - 1, "").startswith("above"))
            out[(disease, t)] = r
    return out


def compare(name, rows, table, args=()):
    got, _ = run(table, "--cases", "случаи", "--population", "население", "--territory", "Район", *args)
    want = expected(rows)
    keyed = {}
    for r in got:
        keyed.setdefault((r["Болезнь"], r["Район"]), r)
    # The region's row first in its group.
    firsts = {}
    for r in got:
        firsts.setdefault(r["Болезнь"], r["Район"])
    for (disease, t), w in want.items():
        g = keyed.get((disease, t))
        if g is None:
            check(f"{name}: no row {disease}/{t}", False)
            continue
        if "region" in w:
            check(f"{name}: {disease}: the region's row is not first", firsts[disease] == t)
            last = max(w["region"])
            c, p = w["region"][last]
            check(f"{name}: {disease}: region value", close(number(g, "report_value"), c * PER / p))
            check(f"{name}: {disease}: territory cells on the region's row",
                  g["sir"] == "" and g["ratio_to_region"] == "" and g["territory_rank"] == "")
            continue
        check(f"{name}: {disease}/{t}: rank {g['territory_rank']} against {w['rank']}",
              g["territory_rank"] == str(w["rank"]))
        for key, col in (("region_rate", "region_rate"), ("ratio", "ratio_to_region"), ("sir", "sir"),
                         ("low", "sir_ci95_low"), ("high", "sir_ci95_high"), ("p", "sir_p_value")):
            check(f"{name}: {disease}/{t}: {col} {g[col]} against {w.get(key)}",
                  close(number(g, col), w.get(key)))
        if "funnel" in w:
            check(f"{name}: {disease}/{t}: funnel {g['funnel']} against {w['funnel']}", g["funnel"] == w["funnel"])
            check(f"{name}: {disease}/{t}: risk", g["risk"] == ("true" if w["risk"] else "false"))
            check(f"{name}: {disease}/{t}: note of φ",
                  ("избыточная дисперсия" in g["funnel_note"]) == (w["phi"] > 1))
        if w.get("ratio") is not None:
            check(f"{name}: {disease}/{t}: ratio_flag", g["ratio_flag"] == ("true" if w["ratio"] >= 1.5 else "false"))
    return got


def table(rng, diseases, territories, years, rate=lambda: 20.0, spread=0.0, total=False, ragged=False):
    rows = []
    for k in range(diseases):
        disease = f"Инфекция {k + 1}"
        members = []
        for t in range(territories):
            level = rate() * (math.exp(rng.normal(0, spread)) if spread else 1)
            span = list(years)
            if ragged and t == 1:
                span = span[2:]
            if ragged and t == 2:
                span = span[:-1]
            data = {}
            for y in span:
                p = int(rng.integers(5000, 400000))
                data[y] = (int(rng.poisson(level * p / PER)), p)
            members.append((f"Район {t + 1}", data))
        if total:
            sums = {y: (sum(d[y][0] for _, d in members), sum(d[y][1] for _, d in members)) for y in years}
            members.insert(int(rng.integers(0, len(members) + 1)), ("Итого по области", sums))
        rows += [(disease, t, d) for t, d in members]
    return rows


def main():
    rng = np.random.default_rng(20261210)
    years = list(range(2008, 2025))
    with tempfile.TemporaryDirectory() as tmp:
        path = lambda n: os.path.join(tmp, n)
        cases = {
            "plain": table(rng, 6, 12, years),
            "total row": table(rng, 4, 9, years, total=True),
            "over-dispersed": table(rng, 6, 30, years, spread=0.6),
            "rare, with zeros": table(rng, 6, 15, years, rate=lambda: 0.8),
            "years differ": table(rng, 3, 8, years, ragged=True),
        }
        # Five years in common, the fewest a region's row can have.
        cases["five years in common"] = table(rng, 2, 5, years[-8:], ragged=True)
        # A territory twice: the second is neither summed nor compared.
        twice = table(rng, 1, 5, years)
        twice.append(twice[1])
        cases["a territory twice"] = twice
        for name, rows in cases.items():
            write_counts(path("t.csv"), sorted({y for r in rows for y in r[2]}), rows)
            got = compare(name, rows, path("t.csv"))
            if name == "total row":
                # A funnel plot for each group, beside its series' charts.
                charts = path("charts")
                subprocess.run([BATCH, path("t.csv"), "-q", "-o", os.devnull, "--cases", "случаи",
                                "--population", "население", "--territory", "Район", "--charts", charts,
                                "--joinpoints", "off"], env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
                plots = sorted(f for f in os.listdir(charts) if f.startswith("funnel_"))
                want = sorted(f"funnel_{d}.svg" for d in {r[0] for r in rows})
                check(f"{name}: funnel plots {plots}", plots == want)
                check(f"{name}: a chart a row", len(os.listdir(charts)) == len(rows) + len(want))
            if name == "a territory twice":
                notes = [r["funnel_note"] for r in got if r["Район"] == twice[1][1]]
                check(f"{name}: the repeated row's note", len(notes) == 2 and "уже есть" in notes[1])
            if name == "years differ":
                region = next(r for r in got if r["Район"] == REGION)
                check(f"{name}: the years left out are named: {region['funnel_note']}",
                      "2008–2009" in region["funnel_note"] and "2024" in region["funnel_note"])
            # The region's row is the tool's own result for that series alone.
            for disease in sorted({r[0] for r in rows})[:2]:
                region = next((r for r in got if r["Болезнь"] == disease and r["Район"] == REGION), None)
                if region is None:
                    continue
                want = expected(rows)[(disease, REGION)]["region"]
                write_counts(path("one.csv"), years, [(disease, REGION, want)])
                alone, _ = run(path("one.csv"), "--cases", "случаи", "--population", "население")
                differ = [k for k, v in alone[0].items() if region.get(k) != v]
                check(f"{name}: {disease}: the region's row differs from the series alone in {differ}",
                      not differ)

        # Rates without counts: the region is the mean of the rates.
        rates = [(f"Инфекция {k}", f"Район {t}", [round(float(rng.gamma(4, 5)), 3) for _ in years])
                 for k in range(3) for t in range(7)]
        # Last year 3, 1 and 2: the first exactly 1.5 times their mean.
        rates += [("Инфекция 3", f"Район {t}", [float(v)] * len(years)) for t, v in enumerate((3, 1, 2))]
        with open(path("r.csv"), "w", encoding="utf-8") as f:
            f.write(";".join(["Болезнь", "Район"] + [str(y) for y in years]) + "\n")
            for d, t, v in rates:
                # The second district of the first group starts two years late.
                cells = [repr(x) for x in v]
                if (d, t) == ("Инфекция 0", "Район 1"):
                    cells[:2] = ["", ""]
                f.write(";".join([d, t] + cells) + "\n")
        got, _ = run(path("r.csv"), "--territory", "Район")
        flags = {r["Район"]: r["ratio_flag"] for r in got if r["Болезнь"] == "Инфекция 3"}
        check(f"rates: a ratio of 1.5 is raised: {flags}", flags.get("Район 0") == "true"
              and flags.get("Район 2") == "false")
        note = next(r["funnel_note"] for r in got if r["Болезнь"] == "Инфекция 0" and r["Район"] == REGION)
        check(f"rates: the region's notes, both: {note}", "без населения" in note and "не у всех" in note)
        for k in range(4):
            group = [v for d, t, v in rates if d == f"Инфекция {k}"]
            mean = sum(v[-1] for v in group) / len(group)
            ranks = stats.rankdata([-v[-1] for v in group], method="min")
            rows = [r for r in got if r["Болезнь"] == f"Инфекция {k}"]
            check(f"rates: region first", rows[0]["Район"] == REGION)
            check(f"rates: region mean", close(number(rows[0], "report_value"), mean, 1e-6))
            for r, v, rank in zip(rows[1:], group, ranks):
                check(f"rates: ratio", close(number(r, "ratio_to_region"), v[-1] / mean))
                check(f"rates: region rate", close(number(r, "region_rate"), mean))
                check(f"rates: rank", r["territory_rank"] == str(int(rank)))
                check(f"rates: no SIR", r["sir"] == "" and r["funnel"] == "" and r["risk"] == "")

        # Pure chance: every territory at the region's rate. The exact limits
        # are conservative, and allowing for φ only widens them.
        noise = table(rng, 120, 25, years, rate=lambda: 6.0)
        write_counts(path("n.csv"), years, noise)
        got, _ = run(path("n.csv"), "--cases", "случаи", "--population", "население", "--territory", "Район")
        flags = [r["funnel"] for r in got if r["funnel"]]
        m = len(flags)
        for word, promise in (("above", 0.025), ("below", 0.025)):
            share = sum(f.startswith(word) for f in flags) / m
            print(f"pure chance: {word} the 95 % limit {share:.4f} of {m} (promised at most {promise})")
            check(f"pure chance flags {share} {word} the 95 % limit", share <= promise + 3 * math.sqrt(promise / m))
        share = sum(f == "above99.8" for f in flags) / m
        print(f"pure chance: above the 99.8 % limit {share:.4f}")
        check(f"pure chance flags {share} above the 99.8 % limit", share <= 0.001 + 3 * math.sqrt(0.001 / m))

    for f in failures[:40]:
        print("FAIL:", f)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
