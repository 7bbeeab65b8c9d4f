#!/usr/bin/env bash
# The Printer Application as root runs it as a system service, under faults. A table of faults,
# each followed by "the server is up and the next job prints whole": the host name across the
# listen modes, every web page and form and every subcommand on a machine without avahi or D-Bus,
# a kill and a crash in the middle of a job, a document that never ends, a printer that cannot be
# reached, a paused printer, documents that print no page, and the systemd unit's confinement. It runs as root in
# namespaces of its own (app_root.sh).
# Usage: app_service_test.sh APP KORVIDECODE PDF
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_root.sh"
app=$1 decode=$2 pdf=$3
app=$(build_copy "$work/build" "$app")

printf '%%!PS\n{} loop\n' >"$work/loop.ps"
{ echo '%PDF-1.4'; head -c 20000 /dev/urandom; } >"$work/corrupt.pdf"

start_printer "$decode" "$work/vp" || fail "the virtual printer did not start"
start_app
"$app" add -d korvi -m korvi_laser -v "socket://127.0.0.1:$vp_port" >/dev/null || fail "add the printer"

fault_hostname() {
  local listen
  for listen in "" 127.0.0.1 "*"; do
    stop_app TERM 5
    if [ -n "$listen" ]; then
      start_app -o listen-hostname="$listen" -o server-hostname=printer.example.test
    else
      start_app
    fi
    [ "$(hostname)" = korvi-test-host ] && [ "$(cat /etc/hostname)" = korvi-test-host ] ||
      fail "listen-hostname '$listen': the host is now '$(hostname)', /etc/hostname '$(cat /etc/hostname)'"
    echo "  listen-hostname '${listen:-(default)}': host name and /etc/hostname unchanged"
  done
  curl -sf -o /dev/null -H "Host: printer.example.test:$port" "http://127.0.0.1:$port/" ||
    fail "the server does not answer to its server-hostname"
}

fault_webui() {
  python3 "$here/webcrawl.py" "http://127.0.0.1:$port" >"$work/crawl.txt" || { cat "$work/crawl.txt"; fail "web interface"; }
  sed 's/^/  /' "$work/crawl.txt"
  "$app" resume -d korvi >/dev/null  # its Pause Printing form was posted too
}

fault_subcommands() {
  local sub status
  while IFS= read -r sub; do
    status=0
    # shellcheck disable=SC2086
    timeout 60 "$app" $sub </dev/null >"$work/sub.out" 2>&1 || status=$?
    [ $status -lt 124 ] || fail "'$sub' ended with status $status: $(head -3 "$work/sub.out")"
    kill -0 "$app_pid" 2>/dev/null || fail "the server died at '$sub'"
    echo "  $sub: status $status $(grep -v DNS-SD "$work/sub.out" | head -1)"
  done <<EOF
add -d second -m korvi_laser -v socket://127.0.0.1:9
autoadd
default -d korvi
devices
drivers
jobs -d korvi
modify -d second -o print-darkness=20
options -d korvi
pause -d second
resume -d second
printers
status
cancel -d korvi -j 999
delete -d second
EOF
  # A second server is refused while this one holds the control socket, which still answers.
  if timeout 20 "$app" server -o server-port=$((port + 1)) >"$work/second.out" 2>&1; then fail "a second server started"; fi
  grep -q "another server already runs" "$work/second.out" || fail "second server: $(cat "$work/second.out")"
  "$app" printers >/dev/null || fail "the control socket was taken"
  echo "  a second server: $(head -1 "$work/second.out")"
  # Bad values of the server's own options are refused with a message.
  local bad
  for bad in server-port=99999 server-port=86x31 stall-timeout=-1; do
    if timeout 20 "$app" server -o "$bad" >"$work/bad.out" 2>&1; then fail "server -o $bad started"; fi
    grep -q "bad ${bad%%=*}" "$work/bad.out" || fail "server -o $bad: $(cat "$work/bad.out")"
  done
  echo "  bad values: $(head -1 "$work/bad.out")"
  "$app" shutdown >/dev/null || fail "shutdown"
  wait_until 100 sh -c "! kill -0 $app_pid 2>/dev/null" || fail "shutdown did not end the server"
  app_pid=
  start_app
}

