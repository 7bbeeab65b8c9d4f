#!/usr/bin/env bash
# The Printer Application end to end, printing to the virtual printer: PDF, JPEG, PWG raster and
# Apple raster with copies, media, media type and darkness; defaults set with `modify`; a CUPS
# queue made with `-m everywhere`; bad input; cancelling a PDF and a raster job; six jobs at once
# from three clients; the halftone against ghostscript's; IPP Everywhere conformance; then the
# concurrent jobs and a page wider than its media once more with the server under valgrind.
# The server runs as the user lp (its domain socket and state in a private folder), listens on
# loopback only and is stopped by its process id, as are cupsd and the virtual printer.
# Usage: printer_app_test.sh APP KORVIDECODE INKCOVER FILTER PDF [VALGRIND]  (no valgrind round without it)
set -euo pipefail
app=$1 decode=$2 inkcover=$3 filter=$4 pdf=$5 valgrind=${6:-}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/helpers.sh"

work=$(mktemp -d /tmp/korvi-app-XXXXXX)
app_pid= vp_pid= cupsd_pid=
trap 'stop_pid "$app_pid"; stop_pid "$vp_pid"; stop_pid "$cupsd_pid"; [ -n "${KORVI_KEEP:-}" ] || rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  cat "$work/vp.out" 2>/dev/null
  grep -E '^[EW] ' "$work"/app/app-*.log 2>/dev/null | tail -20 || true
  grep -E '^[EW] ' "$work/cups/log/error_log" 2>/dev/null | tail -20 || true
  exit 1
}
chmod 0755 "$work"
app=$(build_copy "$work/build" "$app")
mkdir -p "$work/app"
chown lp:lp "$work/app"
# The server and its subcommands as lp, finding each other through a socket in a private folder.
# The subcommands are PAPPL's own client, which leaves its options allocated at exit: in a
# sanitizer build their leak check is off.
as_lp() {
  setpriv --reuid=lp --regid=lp --clear-groups env TMPDIR="$work/app" HOME="$work/app" \
    ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}" "$@"
}
# The same, the shell replaced: run in the background, $! is the program's own process id.
exec_as_lp() { exec setpriv --reuid=lp --regid=lp --clear-groups env TMPDIR="$work/app" HOME="$work/app" "$@"; }

# Documents: a 3-page PDF, its first page as JPEG, PWG raster (3 pages and 1 page, 8-bit sGray)
# and Apple raster, all from ghostscript; a Letter page as PWG raster for an A4 job; a grey ramp.
gs_to() { gs -q -dNOPAUSE -dBATCH -dSAFER -r600 "$@" >/dev/null 2>&1; }
gs_to -sDEVICE=pwgraster -sPAPERSIZE=a4 -dcupsColorSpace=18 -dcupsBitsPerColor=8 -sOutputFile="$work/doc.pwg" "$pdf"
gs_to -sDEVICE=pwgraster -sPAPERSIZE=a4 -dcupsColorSpace=18 -dcupsBitsPerColor=8 -dLastPage=1 \
  -sOutputFile="$work/page.pwg" "$pdf"
gs_to -sDEVICE=pwgraster -sPAPERSIZE=letter -dFIXEDMEDIA -dcupsColorSpace=18 -dcupsBitsPerColor=8 -dLastPage=1 \
  -sOutputFile="$work/letter.pwg" "$pdf"
