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

launch "surveillance.xlsx — Эпидемическая тенденция: таблицы" "$program" \
    "$examples/surveillance.xlsx" || fail "no window for the workbook"

# Saving is offered only once there are rows, and the table has the focus
# once computed: until then a key such as Down could change a choice. So
# the first dialog, which says the rows are there, is dismissed; then a row
# down, and save.
open_save() {
    for _ in $(seq 1 50); do
        xdotool windowfocus --sync "$window" key "$@" ctrl+s
        for _ in $(seq 1 20); do
            [ -n "$(find_window "Сохранить сводку")" ] && return 0
            sleep 0.1
        done
    done
    return 1
}
open_save || fail "no save dialog"
keys_until_gone "Сохранить сводку" Escape || fail "the save dialog stayed open"
open_save Down || fail "no save dialog after a row was selected"
keys_until_gone "Сохранить сводку" ctrl+a type "$out/summary.xlsx" Return \
    || fail "the save dialog stayed open"
wait_for_file "$out/summary.xlsx" || fail "the summary was not saved"
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
