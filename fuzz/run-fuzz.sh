#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# run-fuzz.sh TARGET SEEDS SECONDS: fuzzes from a copy of the seed corpus,
# so that the seeds in the repository stay as they are.
set -euo pipefail
target=$1 seeds=$2 seconds=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$seeds"/* "$work"/
set +e
"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work" 2>&1 | tail -n 25
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
    for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
        [ -e "$artifact" ] && { echo "fuzz: input that failed:"; od -c "$artifact" | head -n 20; }
    done
    exit "$status"
fi