gs_to -sDEVICE=appleraster -sPAPERSIZE=a4 -dcupsColorSpace=18 -dcupsBitsPerColor=8 -sOutputFile="$work/doc.urf" "$pdf"
gs -q -dNOPAUSE -dBATCH -dSAFER -r100 -sDEVICE=jpeggray -dLastPage=1 -sOutputFile="$work/page.jpg" "$pdf" >/dev/null
gs -q -dNOPAUSE -dBATCH -dSAFER -r100 -sDEVICE=png16m -dLastPage=1 -sOutputFile="$work/page.png" "$pdf" >/dev/null
{
  echo '%!PS'; echo '<< /PageSize [595 842] >> setpagedevice'
  for i in $(seq 0 10); do echo "$i 10 div setgray 72 $((100 + i * 60)) 432 48 rectfill"; done
  echo showpage
} >"$work/ramp.ps"
ps2pdf "$work/ramp.ps" "$work/ramp.pdf"
gs_to -sDEVICE=pwgraster -sPAPERSIZE=a4 -dcupsColorSpace=18 -dcupsBitsPerColor=8 -sOutputFile="$work/ramp.pwg" \
  "$work/ramp.pdf"
{
  echo '%!PS'
  for i in $(seq 100); do echo "/Helvetica 40 selectfont 72 400 moveto (Page $i) show 0.5 setgray 36 36 523 300 rectfill showpage"; done
} >"$work/long.ps"
ps2pdf "$work/long.ps" "$work/long.pdf"
gs_to -sDEVICE=pwgraster -sPAPERSIZE=a4 -dcupsColorSpace=18 -dcupsBitsPerColor=8 -dLastPage=40 \
  -sOutputFile="$work/long.pwg" "$work/long.pdf"

start_printer "$decode" "$work/vp" || fail "the virtual printer did not start"
port=$(free_port $((40000 + $$ % 8000)))
uri=ipp://127.0.0.1:$port/ipp/print/korvi
runs=0

# start_app [valgrind...]: the server with a fresh state, and the printer korvi added on the
# virtual printer; each must answer within 60 s.
start_app() {
  runs=$((runs + 1))
  exec_as_lp "$@" "$app" server -o server-port="$port" -o spool-directory="$work/app/spool-$runs" \
    -o state-file="$work/app/state-$runs" -o log-file="$work/app/app-$runs.log" -o log-level=debug \
    >"$work/app-$runs.out" 2>&1 &
  app_pid=$!
  wait_until 600 bash -c "(echo >/dev/tcp/127.0.0.1/$port) 2>/dev/null" || fail "the app does not listen"
  # Its control socket comes after its port: a subcommand that finds none starts a server of its own.
  wait_until 600 curl -so /dev/null --unix-socket "$work/app/$(basename "$app")$(id -u lp).sock" http://localhost/ || fail "the app has no control socket"
  as_lp "$app" add -d korvi -m korvi_laser -v "socket://127.0.0.1:$vp_port" || fail "add the printer"
  wait_until 600 ipptool -q "$uri" get-printer-attributes.test || fail "the printer does not answer"
}
stop_app() {
  stop_pid "$app_pid"
  app_pid=
}

start_app

echo "--- formats and options"
id=$(submit "$pdf"); wait_job "$id"
expect_vp 1 "Pages: 3" "print density  2 (byte 0x12)" "paper weight   1 (byte 0x11)" "copies         1 (CRC" \
  "paper size     4960 x 7016 dots"
[ "$(job_state "$id")" = "completed,Job completed.,3" ] || fail "PDF job: $(job_state "$id")"
submit "$pdf" -d copies=2 -d media=na_letter_8.5x11in -d mediatype=cardstock -d darkness=100 >/dev/null
# Copies of a document are collated unless the job says otherwise: made in the chain, one copy sent.
expect_vp 2 "Pages: 6" "print density  4 (byte 0x14)" "paper weight   3 (byte 0x13)" "copies         1 (CRC 0x2549" \
  "paper size     5100 x 6600 dots"
submit "$work/page.jpg" -d filetype=image/jpeg -d media=iso_a5_148x210mm >/dev/null
expect_vp 3 "Pages: 1" "paper size     3512 x 4958 dots"
submit "$work/page.png" -d filetype=image/png >/dev/null
expect_vp 4 "Pages: 1"
submit "$work/doc.pwg" -d filetype=image/pwg-raster -d copies=3 -d mediatype=stationery-lightweight \
  -d darkness=-100 >/dev/null
expect_vp 5 "Pages: 3" "print density  0 (byte 0x10)" "paper weight   0 (byte 0x10)" "copies         3 (CRC" \
  "paper size     4960 x 7016 dots"
submit "$work/doc.urf" -d filetype=image/urf -d darkness=40 >/dev/null
expect_vp 6 "Pages: 3" "print density  3 (byte 0x13)" "paper size     4960 x 7016 dots"
# Printer defaults, as the web interface or `modify` set them: a job without attributes takes them.
as_lp "$app" modify -d korvi -o print-darkness=-60 -o media-type=stationery-heavyweight ||
  fail "modify: set the defaults"