# An interrupted job: the server dies by SIGNAL while the printer takes a long job.
interrupted() {
  local n=$(($(vp_jobs) + 1)) id
  id=$(submit "$work/long.pdf")
  wait_until 600 sh -c "[ \$(stat -c %s '$work/vp/job-$n.prn' 2>/dev/null || echo 0) -gt 300000 ]" ||
    fail "the long job did not reach the printer"
  kill -"$1" "$app_pid"
  wait "$app_pid" 2>/dev/null || true
  wait_until 600 grep -q "^job $n:" "$work/vp.out" || fail "the printer did not record the interrupted job"
  local stages='[p]dftopdf|[g]storaster|[r]astertokorvi'  # not matching the shell that looks for them
  wait_until 50 sh -c "! pgrep -f '$stages' >/dev/null" || fail "the job's processes outlived the server: $(pgrep -af "$stages")"
  start_app
  local state
  state=$(job_state "$id" 2>&1 || true)
  echo "  job $id after SIG$1 and a restart: $state"
  case $state in "aborted,Printing was interrupted when the server stopped; send the document again.,"*) ;;
    *) fail "interrupted job: $state" ;; esac
  next_job_prints
  stop_app TERM 5
  ls "$work/spool" | grep -v '^$' >"$work/spool.txt" || true
  [ ! -s "$work/spool.txt" ] || fail "spool files left: $(cat "$work/spool.txt")"
  start_app
}
fault_kill() { interrupted KILL; }
fault_abort() { interrupted ABRT; }

fault_stall() {
  stop_app TERM 5
  start_app -o stall-timeout=20
  local id t0=$SECONDS before
  before=$(sent)
  id=$(submit "$work/loop.ps" -d filetype=application/postscript)
  wait_until 350 sh -c "ipptool -c -d job=$id '$uri' '$here/app-job.test' | tail -1 | grep -q '^aborted,'" ||
    fail "the endless document: $(job_state "$id")"
  echo "  endless document: $(job_state "$id") after $((SECONDS - t0)) s"
  job_state "$id" | grep -q "sent nothing to the printer for 20 seconds" || fail "stall message: $(job_state "$id")"
  wait_until 10 sh -c "! pgrep -P $app_pid >/dev/null" || fail "processes left: $(pgrep -a -P "$app_pid")"
  [ "$(sent)" = "$before" ] || fail "the endless document sent bytes to the printer"
  # Long documents that keep sending, and a printer that stops taking bytes for longer than the
  # timeout, are no stall.
  local n=$(($(vp_jobs) + 1))
  id=$(submit "$work/long.pdf" -d pages=1-40)
  wait_until 600 sh -c "[ \$(stat -c %s '$work/vp/job-$n.prn' 2>/dev/null || echo 0) -gt 300000 ]" || fail "no page"
  kill -STOP "$vp_pid"; sleep 25; kill -CONT "$vp_pid"
  wait_job "$id"
  expect_vp $n "Pages: 40"
  echo "  40 pages with the printer paused 25 s: $(job_state "$id")"
  stop_app TERM 5
  start_app
}

