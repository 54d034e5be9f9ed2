#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes a district table of counts: ROWS series of YEARS years, each a row
of cases ("случаи YEAR") and then of population ("население YEAR").

    make_counts.py [ROWS [YEARS [SEED [DISEASES]]]]

The rates run from 0.01 to 1,500 per 100,000 (log-uniform), the districts
from 5,000 to 500,000 people, and each series follows a smooth log-linear
trend with pure Poisson noise about it: at district level most infections
are rare, and many years have no cases. Series i is disease i mod DISEASES
(40) in district i div DISEASES: the districts' rows follow one another."""
import math
import sys

import numpy as np

rows = int(sys.argv[1]) if len(sys.argv) > 1 else 300_000
years = int(sys.argv[2]) if len(sys.argv) > 2 else 20
rng = np.random.default_rng(int(sys.argv[3]) if len(sys.argv) > 3 else 2026)
diseases = int(sys.argv[4]) if len(sys.argv) > 4 else 40
first = 2025 - years
names = [f"{w} {first + i}" for w in ("случаи", "население") for i in range(years)]
out = sys.stdout
out.write("disease,district," + ",".join(names) + "\n")
t = np.arange(years) - (years - 1) / 2
block = 10_000
for start in range(0, rows, block):
    m = min(block, rows - start)
    rate = np.exp(rng.uniform(math.log(0.01), math.log(1500), m)) / 1e5
    people = np.exp(rng.uniform(math.log(5e3), math.log(5e5), m))
    growth = rng.uniform(-0.01, 0.01, m)
    slope = rng.uniform(-0.06, 0.06, m)
    population = np.rint(people[:, None] * np.exp(growth[:, None] * t))
    cases = rng.poisson(population * rate[:, None] * np.exp(slope[:, None] * t))
    for r in range(m):
        i = start + r
        out.write(f"disease{i % diseases},district{i // diseases},"
                  + ",".join(map(str, cases[r])) + ","
                  + ",".join(f"{p:.0f}" for p in population[r]) + "\n")