ipptool -c -f "$pdf" "$uri" print-job.test >/dev/null
expect_vp 7 "print density  1 (byte 0x11)" "paper weight   2 (byte 0x12)"
as_lp "$app" modify -d korvi -o print-darkness=0 -o media-type=stationery >/dev/null
# The web interface answers (PAPPL 1.3 crashes there without a footer).
for page in / /korvi /korvi/printing /korvi/media /korvi/jobs; do
  curl -sf -o /dev/null "http://127.0.0.1:$port$page" || fail "web interface: $page"
done
# A stream in the printer's own format, sent without a format (as `submit` does): printed as it is.
cp "$work/vp/job-1.prn" "$work/app/job.prn"
as_lp "$app" submit -d korvi "$work/app/job.prn" >/dev/null || fail "submit a printer stream"
expect_vp 8 "Pages: 3"
cmp -s "$work/vp/job-1.prn" "$work/vp/job-8.prn" || fail "the printer stream was not sent as it is"
n=8

echo "--- a driverless CUPS queue (-m everywhere)"
# Debian 12's cupsd once died of a segmentation fault here, on a fresh machine: the job is then
# sent once more through a new scheduler, and what the first one logged is shown.
for try in 1 2; do
  rm -rf "$work/cups"
  start_cupsd "$work/cups" "$filter" || fail "cupsd did not start"
  lpadmin -h "$host" -p korvi-ipp -E -v "$uri" -m everywhere 2>/dev/null || fail "lpadmin -m everywhere"
  lp -h "$host" -d korvi-ipp -n 2 -o media=Letter -o MediaType=Cardstock "$pdf" >/dev/null || fail "lp"
  wait_until 1800 sh -c "grep -q '^job $((n + 1)):' '$work/vp.out' || ! kill -0 $cupsd_pid" || true
  kill -0 "$cupsd_pid" 2>/dev/null || grep -q "^job $((n + 1)):" "$work/vp.out" || [ $try = 2 ] || {
    echo "  cupsd died (try $try); its log's last lines:"; tail -5 "$work/cups/log/error_log"; continue; }
  break
done
# CUPS names no collation: the app's default, collated copies, holds.
n=$((n + 1)); expect_vp $n "Pages: 6" "copies         1 (CRC 0x2549" "paper size     5100 x 6600 dots" \
  "paper weight   3 (byte 0x13)"
stop_pid "$cupsd_pid"; cupsd_pid=

echo "--- bad input"
head -c 400000 "$work/doc.pwg" >"$work/truncated.pwg"
{ echo '%PDF-1.4'; head -c 20000 /dev/urandom; } >"$work/corrupt.pdf"
: >"$work/empty.pdf"
for bad in truncated.pwg:image/pwg-raster corrupt.pdf:application/pdf empty.pdf:application/pdf; do
  file=${bad%%:*} type=${bad#*:}
  before=$(vp_jobs)
  id=$(submit "$work/$file" -d filetype="$type")
  if [ -n "$id" ]; then
    wait_job "$id"
    state=$(job_state "$id")
    echo "$file: $state"
    case $state in aborted,?*) ;; *) fail "$file: expected an aborted job with a message, got '$state'" ;; esac
  else
    echo "$file: refused at submission"
  fi
  # Whatever reached the printer is well-formed (a job that began no page sent nothing at all),
  # and the next job prints.
  wait_until 50 vp_has $((before + 1)) || true
  n=$(vp_jobs)
  [ "$n" = "$before" ] || grep "^job $n:" "$work/vp.out" | grep -qE "well-formed$|: 0 bytes," || fail "$file: $(grep "^job $n:" "$work/vp.out")"
  submit "$work/page.pwg" -d filetype=image/pwg-raster >/dev/null
  n=$((n + 1)); expect_vp $n "Pages: 1"
done

