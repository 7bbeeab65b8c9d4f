#!/usr/bin/env bash
# Builds with the line encoder's plain C++ path only (as on machines without SSE2) in build-plain/
# and runs the whole suite there, so the portable path is held to the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
KORVI_BUILD_DIR=build-plain scripts/setup.sh -DKORVI_PLAIN_ENCODER=ON -DKORVI_BENCH=OFF >/dev/null
# The app's own behaviour tests (e2e.app*: service, queue, options, network, the tables) ask
# nothing of the encoder that the filter's tests and e2e.printerapp (every format through the
# app) do not: the release and sanitizer runs cover them.
KORVI_EVERYWHERE_RUNS=1 ctest --test-dir build-plain --output-on-failure -j"$(nproc)" -E '^e2e\.app'
