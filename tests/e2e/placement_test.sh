#!/usr/bin/env bash
# Where ink lands on the paper: for each paper size of the PPD, a PDF of exactly that size with
# five 12-point squares (one near each corner, one in the middle) is printed through CUPS's chain
# (cupsfilter: pdftopdf, ghostscript, the filter) with the PPD. Each square must come out within
# 2 dots of where the document puts it, measured from the paper's top-left corner.
# Usage: placement_test.sh FILTER PLACECHECK PPD
set -euo pipefail
filter=$1 placecheck=$2 ppd=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$(dirname "$0")/../../scripts/serverbin.sh" "$work" "$filter"

# squares W H: writes the document as PostScript and sets `places` to the squares' top-left
# corners in dots (x right, y down). Corners lie on whole multiples of 3 points (25 dots).
squares() {
  local w=$1 h=$2 x y
  local xs=(36 $(((w - 48) / 3 * 3)) 36 $(((w - 48) / 3 * 3)) $(((w / 2 - 6) / 3 * 3)))
  local ys=(36 36 $(((h - 48) / 3 * 3)) $(((h - 48) / 3 * 3)) $(((h / 2 - 6) / 3 * 3)))
  places=()
  printf '%%!PS-Adobe-3.0\n%%%%BoundingBox: 0 0 %d %d\n%%%%Pages: 1\n%%%%EndComments\n%%%%Page: 1 1\n' "$w" "$h"
  printf '<< /PageSize [%d %d] >> setpagedevice\n' "$w" "$h"
  for i in 0 1 2 3 4; do
    x=${xs[$i]} y=${ys[$i]}
    printf '%d %d 12 12 rectfill\n' "$x" $((h - y - 12))
    places+=("$((x * 25 / 3)),$((y * 25 / 3))")
  done
  printf 'showpage\n%%%%EOF\n'
}

failed=0
for size in A4:595x842 A5:420x595 ISOB5:498x708 Letter:612x792 Legal:612x1008; do
  media=${size%%:*} dims=${size#*:}
  w=${dims%x*} h=${dims#*x}
  squares "$w" "$h" >"$work/$media.ps"
  ps2pdf -dDEVICEWIDTHPOINTS="$w" -dDEVICEHEIGHTPOINTS="$h" "$work/$media.ps" "$work/$media.pdf"
  cupsfilter -c "$work/cups-files.conf" -p "$ppd" -m printer/foo -e -o media="$media" "$work/$media.pdf" \
    >"$work/$media.prn" 2>"$work/$media.log" || { cat "$work/$media.log"; echo "FAIL: $media: cupsfilter"; exit 1; }
  "$placecheck" "$work/$media.prn" 100 2 "${places[@]}" >"$work/$media.txt" || failed=1
  sed "s|^|$media |" "$work/$media.txt"
done
[ "$failed" = 0 ] || { echo "FAIL: marks away from where the document puts them"; exit 1; }
echo "PASS: every mark where the document puts it"
