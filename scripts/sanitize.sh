#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ and runs
# the whole test suite there (the filter run by the tests, cupsfilter and cupsd is that build).
set -euo pipefail
cd "$(dirname "$0")/.."
KORVI_BUILD_DIR=build-asan scripts/setup.sh -DKORVI_SANITIZE=ON -DKORVI_BENCH=OFF >/dev/null
ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
