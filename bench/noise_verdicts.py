#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""How often each kind of bounds of the expected level flags a reporting
year on series where nothing happened: pure Poisson noise about a smooth
log-linear trend (as make_counts.py draws it), 15 years a series. Then how
often each finds the same year above expected when its true mean is doubled.
Shares are of all series in a band of the reporting year's true expected
number of cases; a series without a verdict counts as not flagged.

    noise_verdicts.py VANTOREL_BATCH [SERIES]

Prints Markdown tables; a measurement, nothing is asserted."""
import csv, math, os, subprocess, sys, tempfile

import numpy as np

rows = int(sys.argv[2]) if len(sys.argv) > 2 else 20_000
YEARS, FIRST = 15, 2010
METHODS = ("normative", "prediction", "poisson", "quasipoisson")
BANDS = ((0, 5, "<5"), (5, 20, "5–20"), (20, 100, "20–100"), (100, math.inf, ">100"))

rng = np.random.default_rng(2026)
t = np.arange(YEARS) - (YEARS - 1) / 2
rate = np.exp(rng.uniform(math.log(0.01), math.log(1500), rows)) / 1e5
people = np.exp(rng.uniform(math.log(5e3), math.log(5e5), rows))
population = np.rint(people[:, None] * np.exp(rng.uniform(-0.01, 0.01, rows)[:, None] * t))
mean = population * rate[:, None] * np.exp(rng.uniform(-0.06, 0.06, rows)[:, None] * t)
noise = rng.poisson(mean)
doubled = noise.copy()
doubled[:, -1] = rng.poisson(2 * mean[:, -1])
band = np.select([(mean[:, -1] >= lo) & (mean[:, -1] < hi) for lo, hi, _ in BANDS], range(len(BANDS)))

def verdicts(cases, method, work):
    """The tool's verdict for each series, in order; None when it does not know the method."""
    table = f"{work}/table.csv"
    with open(table, "w") as f:
        f.write("disease,district," + ",".join(f"{w} {FIRST + i}" for w in ("случаи", "население")
                                              for i in range(YEARS)) + "\n")
        for i in range(rows):
            f.write(f"noise,d{i}," + ",".join(map(str, cases[i])) + ","
                    + ",".join(f"{p:.0f}" for p in population[i]) + "\n")
    done = subprocess.run([sys.argv[1], table, "--cases", "случаи", "--population", "население", "-q",
                           "-o", f"{work}/summary.csv", "--joinpoints", "off", "--expected-by", method],
                          capture_output=True, text=True)
    if done.returncode not in (0, 1) or not os.path.exists(f"{work}/summary.csv"):
        print(f"<!-- {method}: {done.stderr.strip().splitlines()[-1] if done.stderr.strip() else done.returncode} -->")
        return None
    found = {row["district"]: row["verdict"] for row in csv.DictReader(open(f"{work}/summary.csv"))}
    os.remove(f"{work}/summary.csv")
    return np.array([found.get(f"d{i}", "") for i in range(rows)])

def share(flags, where=slice(None)):
    return f"{100 * flags[where].mean():.2f} %" if flags[where].size else "—"

sizes = ", ".join(f"{name}: {np.count_nonzero(band == b)}" for b, (_, _, name) in enumerate(BANDS))
print(f"{rows} series of {YEARS} years, reporting year {FIRST + YEARS - 1}, baseline the years before it;"
      f" series by the reporting year's expected cases: {sizes}\n")
results = {}
with tempfile.TemporaryDirectory() as work:
    for method in METHODS:
        results[method] = verdicts(noise, method, work), verdicts(doubled, method, work)

head = " | ".join(name for _, _, name in BANDS)
print("Noise only: share flagged above / below expected\n")
print(f"| bounds | above | below | no verdict | {head} |")
print("|---" * (4 + len(BANDS)) + "|")
for method, (plain, _) in results.items():
    if plain is None:
        print(f"| {method} | not supported by this build |" + " |" * (2 + len(BANDS)))
        continue
    above, below = plain == "above", plain == "below"
    print(f"| {method} | {share(above)} | {share(below)} | {share(plain == '')} | "
          + " | ".join(f"{share(above, band == b)} / {share(below, band == b)}" for b in range(len(BANDS))) + " |")

print("\nThe reporting year's true mean doubled: share found above expected\n")
print(f"| bounds | all | {head} |")
print("|---" * (2 + len(BANDS)) + "|")
for method, (_, twice) in results.items():
    if twice is None:
        print(f"| {method} | not supported by this build |" + " |" * len(BANDS))
        continue
    above = twice == "above"
    print(f"| {method} | {share(above)} | " + " | ".join(share(above, band == b) for b in range(len(BANDS))) + " |")
