#!/usr/bin/env bash
# The line encoder's benchmark on the real lines of the three corpora (bench/corpora.sh), every
# path, plus synthetic lines: ns per line. Usage: bench/encoder.sh [benchmark flags]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
work=$(mktemp -d /tmp/korvi-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
bench/corpora.sh "$work"
build/bench/encoder_bench "$@" text="$work/text-W.ras" testpage="$work/testpage-W.ras" \
  dithered="$work/dithered-W.ras"
