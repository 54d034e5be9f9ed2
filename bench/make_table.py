#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes a wide surveillance table: ROWS series of YEARS yearly values."""
import random
import sys

rows = int(sys.argv[1]) if len(sys.argv) > 1 else 100_000
years = int(sys.argv[2]) if len(sys.argv) > 2 else 20
rng = random.Random(2026)
out = sys.stdout
out.write("disease,district," + ",".join(str(2001 + i) for i in range(years)) + "\n")
for r in range(rows):
    level = rng.uniform(5, 500)
    step = rng.uniform(-0.05, 0.05) * level
    values = (max(0.0, level + step * i + rng.gauss(0, level * 0.1)) for i in range(years))
    out.write(f"disease{r % 97},district{r}," + ",".join(f"{v:.1f}" for v in values) + "\n")
