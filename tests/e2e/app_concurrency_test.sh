#!/usr/bin/env bash
# The Printer Application under clients that act at once. A table of rows, each followed by "the
# server answers within ANSWER_SECONDS (2 unless given) and the next job prints whole":
# - holding new jobs, a PWG raster upload trickled over 20 s while another client asks for the
#   printer's attributes every half second; then a PDF and an Apple raster job; released, each
#   prints once, in the order sent;
# - holding new jobs, uploads trickled over 10 s cancelled midway, by Cancel-Job and by
#   Cancel-Jobs: both end cancelled and never print, released or after a restart;
# - a job cancelled as soon as it was taken (as its device opens), then a streamed PWG job and
#   three PDFs: the first ends cancelled, the later four complete, whole;
# - the printer's darkness changed 50 times while five jobs print and two clients poll: each job
#   prints with one of the densities set;
# - the server stopped (SIGTERM) while two connections wait for a request and four clients ask:
#   it stops within 10 s, and no sanitizer in the build reports anything (a client thread that
#   outlived the server read its freed memory).
# Timings are judged on the release build: ANSWER_SECONDS 0 (an instrumented build) judges none.
# Runs as root in namespaces of its own (app_root.sh).
# Usage: app_concurrency_test.sh APP KORVIDECODE PDF [ANSWER_SECONDS]
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_root.sh"
app=$1 decode=$2 pdf=$3 answer_seconds=${4:-2}
app=$(build_copy "$work/build" "$app")

raster() {  # raster DEVICE FILE [gs options]: 8-bit grey at 600 dpi of the PDF
  local device=$1 file=$2; shift 2
  gs -q -dNOPAUSE -dBATCH -dSAFER -r600 -sDEVICE="$device" -sPAPERSIZE=a4 -dcupsColorSpace=18 -dcupsBitsPerColor=8 \
    "$@" -sOutputFile="$work/$file" "$pdf" >/dev/null 2>&1 || fail "making $file"
}
raster pwgraster page.pwg -dLastPage=1
raster appleraster doc.urf
start_printer "$decode" "$work/vp" || fail "the virtual printer did not start"
start_app
"$app" add -d korvi -m korvi_laser -v "socket://127.0.0.1:$vp_port" >/dev/null || fail "add the printer"
admin() { ipptool -q -d op="$1" "$uri" "$here/app-admin.test" || fail "$1"; }
uploads=()
pages_from() { awk -v n="$1" '/^job / { sub(":", "", $2); if ($2 + 0 >= n) printf "%s ", $5 }' "$work/vp.out"; }

# The seconds Get-Printer-Attributes takes, to three places.
answer_time() {
  local t0 t1
  t0=$(date +%s%N)
  ipptool -T 30 -q "$uri" get-printer-attributes.test || echo "no answer" >&2
  t1=$(date +%s%N)
  echo "$(((t1 - t0) / 1000000))" | awk '{ printf "%.3f\n", $1 / 1000 }'
}
# poll SECONDS FILE: Get-Printer-Attributes every half second for SECONDS, each time in FILE.
poll() {
  local end=$((SECONDS + $1))
  while [ $SECONDS -lt "$end" ]; do answer_time >>"$2"; sleep 0.5; done
}
slowest() { sort -n "$@" | tail -1; }
# timely SECONDS...: each is under ANSWER_SECONDS (always, when that is 0).
timely() { awk -v max="$answer_seconds" 'max > 0 && $1 >= max { bad = 1 } END { exit bad }' <(printf '%s\n' "$@"); }
row() {
  local t
  t=$(answer_time)
  timely "$t" || fail "$1: the server took $t s to answer"
  echo "  $1: answered in $t s"
  next_job_prints
}

echo "--- holding new jobs: a raster upload trickled over 20 s, polled meanwhile; released, all print once"
before=$(($(vp_jobs) + 1))
admin Hold-New-Jobs
python3 "$here/trickle.py" 127.0.0.1 "$port" /ipp/print/korvi "$work/page.pwg" image/pwg-raster 20 >"$work/trickle.txt" &
trickle=$!
poll 22 "$work/poll-1.txt" & poller=$!
poll 22 "$work/poll-2.txt"
wait "$poller"
wait "$trickle" || fail "the trickled upload: $(cat "$work/trickle.txt")"
read -r status held <"$work/trickle.txt"
[ "$status" = 0000 ] && [ "$held" -gt 0 ] || fail "the trickled upload was answered $status, job $held"
echo "  the upload took, job $held; $(cat "$work"/poll-*.txt | wc -l) answers meanwhile, the slowest in $(slowest "$work"/poll-*.txt) s"
timely $(cat "$work"/poll-*.txt) || fail "an answer took $(slowest "$work"/poll-*.txt) s while the upload trickled"
ids="$held $(submit "$pdf" -d pages=1-2) $(submit "$work/doc.urf" -d filetype=image/urf)"
sleep 3
for id in $ids; do job_state "$id" | grep -q '^pending-held,' || fail "job $id while new jobs are held: $(job_state "$id")"; done
[ "$(vp_jobs)" = $((before - 1)) ] || fail "a job printed while new jobs were held"
admin Release-Held-New-Jobs
wait_until 1200 vp_has $((before + 2)) || fail "released: $(pages_from "$before")"
for id in $ids; do wait_job "$id"; job_state "$id" | grep -q '^completed,' || fail "job $id: $(job_state "$id")"; done
sleep 2
[ "$(pages_from "$before")" = "1 2 3 " ] || fail "released, the printer got pages: $(pages_from "$before")"
row "held, trickled, released: pages 1 2 3, each job once"

