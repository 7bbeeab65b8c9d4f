#!/usr/bin/env bash
# Sets up (see setup.sh), builds and runs the whole test suite: the Printer Application's
# end-to-end tests one at a time after the rest (each runs servers, converters and a virtual
# printer of its own; two at once on a 2-core machine race each other's time limits).
# KORVI_SKIP_LABEL: leaves out the tests of that label (CI runs the app-table tests once a build).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=${KORVI_BUILD_DIR:-build}
app='^e2e\.(printerapp|app)'
skip=(${KORVI_SKIP_LABEL:+-LE "$KORVI_SKIP_LABEL"})
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -E "$app" "${skip[@]}"
ctest --test-dir "$build" --output-on-failure -R "$app" "${skip[@]}"
