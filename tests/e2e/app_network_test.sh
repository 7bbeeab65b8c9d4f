#!/usr/bin/env bash
# The Printer Application shared on a network, seen from another host (app_network.sh: two
# network namespaces on a veth pair, each with its own D-Bus and avahi-daemon):
# - discovery: nothing beyond loopback in loopback mode; shared, a printer added while the server
#   runs is browsable within 10 s as _ipp, _ipps and _print._sub._ipp; a second printer gets a name
#   of its own; a rename shows the new name only, and a taken name is refused; the TXT record
#   agrees with the printer's IPP attributes; everything is back within 30 s of avahi-daemon's
#   restart, and under the same names after the server's;
# - sharing: from the other host, without and with credentials (the web password, then PAM with
#   an admin group), each administrative web page and form and IPP operation, printing over ipp and
#   ipps, and cancelling one's own and another user's job; the printer is still there afterwards;
# - end to end: cups-filters' driverless on the other host finds the printer, and a CUPS temporary
#   queue there prints to the virtual printer.
# Runs as root in namespaces of its own (app_root.sh). Usage: app_network_test.sh APP KORVIDECODE PDF
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_root.sh"
app=$1 decode=$2 pdf=$3
app=$(build_copy "$work/build" "$app")
. "$here/app_network.sh"
cp "$pdf" "$work/doc.pdf" && chmod 0644 "$work/doc.pdf"

server=10.77.0.1
table=$work/table
# row WHAT WANT GOT: one line of the tables; a row that did not go as it should fails the test.
row() {
  printf '  %-62s %-8s %s\n' "$1" "$2" "$3" | tee -a "$table"
  [ "$2" = "$3" ] || fail "$1: expected $2, got $3"
}
# browse TYPE: the service names of TYPE the other host sees, sorted, joined by "|".
browse() {
  remote avahi-browse -ptk "$1" 2>/dev/null |
    awk -F';' '$1 == "+" && $3 == "IPv4" { gsub(/\\032/, " ", $4); print $4 }' | sort -u | paste -sd'|'
}
# seen WANT SECONDS: the other host sees exactly WANT under all three types within SECONDS.
seen() {
  local t end=$((SECONDS + $2))
  for t in _ipp._tcp _ipps._tcp _print._sub._ipp._tcp; do
    until [ "$(browse $t)" = "$1" ]; do
      [ $SECONDS -lt $end ] || { echo "$t: $(browse $t)" >&2; return 1; }
      sleep 0.5
    done
  done
}

# shot NAME URL: with KORVI_SCREENSHOTS=DIR, the page as a browser on the other host shows it,
# saved as DIR/NAME.png (headless Chromium; nothing without it).
shot() {
  [ -n "${KORVI_SCREENSHOTS:-}" ] && command -v chromium-headless-shell >/dev/null || return 0
  remote chromium-headless-shell --no-sandbox --disable-gpu --ignore-certificate-errors --window-size=1000,700 \
    --screenshot="$KORVI_SCREENSHOTS/$1.png" "$2" >/dev/null 2>&1 || echo "no screenshot $1"
}

echo "--- discovery"
start_printer "$decode" "$work/vp" || fail "the virtual printer did not start"
start_app
"$app" add -d korvi -m korvi_laser -v "socket://127.0.0.1:$vp_port" >/dev/null || fail "add the printer"
start_avahi
row "avahi-daemon started after the server: on lo within 10 s" yes \
  "$(wait_until 100 sh -c "avahi-browse -ptk _ipp._tcp | grep -q '^+;lo;IPv4;Korvi'" && echo yes)"
sleep 2
row "loopback mode: advertised on this host beyond lo" no \
  "$(avahi-browse -ptk _ipp._tcp | grep -q '^+;veth' && echo yes || echo no)"
other=$(browse _ipp._tcp)$(browse _http._tcp)
row "loopback mode: the other host browses" nothing "${other:-nothing}"
stop_app TERM 10

