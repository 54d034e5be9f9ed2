#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Starts the built program in a virtual X server and checks, as a user would
# see it: the About box comes first, the form only after it is dismissed,
# a whole session (two series saved, one typed and one pasted through the
# X clipboard, an overwrite declined, a close that asks first) writes
# nothing but the reports, even in a fresh home, and closing the form ends
# the program with status 0.
set -u
program=$1
name=realwindow
source "$(dirname "$0")/xwindow.sh"
reports=$(mktemp -d)
scratch+=("$reports")

# A toolkit option must be accepted and removed by the application object.
launch "О программе" "$program" -style Fusion || fail "no window captioned «О программе»"
about=$window
[ -z "$(find_window "Эпидемическая тенденция")" ] || fail "the form is visible before the About box was dismissed"

# A bare X server gives no window the focus by itself.
xdotool windowfocus --sync "$about" key Escape
form=$(wait_for_window "Эпидемическая тенденция") || fail "the form did not appear after the About box"
[ -z "$(find_window "О программе")" ] || fail "the About box is still shown"

series() {  # the first year, five values, then "Рассчитать" (Tab from the value field)
    xdotool windowfocus --sync "$form" key Return
    for v in 10 12 11 14 15; do xdotool type --delay 20 "$v"; xdotool key Return; sleep 0.1; done
    xdotool key Tab Tab space
    sleep 0.3
}
pasted() {  # the same series, its values pasted as a spreadsheet's column
    xdotool windowfocus --sync "$form" key Return
    printf '10\r\n12\r\n11\r\n14\r\n15\r\n' | xclip -selection clipboard
    xdotool key ctrl+v Tab Tab space
    sleep 0.3
}
save_as() {  # "Сохранить" has the focus; the dialog's name field too
    xdotool windowfocus --sync "$form" key space
    wait_for_window "Сохранить результат" >/dev/null || fail "no save dialog"
    keys_until_gone "Сохранить результат" ctrl+a type "$1" Return \
        || fail "the save dialog stayed open"
}
series
save_as "$reports/first"
wait_for_file "$reports/first.txt" || fail "the first report was not written"
pasted
save_as "$reports/first"
wait_for_window "Такой файл уже существует!" >/dev/null || fail "no overwrite question"
keys_until_gone "Такой файл уже существует!" Return \
    || fail "the overwrite question stayed open" # the default answer declines
save_as "$reports/second"
wait_for_file "$reports/second.txt" || fail "the second report was not written"
cmp -s "$reports/first.txt" "$reports/second.txt" || fail "the pasted column gave another report"

# Values typed and not saved: closing asks, and Escape keeps the window.
xdotool windowfocus --sync "$form" key Return
xdotool type --delay 20 "7"; xdotool key Return Escape
wait_for_window "Отчёт не сохранён" >/dev/null || fail "closing with values typed did not ask"
keys_until_gone "Отчёт не сохранён" Escape || fail "the question stayed open"
[ -n "$(find_window "Эпидемическая тенденция")" ] || fail "the form closed although the question was declined"
xdotool windowfocus --sync "$form" key Escape
ask=$(wait_for_window "Отчёт не сохранён") || fail "no question the second time"
xdotool windowfocus --sync "$ask" key Tab space   # from «Отмена» to «Закрыть»
ended_cleanly "its reports"
[ "$(ls "$reports")" = "$(printf 'first.txt\nsecond.txt')" ] || { echo "realwindow: reports: $(ls "$reports")"; exit 1; }
echo "realwindow: About box, then the form; a session wrote only its reports; exit status 0"
