#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan and UBSan on) in build-fuzz/ and runs each for the
# given number of seconds (default 20), from a copy of its seed corpus in fuzz/corpus/. Findings
# are written to build-fuzz/findings/; any finding fails the run.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]     targets: encoder filter decode
#
# Memory: the bound that counts is resident memory (-rss_limit_mb). A single allocation may be
# larger: libcups reserves a line buffer of the header's bytes per line while it reads a compressed
# page header (up to 4 GiB, zero-filled by the kernel and never touched, since the filter refuses
# such a page before reading any of its pixels).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(encoder filter decode)

scripts/need.sh clang libclang-rt-14-dev
scripts/setup.sh >/dev/null   # the other build dependencies

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DKORVI_FUZZ=ON -DBUILD_TESTING=OFF -DKORVI_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)" >/dev/null

mkdir -p build-fuzz/findings
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  mkdir -p "$corpus"
  cp -n fuzz/corpus/"$t"/* "$corpus"/ 2>/dev/null || true
  echo "fuzzing $t for ${seconds}s"
  build-fuzz/fuzz/"${t}"_fuzz -max_total_time="$seconds" -max_len=16384 -rss_limit_mb=2048 -malloc_limit_mb=8192 -timeout=20 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$t"- "$corpus" 2>build-fuzz/"$t".log || {
    tail -40 build-fuzz/"$t".log
    echo "FAIL: fuzz target $t found a problem (see build-fuzz/findings/)"
    exit 1
  }
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' build-fuzz/"$t".log | tr '\n' ' '
  echo
done
echo "PASS: fuzzing"
