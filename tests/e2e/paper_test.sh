#!/usr/bin/env bash
# What lands on paper: real documents (the given ones and CUPS's own test page and form) rendered
# by CUPS's filter chain with the driver's PPD at each of its paper sizes, then printed by the
# filter; every printed page must equal the chain's raster dot for dot, placed where the document has it.
# Usage: paper_test.sh FILTER PAPERCHECK PPD DOCUMENT...
set -euo pipefail
filter=$1 papercheck=$2 ppd=$3
shift 3
data=$(cups-config --datadir)/data
docs=("$@" "$data/default-testpage.pdf" "$data/form_english.pdf")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$(dirname "$0")/../../scripts/serverbin.sh" "$work" "$filter"

failed=0
for doc in "${docs[@]}"; do
  for media in A4 A5 ISOB5 Letter Legal; do
    name=$(basename "$doc")-$media
    # The chain up to the raster, as CUPS runs it for this PPD; two pages at most per document.
    cupsfilter -c "$work/cups-files.conf" -p "$ppd" -m application/vnd.cups-raster -o media="$media" \
      -o page-ranges=1-2 "$doc" >"$work/$name.ras" 2>"$work/$name.log" ||
      { cat "$work/$name.log"; echo "FAIL: $name: cupsfilter"; exit 1; }
    PPD=$ppd "$filter" 1 user "$name" 1 "media=$media" "$work/$name.ras" >"$work/$name.prn" ||
      { echo "FAIL: $name: the filter failed"; exit 1; }
    if ! "$papercheck" "$work/$name.ras" "$work/$name.prn" >"$work/$name.txt"; then
      failed=1
      echo "FAIL: $name"
    fi
    sed "s|^|$name |" "$work/$name.txt"
  done
done
[ "$failed" = 0 ] || exit 1
echo "PASS: every page printed as rendered"
