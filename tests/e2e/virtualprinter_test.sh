#!/usr/bin/env bash
# The virtual printer (korvidecode --listen) on bad input: a malformed stream, a client that sends
# nothing, one that stays silent, one gone mid-job, an oversize job and a signal during a job.
# After each, a good job must still be served whole. It makes a missing output folder, refuses one
# it cannot use, and after a restart numbers on without touching earlier jobs' files. The printer
# is stopped by its process id.
# Usage: virtualprinter_test.sh KORVIDECODE FILTER PPD DOCUMENT
set -euo pipefail
decode=$1 filter=$2 ppd=$3 doc=$4

work=$(mktemp -d)
. "$(dirname "$0")/helpers.sh"
vp_pid=
trap 'stop_pid "$vp_pid"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; cat "$work/vp.out" 2>/dev/null; exit 1; }

# A well-formed job: the document through CUPS's chain and the filter.
"$(dirname "$0")/../../scripts/serverbin.sh" "$work" "$filter"
good=$work/good.prn
cupsfilter -c "$work/cups-files.conf" -p "$ppd" -m printer/foo -e "$doc" >"$good" 2>/dev/null ||
  fail "cupsfilter"

port=$(free_port $((50000 + $$ % 8000)))  # its own range: the printer restarts on this port
size=$(stat -c %s "$good")
limit=$((size * 3 / 2))

"$decode" --help >"$work/help.out" || fail "--help: exit status $?"
grep -q "^usage: korvidecode" "$work/help.out" || fail "--help: no usage on standard output"
if "$decode" --listen "127.0.0.1:$port" --output /dev/null/jobs >"$work/refused.out" 2>&1; then
  fail "an output folder that cannot be made was taken"
fi
grep -q "cannot keep jobs in /dev/null/jobs" "$work/refused.out" || fail "no word on the unusable folder"

jobs=$work/new/jobs  # does not exist yet: the printer makes it
start_vp() {
  "$decode" --listen "127.0.0.1:$port" --output "$jobs" --max-job-bytes "$limit" --idle-timeout 1 \
    >"$work/vp.out" 2>&1 &
  vp_pid=$!
  wait_until 50 grep -q "^listening" "$work/vp.out" 2>/dev/null || fail "the virtual printer did not start"
}
# expect_job N TEXT: waits for job N's line and checks it holds TEXT.
expect_job() {
  wait_until 100 grep -q "^job $1:" "$work/vp.out" || true
  grep "^job $1:" "$work/vp.out" | grep -qF -- "$2" || fail "job $1: expected '$2'"
}
send() { exec 3<>"/dev/tcp/127.0.0.1/$port"; cat "$@" >&3; exec 3>&-; }

start_vp
head -c 5000 /dev/urandom >"$work/garbage"
head -c $((size / 2)) "$good" >"$work/half"
cat "$good" "$good" >"$work/double"

send "$good";              expect_job 1 "$size bytes, "
expect_job 1 "well-formed"
send "$work/garbage";      expect_job 2 "malformed at offset 0"
send /dev/null;            expect_job 3 "incomplete: no data"
exec 3<>"/dev/tcp/127.0.0.1/$port"; sleep 1.5; exec 3>&-
expect_job 4 "incomplete: nothing received for 1 s"
send "$work/half";         expect_job 5 "malformed at offset"
grep "^job 5:" "$work/vp.out" | grep -qE "(runs past|ends inside|cut short)" || fail "job 5: not marked as cut short"
send "$work/double";       expect_job 6 "oversize"
[ "$(stat -c %s "$jobs/job-6.prn")" = "$limit" ] || fail "job 6: more than the limit kept"
send "$good";              expect_job 7 "well-formed"
"$decode" "$jobs/job-7.prn" >/dev/null || fail "job 7: stream on disk not well-formed"
cmp -s "$jobs/job-7.prn" "$good" || fail "job 7: stream on disk differs from what was sent"
[ -s "$jobs/job-7.txt" ] && [ -s "$jobs/job-7-1.png" ] || fail "job 7: listing or page image missing"

# A signal during a job: the job is closed and recorded, the printer ends, the port is free.
exec 3<>"/dev/tcp/127.0.0.1/$port"; cat "$work/half" >&3; sleep 0.3
kill -TERM "$vp_pid"
for _ in $(seq 50); do kill -0 "$vp_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$vp_pid" 2>/dev/null && fail "still running after SIGTERM"
wait "$vp_pid" || fail "exit status $? after SIGTERM"
vp_pid=
exec 3>&-
expect_job 8 "stopped during the job"
# A restart in the same folder numbers on after the highest job there, and changes no file of it.
mv "$work/vp.out" "$work/vp-first.out"
touch "$jobs/job-11-2.png"
(cd "$jobs" && md5sum -- * >"$work/before.md5")
start_vp
send "$good";              expect_job 12 "well-formed"
(cd "$jobs" && md5sum --quiet -c "$work/before.md5") || fail "a restart changed an earlier job's files"
cmp -s "$jobs/job-12.prn" "$good" && [ -s "$jobs/job-12-1.png" ] || fail "job 12: not kept whole"
cat "$work/vp-first.out" "$work/vp.out"
echo "PASS: virtual printer"
