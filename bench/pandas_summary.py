#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The batch summary's columns with pandas and numpy, for comparison.

Reads a wide table (two label columns, then consecutive years, every cell
filled) and computes what vantorel-batch writes: total, mean, the window's
slope over symmetric codes (zero left out for even n), the four indicators,
the class, the forecast, and the OLS fit over calendar years with its
standard error, 95% interval, p-value (SciPy's t distribution) and R².
"""
import sys

import numpy as np
import pandas as pd
from scipy import stats

table = pd.read_csv(sys.argv[1])
labels = table.iloc[:, :2]
years = np.array([int(c) for c in table.columns[2:]])
# Values go through single precision, as the window stores them.
y = table.iloc[:, 2:].to_numpy(dtype=np.float32).astype(np.float64)
n = y.shape[1]

half = n // 2
if n % 2:
    codes = np.arange(-half, half + 1, dtype=np.float64)
else:
    codes = np.concatenate([np.arange(-half, 0), np.arange(1, half + 1)]).astype(np.float64)
total = y.sum(axis=1)
mean = total / n
slope = (y * codes).sum(axis=1) / (codes * codes).sum()
levels = codes[None, :] * slope[:, None] + mean[:, None]
absolute = levels[:, -1] - levels[:, 0]
with np.errstate(divide="ignore", invalid="ignore"):
    rate = 100 * absolute / levels[:, 0]
    annual = 100 * slope / mean
klass = np.where(np.abs(annual) > 5, "pronounced", np.where(np.abs(annual) > 1, "moderate", "stable"))

x = years - years.mean()
sxx = (x * x).sum()
yc = y - mean[:, None]
ols = (yc * x).sum(axis=1) / sxx
resid = yc - ols[:, None] * x[None, :]
sse = (resid * resid).sum(axis=1)
sst = (yc * yc).sum(axis=1)
se = np.sqrt(sse / (n - 2) / sxx)
with np.errstate(divide="ignore", invalid="ignore"):
    t = ols / se
    r2 = 1 - sse / sst
p = 2 * stats.t.sf(np.abs(t), n - 2)
crit = stats.t.ppf(0.975, n - 2)

out = labels.copy()
out["first_year"] = years[0]
out["last_year"] = years[-1]
out["n"] = n
out["total"] = total
out["mean"] = mean
out["slope"] = slope
out["absolute_change"] = absolute
out["average_absolute_change"] = absolute / (n - 1)
out["change_rate"] = rate
out["average_annual_change_rate"] = annual
out["trend_class"] = klass
out["forecast_year"] = years[-1] + 1
out["forecast_level"] = levels[:, -1] + slope
out["ols_slope_per_year"] = ols
out["ols_slope_se"] = se
out["ols_ci95_low"] = ols - crit * se
out["ols_ci95_high"] = ols + crit * se
out["ols_p_value"] = p
out["ols_r2"] = r2
out.to_csv(sys.argv[2], index=False, float_format="%.17g")
