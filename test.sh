#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, checks the formatting, builds, and runs the
# whole suite through CTest: once as built normally, once with
# AddressSanitizer and UndefinedBehaviorSanitizer, and the table reader's
# fuzz target for a bounded time (VANTOREL_FUZZ_SECONDS, 20 by default)
# beside the second.
set -euo pipefail
source "$(dirname "$0")/tools/setup.sh"

vantorel_ensure_packages "${VANTOREL_PACKAGES[@]}" "${VANTOREL_TEST_PACKAGES[@]}"
vantorel_check_format

cd "$VANTOREL_ROOT"
vantorel_build default
ctest --preset default

# The fuzz run keeps one core busy for its bounded time: it runs beside the
# sanitizer build and tests, and its output follows theirs.
vantorel_build fuzz -DVANTOREL_FUZZ_SECONDS="${VANTOREL_FUZZ_SECONDS:-20}"
fuzz_log=$(mktemp)
trap 'rm -f "$fuzz_log"' EXIT
ctest --preset fuzz >"$fuzz_log" 2>&1 &
fuzz_pid=$!

status=0
vantorel_build asan && ctest --preset asan || status=$?
wait "$fuzz_pid" || status=$?
cat "$fuzz_log"
exit "$status"
