#!/usr/bin/env bash
# Starts the built program in a virtual X server and checks, as a user would
# see it: the About box comes first, the form only after it is dismissed,
# and closing the form ends the program with status 0.
set -u
program=$1

if [ -z "${VANTOREL_IN_XVFB:-}" ]; then
    for tool in xvfb-run xdotool; do
        command -v "$tool" >/dev/null || { echo "realwindow: $tool is not installed"; exit 1; }
    done
    export VANTOREL_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

fail() { echo "realwindow: $*"; kill "$pid" 2>/dev/null; exit 1; }

# A window that is mapped and carries exactly this caption.
find_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }

wait_for_window() {
    local w
    for _ in $(seq 1 300); do
        w=$(find_window "$1")
        [ -n "$w" ] && { echo "$w"; return 0; }
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# A toolkit option must be accepted and removed by the application object.
timeout 120 "$program" -style Fusion &
pid=$!

about=$(wait_for_window "О программе") || fail "no window captioned «О программе»"
[ -z "$(find_window "Эпидемическая тенденция")" ] || fail "the form is visible before the About box was dismissed"

# A bare X server gives no window the focus by itself.
xdotool windowfocus --sync "$about" key Escape
form=$(wait_for_window "Эпидемическая тенденция") || fail "the form did not appear after the About box"
[ -z "$(find_window "О программе")" ] || fail "the About box is still shown"

xdotool windowfocus --sync "$form" key Escape
wait "$pid"
status=$?
[ "$status" -eq 0 ] || { echo "realwindow: exit status $status"; exit 1; }
echo "realwindow: About box, then the form, exit status 0"
