#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# vantorel-batch beside the least any tool must do with the same table (the
# floor: map it, find the cells, convert each with std::from_chars) and
# beside a short pandas/numpy/SciPy script computing the same columns.
# Ratios, not absolute times: this machine is shared and noisy.
#
#     bench/bench_batch.sh [ROWS]      ROWS: series of 20 years (300000)
#
# Prints the batch tool's time on one thread and on all cores as multiples
# of the floor, what spelling its summary's numbers alone costs beside the
# floor, the pandas script's time as a multiple of the batch tool's,
# the batch tool's peak memory at 100,000 and 1,000,000 rows, and what a
# report file and a PNG chart cost per series.
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
echo "pandas/numpy/SciPy:        ${t_pandas} s = $(ratio "$t_pandas" "$t_all") x vantorel-batch"

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

# The two summaries must agree, or the comparison means nothing.
/usr/bin/python3 - "$work/summary.csv" "$work/pandas.csv" <<'PY'
import sys
import numpy as np
import pandas as pd
ours, theirs = pd.read_csv(sys.argv[1]), pd.read_csv(sys.argv[2])
worst = 0.0
for column in theirs.columns[2:]:
    if column == "trend_class":
        assert (ours[column] == theirs[column]).all(), column
        continue
    a, b = ours[column].to_numpy(float), theirs[column].to_numpy(float)
    scale = np.maximum(np.abs(b), 1.0)  # relative, absolute near zero
    difference = np.nanmax(np.abs(a - b) / scale)
    worst = max(worst, difference)
print(f"largest difference between the two summaries (relative, absolute below 1): {worst:.2e}")
PY
