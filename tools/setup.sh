# Shared set-up of run.sh and test.sh: installs the Debian packages that are
# missing, then configures and builds. Sourced, not run.

VANTOREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What the program needs to build and run.
VANTOREL_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libgl-dev
                   qt6-svg-dev libboost-math-dev fonts-urw-base35)
# What the test suite needs besides: a virtual X server for the real-window
# test, clang with libFuzzer for the fuzz test, the validators and dpkg tools
# for the package test.
VANTOREL_TEST_PACKAGES=(xvfb xdotool clang libclang-rt-14-dev desktop-file-utils appstream
                        dpkg-dev file)

vantorel_ensure_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' \
            || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; return 1; }
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

# vantorel_build DIR [cmake options...]
vantorel_build() {
    local dir=$1
    shift
    local options=(-G Ninja)
    # Warnings are errors in CI only.
    if [ "${CI:-}" = true ]; then
        options+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
    fi
    cmake -S "$VANTOREL_ROOT" -B "$dir" "${options[@]}" "$@" >"$dir.configure.log" 2>&1 \
        || { cat "$dir.configure.log"; return 1; }
    cmake --build "$dir"
}
