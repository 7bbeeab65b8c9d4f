#!/usr/bin/env bash
# Sets up (see setup.sh), then prints the bundled sample document through CUPS's own filter chain
# (cupsfilter: ghostscript renders it to 600-dpi raster, then our filter) with the driver's PPD,
# writing the printer stream to out/sample.prn. Lists the stream with the inspector and writes a
# preview of each printed page to out/sample-N.png. Nothing is installed into the system.
# Usage: sample.sh [DOCUMENT [cupsfilter options...]]   (default: samples/sample.ps)
set -euo pipefail
doc=$(realpath "${1:-$(dirname "$0")/../samples/sample.ps}")
shift $(($# > 0 ? 1 : 0))
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
mkdir -p out
sandbox=$(mktemp -d)
trap 'rm -rf "$sandbox"' EXIT
scripts/serverbin.sh "$sandbox" build/filter/rastertokorvilaserprinter

cupsfilter -c "$sandbox/cups-files.conf" -p build/ppd/korvilaser.ppd -m printer/foo -e "$@" \
  "$doc" >out/sample.prn 2>out/sample.log || {
  echo "cupsfilter failed; its log is out/sample.log" >&2
  exit 1
}
rm -f out/sample-*.png
build/korvidecode/korvidecode --images out/sample --format png out/sample.prn
echo
echo "Printer stream: out/sample.prn ($(stat -c %s out/sample.prn) bytes)"
echo "Page preview:   $(ls out/sample-*.png | tr '\n' ' ')"
