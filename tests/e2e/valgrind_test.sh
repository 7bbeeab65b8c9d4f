#!/usr/bin/env bash
# valgrind memcheck on a real multi-page job: the test PDF rendered to 600-dpi raster by
# ghostscript. No invalid reads or writes, no leaks.
# Usage: valgrind_test.sh FILTER PPD PDF
set -euo pipefail
filter=$1 ppd=$2 pdf=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=cups -r600 -dcupsColorSpace=0 -dcupsBitsPerColor=1 \
   -sPAPERSIZE=a4 -sOutputFile="$work/job.ras" "$pdf" 2>/dev/null
PPD=$ppd valgrind --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect \
  --errors-for-leak-kinds=definite,indirect \
  "$filter" 1 tester job 1 "PrintDensity=3" "$work/job.ras" >"$work/job.prn" 2>"$work/valgrind.log" || {
  status=$?
  cat "$work/valgrind.log"
  echo "FAIL: filter exit status $status under valgrind"
  exit 1
}
[ -s "$work/job.prn" ] || { echo "FAIL: no output"; exit 1; }
echo "PASS: valgrind clean on a $(stat -c %s "$work/job.ras")-byte, multi-page raster job"
