#!/usr/bin/env bash
# Fixture of the end-to-end tests: creates the Wine prefix (the first time
# takes up to a minute) and builds the probe, so the tests' own time limits
# cover only the tests.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

E2E_NAME=setup
wine_prefix_init || e2e_fail "the Wine prefix could not be created"
probe_build || e2e_fail "the probe could not be built"
command -v Xvfb xdotool xdpyinfo import >/dev/null || e2e_fail "X tools missing"
e2e_log "prefix $ZUB_WINEPREFIX and probe $ZUB_PROBE_EXE ready"
