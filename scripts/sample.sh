#!/usr/bin/env bash
# Sets up (see setup.sh), renders the bundled sample document to a 600-dpi 1-bit CUPS raster with
# ghostscript and runs the filter on it, writing the printer stream to out/sample.prn; then lists
# the stream with the inspector and writes a preview of each printed page to out/sample-N.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
mkdir -p out
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=cups -r600 -dcupsColorSpace=0 -dcupsBitsPerColor=1 \
   -sPAPERSIZE=a4 -sOutputFile=out/sample.ras samples/sample.ps 2>/dev/null
status=0
PPD=ppd/korvilaser.ppd build/filter/rastertokorvilaserprinter 1 "${USER:-root}" sample 1 "" \
  out/sample.ras >out/sample.prn || status=$?
build/inspector/korvidecode --images out/sample --format png out/sample.prn
echo
echo "Raster input:   out/sample.ras ($(stat -c %s out/sample.ras) bytes)"
echo "Printer stream: out/sample.prn ($(stat -c %s out/sample.prn) bytes), filter exit status $status"
echo "Page preview:   out/sample-1.png"
exit $status
