#!/usr/bin/env bash
# Whole-filter benchmark against the read floor and two other CUPS drivers for monochrome lasers.
#
# Renders the three corpora of bench/corpora.sh (ten pages of text, the CUPS test page, dithered
# grey). Each program gets the raster its own PPD asks for: colour space W for this driver, K for
# the others.
# Then times, with REPS repetitions and the median quoted:
#   read floor   bench/rasterread: libcups reads the raster and nothing else
#   korvi        rastertokorvilaserprinter (this driver)
#   rastertohp   CUPS's own, PPD compiled from CUPS's sample.drv (LaserJet)
#   brlaser      rastertobrlaser, PPD compiled from its brlaser.drv
# for output to /dev/null and to a pipe read by another process, with output bytes and peak
# memory. Times are ratios to the read floor of the same corpus and output.
# Usage: bench/compare.sh [REPS]      (default 9)
# With KORVI_BASELINE=PATH, another build of this filter (say, of an earlier commit) is timed
# too, as korvi-base, for before-and-after figures from one run.
set -euo pipefail
cd "$(dirname "$0")/.."
reps=${1:-9}
KORVI_BASELINE=${KORVI_BASELINE:-}

scripts/need.sh printer-driver-brlaser time bc
scripts/setup.sh >/dev/null

work=$(mktemp -d /tmp/korvi-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
serverbin=$(cups-config --serverbin)/filter
ppdc -d "$work/hp" "$(cups-config --datadir)/drv/sample.drv" >/dev/null 2>&1
ppdc -d "$work/br" "$(cups-config --datadir)/drv/brlaser.drv" >/dev/null 2>&1
hp_ppd=$work/hp/laserjet.ppd
br_ppd=$(ls "$work"/br/*.ppd | head -1)

corpora=(text testpage dithered)
bench/corpora.sh "$work"

# The command line of each program for a raster file.
run() {  # run PROGRAM FILE
  case $1 in
    floor) build/bench/rasterread "$2" ;;
    korvi) PPD=build/ppd/korvilaser.ppd build/filter/rastertokorvilaserprinter 1 bench bench 1 "" "$2" ;;
    korvi-base) PPD=build/ppd/korvilaser.ppd "$KORVI_BASELINE" 1 bench bench 1 "" "$2" ;;
    rastertohp) PPD=$hp_ppd "$serverbin/rastertohp" 1 bench bench 1 "" "$2" 2>/dev/null ;;
    brlaser) PPD=$br_ppd "$serverbin/rastertobrlaser" 1 bench bench 1 "" "$2" 2>/dev/null ;;
  esac
}
export -f run
export hp_ppd br_ppd serverbin KORVI_BASELINE

median_ms() {  # median_ms MODE PROGRAM FILE
  local times=() i start end
  for ((i = 0; i < reps; i++)); do
    start=$(date +%s%N)
    if [ "$1" = null ]; then run "$2" "$3" >/dev/null; else run "$2" "$3" | cat >/dev/null; fi
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.2f", a[int((NR+1)/2)]/1000}'
}

printf '%-9s %-11s %9s %7s %9s %7s %10s %8s\n' corpus program "null ms" ratio "pipe ms" ratio "out bytes" "peak KB"
for c in "${corpora[@]}"; do
  declare -A floor=()
  for p in floor korvi ${KORVI_BASELINE:+korvi-base} rastertohp brlaser; do
    file=$work/$c-K.ras
    [[ "$p" = korvi* ]] && file=$work/$c-W.ras
    run "$p" "$file" >/dev/null  # warm the page cache
    null=$(median_ms null "$p" "$file")
    pipe=$(median_ms pipe "$p" "$file")
    if [ "$p" = floor ]; then floor[null]=$null floor[pipe]=$pipe; fi
    bytes=$(run "$p" "$file" | wc -c)
    peak=$( { /usr/bin/time -f %M bash -c 'run "$0" "$1" >/dev/null' "$p" "$file"; } 2>&1 | tail -1)
    printf '%-9s %-11s %9s %6.2fx %9s %6.2fx %10s %8s\n' "$c" "$p" "$null" \
      "$(echo "$null / ${floor[null]}" | bc -l)" "$pipe" "$(echo "$pipe / ${floor[pipe]}" | bc -l)" "$bytes" "$peak"
  done
done
echo "raster: $(stat -c %s "$work/text-W.ras") bytes of text ($(ls "$work" | wc -l) files); $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2)"
