#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# vantorel-batch beside the least any tool must do with the same table (the
# floor: map it, find the cells, convert each with std::from_chars) and
# beside a short pandas/numpy/SciPy script computing every column of its
# summary.
# Ratios, not absolute times: this machine is shared and noisy.
#
#     bench/bench_batch.sh [ROWS]      ROWS: series of 20 years (300000)
#
# Prints the batch tool's time on one thread and on all cores as multiples
# of the floor, what spelling its summary's numbers alone costs beside the
# floor, the pandas script's time as a multiple of the batch tool's and its
# peak memory, the batch tool's peak memory at 100,000 and 1,000,000 rows,
# and what a report file and a PNG chart cost per series; then fails unless
# the two summaries agree in every column.
set -euo pipefail
source "$(dirname "$0")/../tools/setup.sh"
vantorel_ensure_packages python3-pandas python3-scipy time

rows=${1:-300000}
batch="$VANTOREL_ROOT/build/batch/vantorel-batch"
floor="$VANTOREL_ROOT/build/bench/floor"
[ -x "$batch" ] || vantorel_build default
cmake --build "$VANTOREL_ROOT/build" --target vantorel-batch floor spell
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
table() { /usr/bin/python3 "$VANTOREL_ROOT/bench/make_table.py" "$1" 20 >"$2"; }
table "$rows" "$work/table.csv"

best() {  # best wall time in seconds of five runs of a command
    local best=999 t
    for _ in 1 2 3 4 5; do
        /usr/bin/time -f "%e" -o "$work/time" "$@" >/dev/null 2>&1
        t=$(tail -n 1 "$work/time")
        best=$(echo "$t $best" | awk '{print ($1 < $2) ? $1 : $2}')
    done
    echo "$best"
}
best_told() {  # the least of five times that a command prints itself
    local best=999 t
    for _ in 1 2 3 4 5; do
        t=$("$@")
        best=$(echo "$t $best" | awk '{print ($1 < $2) ? $1 : $2}')
    done
    echo "$best"
}
rss() { /usr/bin/time -f "%M" -o "$work/rss" "$@" >/dev/null 2>&1; tail -n 1 "$work/rss"; }
ratio() { echo "$1 $2" | awk '{printf "%.1f", $1 / $2}'; }

cat "$work/table.csv" >/dev/null  # the page cache holds it for everyone
t_floor=$(best "$floor" "$work/table.csv")
t_one=$(best "$batch" --jobs 1 "$work/table.csv" -o "$work/summary.csv")
t_all=$(best "$batch" "$work/table.csv" -o "$work/summary.csv")
t_spell=$(best_told "$VANTOREL_ROOT/build/bench/spell" "$work/summary.csv" "$work/spelled")
t_pandas=$(best /usr/bin/python3 "$VANTOREL_ROOT/bench/pandas_summary.py" "$work/table.csv" "$work/pandas.csv")
echo "table: $rows series x 20 years ($(du -h "$work/table.csv" | cut -f1)), $(nproc) cores"
echo "floor:                     ${t_floor} s"
echo "vantorel-batch --jobs 1:   ${t_one} s = $(ratio "$t_one" "$t_floor") x the floor"
echo "vantorel-batch, all cores: ${t_all} s = $(ratio "$t_all" "$t_floor") x the floor"
echo "spelling its numbers only: ${t_spell} s = $(ratio "$t_spell" "$t_floor") x the floor" \
     "($(tr -cd , <"$work/spelled" | wc -c) numbers)"
echo "pandas/numpy/SciPy:        ${t_pandas} s = $(ratio "$t_pandas" "$t_all") x vantorel-batch," \
     "peak memory $(rss /usr/bin/python3 "$VANTOREL_ROOT/bench/pandas_summary.py" "$work/table.csv" "$work/pandas.csv") KB"

# Per-series files, on one thread: reports, then PNG charts, each less the
# run without them.
head -n 2001 "$work/table.csv" >"$work/small.csv"
t_plain=$(best "$batch" --jobs 1 "$work/small.csv")
t_reports=$(best "$batch" --jobs 1 "$work/small.csv" --reports "$work/reports")
head -n 201 "$work/table.csv" >"$work/tiny.csv"
t_tiny=$(best "$batch" --jobs 1 "$work/tiny.csv")
t_png=$(best "$batch" --jobs 1 "$work/tiny.csv" --charts "$work/charts" --chart-format png)
echo "a report file: $(echo "$t_reports $t_plain" | awk '{printf "%.3f", ($1 - $2) / 2000 * 1000}') ms a series;" \
     "a PNG chart: $(echo "$t_png $t_tiny" | awk '{printf "%.1f", ($1 - $2) / 200 * 1000}') ms a series"

table 100000 "$work/t100k.csv"
table 1000000 "$work/t1m.csv"
echo "peak memory: $(rss "$batch" "$work/t100k.csv" -o "$work/s1.csv") KB at 100,000 rows," \
     "$(rss "$batch" "$work/t1m.csv" -o "$work/s2.csv") KB at 1,000,000 rows"

