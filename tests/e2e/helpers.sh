# Shared plumbing of the end-to-end scripts (sourced): free loopback ports, waiting, stopping
# servers by process id, a private CUPS scheduler and the virtual printer. Servers started here
# listen on loopback only; the caller's EXIT trap stops them with stop_pid. Each kind of server
# looks for its port in a range of its own (schedulers 20000-, virtual printers 30000-, Printer
# Applications 40000-), so tests running side by side do not race for one port.

# free_port START: the first loopback port from START on that nothing listens on.
free_port() {
  local port=$1
  while (echo >"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
  echo "$port"
}

# wait_until TENTHS COMMAND...: runs COMMAND every tenth of a second until it succeeds; fails
# after TENTHS tries.
wait_until() {
  local tries=$1; shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  "$@"
}

# stop_pid PID: SIGTERM, up to 5 s to end, then SIGKILL; reaps it when it is our child.
stop_pid() {
  [ -n "${1:-}" ] || return 0
  kill "$1" 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# start_cupsd DIR FILTER [web]: a private scheduler in DIR (own configuration, spool, logs;
# FileDevice Yes; the given filter beside the system's; its web interface only when asked, with
# a copy of the system's pages in DIR/doc-root, where a caller may add its own), on a free loopback
# port. Sets cupsd_pid and host (127.0.0.1:PORT). DIR/out takes file: queues' output.
start_cupsd() {
  local dir=$1 filter=$2 web=No
  mkdir -p "$dir/doc-root"
  if [ "${3:-}" = web ]; then
    web=Yes
    cp -r "$(cups-config --datadir)/doc-root/." "$dir/doc-root/"
  fi
  host=127.0.0.1:$(free_port $((20000 + $$ % 8000)))
  mkdir -p "$dir"/{conf,spool,cache,state,tmp,log,out}
  "$(dirname "${BASH_SOURCE[0]}")/../../scripts/serverbin.sh" "$dir" "$filter"
  chmod 0755 "$dir" "$dir"/*
  chmod 1777 "$dir/out" "$dir/tmp"
  cat >"$dir/conf/cupsd.conf" <<CONF
Listen $host
LogLevel info
WebInterface $web
Browsing No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
  cat >"$dir/conf/cups-files.conf" <<CONF
ServerRoot $dir/conf
ServerBin $dir/serverbin
DataDir $(cups-config --datadir)
DocumentRoot $dir/doc-root
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
FileDevice Yes
CONF
  cupsd -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" &
  cupsd_pid=$!
  for _ in $(seq 100); do
    lpstat -h "$host" -r 2>/dev/null | grep -q "is running" && return 0
    kill -0 "$cupsd_pid" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}

# start_printer KORVIDECODE DIR: the virtual printer (korvidecode --listen) on a free loopback
# port, keeping its jobs in DIR and its lines in DIR.out. Sets vp_pid and vp_port.
start_printer() {
  vp_port=$(free_port $((30000 + $$ % 8000)))
  "$1" --listen "127.0.0.1:$vp_port" --output "$2" >"$2.out" 2>&1 &
  vp_pid=$!
  wait_until 50 grep -q "^listening" "$2.out"
}

# Jobs of a Printer Application printing to the virtual printer. The caller sets uri (the app's
# printer), work (where the virtual printer's folder vp and its lines vp.out are) and defines fail.
helpers=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# submit FILE [ipptool -d ...]: prints FILE; echoes the job id (nothing when it was refused). With
# a Content-Length, as PAPPL 1.3.1 waits a minute for the end of a truncated chunked raster.
submit() {
  local file=$1; shift
  { ipptool -L -c "$@" -f "$file" "$uri" "$helpers/app-print.test" || true; } | tail -1 | grep -E '^[0-9]+$' || true
}
# job_state ID: "state,message,pages completed".
job_state() { ipptool -c -d job="$1" "$uri" "$helpers/app-job.test" | tail -1; }
# wait_job ID: until the job has ended (completed, canceled or aborted).
wait_job() { wait_until 1200 sh -c "ipptool -c -d job=$1 '$uri' '$helpers/app-job.test' | tail -1 | grep -qE '^(canceled|aborted|completed),'"; }
vp_jobs() { grep -c '^job ' "$work/vp.out" || true; }
vp_has() { [ "$(vp_jobs)" -ge "$1" ]; }
# expect_vp N TEXT...: virtual printer job N arrived well-formed and its listing holds each TEXT.
expect_vp() {
  local n=$1; shift
  wait_until 1800 grep -q "^job $n:" "$work/vp.out" || fail "job $n did not reach the printer"
  grep "^job $n:" "$work/vp.out" | grep -q "well-formed$" || fail "job $n: $(grep "^job $n:" "$work/vp.out")"
  for text in "$@"; do grep -qF -- "$text" "$work/vp/job-$n.txt" || { cat "$work/vp/job-$n.txt"; fail "job $n: no '$text'"; }; done
}


# build_copy DIR APP: copies the Printer Application APP, with the filter and PPD of its build,
# into DIR in the build tree's layout (where the app looks for them) and prints the copy's path.
# DIR is readable by every user: a server that runs as lp, or runs its conversions as lp, can
# then run them wherever the checkout is, also in a home folder only its owner can enter.
build_copy() {
  local build; build=$(dirname "$(dirname "$2")")
  mkdir -p "$1/printer-app" "$1/filter" "$1/ppd"
  chmod 0755 "$1"
  install -m 0755 "$2" "$1/printer-app/"
  install -m 0755 "$build/filter/rastertokorvilaserprinter" "$1/filter/"
  install -m 0644 "$build/ppd/korvilaser.ppd" "$1/ppd/"
  echo "$1/printer-app/$(basename "$2")"
}
