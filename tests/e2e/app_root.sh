# The Printer Application run as root, in namespaces of its own, for the tests that need it as a
# system service runs it (sourced by them; they pass their own arguments through). The script
# runs itself again inside new namespaces: host name (a private /etc/hostname too), mounts (a
# private /run, /tmp a mount of its own), a network of loopback alone, and processes, so that
# everything it starts ends with it and nothing it does reaches this machine. Sets work, uri and
# port; defines fail, start_app, stop_app, web_form, sent and next_job_prints; documents long.pdf (100
# pages) in work. Callers set app, decode and pdf after sourcing.
set -euo pipefail
if [ "$(id -u)" != 0 ]; then echo "SKIP: $(basename "$0") runs the server as root"; exit 77; fi
if [ -z "${KORVI_ROOT_NS:-}" ]; then
  KORVI_ROOT_NS=1 exec unshare --uts --mount --net --pid --fork --mount-proc "$0" "$@"
fi
. "$(dirname "${BASH_SOURCE[0]}")/helpers.sh"

work=$(mktemp -d /tmp/korvi-root-test-XXXXXX)
trap '[ -n "${KORVI_KEEP:-}" ] || rm -rf "$work"' EXIT
chmod 0755 "$work"
mount --make-rprivate /
mount --bind /tmp /tmp  # a mount of its own, writable when a test makes the rest read-only
mount -t tmpfs tmpfs /run
echo korvi-test-host >"$work/hostname"
mount --bind "$work/hostname" /etc/hostname
hostname korvi-test-host
ip link set lo up
ulimit -c 0  # a crash a test causes leaves no core file behind
# PAPPL's own command-line client leaves its options allocated at exit: in a sanitizer build the
# subcommands' leak check is off here (the server's is kept by printer_app_test.sh).
export ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

app_pid=
fail() {
  echo "FAIL: $*"
  tail -5 "$work/vp.out" 2>/dev/null
  grep -E '^[EW] ' "$work/app.log" 2>/dev/null | tail -20 || true
  tail -5 "$work/app.out" 2>/dev/null
  grep '^Job' "$work/state" 2>/dev/null
  exit 1
}
port=8631
uri=ipp://127.0.0.1:$port/ipp/print/korvi
# start_app [-o ...]: the server with the state and spool of every run before.
start_app() {
  mkdir -p "$work/tmp" && chmod 1777 "$work/tmp"  # the server's TMPDIR, open as /tmp is: what a killed server leaves goes with work
  TMPDIR=$work/tmp "$app" server -o server-port=$port -o spool-directory="$work/spool" -o state-file="$work/state" \
    -o log-file="$work/app.log" -o log-level=debug "$@" >>"$work/app.out" 2>&1 &
  app_pid=$!
  wait_until 100 bash -c "(echo >/dev/tcp/127.0.0.1/$port) 2>/dev/null" || fail "the app does not listen"
  # Its control socket comes after its port: a subcommand that finds none starts a server of its own.
  wait_until 100 curl -so /dev/null --unix-socket /run/korvi-printer-app.sock http://localhost/ || fail "the app has no control socket"
}
# stop_app SIGNAL SECONDS: the server ends within SECONDS of SIGNAL.
stop_app() {
  kill -"$1" "$app_pid"
  wait_until $(($2 * 10)) sh -c "! kill -0 $app_pid 2>/dev/null" || fail "the server outlived SIG$1 by $2 s"
  wait "$app_pid" 2>/dev/null || true
  app_pid=
}
# sanitizers_quiet: an instrumented server said nothing of what it found on its standard error
# (app.out); fails showing it otherwise.
sanitizers_quiet() {
  if grep -qE 'WARNING: ThreadSanitizer|ERROR: AddressSanitizer|runtime error:' "$work/app.out"; then
    grep -E -A30 'WARNING: ThreadSanitizer|ERROR: AddressSanitizer|runtime error:' "$work/app.out" | head -150
    fail "the sanitizer reported the above"
  fi
}
# web_form PAGE ANSWER FIELD=VALUE...: a form of the web interface's PAGE, sent as a browser sends
# it, must answer ANSWER. PAPPL ties its form token to the name it finds for the client's
# address, which can change from one request to the next: the form is sent up to three times.
web_form() {
  local page=http://127.0.0.1:$port$1 want=$2 token answer try; shift 2
  for try in 1 2 3; do
    token=$(curl -s "$page" | sed -n 's/.*name="session" value="\([^"]*\)".*/\1/p' | head -1)
    answer=$(curl -s "$page" -d "session=$token$(printf '&%s' "$@")")
    grep -q "$want" <<<"$answer" && return 0
    echo "  the form of $1 ($*), try $try: $(grep -o 'class="banner">[^<]*' <<<"$answer" || echo "no answer")"
  done
  fail "the form of $1: $*"
}
sent() { awk '/^job / && $3 != "0" { n++ } END { print n + 0 }' "$work/vp.out"; }
# next_job_prints: the server is up, and a job sent now reaches the printer whole.
next_job_prints() {
  kill -0 "$app_pid" 2>/dev/null || fail "the server is down"
  local n=$(($(vp_jobs) + 1)) t0=$SECONDS
  [ -n "$(submit "$pdf")" ] || fail "the next job was refused"
  expect_vp $n "Pages: 3"
  echo "  next job printed whole in $((SECONDS - t0)) s"
}

gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile="$work/long.pdf" -c '
  1 1 100 { /Helvetica 40 selectfont 72 400 moveto (Page ) show 3 string cvs show
            0.5 setgray 36 36 523 300 rectfill showpage } for' >/dev/null
