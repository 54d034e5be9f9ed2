#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tableswindow.sh VANTOREL_TABLES VANTOREL_BATCH EXAMPLES: the window over
# tables in a virtual X server, driven by keys as a user would: it opens the
# workbook named on its command line, computes it, a row is selected, the
# summary is saved as a workbook through the file dialog, and it must be
# what vantorel-batch writes; closing ends it with status 0, having written
# nothing else.
set -u
program=$1 batch=$2 examples=$3
name=tableswindow
source "$(dirname "$0")/xwindow.sh"
out=$(mktemp -d)
scratch+=("$out")

timeout 120 "$program" "$examples/surveillance.xlsx" &
pid=$!
window=$(wait_for_window "surveillance.xlsx — Эпидемическая тенденция: таблицы") \
    || fail "no window for the workbook"

# The table has the focus once computed: a row down, then save; saving is
# offered only once there are rows.
dialog=
for _ in $(seq 1 50); do
    xdotool windowfocus --sync "$window" key Down ctrl+s
    dialog=$(wait_for_window "Сохранить сводку") && break
done
[ -n "$dialog" ] || fail "no save dialog"
xdotool windowfocus --sync "$dialog" key ctrl+a
xdotool type --delay 10 "$out/summary.xlsx"
xdotool key Return
for _ in $(seq 1 100); do [ -s "$out/summary.xlsx" ] && break; sleep 0.1; done
sleep 0.5
"$batch" "$examples/surveillance.xlsx" -q --format xlsx -o "$home/batch.xlsx"
python3 - "$out/summary.xlsx" "$home/batch.xlsx" <<'PY' || fail "the saved workbook is not vantorel-batch's"
import sys, zipfile
parts = [{n: z.read(n) for n in z.namelist() if n != "docProps/core.xml"}
         for z in map(zipfile.ZipFile, sys.argv[1:])]
sys.exit(0 if parts[0] == parts[1] and parts[0] else 1)
PY
rm "$home/batch.xlsx"

xdotool windowfocus --sync "$window" key ctrl+q
ended_cleanly "what was saved"
[ "$(ls -A "$out")" = "summary.xlsx" ] || { echo "tableswindow: saved: $(ls -A "$out")"; exit 1; }
echo "tableswindow: the workbook computed, its summary saved as vantorel-batch writes it; exit status 0"
