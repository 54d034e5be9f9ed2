# SPDX-License-Identifier: MIT
# What the real-window tests share, sourced by each: a virtual X server of
# their own, the windows found by their captions, and a fresh home, so that
# whatever the program writes there shows. `name` and `pid` are the test's
# own; what it adds to `scratch` is removed at the end.
#
# The server picks its own display number (-displayfd) and is waited for
# when the test ends. Numbers chosen from lock files and servers left to
# die on their own let a test that starts just after another meet a display
# that is going away.

for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "$name: $tool is not installed"; exit 1; }
done

xpid=
stop_x() {
    [ -n "$xpid" ] || return 0
    kill "$xpid" 2>/dev/null
    wait "$xpid" 2>/dev/null
    xpid=
}

# A server that answers a client, or status 1 after three tries.
start_x() {
    local n display=$xdir/display
    for _ in 1 2 3; do
        : >"$display"
        # A key that a loaded machine holds down past the server's usual
        # 660 ms would repeat: the delay is set past any test's wait. Left
        # to itself the server resets when its last client leaves, as the
        # probe below does just before the program connects; a program that
        # met that reset found no server.
        Xvfb -displayfd 3 -nolisten tcp -noreset -ardelay 60000 -screen 0 1280x900x24 3>"$display" \
            2>"$xdir/server.log" &
        xpid=$!
        for _ in $(seq 1 100); do
            [ -s "$display" ] && break
            kill -0 "$xpid" 2>/dev/null || break
            sleep 0.1
        done
        n=$(tr -dc 0-9 <"$display")
        if [ -n "$n" ]; then
            export DISPLAY=:$n
            xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
        fi
        stop_x
    done
    cat "$xdir/server.log"
    return 1
}

# A failure says what the server said too, so that one seen only in CI
# explains itself.
fail() {
    echo "$name: $*"
    kill "$pid" 2>/dev/null
    local what
    for what in program server; do
        [ -s "$xdir/$what.log" ] && sed "s/^/$name: $what: /" "$xdir/$what.log" | tail -n 20
    done
    exit 1
}

# Starts the program in the background as `pid` and sets `window` to its
# window with this caption once it is shown. A program that ends at once
# because it could not connect to the server is started again on a new
# server, twice at most: that is the test's machine, not the program. What
# the program says goes to program.log, shown when the test fails.
launch() {
    local caption=$1
    shift
    for _ in 1 2 3; do
        timeout 120 "$@" 2>"$xdir/program.log" &
        pid=$!
        window=$(wait_for_window "$caption") && return 0
        kill -0 "$pid" 2>/dev/null && return 1
        grep -q "could not connect to display" "$xdir/program.log" || return 1
        echo "$name: the program found no server at $DISPLAY; a new one is started"
        stop_x
        start_x || return 1
    done
    return 1
}

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

# Gives the window the focus and sends it keys (xdotool's words, "type
# TEXT" too) until it closes, or status 1 after ten tries. On a loaded
# machine the toolkit may hand the focus back to the window it last
# activated after the test gave it to this one, and the keys go there.
keys_until_gone() {
    local caption=$1 w
    shift
    for _ in $(seq 1 10); do
        w=$(find_window "$caption")
        [ -n "$w" ] || return 0
        xdotool windowfocus --sync "$w"
        local words=("$@") i=0
        while [ $i -lt ${#words[@]} ]; do
            if [ "${words[$i]}" = type ]; then
                xdotool type --delay 10 "${words[$((i + 1))]}"
                i=$((i + 2))
            else
                xdotool key "${words[$i]}"
                i=$((i + 1))
            fi
        done
        for _ in $(seq 1 30); do
            [ -z "$(find_window "$caption")" ] && return 0
            sleep 0.1
        done
    done
    return 1
}

# The file has bytes, or status 1 after 30 s.
wait_for_file() {
    for _ in $(seq 1 300); do
        [ -s "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# The server is started before the fresh home is set, so that nothing it
# writes can be taken for the program's.
xdir=$(mktemp -d)
home=$(mktemp -d)
scratch=()
trap 'stop_x; rm -rf "$xdir" "$home" "${scratch[@]}"' EXIT
unset XAUTHORITY
start_x || { echo "$name: no X server"; exit 1; }

# Users run a UTF-8 locale. In the C locale the toolkit mangles the legacy
# WM_NAME caption, which is the one xdotool matches.
export LC_ALL=C.UTF-8
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$home/cache XDG_DATA_HOME=$home/data
