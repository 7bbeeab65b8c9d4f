#!/usr/bin/env bash
# End to end through CUPS's own filter chain: cupsfilter turns a real PDF into the printer stream
# (pdftopdf, ghostscript, then our filter, as the PPD's *cupsFilter says) with a private ServerBin
# holding the built filter beside the system's filters. Checked with the stream inspector.
# Usage: cupsfilter_test.sh FILTER KORVIDECODE PPD PDF
set -euo pipefail
filter=$1 decode=$2 ppd=$3 pdf=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$(dirname "$0")/../../scripts/serverbin.sh" "$work" "$filter"

fail() { echo "FAIL: $*"; exit 1; }

# run NAME OPTIONS... : prints the inspector's listing of the stream for the PDF with those options.
run() {
  local name=$1; shift
  cupsfilter -c "$work/cups-files.conf" -p "$ppd" -m printer/foo -e "$@" "$pdf" \
    >"$work/$name.prn" 2>"$work/$name.log" || { cat "$work/$name.log"; fail "$name: cupsfilter failed"; }
  "$decode" "$work/$name.prn" >"$work/$name.txt" || { cat "$work/$name.txt"; fail "$name: stream not well-formed"; }
  cat "$work/$name.txt"
}

expect() {  # expect NAME TEXT
  grep -qF -- "$2" "$work/$1.txt" || { cat "$work/$1.txt"; fail "$1: expected '$2'"; }
}

run plain
expect plain "Pages: 3"
expect plain "print density  2 (byte 0x12)"
expect plain "paper weight   1 (byte 0x11)"
expect plain "paper size     4960 x 7016 dots, 210.0 x 297.0 mm (A4)"
expect plain "copies         1 (CRC 0x2549, correct)"
if grep -q " 0 frames" "$work/plain.txt"; then fail "plain: a page has no frames"; fi

run options -o PrintDensity=4 -o PaperWeight=3 -o media=Letter
expect options "Pages: 3"
expect options "print density  4 (byte 0x14)"
expect options "paper weight   3 (byte 0x13)"
expect options "paper size     5100 x 6600 dots"

echo "PASS: cupsfilter chain"
