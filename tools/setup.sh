# SPDX-License-Identifier: MIT
# Shared set-up of run.sh and test.sh: installs the Debian packages that are
# missing, then configures and builds. Sourced, not run.

VANTOREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What the program needs to build and run.
VANTOREL_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libgl-dev
                   qt6-svg-dev libboost-math-dev libpng-dev libxlsxwriter-dev libzip-dev libdragonbox-dev
                   pkg-config fonts-urw-base35 fonts-liberation2 qt6-translations-l10n)
# What the test suite needs besides: a virtual X server for the real-window
# test, clang with libFuzzer for the fuzz test, the validators and dpkg tools
# and lintian for the package test, clang-format for the format check, SciPy
# and statsmodels to check the batch statistics, openpyxl to read the xlsx
# summary back, LibreOffice and poppler to open the annual report's chapter.
VANTOREL_TEST_PACKAGES=(xvfb xdotool xclip clang libclang-rt-14-dev clang-format desktop-file-utils
                        appstream dpkg-dev file lintian python3-scipy python3-statsmodels
                        python3-openpyxl libreoffice-writer-nogui poppler-utils)

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

# vantorel_build PRESET [cmake options...]: configures with a preset of
# CMakePresets.json, logging into the build folder, then builds.
vantorel_build() {
    local preset=$1
    shift
    local dir="$VANTOREL_ROOT/build"
    [ "$preset" = default ] || dir="$VANTOREL_ROOT/build-$preset"
    local options=()
    # Warnings are errors in CI only.
    if [ "${CI:-}" = true ]; then
        options+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
    fi
    mkdir -p "$dir"
    (cd "$VANTOREL_ROOT" && cmake --preset "$preset" "${options[@]}" "$@") >"$dir/configure.log" 2>&1 \
        || { cat "$dir/configure.log"; return 1; }
    (cd "$VANTOREL_ROOT" && cmake --build --preset "$preset")
}

# Fails when a C++ file is not formatted with the project's .clang-format.
vantorel_check_format() {
    local files
    mapfile -t files < <(cd "$VANTOREL_ROOT" && git ls-files '*.cpp' '*.h' 2>/dev/null \
                         || find app calc form batch tests bench fuzz data -name '*.cpp' -o -name '*.h')
    (cd "$VANTOREL_ROOT" && clang-format --dry-run -Werror "${files[@]}")
}