echo "--- cancel"
# cancel FILE TYPE: sends a long job, cancels it once the printer has taken a page or two. A
# raster job is streamed while it is sent, so it is sent in the background and found among the
# printer's active jobs.
cancel_one() {
  local id before=$(vp_jobs)
  submit "$1" -d filetype="$2" >/dev/null &
  local sender=$!
  n=$((before + 1))
  wait_until 600 sh -c "[ \$(stat -c %s '$work/vp/job-$n.prn' 2>/dev/null || echo 0) -gt 300000 ]" ||
    fail "$1: no page reached the printer"
  id=$(as_lp "$app" jobs -d korvi | awk 'NR == 1 { print $1 }')
  as_lp "$app" cancel -d korvi -j "$id" || fail "cancel $id"
  local t0=$(date +%s%N)
  wait_job "$id"
  wait_until 50 sh -c "! pgrep -P $app_pid >/dev/null" || fail "$1: the chain is still running: $(pgrep -a -P "$app_pid")"
  # What the stopped converters left in their temporary folder went with it.
  wait_until 50 sh -c "! ls -d '$work/app'/korvi-job-* >/dev/null 2>&1" ||
    fail "$1: left behind: $(ls -R "$work/app"/korvi-job-*)"
  echo "$1: chain stopped $((($(date +%s%N) - t0) / 1000000)) ms after the cancel; job $(job_state "$id")"
  job_state "$id" | grep -q '^canceled,' || fail "$1: $(job_state "$id")"
  wait "$sender"
  expect_vp $n
  grep "^job $n:" "$work/vp.out"
  # The pages the job counts as completed are the pages the printer got.
  [ "$(job_state "$id" | awk -F, '{ print $NF }')" = "$(sed -n 's/^Pages: //p' "$work/vp/job-$n.txt")" ] ||
    fail "$1: job counts $(job_state "$id"), the printer got $(sed -n 's/^Pages: //p' "$work/vp/job-$n.txt") pages"
  if grep -q "Pages: 100$\|Pages: 40$" "$work/vp/job-$n.txt"; then fail "$1: printed whole"; fi
}
cancel_one "$work/long.pdf" application/pdf
cancel_one "$work/long.pwg" image/pwg-raster

# concurrent N: N clients send two jobs each (PDF and one-page PWG raster) at once; all of them
# reach the printer whole and one after the other.
concurrent() {
  local before=$(vp_jobs) c clients=()
  for c in $(seq "$1"); do
    (submit "$pdf" >/dev/null; submit "$work/page.pwg" -d filetype=image/pwg-raster >/dev/null) &
    clients+=($!)
  done
  wait "${clients[@]}"
  wait_until 3000 vp_has $((before + 2 * $1)) || fail "concurrent: $(($(vp_jobs) - before)) of $((2 * $1)) jobs arrived"
  local pages
  pages=$(grep '^job ' "$work/vp.out" | tail -n +$((before + 1)) | sed 's/.* bytes, \([0-9]*\) pages, \(.*\)/\1 \2/' | sort | uniq -c)
  echo "$pages"
  [ "$(echo "$pages" | awk '$2 == 3 && $3 == "well-formed" { print $1 }')" = "$1" ] &&
    [ "$(echo "$pages" | awk '$2 == 1 && $3 == "well-formed" { print $1 }')" = "$1" ] ||
    fail "concurrent: expected $1 3-page and $1 1-page well-formed jobs"
}
echo "--- six jobs at once"
concurrent 3

echo "--- halftone: a grey ramp as PDF and as PWG raster"
pdf_job=$(($(vp_jobs) + 1)) pwg_job=$(($(vp_jobs) + 2))
submit "$work/ramp.pdf" >/dev/null; expect_vp $pdf_job
submit "$work/ramp.pwg" -d filetype=image/pwg-raster >/dev/null; expect_vp $pwg_job
boxes=()
for i in $(seq 0 10); do boxes+=("$((100 * 25 / 3 + 50)),$(( (842 - 100 - i * 60 - 48) * 25 / 3 + 50)),3400,300"); done
paste <("$inkcover" "$work/vp/job-$pdf_job.prn" 1 "${boxes[@]}") <("$inkcover" "$work/vp/job-$pwg_job.prn" 1 "${boxes[@]}") |
  awk '{ d = $1 - $2; if (d < 0) d = -d; printf "grey %3d%%: ink %5.1f%% as PDF, %5.1f%% as PWG raster\n", (NR - 1) * 10, $1, $2; if (d > 5) bad = 1 }
       END { exit bad }' || fail "halftone: ink differs by more than 5 points"

