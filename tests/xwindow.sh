# SPDX-License-Identifier: MIT
# What the real-window tests share, sourced by each: a virtual X server
# (the script runs itself again inside one), the windows found by their
# captions, and a fresh home, so that whatever the program writes there
# shows. `name` and `pid` are the test's own.

if [ -z "${VANTOREL_IN_XVFB:-}" ]; then
    for tool in xvfb-run xdotool; do
        command -v "$tool" >/dev/null || { echo "$name: $tool is not installed"; exit 1; }
    done
    export VANTOREL_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x900x24" "$0" "$@"
fi

fail() { echo "$name: $*"; kill "$pid" 2>/dev/null; exit 1; }

# The program has ended with status 0, and wrote nothing into the fresh
# home: $1 says what it was allowed to write, which lies elsewhere.
ended_cleanly() {
    local status left
    wait "$pid"
    status=$?
    [ "$status" -eq 0 ] || { echo "$name: exit status $status"; exit 1; }
    left=$(find "$home" -mindepth 1 | head -n 5)
    [ -z "$left" ] || { echo "$name: the program wrote outside $1: $left"; exit 1; }
}

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

home=$(mktemp -d)
# Users run a UTF-8 locale. In the C locale the toolkit mangles the legacy
# WM_NAME caption, which is the one xdotool matches.
export LC_ALL=C.UTF-8
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$home/cache XDG_DATA_HOME=$home/data