start_app -o listen-hostname='*'
row "shared: the printer of the state file, within 10 s" yes "$(seen 'Korvi Laser Printer' 10 && echo yes)"
"$app" add -d spare -m korvi_laser -v "socket://127.0.0.1:9" >/dev/null || fail "add a second printer"
row "a printer added while running, distinct name, within 10 s" yes \
  "$(seen 'Korvi Laser Printer|Korvi Laser Printer 2' 10 && echo yes)"
web_form /korvi/config "Changes saved" dns_sd_name=Front+Desk
row "renamed: the new name only, within 10 s" yes "$(seen 'Front Desk|Korvi Laser Printer 2' 10 && echo yes)"
web_form /spare/config "another printer is already called" dns_sd_name=front+desk
row "a taken name is refused; names unchanged" yes "$(seen 'Front Desk|Korvi Laser Printer 2' 5 && echo yes)"

# The TXT record of _ipp._tcp against the printer's IPP attributes.
remote avahi-browse -rptk _ipp._tcp | awk -F';' '$1 == "=" && $3 == "IPv4" && $4 == "Front\\032Desk" { print $10 }' |
  head -1 >"$work/txt"
remote ipptool -tv "ipp://$server:$port/ipp/print/korvi" get-printer-attributes.test >"$work/attrs" ||
  fail "Get-Printer-Attributes from the other host"
row "TXT keys agree with the IPP attributes" yes "$(python3 "$here/txtcheck.py" "$work/txt" "$work/attrs")"

# From here on the server names itself korvi-print.local (server-hostname), an address this host
# publishes in mDNS as a host with another name would.
name=korvi-print.local
echo "10.77.0.1 $name" >>"$work/remote/etc/hosts"
publish_pid=
publish() {  # (again, as avahi-publish ends with the avahi-daemon it spoke to)
  stop_pid "$publish_pid"
  avahi-publish -a -R "$name" "$server" >/dev/null 2>&1 &
  publish_pid=$!
}
# target: the host the other host's _ipp._tcp services of this server point to.
target() { remote avahi-browse -rptk _ipp._tcp | awk -F';' '$1 == "=" && $3 == "IPv4" { print $7 }' | sort -u | paste -sd'|'; }
stop_app TERM 10
publish
start_app -o listen-hostname='*' -o server-hostname=$name
row "the server restarted: the same names" yes "$(seen 'Front Desk|Korvi Laser Printer 2' 10 && echo yes)"
row "server-hostname: the host the services point to" "$name" "$(target)"
stop_avahi
start_avahi
publish
row "avahi-daemon restarted: both back within 30 s" yes "$(seen 'Front Desk|Korvi Laser Printer 2' 30 && echo yes)"
row "avahi-daemon restarted: the host the services point to" "$name" "$(target)"

echo "--- end to end, from the other host"
row "driverless lists the printer" yes \
  "$(remote timeout 60 driverless 2>/dev/null | grep -qE '^ipps?://Front%20Desk\._ipps?\._tcp\.local/' && echo yes)"
# A CUPS of the other host's own prints through a temporary queue it makes for the printer, at the
# darkness set as the printer's default (CUPS's queues offer none of their own).
"$app" modify -d korvi -o print-darkness=100 || fail "set the default darkness"
remote bash -c ". '$here/helpers.sh'; start_cupsd '$work/rcups' '$work/build/filter/rastertokorvilaserprinter' &&
  echo \$cupsd_pid \$host >'$work/rcups.run'; wait" >/dev/null 2>&1 &
wait_until 300 test -s "$work/rcups.run" || fail "the other host's CUPS did not start"
read -r cupsd_pid rhost <"$work/rcups.run"
n=$(($(vp_jobs) + 1))
remote env CUPS_SERVER="$rhost" lp -d Front_Desk "$work/doc.pdf" >/dev/null || fail "lp to the temporary queue"
expect_vp $n "Pages: 3" "print density  4"
row "a CUPS temporary queue prints, at the printer's darkness" yes yes
"$app" modify -d korvi -o print-darkness=0 || fail "reset the default darkness"