echo "--- IPP Everywhere conformance (ipptool -V 2.0 ipp-everywhere.test, three times)"
# The suite and the sample files it names, made here: real ones for what a 600-dpi grey printer
# is sent (PDF, PostScript, JPEG, 600-dpi sGray PWG raster), empty ones for the tests it skips.
ev=$work/everywhere
mkdir -p "$ev"
cp /usr/share/cups/ipptool/ipp-1.1.test /usr/share/cups/ipptool/ipp-2.0.test /usr/share/cups/ipptool/ipp-everywhere.test "$ev/"
page_ps() {  # page_ps W H PAGES
  echo '%!PS'; echo "<< /PageSize [$1 $2] >> setpagedevice"
  for p in $(seq "$3"); do
    echo "/Helvetica 24 selectfont 36 $(($2 - 72)) moveto (IPP Everywhere sample, page $p) show"
    echo "0.3 setgray 36 36 $(($1 - 72)) $(($2 / 3)) rectfill showpage"
  done
}
page_ps 595 842 3 >"$ev/document-a4.ps"; page_ps 612 792 3 >"$ev/document-letter.ps"
page_ps 595 842 1 >"$ev/onepage-a4.ps"; page_ps 612 792 1 >"$ev/onepage-letter.ps"; page_ps 288 432 1 >"$ev/4x6.ps"
for d in document-a4 document-letter; do ps2pdf "$ev/$d.ps" "$ev/$d.pdf"; done
gs_to -r150 -sDEVICE=jpeg -dDEVICEWIDTHPOINTS=288 -dDEVICEHEIGHTPOINTS=432 -dFIXEDMEDIA -sOutputFile="$ev/color.jpg" "$ev/4x6.ps"
gs_to -r150 -sDEVICE=jpeggray -dDEVICEWIDTHPOINTS=288 -dDEVICEHEIGHTPOINTS=432 -dFIXEDMEDIA -sOutputFile="$ev/gray.jpg" "$ev/4x6.ps"
for f in $(grep -ho 'FILE pwg-raster[^ ]*' "$ev"/*.test | awk '{ print $2 }' | sort -u); do
  mkdir -p "$ev/$(dirname "$f")"
  : >"$ev/$f"
done
for src in color.jpg-4x6:4x6 gray.jpg-4x6:4x6 document-a4:document-a4 document-letter:document-letter \
           onepage-a4:onepage-a4 onepage-letter:onepage-letter; do
  gs_to -sDEVICE=pwgraster -dcupsColorSpace=18 -dcupsBitsPerColor=8 \
    -sOutputFile="$ev/pwg-raster-samples-600dpi/sgray-8/${src%%:*}-sgray-8-600dpi.pwg" "$ev/${src#*:}.ps"
done
# What fails there is PAPPL 1.3.1's, or comes of a printer that cannot identify itself (see the
# README); any other failed expectation fails this test:
# - Print-Job with job-hold-until: PAPPL leaves job-state-reasons out of the response;
# - uri-security-supported names tls, printer-uri-supported has no ipps URI;
# - identify-actions (nothing to identify the printer with);
# - overrides-supported (PAPPL 1.3.1 takes no page overrides, so none are claimed).
known='uri-security-supported \(2 values\) SAME-COUNT-AS|SAME-COUNT-AS uri-security-supported|identify-actions-(default|supported)|overrides-supported'
# Three runs in a row (KORVI_EVERYWHERE_RUNS; the sanitizer suite makes one): each with no
# failure beyond those, and no job of theirs ends aborted (a job that printed is completed, one
# cancelled is canceled) or reaches the printer malformed.
first_vp=$(($(vp_jobs) + 1))
first_job=$(($(submit "$pdf" -d pages=1-1) + 1))
cat >"$work/get-jobs.test" <<'TEST'
DEFINE-DEFAULT which all
{
	OPERATION Get-Jobs
	GROUP operation-attributes-tag
	ATTR charset attributes-charset utf-8
	ATTR naturalLanguage attributes-natural-language en
	ATTR uri printer-uri $uri
	ATTR keyword which-jobs $which
	ATTR keyword requested-attributes job-id,job-state,job-state-message
	STATUS successful-ok
	DISPLAY job-id
	DISPLAY job-state
	DISPLAY job-state-message
}
TEST
for run in $(seq "${KORVI_EVERYWHERE_RUNS:-3}"); do
  out=$work/everywhere-$run.txt
  ipptool -I -V 2.0 -tf "$pdf" "$uri" "$ev/ipp-everywhere.test" >"$out" 2>&1 || true
  echo "$(grep -c '\[PASS\]' "$out") passed, $(grep -c '\[FAIL\]' "$out") failed, $(grep -c '\[SKIP\]' "$out") skipped"
  grep -E '\[FAIL\]|EXPECTED:' "$out"
  awk -v known="$known" '
    /\[FAIL\]/ { name = $0; sub(/ *\[FAIL\].*/, "", name); sub(/^ +/, "", name); next }
    /\[(PASS|SKIP)\]/ || /^"/ { name = ""; next }
    /EXPECTED:/ && name != "" {
      if (name == "Print-Job with job-hold-until" && $0 ~ /EXPECTED: job-state-reasons$/) next
      if ($0 ~ known) next
      print "unexpected: " name ": " $0; bad = 1
    }
    END { exit bad }' "$out" || fail "ipp-everywhere.test: unexpected failures"
  grep -q '\[PASS\]' "$out" || fail "ipp-everywhere.test did not run"