fault_offline() {
  local far_port=$((port + 2)) id far=ipp://127.0.0.1:$port/ipp/print/far t0=$SECONDS
  "$app" add -d far -m korvi_laser -v "socket://127.0.0.1:$far_port" >/dev/null || fail "add far"
  id=$(uri=$far submit "$pdf")
  wait_until 150 sh -c "ipptool -tv '$far' get-printer-attributes.test | grep -q 'printer-state-reasons.* = offline$'" ||
    fail "unreachable printer: $(ipptool -tv "$far" get-printer-attributes.test | grep printer-state)"
  echo "  offline after $((SECONDS - t0)) s: $(ipptool -tv "$far" get-printer-attributes.test | grep -E 'printer-state ' | xargs)," \
    "$(ipptool -tv "$far" get-printer-attributes.test | grep -E 'printer-state-reasons' | xargs)"
  echo "  job: $(uri=$far job_state "$id")"
  "$decode" --listen "127.0.0.1:$far_port" --output "$work/far" >"$work/far.out" 2>&1 &
  local far_pid=$!
  wait_until 300 grep -q "^job 1:" "$work/far.out" || fail "the job did not print when the printer came back"
  uri=$far wait_job "$id"
  sleep 3
  grep -q "^job 1: .* 3 pages, well-formed$" "$work/far.out" && [ "$(grep -c '^job ' "$work/far.out")" = 1 ] ||
    fail "back online: $(cat "$work/far.out")"
  ipptool -tv "$far" get-printer-attributes.test | grep -q 'printer-state-reasons.*offline' &&
    fail "still offline after the printer came back"
  echo "  back: $(grep '^job 1' "$work/far.out"); $(uri=$far job_state "$id")"
  kill "$far_pid"; wait "$far_pid" 2>/dev/null || true
}

# Paused is paused: a pause asked for while a job waits for a printer that cannot be reached
# holds once that job has printed, over a restart and over the printer going away and coming
# back; nothing of a PDF, a PWG and an Apple raster job reaches the paused printer; resumed, each
# prints once, in the order they were sent.
fault_paused() {
  local still_port=$((port + 3)) still=ipp://127.0.0.1:$port/ipp/print/still id ids k vp2 uploads=()
  printer_state() { ipptool -tv "$still" get-printer-attributes.test | sed -n 's/.*printer-state (enum) = //p'; }
  still_vp() { "$decode" --listen "127.0.0.1:$still_port" --output "$work/$1" >"$work/$1.out" 2>&1 & vp2=$!; }
  "$app" add -d still -m korvi_laser -v "socket://127.0.0.1:$still_port" >/dev/null || fail "add still"
  id=$(uri=$still submit "$pdf" -d pages=1-1)
  "$app" pause -d still >/dev/null || fail "pause"
  sleep 5  # the offline watch has looked at the printer (every 2 s)
  still_vp still-1
  uri=$still wait_job "$id"
  is_stopped() { [ "$(printer_state)" = stopped ]; }
  wait_until 50 is_stopped || fail "paused while its job waited for the printer, then the job printed: the printer is $(printer_state)"
  echo "  paused as its job waited for the printer: the job $(uri=$still job_state "$id"), the printer $(printer_state)"
  stop_app TERM 10
  start_app
  is_stopped || fail "paused, after a restart: $(printer_state)"
  gs -q -dNOPAUSE -dBATCH -dSAFER -r600 -sDEVICE=pwgraster -sPAPERSIZE=a4 -dcupsColorSpace=18 \
    -dcupsBitsPerColor=8 -dLastPage=1 -sOutputFile="$work/one.pwg" "$pdf" >/dev/null 2>&1
  gs -q -dNOPAUSE -dBATCH -dSAFER -r600 -sDEVICE=appleraster -sPAPERSIZE=a4 -dcupsColorSpace=18 \
    -dcupsBitsPerColor=8 -sOutputFile="$work/three.urf" "$pdf" >/dev/null 2>&1
  ids=$(uri=$still submit "$pdf" -d pages=1-2)
  # A streamed raster job's upload waits for the printer's turn: sent in the background.
  for k in one.pwg:image/pwg-raster three.urf:image/urf; do
    (uri=$still submit "$work/${k%%:*}" -T 300 -d filetype="${k#*:}" >"$work/${k%%:*}.id") &
    uploads+=($!)
    sleep 1
  done
  sleep 8; kill "$vp2"; wait "$vp2" 2>/dev/null || true; sleep 4
  still_vp still-2
  sleep 8
  [ "$(grep -c '^job ' "$work/still-1.out")" = 1 ] && ! grep -q '^job ' "$work/still-2.out" ||
    fail "a paused printer received a job: $(cat "$work/still-1.out" "$work/still-2.out")"
  is_stopped || fail "paused, the printer gone and back: $(printer_state)"
  echo "  paused 20 s, the printer gone and back: nothing reached it, still $(printer_state)"
  "$app" resume -d still >/dev/null || fail "resume"
  still_jobs() { [ "$(grep -c '^job ' "$work/still-2.out")" -ge 3 ]; }
  wait_until 600 still_jobs || fail "resumed: $(cat "$work/still-2.out")"
  wait "${uploads[@]}"
  sleep 3
  [ "$(grep -c '^job .* well-formed$' "$work/still-2.out")" = 3 ] && [ "$(grep -c '^job ' "$work/still-2.out")" = 3 ] &&
    [ "$(awk '/^job / { printf "%s ", $5 }' "$work/still-2.out")" = "2 1 3 " ] || fail "resumed: $(cat "$work/still-2.out")"
  for id in $ids $(cat "$work/one.pwg.id" "$work/three.urf.id"); do
    uri=$still job_state "$id" | grep -q '^completed,' || fail "resumed: job $id $(uri=$still job_state "$id")"
  done
  echo "  resumed: the PDF, the PWG and the Apple raster job printed once each, in turn: $(awk '/^job / { printf "%s ", $5 }' "$work/still-2.out")pages"
  kill "$vp2"; wait "$vp2" 2>/dev/null || true
  "$app" delete -d still >/dev/null || fail "delete still"
}

