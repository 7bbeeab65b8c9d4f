#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ and runs
# the whole test suite there (the filter run by the tests, cupsfilter and cupsd is that build).
# The Printer Application's end-to-end tests run one at a time: two instrumented servers, their
# converters and the virtual printers at once outrun this 2-core machine's time limits.
set -euo pipefail
cd "$(dirname "$0")/.."
KORVI_BUILD_DIR=build-asan scripts/setup.sh -DKORVI_SANITIZE=ON -DKORVI_BENCH=OFF >/dev/null
app='^e2e\.(printerapp|app)'
ctest --test-dir build-asan --output-on-failure -j"$(nproc)" -E "$app"
# ipp-everywhere.test once (the release suite runs it three times in a row, for the job ends).
KORVI_EVERYWHERE_RUNS=1 ctest --test-dir build-asan --output-on-failure -R "$app"