echo "--- sharing, from the other host"
base=http://$server:$port
# web METHOD PAGE [curl options]: the HTTP status of an administrative page or form from the other
# host, followed by "login" when the answer is a login form, and "saved" when it saved a form. A
# form is sent with the token of the printer's public page (or of PAGE, given a cookie jar).
web() {
  local method=$1 page=$2 url=${scheme:-http}://$server:$port from=/korvi/ token; shift 2
  [ -z "${jar:-}" ] || { set -- "$@" -b "$jar" -c "$jar"; from=$page; }
  if [ "$method" = POST ]; then
    token=$(remote curl -sk "$@" "$url$from" | sed -n 's/.*name="session" value="\([^"]*\)".*/\1/p' | head -1)
    set -- "$@" -d "session=$token&${form:-action=hold-new-jobs&dns_sd_name=Taken&print-darkness=0}"
  fi
  remote curl -sk -o "$work/page.html" -w '%{http_code}' "$@" "$url$page"
  grep -q 'name="password"' "$work/page.html" && echo -n " login"
  grep -q 'Changes saved' "$work/page.html" && echo -n " saved"
  echo
}
# What another host gets for the administrative pages and forms: the system's (add printer,
# settings, logs, security) and the printer's (settings, defaults, media, jobs, delete, cancel all).
pages="/addprinter /config /logs /logfile.txt /security /korvi/config /korvi/printing /korvi/media /korvi/jobs
  /korvi/delete /korvi/cancelall"
forms="/korvi /korvi/config /korvi/printing /korvi/delete /config"
web_rows() {  # web_rows LABEL GET-CODE POST-CODE [curl options]
  local label=$1 get=$2 post=$3 p; shift 3
  for p in $pages; do row "web $label: GET $p" "$get" "$(web GET "$p" "$@")"; done
  for p in $forms; do row "web $label: POST $p" "$post" "$(web POST "$p" "$@")"; done
}
# ipp TARGET [ipptool -d ...]: ok, or refused (an HTTP or IPP refusal), for a request of
# app-admin.test from the other host. TARGET: printer or system, optionally with credentials
# (cred=user:password) and over TLS (scheme=ipps), as a user (user=NAME, admin unless given).
ipp() {
  local target=$1 out; shift
  [[ "$*" == *"op="* ]] || set -- "$@" -d skipop=1
  local uri="${scheme:-ipp}://${cred:+$cred@}$server:$port/ipp/$target"
  if out=$(remote env CUPS_USER="${user:-admin}" ipptool -T 30 -tv "$@" "$uri" "$here/app-admin.test" 2>&1); then echo ok
  elif grep -qiE "forbidden|not-authori[sz]ed|not-authenticated|unauthorized|upgrade|401|403|426" <<<"$out"; then echo refused
  else echo "error:$(grep -m1 -iE 'status-code|unable|expected' <<<"$out")"; fi
}
admin_rows() {  # admin_rows LABEL WANT: every administrative IPP operation
  local label=$1 want=$2 op id
  for op in Pause-Printer Resume-Printer Disable-Printer Enable-Printer Hold-New-Jobs Release-Held-New-Jobs \
    Cancel-Jobs; do
    row "ipp $label: $op" "$want" "$(ipp print/korvi -d op=$op)"
  done
  # A job that cannot reach its printer (nothing listens on port 9) stays the current job.
  "$app" submit -d spare "$work/doc.pdf" >/dev/null || fail "submit to spare"
  row "ipp $label: Cancel-Current-Job" "$want" "$(ipp print/spare -d op=Cancel-Current-Job)"
  row "ipp $label: Set-Printer-Attributes" "$want" "$(ipp print/korvi -d location=Elsewhere)"
  row "ipp $label: Create-Printer" "$want" "$(ipp system -d create=extra)"
  row "ipp $label: Delete-Printer" "$want" "$(ipp system -d delete="$(printer_id extra || printer_id spare)")"
}
printer_id() {
  ipptool -tv "ipp://127.0.0.1:$port/ipp/print/$1" get-printer-attributes.test 2>/dev/null |
    sed -n 's/.*printer-id (integer) = //p' | grep .
}
# job USER [SCHEME]: a job of USER's, held, sent from the other host; echoes its id.
job() {
  remote env CUPS_USER="$1" ipptool -c -d hold=indefinite -f "$work/doc.pdf" "${2:-ipp}://$server:$port/ipp/print/korvi" \
    "$here/app-print.test" 2>/dev/null | tail -1 | grep -E '^[0-9]+$' || true
}
job_rows() {  # job_rows LABEL OTHERS-CANCEL: printing, and cancelling one's own and another's job
  local label=$1 others=$2 a
  for s in ipp ipps; do row "$label: Print-Job over $s, no login" ok "$([ -n "$(job alice $s)" ] && echo ok)"; done
  a=$(job alice)
  row "$label: mallory cancels alice's job" "$others" "$(user=mallory ipp print/korvi -d cancel="$a")"
  a=$(job alice)
  row "$label: alice cancels her own job" ok "$(user=alice cred='' ipp print/korvi -d cancel="$a")"
}
still_there() {
  row "the printers are still there" "korvi spare" \
    "$("$app" printers | sort | paste -sd' ')"
}