# A district table of counts, as many years without cases as such a table
# has: the count model's run against the log-linear model's, all cores.
/usr/bin/python3 "$VANTOREL_ROOT/bench/make_counts.py" "$rows" 20 >"$work/counts.csv"
counts=(--cases случаи --population население -o "$work/counts-summary.csv")
t_loglinear=$(best "$batch" "$work/counts.csv" "${counts[@]}" --model loglinear)
t_counts=$(best "$batch" "$work/counts.csv" "${counts[@]}")
t_counts_one=$(best "$batch" --jobs 1 "$work/counts.csv" "${counts[@]}")
t_loglinear_one=$(best "$batch" --jobs 1 "$work/counts.csv" "${counts[@]}" --model loglinear)
echo "counts, $rows series: the count model ${t_counts} s against the log-linear ${t_loglinear} s" \
     "on all cores = $(ratio "$t_counts" "$t_loglinear") x; on one thread" \
     "$(ratio "$t_counts_one" "$t_loglinear_one") x," \
     "$(echo "$t_counts_one $t_loglinear_one $rows" | awk '{printf "%.0f", ($1 - $2) / $3 * 1e6}') µs a series more"

# The two summaries must agree, every column of them, or the comparison
# means nothing.
/usr/bin/python3 - "$work/summary.csv" "$work/pandas.csv" <<'PY'
import sys
import numpy as np
import pandas as pd

text = ["disease", "district", "trend_class", "trend_class_ru", "verdict", "verdict_ru", "trend_model",
        "report_note", "apc_note", "jp_years", "jp_note"]

def read(path):
    # Python's own reading of each number: pandas' faster one may miss the
    # last bit of a 17-digit number, which hides a difference or makes one.
    # Text stays text, and an empty cell stays empty: it is a statistic that
    # does not exist for its series, not a NaN.
    return pd.read_csv(path, float_precision="round_trip", keep_default_na=False,
                       na_values=["nan"], dtype={column: str for column in text})

def numbers(column):
    """A column's numbers, NaN where a cell is empty, and where it is."""
    if column.dtype != object:
        return column.to_numpy(float), np.zeros(len(column), bool)
    empty = (column == "").to_numpy()
    return column.where(~empty, "nan").astype(float).to_numpy(), empty

ours, theirs = read(sys.argv[1]), read(sys.argv[2])
if list(ours.columns) != list(theirs.columns) or len(ours) != len(theirs):
    sys.exit(f"the summaries differ in shape: {list(ours.columns)}, {len(ours)} rows "
             f"against {list(theirs.columns)}, {len(theirs)} rows")
groups = {"reporting year": ("report_", "prev_value", "change_prev_pct", "smu", "expected",
                             "pi_report"),
          "ols": "ols_", "apc": "apc", "Mann-Kendall": "mk_", "Sen": "sen_",
          "joinpoints": ("jp_", "last_segment_start"), "AAPC": "aapc",
          "last segment's APC": "last_apc"}
# Relative, absolute below 1. 1e-9 leaves room for what differs by right:
# sums taken in another order (an ulp or two; 1e-14 where a bound near
# zero is the difference of two larger numbers) and the t tails of SciPy
# and Boost behind the p-values (1e-13). The script's t quantile is
# SciPy's corrected to Boost's: uncorrected, it misses by up to 4e-9 at
# some degrees of freedom, which a bound near zero magnifies past the
# tolerance, and by 4e-14 at 18, which moved a bound by 6e-12.
# Mann-Kendall's S and Z and Sen's slope and bounds are the same
# operations on the same doubles, so they must be equal; its p-value is
# erfc from glibc against SciPy's, a few ulps apart.
# P-values are held relative to themselves however small: below 1, an
# absolute test would pass any p of 1e-12 for any other.
# A joinpoint fit must choose what the tool chooses: the count, the years
# and the last segment's start are equal, and so is the note. Its numbers
# are held to 1e-9 like the rest; they differ by 1e-13 at most.
exact = {"mk_s", "mk_z", "sen_slope", "sen_ci95_low", "sen_ci95_high", "jp_count",
         "last_segment_start"}
tolerance = {column: 0.0 for column in exact} | {"mk_p_value": 1e-12}
failed = [f"{column}: {(ours[column] != theirs[column]).sum()} rows" for column in text
          if (ours[column] != theirs[column]).any()]
worst = {}
for column in ours.columns.drop(text):
    group = next((g for g, prefix in groups.items() if column.startswith(prefix)), "practice")
    (a, a_empty), (b, b_empty) = numbers(ours[column]), numbers(theirs[column])
    if (a_empty != b_empty).any():
        failed.append(f"{column}: {(a_empty != b_empty).sum()} rows empty in one summary only")
    floor = 1e-300 if column.endswith("p_value") else 1.0
    with np.errstate(invalid="ignore"):
        difference = np.abs(a - b) / np.maximum(np.abs(b), floor)
    same = (a == b) | (np.isnan(a) & np.isnan(b))  # infinities and NaNs too
    difference = np.where(same, 0.0, np.nan_to_num(difference, nan=np.inf))
    row = int(np.argmax(difference))
    if difference[row] > tolerance.get(column, 1e-9):
        failed.append(f"{column}, row {row + 1}: {a[row]!r} against {b[row]!r}")
    if difference[row] > worst.get(group, (-1.0,))[0]:
        worst[group] = (difference[row], column)
print("largest difference between the two summaries (relative, absolute below 1):")
for group, (difference, column) in worst.items():
    print(f"  {group + ':':20}{difference:.1e}" + (f" ({column})" if difference else ""))
print("  the class, the verdict, their Russian words, the notes and the joinpoint years:",
      "differ" if any(f.split(":")[0] in text for f in failed) else "equal")
if failed:
    print("the summaries disagree:", *failed, sep="\n  ", file=sys.stderr)
    sys.exit(1)
PY
