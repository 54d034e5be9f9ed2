#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, checks the formatting, builds, and runs the
# whole suite through CTest: once as built normally, once built by clang
# with AddressSanitizer and UndefinedBehaviorSanitizer, which adds the table
# reader's fuzz target for a bounded time (VANTOREL_FUZZ_SECONDS, 25 by
# default).
set -euo pipefail
source "$(dirname "$0")/tools/setup.sh"

vantorel_ensure_packages "${VANTOREL_PACKAGES[@]}" "${VANTOREL_TEST_PACKAGES[@]}"
vantorel_check_format

cd "$VANTOREL_ROOT"
vantorel_build default
ctest --preset default

# The sanitizer build holds the fuzz target too; its bounded run goes
# beside the other tests there, two at a time.
vantorel_build asan -DVANTOREL_FUZZ_SECONDS="${VANTOREL_FUZZ_SECONDS:-25}"
ctest --preset asan
