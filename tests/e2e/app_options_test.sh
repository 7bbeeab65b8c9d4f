#!/usr/bin/env bash
# What the Printer Application's layout options do to the printed page, checked on the page
# images the virtual printer keeps (ink bounding box, the place of an off-centre mark, pages and
# copies): orientation-requested 3 to 6, print-scaling's five values on an A6 and on an A3 page
# into A4, collated and uncollated copies (the printer's copy count where the paper is the same:
# one page, or uncollated), page ranges inside and past the end; oversize and
# landscape pages of every format fitted to one of the printer's papers, portrait; the printer's
# darkness set in the web interface, with `modify` and over IPP, and what every view says of it
# and what a job prints with; the default orientation, also after a restart; the web interface's
# test page. Runs as root in namespaces of its own (app_root.sh).
# Usage: app_layout_test.sh APP KORVIDECODE INKCOVER PDF
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_root.sh"
app=$1 decode=$2 inkcover=$3 pdf=$4
app=$(build_copy "$work/build" "$app")

# Documents. mark: a 300 x 100 pt bar at the top left of a portrait A4 page, 72 pt in. three:
# three A4 pages, page k with a 100 pt square 200 * k pt down. a6 and a3: a 10 pt frame at the
# paper's edges and a 100 pt square at its centre. mixed: the mark's page, then a landscape one.
doc() {
  local name=$1; shift
  gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile="$work/$name.pdf" -c "$@" >/dev/null ||
    fail "making $name.pdf"
}
frame() { echo "<< /PageSize [$1 $2] >> setpagedevice 10 setlinewidth 5 5 $(($1 - 10)) $(($2 - 10)) rectstroke
  $(($1 / 2 - 50)) $(($2 / 2 - 50)) 100 100 rectfill showpage"; }
doc mark '<< /PageSize [595 842] >> setpagedevice 72 670 300 100 rectfill showpage'
doc three '1 1 3 { /k exch def << /PageSize [595 842] >> setpagedevice 72 842 200 k mul sub 100 100 rectfill showpage } for'
doc a6 "$(frame 298 420)"
doc a3 "$(frame 842 1191)"
doc mixed '<< /PageSize [595 842] >> setpagedevice 72 670 300 100 rectfill showpage
  << /PageSize [842 595] >> setpagedevice 72 423 300 100 rectfill showpage'
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ps2write -sOutputFile="$work/a3.ps" "$work/a3.pdf" >/dev/null
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ps2write -sOutputFile="$work/mixed.ps" "$work/mixed.pdf" >/dev/null
raster() {  # raster NAME DEVICE DOCUMENT [gs options]: 8-bit grey at 600 dpi
  local name=$1 device=$2 document=$3; shift 3
  gs -q -dNOPAUSE -dBATCH -dSAFER -r600 -sDEVICE="$device" -dcupsColorSpace=18 -dcupsBitsPerColor=8 "$@" \
    -sOutputFile="$work/$name" "$document" >/dev/null 2>&1 || fail "making $name"
}
raster a3.pwg pwgraster "$work/a3.pdf"
raster landscape.pwg pwgraster "$work/mixed.pdf" -dFirstPage=2
raster landscape.urf appleraster "$work/mixed.pdf" -dFirstPage=2
raster a6.pwg pwgraster "$work/a6.pdf"
gs -q -dNOPAUSE -dBATCH -dSAFER -r100 -sDEVICE=jpeggray -sOutputFile="$work/mark.jpg" "$work/mark.pdf" >/dev/null

start_printer "$decode" "$work/vp" || fail "the virtual printer did not start"
start_app
"$app" add -d korvi -m korvi_laser -v "socket://127.0.0.1:$vp_port" >/dev/null || fail "add the printer"

# layout FILE [-o NAME=VALUE...]: prints FILE, waits for it, and echoes one line per printed
# page: paper width and height, copies, the ink's box (left top right bottom) in dots.
layout() {
  local file=$1 id n; shift
  n=$(($(vp_jobs) + 1))
  id=$("$app" submit -d korvi "$@" "$work/$file") || fail "$file $*: refused"
  id=${id#korvi-}
  wait_job "$id"
  wait_until 100 grep -q "^job $n:" "$work/vp.out" || fail "$file $*: nothing reached the printer"
  if [ -s "$work/vp/job-$n.prn" ]; then "$inkcover" "$work/vp/job-$n.prn"; else echo "nothing: $(job_state "$id")"; fi
}
# Checks of the pages a row printed, one line each: paper width and height, copies, ink box.
papers=" 4960x7016 3512x4958 4176x5908 5100x6600 5100x8400 "
fits_paper() {  # every page on one of the printer's papers, portrait, nothing past its edges
  awk -v papers="$papers" '{ if (index(papers, " " $1 "x" $2 " ") == 0 || $6 > $1 || $7 > $2 || $8 != "") bad = 1 }
    END { exit bad || NR == 0 }'
}
# mark SHAPE SIDE HALF: one page whose ink is a wide or tall bar in the left or right, upper or
# lower half of the paper, whole (at least 500 dots thick: not cut off at the paper's edge).
mark() {
  awk -v shape="$1" -v side="$2" -v half="$3" '{ w = $6 - $4; h = $7 - $5
    if ((w > h) != (shape == "wide") || (($4 + $6) < $1) != (side == "left") || (($5 + $7) < $2) != (half == "upper") ||
        (w < h ? w : h) < 500) bad = 1 }
    END { exit bad || NR != 1 }'
}
# box W H: one page whose ink spans W x H dots (within 8), centred on the paper (within 8).
box() {
  awk -v w="$1" -v h="$2" 'function off(a, b) { return a > b ? a - b : b - a }
    { if (off($6 - $4, w) > 8 || off($7 - $5, h) > 8 || off($4 + $6, $1) > 16 || off($5 + $7, $2) > 16) bad = 1 }
    END { exit bad || NR != 1 }'
}
# across FULL|PART: one page whose ink spans the printable width (4728 dots on A4), and its
# printable height too (FULL) or less (PART).
across() {
  awk -v full="$1" '{ if ($6 - $4 < 4720 || (($7 - $5 >= 6730) != (full == "FULL"))) bad = 1 } END { exit bad || NR != 1 }'
}
# tops COPIES TOP...: the pages, in order, each with its mark's top at TOP (within 4) and the
# printer's copy count COPIES.
tops() {
  local copies=$1; shift
  awk -v copies="$copies" -v want="$*" 'BEGIN { n = split(want, t, " ") }
    { d = $5 - t[NR]; if ($3 != copies || d > 4 || d < -4) bad = 1 } END { exit bad || NR != n }'
}
# pages N: N pages.
pages() { awk -v n="$1" 'END { exit NR != n }'; }
# copies N: one page, with the printer's copy count N.
copies() { awk -v n="$1" '{ if ($3 != n) bad = 1 } END { exit bad || NR != 1 }'; }

# Rows: document | options | check of what it printed.
while IFS='|' read -r file options check; do
  [ -n "$file" ] || continue
  out=$(layout $file $options)
  echo "$file $options: $(echo "$out" | tr '\n' ';')"
  if [ "${check%% *}" = nothing ]; then
    grep -qF "${check#nothing }" <<<"$out" || fail "$file $options: expected $check"
    continue
  fi
  fits_paper <<<"$out" || fail "$file $options: a page not on the printer's paper"
  $check <<<"$out" || fail "$file $options: expected $check"
done <<'ROWS'
mark.pdf||mark wide left upper
mark.pdf|-o orientation-requested=3|mark wide left upper
mark.pdf|-o orientation-requested=4|mark tall left lower
mark.pdf|-o orientation-requested=5|mark tall right upper
mark.pdf|-o orientation-requested=6|mark wide right lower
a6.pdf|-o print-scaling=auto|box 2484 3500
a6.pdf|-o print-scaling=auto-fit|box 2484 3500
a6.pdf|-o print-scaling=none|box 2484 3500
a6.pdf|-o print-scaling=fit|across PART
a6.pdf|-o print-scaling=fill|across FULL
a3.pdf|-o print-scaling=auto|across PART
a3.pdf|-o print-scaling=auto-fit|across PART
a3.pdf|-o print-scaling=fit|across PART
a3.pdf|-o print-scaling=fill|across FULL
a3.pdf|-o print-scaling=none|box 834 834
three.pdf|-o copies=2|tops 1 833 2500 4166 833 2500 4166
three.pdf|-o copies=2 -o multiple-document-handling=separate-documents-uncollated-copies|tops 2 833 2500 4166
mark.pdf|-o copies=20|tops 20 600
three.pdf|-o copies=20 -o page-ranges=2-2|tops 20 2500
three.pdf|-o copies=2 -o page-ranges=1-2|tops 1 833 2500 833 2500
three.pdf|-o copies=3 -o page-ranges=1-2 -o multiple-document-handling=separate-documents-uncollated-copies|tops 3 833 2500
mark.jpg|-o copies=4|copies 4
three.pdf|-o page-ranges=2-3|tops 1 2500 4166
three.pdf|-o page-ranges=7-9|nothing completed,No page of the document is in the page range 7-9; nothing was printed.,0
mixed.pdf||pages 2
mixed.ps||pages 2
mixed.pdf|-o page-ranges=2-2|mark tall left lower
mixed.ps|-o page-ranges=2-2|mark tall left lower
a3.ps||across PART
a3.pwg||box 4960 7016
landscape.pwg||mark tall left lower
landscape.urf||mark tall left lower
a6.pwg||box 2484 3500
a6.pwg|-o media=iso_a5_148x210mm|box 2484 3500
ROWS

# Impressions are pages times copies, whichever makes the copies.
# The printer must have the job too before the next row counts its jobs.
for handling in separate-documents-collated-copies separate-documents-uncollated-copies; do
  n=$(($(vp_jobs) + 1))
  id=$("$app" submit -d korvi -o copies=2 -o multiple-document-handling=$handling "$work/three.pdf") || fail "submit"
  wait_job "${id#korvi-}"
  wait_until 100 grep -q "^job $n:" "$work/vp.out" || fail "$handling: nothing reached the printer"
  [ "$(job_state "${id#korvi-}" | awk -F, '{ print $NF }')" = 6 ] ||
    fail "$handling: job-impressions-completed is not 6: $(job_state "${id#korvi-}")"
done

echo "--- printer defaults, as the web interface or modify sets them, for jobs that name none"
web_defaults() { web_form /korvi/printing "Changes saved" "$@"; }
"$app" modify -d korvi -o orientation-requested=4 || fail "modify the default orientation"
got=$(layout mark.pdf)
mark tall left lower <<<"$got" || fail "the default orientation was not applied: $got"
cat >"$work/get-printers.test" <<'TEST'
{
	OPERATION Get-Printers
	GROUP operation-attributes-tag
	ATTR charset attributes-charset utf-8
	ATTR naturalLanguage attributes-natural-language en
	ATTR uri system-uri $uri
	ATTR keyword requested-attributes printer-name,orientation-requested-default
	STATUS successful-ok
	DISPLAY orientation-requested-default
}
TEST
ipptool -t "ipp://127.0.0.1:$port/ipp/system" "$work/get-printers.test" | grep -q 'orientation-requested-default (enum) = landscape' ||
  fail "Get-Printers (without printer-id) does not show the default orientation"
web_defaults print-scaling=none  # PAPPL 1.3.1 takes print-scaling-default from the web form alone
box 834 834 <<<"$(layout a3.pdf)" || fail "the default scaling was not applied"
web_defaults print-scaling=auto

echo "--- one darkness, set three ways"
cat >"$work/set-darkness.test" <<'TEST'
{
	OPERATION Set-Printer-Attributes
	GROUP operation-attributes-tag
	ATTR charset attributes-charset utf-8
	ATTR naturalLanguage attributes-natural-language en
	ATTR uri printer-uri $uri
	GROUP printer-attributes-tag
	ATTR integer print-darkness-default $darkness
	STATUS successful-ok
}
TEST
cat >"$work/get-darkness.test" <<'TEST'
{
	OPERATION Get-Printer-Attributes
	GROUP operation-attributes-tag
	ATTR charset attributes-charset utf-8
	ATTR naturalLanguage attributes-natural-language en
	ATTR uri printer-uri $uri
	ATTR keyword requested-attributes all
	STATUS successful-ok
	DISPLAY print-darkness-default
	DISPLAY printer-darkness-configured
	DISPLAY print-darkness-supported
	DISPLAY pdf-k-octets-supported
	DISPLAY jpeg-k-octets-supported
	DISPLAY marker-levels
}
TEST
web=http://127.0.0.1:$port/korvi/printing
# views: what Get-Printer-Attributes and the web page say: "DEFAULT CONFIGURED SUPPORTED WEB".
views() {
  local ipp; ipp=$(ipptool -t "$uri" "$work/get-darkness.test")
  echo "$(sed -n 's/.*print-darkness-default (integer) = //p' <<<"$ipp") $(sed -n \
    's/.*printer-darkness-configured (integer) = //p' <<<"$ipp") $(sed -n 's/.*print-darkness-supported (integer) = //p' \
    <<<"$ipp") $(curl -s "$web" | grep -o 'option value="[0-9]*" selected' | grep -o '[0-9]\+' | head -1)"
}
# printed: the density a job sent without print-darkness prints with.
printed() {
  local n=$(($(vp_jobs) + 1))
  "$app" submit -d korvi -o page-ranges=1-1 "$pdf" >/dev/null || fail "submit"
  wait_until 600 grep -q "^job $n:" "$work/vp.out" || fail "job $n did not reach the printer"
  sed -n 's/^  print density  \([0-9]\).*/\1/p' "$work/vp/job-$n.txt"
}
# agree DENSITY: every view says the printer's darkness is DENSITY (of 0..4), and a job prints so.
agree() {
  local want="$((50 * ($1 - 2))) $((25 * $1)) 5 $((25 * $1))"
  wait_until 50 sh -c '[ "$("$0")" = "$1" ]' views "$want" 2>/dev/null || true
  [ "$(views)" = "$want" ] || fail "darkness $1: the views say '$(views)', not '$want'"
  [ "$(printed)" = "$1" ] || fail "darkness $1: a job printed at density $(printed)"
  echo "  density $1: print-darkness-default, printer-darkness-configured, supported, web page: $want"
}
agree 2
octets=$(ipptool -t "$uri" "$work/get-darkness.test" | grep -E 'k-octets-supported|marker-levels')
echo "$octets"
! grep -q '= 0-0' <<<"$octets" && [ "$(grep -c k-octets <<<"$octets")" = 2 ] || fail "the PDF and JPEG size limits: $octets"
grep -q 'marker-levels (integer) = -2' <<<"$octets" || fail "the toner level is not IPP's unknown"
web_defaults print-darkness=25
agree 1
stop_app TERM 70
start_app
agree 1  # kept over a restart
got=$(layout mark.pdf)
mark tall left lower <<<"$got" || fail "the default orientation was not kept over a restart: $got"
"$app" modify -d korvi -o orientation-requested=3 || fail "modify the default orientation back"
"$app" modify -d korvi -o print-darkness=100 || fail "modify"
agree 4
ipptool -d darkness=-100 "$uri" "$work/set-darkness.test" || fail "Set-Printer-Attributes"
agree 0

echo "--- the test page"
n=$(($(vp_jobs) + 1))
web_form /korvi "Test page printed" action=print-test-page
wait_until 600 grep -q "^job $n:" "$work/vp.out" || fail "the test page did not reach the printer"
page=$("$inkcover" "$work/vp/job-$n.prn")
echo "test page: $page"
# Its border is the printable area: on A4, 112 to 4840 across and 102 to 6842 down (within 8).
awk '{ exit !(NR == 1 && $4 >= 104 && $4 <= 120 && $5 >= 94 && $5 <= 110 && $6 >= 4832 && $6 <= 4848 && $7 >= 6834 && $7 <= 6850) }' \
  <<<"$page" || fail "the test page's border is not the printable area"

echo "--- the same pages as a CUPS queue with the driver's PPD"
start_cupsd "$work/cups" "$(dirname "$(dirname "$app")")/filter/rastertokorvilaserprinter" || fail "cupsd did not start"
lpadmin -h "$host" -p korvi-ppd -E -v "socket://127.0.0.1:$vp_port" -P "$(dirname "$(dirname "$app")")/ppd/korvilaser.ppd" ||
  fail "lpadmin"
# printed_by WAY DOCUMENT PAPER: the pages (inkcover's lines) DOCUMENT printed on PAPER through
# the CUPS queue or the app.
printed_by() {
  local n=$(($(vp_jobs) + 1)) paper=$3
  if [ "$1" = cups ]; then
    lp -h "$host" -d korvi-ppd -o media="$paper" "$2" >/dev/null || fail "lp $2"
  else
    for p in "${!pwg[@]}"; do [ "$p" = "$paper" ] && paper=${pwg[$p]}; done
    "$app" submit -d korvi -o media="$paper" "$2" >/dev/null || fail "submit $2"
  fi
  wait_until 1200 grep -q "^job $n:" "$work/vp.out" || fail "$1 $2 $3: nothing reached the printer"
  "$inkcover" "$work/vp/job-$n.prn"
}
declare -A pwg=([A4]=iso_a4_210x297mm [A5]=iso_a5_148x210mm [ISOB5]=iso_b5_176x250mm [Letter]=na_letter_8.5x11in
  [Legal]=na_legal_8.5x14in)
for document in "$pdf" "$here/../../samples/sample.ps" "$work/mark.pdf" "$work/mixed.pdf" "$work/a6.pdf"; do
  for paper in A4 A5 ISOB5 Letter Legal; do
    by_cups=$(printed_by cups "$document" $paper)
    by_app=$(printed_by app "$document" $paper)
    paste -d' ' <(echo "$by_cups") <(echo "$by_app") | awk 'function off(a, b) { return a > b ? a - b : b - a }
      { for (i = 1; i <= 3; i++) if ($i != $(i + 7)) bad = 1
        for (i = 4; i <= 7; i++) if (off($i, $(i + 7)) > 2) bad = 1 }
      END { exit bad || NR == 0 }' || fail "$(basename "$document") on $paper: CUPS printed '$by_cups', the app '$by_app'"
  done
  echo "  $(basename "$document"): the same pages on all five papers"
done
echo "PASS: one darkness, whichever way it is set; the test page; the same pages as CUPS"
