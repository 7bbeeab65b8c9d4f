#!/usr/bin/env bash
# Renders the benchmark corpora with ghostscript to 600-dpi 1-bit A4 raster in DIR: ten pages of
# text (bench/data/text10.pdf), the CUPS test page, and a page of dithered grey noise (no runs),
# each as NAME-W.ras (colour space W, what this driver's PPD asks for) and NAME-K.ras (K).
# Usage: bench/corpora.sh DIR
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
render() {  # render NAME SOURCE COLORSPACE
  gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=cups -r600 -dcupsColorSpace="$3" -dcupsBitsPerColor=1 \
    -sPAPERSIZE=a4 -sOutputFile="$dir/$1.ras" "$2" 2>/dev/null
}
declare -A source=([text]=bench/data/text10.pdf [testpage]="$(cups-config --datadir)/data/default-testpage.pdf"
                   [dithered]=bench/data/grey.ps)
for c in text testpage dithered; do
  render "$c-W" "${source[$c]}" 0
  render "$c-K" "${source[$c]}" 3
done
