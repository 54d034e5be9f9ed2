#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times vantorel-batch on a generated table of 100,000 series of 20 years,
# beside a short pandas/numpy script computing the same summary columns,
# and shows that the batch tool's memory does not grow with the rows.
# Run by hand after a build: bench/bench_batch.sh [ROWS]
set -euo pipefail
source "$(dirname "$0")/../tools/setup.sh"
vantorel_ensure_packages python3-pandas python3-scipy time

rows=${1:-100000}
batch="$VANTOREL_ROOT/build/batch/vantorel-batch"
[ -x "$batch" ] || vantorel_build default
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 "$VANTOREL_ROOT/bench/make_table.py" "$rows" 20 >"$work/table.csv"
/usr/bin/python3 "$VANTOREL_ROOT/bench/make_table.py" "$((rows * 3))" 20 >"$work/table3.csv"

best() {  # best wall time in seconds of three runs of a command
    local best=999 t
    for _ in 1 2 3; do
        /usr/bin/time -f "%e" -o "$work/time" "$@" >/dev/null 2>&1
        t=$(tail -n 1 "$work/time")
        best=$(echo "$t $best" | awk '{print ($1 < $2) ? $1 : $2}')
    done
    echo "$best"
}
rss() { /usr/bin/time -f "%M" -o "$work/rss" "$@" >/dev/null 2>&1; tail -n 1 "$work/rss"; }

ours=$(best "$batch" "$work/table.csv" -o "$work/summary.csv")
theirs=$(best /usr/bin/python3 "$VANTOREL_ROOT/bench/pandas_summary.py" "$work/table.csv" "$work/pandas.csv")
echo "table: $rows series x 20 years ($(du -h "$work/table.csv" | cut -f1))"
echo "vantorel-batch:      ${ours} s"
echo "pandas/numpy/scipy:  ${theirs} s"
echo "ratio (pandas / vantorel-batch): $(echo "$theirs $ours" | awk '{printf "%.2f", $1 / $2}')"
echo "peak memory of vantorel-batch: $(rss "$batch" "$work/table.csv" -o "$work/s1.csv") KB at $rows rows," \
     "$(rss "$batch" "$work/table3.csv" -o "$work/s3.csv") KB at $((rows * 3)) rows"

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
