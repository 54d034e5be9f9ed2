#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What --territory costs: a national table of counts (ROWS series of 20
# years, in GROUPS diseases of as many districts each) run with and without
# it, on all cores, the best of five runs each; prints both times, their
# ratio and the peak memory of each.
#
#     bench/bench_territory.sh [ROWS [GROUPS]]     (300000 and 3000)
set -euo pipefail
source "$(dirname "$0")/../tools/setup.sh"
vantorel_ensure_packages python3-numpy time

rows=${1:-300000}
groups=${2:-3000}
batch="$VANTOREL_ROOT/build/batch/vantorel-batch"
[ -x "$batch" ] || vantorel_build default
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$VANTOREL_ROOT/bench/make_counts.py" "$rows" 20 2026 "$groups" >"$work/table.csv"
cat "$work/table.csv" >/dev/null

best() {  # best wall time of five runs, and the peak memory of the last
    local best=999 t
    for _ in 1 2 3 4 5; do
        /usr/bin/time -f "%e %M" -o "$work/time" "$batch" "$work/table.csv" --cases случаи \
            --population население -q -o "$work/summary.csv" "$@" 2>/dev/null || true
        read -r t mem <"$work/time"
        best=$(echo "$t $best" | awk '{print ($1 < $2) ? $1 : $2}')
    done
    echo "$best $mem"
}
read -r plain plain_mem < <(best)
read -r with with_mem < <(best --territory district)
echo "table: $rows series in $groups groups, $(nproc) cores"
echo "without --territory: $plain s, $((plain_mem / 1024)) MB"
echo "with --territory:    $with s, $((with_mem / 1024)) MB"
echo "ratio: $(echo "$with $plain" | awk '{printf "%.2f", $1 / $2}')"
