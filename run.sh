#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds, and starts the program.
set -euo pipefail
source "$(dirname "$0")/tools/setup.sh"

vantorel_ensure_packages "${VANTOREL_PACKAGES[@]}"
vantorel_build default

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display (DISPLAY is not set); to run without one: xvfb-run -a ./run.sh" >&2
    exit 1
fi
exec "$VANTOREL_ROOT/build/app/vantorel" "$@"
