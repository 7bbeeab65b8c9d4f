#!/usr/bin/env bash
# The Printer Application's queue, against the virtual printer: many clients at once with no
# retries (every job accepted at the first try, each on a connection of its own, whole, never
# two jobs in one connection; three rounds), jobs printed in the order they were sent, a held
# job that keeps no other from printing and prints once when released, a cancelled waiting job
# that never reaches the printer, a submit of several files, and the queue's limit. Runs as root in namespaces of its own (app_root.sh).
# Usage: app_queue_test.sh APP KORVIDECODE PDF
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_root.sh"
app=$1 decode=$2 pdf=$3
app=$(build_copy "$work/build" "$app")

gs -q -dNOPAUSE -dBATCH -dSAFER -r600 -sDEVICE=pwgraster -sPAPERSIZE=a4 -dcupsColorSpace=18 \
  -dcupsBitsPerColor=8 -dLastPage=1 -sOutputFile="$work/page.pwg" "$pdf" >/dev/null 2>&1
gs -q -dNOPAUSE -dBATCH -dSAFER -r100 -sDEVICE=jpeggray -dLastPage=1 -sOutputFile="$work/page.jpg" "$pdf" >/dev/null 2>&1
start_printer "$decode" "$work/vp" || fail "the virtual printer did not start"
start_app
"$app" add -d korvi -m korvi_laser -v "socket://127.0.0.1:$vp_port" >/dev/null || fail "add the printer"

# The pages each virtual printer job from N on holds, one line each, in the order they arrived.
vp_pages_from() { awk -v n="$1" '/^job / { sub(":", "", $2); if ($2 + 0 >= n) print $5 }' "$work/vp.out"; }
wait_vp() { wait_until 3000 vp_has "$1" || fail "$(($(vp_jobs) - $2)) of $(($1 - $2)) jobs reached the printer"; }

echo "--- stress: 5 clients, 10 jobs each, at once, no retries"
# Client c's job j: PDF of 1 to 3 pages, one-page PWG raster or JPEG. PAPPL's own client sends
# each job once and reports a refusal.
stress_round() {
  local before=$(vp_jobs) t0=$SECONDS c j clients=()
  for c in 1 2 3 4 5; do
    (for j in $(seq 0 9); do
      case $((j % 3)) in
        0) doc=$pdf pages=$((1 + (c + j) % 3)); opts=(-o page-ranges=1-$pages) ;;
        1) doc=$work/page.pwg pages=1 opts=() ;;
        2) doc=$work/page.jpg pages=1 opts=() ;;
      esac
      if id=$("$app" submit -d korvi "${opts[@]}" "$doc" 2>&1); then echo "${id#korvi-} $pages"; else echo "refused: $id"; fi
    done >"$work/client-$c.txt") &
    clients+=($!)
  done
  wait "${clients[@]}"
  cat "$work"/client-*.txt >"$work/round.txt"
  grep refused "$work/round.txt" && fail "jobs refused"
  wait_vp $((before + 50)) "$before"
  local malformed
  malformed=$(tail -n +$((before + 1)) <(grep '^job ' "$work/vp.out") | grep -vc 'well-formed$' || true)
  # In the order of their job ids, each job's pages are what the printer got on its connection.
  diff <(sort -n "$work/round.txt" | awk '{ print $2 }') <(vp_pages_from $((before + 1))) >/dev/null ||
    fail "pages per connection differ from the jobs sent: $(paste <(sort -n "$work/round.txt") <(vp_pages_from $((before + 1))) | tr '\n' ' ')"
  echo "  50 jobs accepted at the first try, $(($(vp_jobs) - before)) printer connections, $malformed malformed, $((SECONDS - t0)) s"
  [ "$malformed" = 0 ] || fail "malformed streams"
}
for round in 1 2 3; do stress_round; done

echo "--- order: 10 jobs one after another, of 1 to 10 pages"
before=$(vp_jobs)
for k in $(seq 10); do submit "$work/long.pdf" -d pages=1-$k >/dev/null; done
wait_vp $((before + 10)) "$before"
[ "$(vp_pages_from $((before + 1)) | tr '\n' ' ')" = "1 2 3 4 5 6 7 8 9 10 " ] ||
  fail "order: $(vp_pages_from $((before + 1)) | tr '\n' ' ')"
echo "  the printer got 1 to 10 pages in turn"

echo "--- a held job keeps no other from printing, and prints once when released"
before=$(vp_jobs)
held=$(submit "$work/long.pdf" -d pages=1-4 -d hold=indefinite)
for k in 1 2 3; do submit "$pdf" -d pages=1-1 >/dev/null; done
wait_vp $((before + 3)) "$before"
job_state "$held" | grep -q '^pending-held,' || fail "held job: $(job_state "$held")"
ipptool -q -d job="$held" "$uri" "$here/app-release.test" || fail "Release-Job"
wait_job "$held"
sleep 2
[ "$(vp_pages_from $((before + 1)) | tr '\n' ' ')" = "1 1 1 4 " ] || fail "held: $(vp_pages_from $((before + 1)) | tr '\n' ' ')"
echo "  three jobs printed while job $held was held; released, it printed once: $(job_state "$held")"

echo "--- a waiting job cancelled never reaches the printer"
before=$(vp_jobs)
ids=()
ids+=("$(submit "$work/long.pdf" -d pages=1-30)")
for k in 2 3 4 5; do ids+=("$(submit "$pdf" -d pages=1-$((k % 3 + 1)))"); done
job_state "${ids[2]}" | grep -q '^pending,' || fail "the third job is not waiting: $(job_state "${ids[2]}")"
"$app" cancel -d korvi -j "${ids[2]}" >/dev/null || fail "cancel job ${ids[2]}"
wait_vp $((before + 4)) "$before"
sleep 3
[ "$(vp_jobs)" = $((before + 4)) ] || fail "the cancelled job reached the printer"
[ "$(vp_pages_from $((before + 1)) | tr '\n' ' ')" = "30 3 2 3 " ] || fail "cancel: $(vp_pages_from $((before + 1)) | tr '\n' ' ')"
echo "  job ${ids[2]} $(job_state "${ids[2]}"); the other four printed: 30 3 2 3 pages"
echo "--- several files in one submit, and the queue's limit"
before=$(vp_jobs)
"$app" submit -d korvi "$pdf" "$work/page.jpg" "$pdf" >/dev/null || fail "submit of three files"
wait_vp $((before + 3)) "$before"
[ "$(vp_pages_from $((before + 1)) | tr '\n' ' ')" = "3 1 3 " ] || fail "three files: $(vp_pages_from $((before + 1)) | tr '\n' ' ')"
stop_app TERM 5
start_app -o max-jobs=3
for k in 1 2 3; do submit "$pdf" -d hold=indefinite >/dev/null; done
if "$app" submit -d korvi "$pdf" >"$work/full.txt" 2>&1; then fail "a fourth job was taken with max-jobs=3"; fi
grep -q "queue is full (3 jobs" "$work/full.txt" || fail "queue limit: $(cat "$work/full.txt")"
echo "  submit of three files: three jobs printed; max-jobs=3: $(cat "$work/full.txt")"
# PAPPL stops within a minute of SIGTERM while jobs wait; they are kept for the next start.
stop_app TERM 65
echo "PASS: the Printer Application's queue"