fault_nothing() {
  local before id file
  for file in corrupt.pdf:"" long.pdf:"-d pages=200-201"; do
    before=$(sent)
    # shellcheck disable=SC2086
    id=$(submit "$work/${file%%:*}" ${file#*:})
    [ -z "$id" ] || wait_job "$id"
    sleep 1
    [ "$(sent)" = "$before" ] || fail "${file%%:*} ${file#*:}: the printer received bytes: $(tail -1 "$work/vp.out")"
    echo "  ${file%%:*} ${file#*:}: ${id:+$(job_state "$id")}; the printer received 0 bytes"
  done
}

# As the systemd unit confines it: no new privileges, the unit's capabilities alone, and every
# file system read-only but its spool and state (here in $work, under /tmp), /run and /tmp. A
# PDF, a raster job and a look at the web interface must all work.
fault_confined() {
  stop_app TERM 5
  local target
  for target in $(findmnt -rn -o TARGET | grep -vE '^/(proc|sys|dev|run|tmp)(/|$)'); do
    mount -o remount,bind,ro "$target" || echo "  (could not make $target read-only)"
  done
  touch /etc/korvi-rw-check 2>/dev/null && fail "the root file system is still writable"
  setpriv --no-new-privs --bounding-set -all,+setuid,+setgid,+kill "$app" server -o server-port=$port \
    -o spool-directory="$work/spool" -o state-file="$work/state" -o log-file="$work/app.log" \
    -o log-level=debug >>"$work/app.out" 2>&1 &
  app_pid=$!
  wait_until 100 bash -c "(echo >/dev/tcp/127.0.0.1/$port) 2>/dev/null" || fail "the confined app does not listen"
  local n=$(($(vp_jobs) + 1))
  gs -q -dNOPAUSE -dBATCH -dSAFER -r600 -sDEVICE=pwgraster -sPAPERSIZE=a4 -dcupsColorSpace=18 \
    -dcupsBitsPerColor=8 -dLastPage=1 -sOutputFile="$work/page.pwg" "$pdf" >/dev/null 2>&1
  submit "$work/page.pwg" -d filetype=image/pwg-raster >/dev/null
  expect_vp $n "Pages: 1"
  curl -sf -o /dev/null "http://127.0.0.1:$port/korvi/printing" || fail "confined: web interface"
  echo "  confined (read-only root, no new privileges, setuid setgid kill alone): raster job and web interface work"
}

for fault in ${KORVI_FAULTS:-hostname webui subcommands kill abort stall offline paused nothing confined}; do
  echo "--- $fault"
  "fault_$fault"
  next_job_prints
done
stop_app TERM 5
echo "PASS: the Printer Application as a service"
