#!/usr/bin/env bash
# Sets up (see setup.sh), builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
ctest --test-dir "${KORVI_BUILD_DIR:-build}" --output-on-failure -j"$(nproc)"
