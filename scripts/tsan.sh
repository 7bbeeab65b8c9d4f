#!/usr/bin/env bash
# Builds the Printer Application, and what its tests run beside it (the filter, its PPD and
# korvidecode), with ThreadSanitizer in build-tsan/, and runs the app's concurrency and attacker's tables there.
# A data race or a lock-order inversion the sanitizer reports fails it; tests/e2e/tsan.supp holds
# the only suppressions, for PAPPL's own internals, each with its reason.
set -euo pipefail
cd "$(dirname "$0")/.."
KORVI_BUILD_DIR=build-tsan KORVI_BUILD_TARGETS="korvi-printer-app rastertokorvilaserprinter korvi_ppd korvidecode" \
  scripts/setup.sh -DKORVI_TSAN=ON -DKORVI_BENCH=OFF >/dev/null
TSAN_OPTIONS="suppressions=$PWD/tests/e2e/tsan.supp second_deadlock_stack=1${TSAN_OPTIONS:+ $TSAN_OPTIONS}" \
  ctest --test-dir build-tsan --output-on-failure -R '^e2e\.(appconcurrency|appattack)$'