done
idle() { [ "$(ipptool -c -d which=not-completed "$uri" "$work/get-jobs.test" | wc -l)" -le 1 ]; }
wait_until 1200 idle || fail "ipp-everywhere.test: jobs still not ended: $(ipptool -c -d which=not-completed "$uri" "$work/get-jobs.test")"
ipptool -c "$uri" "$work/get-jobs.test" | awk -F, -v first="$first_job" 'NR > 1 && $1 >= first { n++; s[$2]++ }
  $2 == "aborted" && $1 >= first { print "  aborted: job " $0 }
  END { printf "  %d jobs of the three runs:", n; for (k in s) printf " %s %d", k, s[k]; print "" }' | tee "$work/everywhere-jobs.txt"
grep -q 'aborted: job' "$work/everywhere-jobs.txt" && fail "ipp-everywhere.test: jobs ended aborted"
# (A job cancelled before its first page sends no byte: an empty connection.)
malformed=$(awk -v n="$first_vp" '/^job / { sub(":", "", $2); if ($2 + 0 >= n && $0 !~ /well-formed$/ && $3 != "0") print }' "$work/vp.out")
[ -z "$malformed" ] || fail "ipp-everywhere.test: malformed jobs at the printer: $malformed"
echo "  $(($(vp_jobs) - first_vp + 1)) printer connections: $(awk -v n="$first_vp" '/^job / { sub(":", "", $2); if ($2 + 0 >= n) { if ($3 == "0") e++; else w++ } }
  END { print w + 0 " well-formed, " e + 0 " empty (cancelled before a page)" }' "$work/vp.out")"

if [ -z "$valgrind" ]; then
  n=$(($(vp_jobs) + 1))
  submit "$work/letter.pwg" -d filetype=image/pwg-raster -d media=iso_a4_210x297mm >/dev/null
  expect_vp $n "Pages: 1" "paper size     5100 x 6600 dots"
  echo "PASS: printer application (no valgrind round)"
  exit 0
fi
echo "--- under valgrind: twelve jobs at once, and a Letter page in an A4 job"
stop_app
start_app "$valgrind" --error-exitcode=99 --log-file="$work/app/valgrind.log"
concurrent 6
n=$(($(vp_jobs) + 1))
submit "$work/letter.pwg" -d filetype=image/pwg-raster -d media=iso_a4_210x297mm >/dev/null
expect_vp $n "Pages: 1" "paper size     5100 x 6600 dots"
stop_app
grep -E "Invalid (read|write)|ERROR SUMMARY" "$work/app/valgrind.log" | sort | uniq -c
grep -q "Invalid read\|Invalid write" "$work/app/valgrind.log" && fail "valgrind: invalid reads or writes"
echo "PASS: printer application"
