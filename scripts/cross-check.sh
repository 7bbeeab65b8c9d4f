#!/usr/bin/env bash
# The filter and korvidecode, cross-built for arm64 (little-endian, no SSE2) and s390x
# (big-endian) and run under qemu-user, must do exactly what the x86-64 build does. The jobs: the
# generated rasters of tests/e2e/rastergen.cpp (every width modulo 8, runs, blank stretches, every
# paper size, streams cut short, an empty one, a refused colour space) and the benchmark corpora
# (bench/corpora.sh: text, CUPS's test page, dithered grey; W and K), each printed once plainly and
# once with 3 copies and options. Per job the filter's output must be byte-identical and its exit
# status the same; korvidecode's verbose listing and page images of each x86-64 stream (and of one
# cut short) must be identical too.
# Usage: cross-check.sh [aarch64|s390x ...]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(aarch64 s390x)
scripts/cross-setup.sh >/dev/null
scripts/setup.sh >/dev/null  # the x86-64 build, with rastergen
sysroot=${KORVI_CROSS_CACHE:-/var/cache/korvi-cross}/s390x/root
work=$(mktemp -d /tmp/korvi-cross-XXXXXX)
trap '[ -n "${KORVI_KEEP:-}" ] || rm -rf "$work"' EXIT
export PPD=$PWD/build/ppd/korvilaser.ppd

mkdir -p "$work/in" "$work/ref"
build/tests/rastergen "$work/in"
bench/corpora.sh "$work/in"
argsets=("1|" "3|PrintDensity=4 PaperWeight=0")

# run OUTDIR FILTER [RUNNER...]: every job with every argument set; DIR/NAME.N.prn and .rc.
run() {
  local out=$1 filter=$2; shift 2
  mkdir -p "$out"
  for in in "$work"/in/*.ras; do
    for n in "${!argsets[@]}"; do
      local name=$out/$(basename "$in" .ras).$n rc=0
      "$@" "$filter" 1 korvi cross "${argsets[n]%%|*}" "${argsets[n]#*|}" "$in" >"$name.prn" 2>/dev/null || rc=$?
      echo "$rc" >"$name.rc"
    done
  done
}
# decode OUTDIR DECODER [RUNNER...]: listing and page images of every x86-64 stream, written in
# OUTDIR under names that do not name OUTDIR.
decode() {
  local out=$1 decoder=$PWD/$2; shift 2
  mkdir -p "$out"
  for prn in "$work"/ref/*.prn "$work/cut.prn"; do
    local name rc=0
    name=$(basename "$prn" .prn)
    (cd "$out" && "$@" "$decoder" --verbose --images "$name" --format pbm "$prn" >"$name.txt" 2>&1) || rc=$?
    echo "$rc" >"$out/$name.rc"
  done
}

run "$work/ref" build/filter/rastertokorvilaserprinter
head -c 300000 "$work/ref/papers.0.prn" >"$work/cut.prn"
decode "$work/ref-decode" build/korvidecode/korvidecode
jobs=$(ls "$work"/ref/*.prn | wc -l)
echo "x86-64: $jobs filter runs, exit status $(cat "$work"/ref/*.rc | sort | uniq -c | awk '{ printf "%s%s in %s", sep, $2, $1; sep = ", " }')"

failed=0
for arch in "${arches[@]}"; do
  case $arch in
    aarch64) triplet=aarch64-linux-gnu runner=(qemu-aarch64-static -L /usr/aarch64-linux-gnu) sysopt=() ;;
    s390x) triplet=s390x-linux-gnu runner=(qemu-s390x-static -L "$sysroot") sysopt=(-DKORVI_SYSROOT="$sysroot") ;;
    *) echo "unknown architecture $arch"; exit 2 ;;
  esac
  build=build-cross-$arch
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/cross.cmake" -DKORVI_CROSS_TRIPLET=$triplet \
    "${sysopt[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j"$(nproc)" --target rastertokorvilaserprinter korvidecode >/dev/null
  run "$work/$arch" "$build/filter/rastertokorvilaserprinter" "${runner[@]}"
  decode "$work/$arch-decode" "$build/korvidecode/korvidecode" "${runner[@]}"
  streams=$(diff -rq "$work/ref" "$work/$arch" || true)
  listings=$(diff -rq "$work/ref-decode" "$work/$arch-decode" || true)
  if [ -z "$streams$listings" ]; then
    echo "$arch: $jobs filter runs byte-identical to x86-64 with the same exit status;" \
      "$((jobs + 1)) korvidecode listings and their page images identical"
  else
    echo "$arch: DIFFERS from x86-64 in $(grep -c . <<<"$streams$listings") files:"
    echo "$streams$listings" | sed "s#$work/##g" | head -20
    failed=1
  fi
done
[ "$failed" = 0 ] && echo "PASS: ${arches[*]} as x86-64" || { echo "FAIL: cross-architecture check"; exit 1; }
