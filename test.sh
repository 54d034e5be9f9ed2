#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite through CTest:
# once as built normally, once with AddressSanitizer and
# UndefinedBehaviorSanitizer, then the table reader's fuzz target for a
# bounded time (VANTOREL_FUZZ_SECONDS, 30 by default).
set -euo pipefail
source "$(dirname "$0")/tools/setup.sh"

vantorel_ensure_packages "${VANTOREL_PACKAGES[@]}" "${VANTOREL_TEST_PACKAGES[@]}"

vantorel_build "$VANTOREL_ROOT/build"
ctest --test-dir "$VANTOREL_ROOT/build" --output-on-failure -j2

vantorel_build "$VANTOREL_ROOT/build-asan" -DVANTOREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
ctest --test-dir "$VANTOREL_ROOT/build-asan" --output-on-failure -j2

vantorel_build "$VANTOREL_ROOT/build-fuzz" -DVANTOREL_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOREL_FUZZ_SECONDS="${VANTOREL_FUZZ_SECONDS:-30}"
ctest --test-dir "$VANTOREL_ROOT/build-fuzz" --output-on-failure
