#!/usr/bin/env bash
# Builds with the line encoder's plain C++ path only (as on machines without SSE2) in build-plain/
# and runs the whole suite there, so the portable path is held to the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
KORVI_BUILD_DIR=build-plain scripts/setup.sh -DKORVI_PLAIN_ENCODER=ON -DKORVI_BENCH=OFF >/dev/null
# The app's table tests (label app-table) ask nothing of the encoder: the release and sanitizer
# runs cover them.
ctest --test-dir build-plain --output-on-failure -j"$(nproc)" -LE app-table
