#!/usr/bin/env bash
# End to end through a real CUPS scheduler: a private cupsd (own directories, a loopback port,
# FileDevice Yes), queues added with lpadmin from the driver's PPD and file: device URIs, jobs
# printed with lp, each output checked with the stream inspector and its pages counted in
# page_log. The scheduler is stopped by its process id when the test ends, however it ends.
# Usage: cupsd_test.sh FILTER KORVIDECODE PPD PDF PS
set -euo pipefail
filter=$1 decode=$2 ppd=$3 pdf=$4 ps=$5

work=$(mktemp -d /tmp/korvi-cupsd-XXXXXX)
. "$(dirname "$0")/helpers.sh"
cupsd_pid=
vp_pid=
trap 'stop_pid "$vp_pid"; stop_pid "$cupsd_pid"; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  echo "--- error_log (errors) ---"; grep -E '^E ' "$work/log/error_log" 2>/dev/null | tail -20 || true
  exit 1
}

start_cupsd "$work" "$filter" || fail "cupsd did not start"
port=${host#*:}

# Queues as the README adds them: page logging on, so every page is counted in page_log.
for q in plain options postscript cancel; do
  lpadmin -h "$host" -p "korvi-$q" -E -v "file://$work/out/$q.prn" -P "$ppd" -o page-logging-default=on \
    2>/dev/null || fail "lpadmin korvi-$q"
done

# Several jobs at once, with and without options.
job_id() { sed -n 's/^request id is \([^ ]*\) .*/\1/p'; }
plain=$(lp -h "$host" -d korvi-plain "$pdf" | job_id)
options=$(lp -h "$host" -d korvi-options -n 2 -o PrintDensity=0 -o PaperWeight=2 "$pdf" | job_id)
postscript=$(lp -h "$host" -d korvi-postscript -t "PostScript sample" "$ps" | job_id)
[ -n "$plain" ] && [ -n "$options" ] && [ -n "$postscript" ] || fail "lp did not queue the jobs"

for _ in $(seq 600); do
  [ -z "$(lpstat -h "$host" -o 2>/dev/null)" ] && break
  sleep 0.2
done
[ -z "$(lpstat -h "$host" -o)" ] || fail "jobs still pending: $(lpstat -h "$host" -o)"
completed=$(lpstat -h "$host" -W completed -o)
for j in "$plain" "$options" "$postscript"; do
  grep -q "^$j " <<<"$completed" || fail "job $j did not complete"
done
for q in plain options postscript; do
  lpstat -h "$host" -p "korvi-$q" | grep -q "enabled" || fail "queue korvi-$q was stopped: $(lpstat -h "$host" -p "korvi-$q")"
done

check() {  # check QUEUE TEXT...
  local q=$1; shift
  "$decode" "$work/out/$q.prn" >"$work/$q.txt" || { cat "$work/$q.txt"; fail "$q: stream not well-formed"; }
  for text in "$@"; do
    grep -qF -- "$text" "$work/$q.txt" || { cat "$work/$q.txt"; fail "$q: expected '$text'"; }
  done
}
check plain "Pages: 3" "print density  2 (byte 0x12)" "copies         1 (CRC 0x2549, correct)"
check options "Pages: 3" "print density  0 (byte 0x10)" "paper weight   2 (byte 0x12)" \
  "copies         2 (CRC 0x701A, correct)"
check postscript "Pages: 1" "paper size     4960 x 7016 dots"
cat "$work/plain.txt"

# page_log: one "total N" line per job, N the pages printed (times the copies).
cat "$work/log/page_log"
pages_logged() { awk -v id="${1##*-}" '$3 == id && $6 == "total" { print $7 }' "$work/log/page_log"; }
[ "$(pages_logged "$plain")" = 3 ] || fail "page_log: job $plain logged '$(pages_logged "$plain")' pages, expected 3"
[ "$(pages_logged "$options")" = 6 ] || fail "page_log: job $options logged '$(pages_logged "$options")' pages, expected 6"
[ "$(pages_logged "$postscript")" = 1 ] || fail "page_log: job $postscript logged '$(pages_logged "$postscript")' pages, expected 1"

# A long job cancelled while it prints: the filter closes the page it is on, so the stream ends
# with a whole page and parses strictly; the next job on the queue then prints complete.
long=$work/long.ps
{
  echo '%!PS'
  for i in $(seq 100); do echo "0.5 setgray 36 36 523 770 rectfill 0 setgray /Helvetica 40 selectfont 72 400 moveto (Page $i) show showpage"; done
} >"$long"
cancelled=$(lp -h "$host" -d korvi-cancel "$long" | job_id)
for _ in $(seq 300); do
  [ "$(stat -c %s "$work/out/cancel.prn" 2>/dev/null || echo 0)" -gt 64 ] && break
  sleep 0.1
done
cancel -h "$host" "$cancelled" || fail "cancel $cancelled"
for _ in $(seq 300); do
  lpstat -h "$host" -o korvi-cancel 2>/dev/null | grep -q . || break
  sleep 0.1
done
lpstat -h "$host" -o korvi-cancel | grep -q . && fail "cancelled job still queued"
sleep 0.5  # the filter finishes its page after the scheduler has let the job go
cp "$work/out/cancel.prn" "$work/out/cancelled.prn"
"$decode" "$work/out/cancelled.prn" >"$work/cancelled.txt" || { cat "$work/cancelled.txt"; fail "cancelled job: stream not well-formed"; }
grep -qF "Pages: 100" "$work/cancelled.txt" && fail "cancelled job printed all its pages"
grep "^Pages:" "$work/cancelled.txt"
after=$(lp -h "$host" -d korvi-cancel "$pdf" | job_id)
for _ in $(seq 300); do
  lpstat -h "$host" -W completed -o korvi-cancel | grep -q "^$after " && break
  sleep 0.2
done
check cancel "Pages: 3"
echo "cancelled job $cancelled closed its page; next job $after printed whole"

# Network queues through CUPS's socket backend to the virtual printer: two queues send to the
# one printer at once; it takes one job at a time, so each arrives whole, one after the other.
start_printer "$decode" "$work/vp" || fail "the virtual printer did not start"
vport=$vp_port
for q in net1 net2; do
  lpadmin -h "$host" -p "korvi-$q" -E -v "socket://127.0.0.1:$vport" -P "$ppd" 2>/dev/null || fail "lpadmin korvi-$q"
done
net=(
  "$(lp -h "$host" -d korvi-net1 -o PrintDensity=4 "$pdf" | job_id)"
  "$(lp -h "$host" -d korvi-net2 -n 3 "$ps" | job_id)"
  "$(lp -h "$host" -d korvi-net1 -o PaperWeight=0 -o media=Letter "$ps" | job_id)"
)
for _ in $(seq 600); do
  [ "$(grep -c '^job ' "$work/vp.out")" -ge 3 ] && [ -z "$(lpstat -h "$host" -o 2>/dev/null)" ] && break
  sleep 0.2
done
cat "$work/vp.out"
[ "$(grep -c '^job .*well-formed$' "$work/vp.out")" = 3 ] || fail "virtual printer: expected 3 well-formed jobs"
completed=$(lpstat -h "$host" -W completed -o)
for j in "${net[@]}"; do grep -q "^$j " <<<"$completed" || fail "network job $j did not complete"; done
# Each job's options, whichever order the two queues' jobs arrived in.
listings=$(cat "$work"/vp/job-*.txt)
for text in "print density  4 (byte 0x14)" "copies         3 (CRC" "paper weight   0 (byte 0x10)" \
            "paper size     5100 x 6600 dots" "Pages: 3" "Pages: 1"; do
  grep -qF -- "$text" <<<"$listings" || fail "virtual printer: no job shows '$text'"
done

echo "PASS: cupsd print path"