echo "nothing configured:"
row "web: the printers' pages" "200 200" "$(web GET /) $(web GET /korvi/)"
web_rows "no login" 403 403
shot remote-admin-refused "http://$server:$port/config"
shot remote-printer-page "http://$server:$port/korvi/"
admin_rows "no login" refused
job_rows "no login" refused
"$app" add -d temp -m korvi_laser -v "socket://127.0.0.1:9" >/dev/null || fail "add temp"
row "this host: delete a printer added while running" ok "$("$app" delete -d temp && echo ok)"
row "this host: GET /korvi/printing" 200 "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/korvi/printing")"
still_there

echo "a web password, set on this host:"
web_form /security "Password changed" new_password=Korvi-Test-1 new_password2=Korvi-Test-1
row "web over http: GET /config" "301" "$(web GET /config)"
scheme=https web_rows "https, no login" "200 login" "200 login"
shot remote-login "http://$server:$port/korvi/printing"
jar=$work/remote/cookies
touch "$jar"
row "web: log in with the password" "200" "$(scheme=https form="password=Korvi-Test-1" web POST /config)"
for p in $pages; do  # the log file comes in parts (206)
  row "web logged in: GET $p" shown "$(scheme=https web GET "$p" | sed -E 's/^20[06]$/shown/')"
done
row "web logged in: POST /korvi/printing" "200 saved" "$(scheme=https form=print-darkness=50 web POST /korvi/printing)"
unset jar
admin_rows "web password only" refused
still_there

echo "PAM (auth-service) with an admin group:"
accounts
# PAPPL stops only once no job waits (or after a minute): the held jobs go first (through the
# control socket, as root: with a web password, loopback over TCP needs a login too).
for p in korvi spare; do ipptool -d op=Cancel-Jobs "ipp://%2Frun%2Fkorvi-printer-app.sock/ipp/print/$p" "$here/app-admin.test"; done
stop_app TERM 10
start_app -o listen-hostname='*' -o server-hostname=$name -o auth-service=korvi-test -o admin-group=korviadm
scheme=https
row "web: GET /config, no login" 401 "$(web GET /config)"
row "web: GET /config as korviuser (not in the group)" 403 "$(web GET /config -u korviuser:Korvi-Test-1)"
row "web: GET /config as korviadmin" 200 "$(web GET /config -u korviadmin:Korvi-Test-1)"
scheme=ipps cred=korviuser:Korvi-Test-1 admin_rows "ipps as korviuser" refused
scheme=ipps cred=korviadmin:Korvi-Test-1 admin_rows "ipps as korviadmin" ok
unset scheme
admin_rows "no login" refused
job_rows "auth-service" refused
a=$(job alice)
row "korviadmin cancels alice's job" ok "$(scheme=ipps cred=korviadmin:Korvi-Test-1 ipp print/korvi -d cancel="$a")"
# alice's held jobs still wait: the printer's connection must end with the job all the same.
n=$(($(vp_jobs) + 1))
remote env CUPS_SERVER="$rhost" lp -d Front_Desk "$work/doc.pdf" >/dev/null || fail "lp to the temporary queue"
expect_vp $n "Pages: 3"
row "auth-service: the CUPS temporary queue still prints" yes yes
stop_pid "$cupsd_pid"
still_there
stop_pid "$publish_pid"