echo "--- holding new jobs: uploads trickled over 10 s and cancelled midway (Cancel-Job, Cancel-Jobs)"
before=$(($(vp_jobs) + 1))
admin Hold-New-Jobs
newest_held() { ipptool -c "$uri" get-jobs.test | awk -F, 'NR > 1 && $2 == "pending-held" { id = $1 } END { print id + 0 }'; }
held_after() { [ "$(newest_held)" -gt "$1" ]; }
cancelled=
for how in job jobs; do
  last=$(newest_held)
  python3 "$here/trickle.py" 127.0.0.1 "$port" /ipp/print/korvi "$work/page.pwg" image/pwg-raster 10 >"$work/cancel-$how.txt" &
  uploads+=($!)
  wait_until 100 held_after "$last" || fail "the upload to cancel with Cancel-$how was not taken"
  id=$(newest_held)
  sleep 2
  if [ $how = job ]; then
    ipptool -q -d cancel="$id" -d skipop=1 "$uri" "$here/app-admin.test" || fail "Cancel-Job $id"
  else
    admin Cancel-Jobs
  fi
  cancelled="$cancelled $id"
done
wait "${uploads[@]}" || true
for id in $cancelled; do job_state "$id" | grep -q '^canceled,' || fail "job $id, cancelled as it was spooled: $(job_state "$id")"; done
admin Release-Held-New-Jobs
stop_app TERM 10
start_app
sleep 3
[ "$(vp_jobs)" = $((before - 1)) ] || fail "a cancelled upload printed: $(pages_from "$before")"
for id in $cancelled; do job_state "$id" | grep -q '^canceled,' || fail "job $id after a restart: $(job_state "$id")"; done
row "cancelled while spooled (jobs$cancelled): canceled, released and restarted, nothing printed"

echo "--- a job cancelled as it starts; then a streamed PWG job and three PDFs"
before=$(($(vp_jobs) + 1))
first=$(submit "$work/long.pdf" -d pages=1-20)
ipptool -q -d cancel="$first" -d skipop=1 "$uri" "$here/app-admin.test" || fail "Cancel-Job $first"
later="$(submit "$work/page.pwg" -d filetype=image/pwg-raster) $(submit "$pdf") $(submit "$pdf" -d pages=1-1) $(submit "$pdf" -d pages=2-3)"
for id in $later; do wait_job "$id"; job_state "$id" | grep -q '^completed,' || fail "job $id: $(job_state "$id")"; done
wait_job "$first"
job_state "$first" | grep -q '^canceled,' || fail "the cancelled job: $(job_state "$first")"
sleep 2
# The cancelled job reached the printer with nothing, or not at all; the later four whole.
got=$(awk -v n="$before" '/^job / { sub(":", "", $2); if ($2 + 0 >= n && $3 != "0") printf "%s %s, ", $5, $NF }' "$work/vp.out")
[ "$got" = "1 well-formed, 3 well-formed, 1 well-formed, 2 well-formed, " ] || fail "after the cancel, the printer got: $got"
row "cancelled as it started: $(job_state "$first" | cut -d, -f1), the later four completed"

echo "--- the darkness changed 50 times while five jobs print and two clients poll"
before=$(($(vp_jobs) + 1))
ids=
for k in 1 2 3 4 5; do ids="$ids $(submit "$work/long.pdf" -d pages=1-4)"; done
poll 15 "$work/poll-3.txt" & p1=$!
poll 15 "$work/poll-4.txt" & p2=$!
for k in $(seq 50); do "$app" modify -d korvi -o print-darkness=$(((k % 5) * 25)) >/dev/null || fail "modify $k"; done
wait "$p1" "$p2"
for id in $ids; do wait_job "$id"; job_state "$id" | grep -q '^completed,' || fail "job $id: $(job_state "$id")"; done
sleep 2
densities=$(for n in $(seq "$before" $((before + 4))); do
  grep -c '^  print density' "$work/vp/job-$n.txt" | grep -qx 1 || echo "job $n: not one density"
  sed -n 's/^  print density  \([0-4]\).*/\1/p' "$work/vp/job-$n.txt"
done | tr '\n' ' ')
grep -q 'not one' <<<"$densities" && fail "densities: $densities"
[ "$(wc -w <<<"$densities")" = 5 ] || fail "densities: $densities"
echo "  the five jobs printed at densities $densities; the slowest answer meanwhile $(slowest "$work"/poll-[34].txt) s"
row "defaults changed under five jobs"

echo "--- stopped while two connections wait and four clients ask"
exec 5<>"/dev/tcp/127.0.0.1/$port" 6<>"/dev/tcp/127.0.0.1/$port"
pollers=
for k in 1 2 3 4; do poll 10 /dev/null 2>/dev/null & pollers="$pollers $!"; done
sleep 1
t0=$SECONDS
stop_app TERM 10
# shellcheck disable=SC2086
kill $pollers 2>/dev/null || true; wait $pollers 2>/dev/null || true
exec 5>&- 6>&-
echo "  the server stopped in $((SECONDS - t0)) s"
sanitizers_quiet
echo "PASS: the Printer Application under clients at once"
