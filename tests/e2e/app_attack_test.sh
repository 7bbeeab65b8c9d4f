#!/usr/bin/env bash
# The Printer Application as an attacker tries it, run as root as the package runs it, from
# another host (app_network.sh), over loopback and as local users on its control socket:
# - names: control characters in each name a client sends are refused, the state after a restart
#   holds the same printers and jobs, and planted job lines that name files outside the spool
#   touch nothing;
# - who administers: transport (control socket as root, as a member of lpadmin, as nobody;
#   127.0.0.1; ::1; another host) x setting (nothing, a web password, an auth-service) x
#   operation, as README's access table says;
# - owners: another host's job is its sender's (name and address), its names private, in IPP
#   answers, subscriptions' events and on the printer's web page; a subscription is changed by
#   its owner alone;
# - passwords: wrong ones (empty, one character off, a prefix, another) refused, slowly, from
#   loopback and from the other host; the right one, and a hash written by version 1.5.0, let in;
# - Host and Origin: rebound names and other sites' forms refused;
# - limits: a document over the size limit, a user and a host over their pending jobs, a held job
#   past its expiry;
# - files: a job's working folder is lp's alone, the state file 0600 and its folder the server's
#   alone, file: devices off, a server run by a normal user keeps its socket in a folder of its
#   own, and root's is in the service's runtime folder when there is one.
# Usage: app_attack_test.sh APP KORVIDECODE PDF
here=$(cd "$(dirname "$0")" && pwd)
. "$here/app_root.sh"
app=$1 decode=$2 pdf=$3
app=$(build_copy "$work/build" "$app")
. "$here/app_network.sh"
cp "$pdf" "$work/doc.pdf" && chmod 0644 "$work/doc.pdf"
# The requests' files, where the local users the test runs ipptool as can read them (the checkout
# may be in a folder only root may enter).
mkdir -m 0755 "$work/tests"
cp "$here/app-admin.test" "$here/app-names.test" "$here/app-job.test" "$here/app-subscriptions.test" "$work/tests/"
chmod 0644 "$work/tests"/*
source=$here here=$work/tests
chmod 0755 /run

server=10.77.0.1
sock=/run/korvi-printer-app.sock
# row WHAT WANT GOT: one line of the table; a row that did not go as it should fails the test
# (with KORVI_CONTINUE set, it is marked and the table goes on: to see a whole table of a build).
row() {
  printf '  %-70s %-10s %s\n' "$1" "$2" "$3"
  [ "$2" = "$3" ] || [ -n "${KORVI_CONTINUE:-}" ] || fail "$1: expected $2, got $3"
}
accounts

# status [COMMAND...] -- IPPTOOL-ARGS: what the server answered ipptool (run through COMMAND, such
# as remote or as USER): ok, refused (not authorised, in HTTP or IPP), or the IPP status keyword.
status() {
  local pre=() out
  while [ "$1" != -- ]; do pre+=("$1"); shift; done; shift
  if out=$("${pre[@]}" ipptool -T 20 -tv "$@" 2>&1); then echo ok
  elif grep -qiE "forbidden|not-authori[sz]ed|unauthorized|upgrade|401|403|426" <<<"$out"; then echo refused
  else sed -n 's/.*status-code = \([a-z-]*\).*/\1/p' <<<"$out" | head -1 | grep . || echo "error"; fi
}
# as USER CMD...: CMD as that local user (no groups but its own).
as() { local u=$1; shift; setpriv --reuid "$u" --regid "$(id -g "$u")" --init-groups -- "$@"; }
printer_id() {
  ipptool -tv "ipp://%2Frun%2Fkorvi-printer-app.sock/ipp/print/$1" get-printer-attributes.test 2>/dev/null |
    sed -n 's/.*printer-id (integer) = //p' | grep .
}
# held USER: a held job of USER's, sent from the other host; echoes its id.
held() {
  remote env CUPS_USER="$1" ipptool -c -f "$work/doc.pdf" "ipp://$server:$port/ipp/print/korvi" "$here/app-names.test" \
    2>/dev/null | tail -1 | grep -E '^[0-9]+$' || true
}
cancel_all() {
  for p in $("$app" printers); do
    ipptool -d op=Cancel-Jobs "ipp://%2Frun%2Fkorvi-printer-app.sock/ipp/print/$p" "$here/app-admin.test" >/dev/null || true
  done
}
restart() { cancel_all; stop_app TERM 10; start_app -o listen-hostname='*' "$@"; }

start_printer "$decode" "$work/vp" || fail "the virtual printer did not start"
start_app -o listen-hostname='*'
"$app" add -d korvi -m korvi_laser -v "socket://127.0.0.1:$vp_port" >/dev/null || fail "add the printer"

echo "--- names with control characters"
for name in jobname docname user; do
  for c in '\n' '\r'; do
    value=$(printf "front${c}Printer id=\"9\" name=\"x\"")
    user=alice
    [ $name != user ] || user=$value  # ipptool's user is the environment's CUPS_USER
    row "Print-Job from the other host, $name with $c" client-error-bad-request \
      "$(status remote env CUPS_USER="$user" -- -d "$name=$value" -f "$work/doc.pdf" "ipp://$server:$port/ipp/print/korvi" \
        "$here/app-names.test")"
  done
done
long=$(printf 'x%.0s' $(seq 2100))  # longer than a line of the state as PAPPL reads it back
row "Print-Job from the other host, a job-name of 2100 bytes" client-error-bad-request \
  "$(status remote env CUPS_USER=alice -- -d "jobname=$long" -f "$work/doc.pdf" "ipp://$server:$port/ipp/print/korvi" "$here/app-names.test")"
row "Print-Job on the control socket as nobody, requesting-user-name twice (root, root): the owner" nobody \
  "$(id=$(as nobody ipptool -c -d user2=root -f "$work/doc.pdf" "ipp://%2Frun%2Fkorvi-printer-app.sock/ipp/print/korvi" "$here/app-names.test" | tail -1)
     "$app" jobs -d korvi | awk -v id="$id" '$1 == id { print $3 }')"
row "Set-Printer-Attributes printer-location with \\n (loopback)" client-error-bad-request \
  "$(status -- -d skipop=1 -d location="$(printf 'a\nb')" "ipp://127.0.0.1:$port/ipp/print/korvi" "$here/app-admin.test")"
row "Create-Printer printer-name with \\n (control socket, root)" client-error-bad-request \
  "$(status -- -d skipop=1 -d create="$(printf 'x\ny')" "ipp://%2Frun%2Fkorvi-printer-app.sock/ipp/system" "$here/app-admin.test")"
token=$(curl -s "http://127.0.0.1:$port/korvi/config" | sed -n 's/.*name="session" value="\([^"]*\)".*/\1/p' | head -1)
row "web form: the printer's location with a newline" "Invalid form data." \
  "$(curl -s "http://127.0.0.1:$port/korvi/config" --data-urlencode "session=$token" --data-urlencode "location=$(printf 'a\nb')" |
     grep -o 'Invalid form data\.' | head -1)"
[ -n "$(held alice)" ] || fail "a held job of alice's"
# What the state holds, saved as the server stops, and again after a restart.
held_state() { cancel_all; stop_app TERM 10; grep -E '^(<Printer|Job)' "$work/state"; }
before=$(held_state)
start_app -o listen-hostname='*'
row "after a restart: the same printers and jobs" same "$([ "$(held_state)" = "$before" ] && echo same)"
# Job lines planted in the state: a processing job (whose files a restart removes) naming a file
# outside the spool, and a waiting one through "..".
echo secret >"$work/victim" && echo secret >"$work/victim2"
sed -i "0,/^<\/Printer>/s||Job id=\"901\" name=\"x\" username=\"x\" format=\"application/pdf\" filename=\"$work/victim\" state=\"5\" created=\"1\"\nJob id=\"902\" name=\"y\" username=\"y\" format=\"application/pdf\" filename=\"$work/spool/../victim2\" state=\"3\" created=\"1\"\n&|" "$work/state"
start_app -o listen-hostname='*'
row "planted job lines: the files they name are still there" "yes yes" \
  "$([ -f "$work/victim" ] && echo yes) $([ -f "$work/victim2" ] && echo yes)"
row "planted job lines: dropped from the state" 0 "$(grep -c 'victim' "$work/state" || true)"
row "the state file's mode" 600 "$(stat -c %a "$work/state")"

echo "--- a job's working folder, file: devices"
mkdir -m 0755 "$work/drop"  # a folder a file: device would write files into
printf '%%!PS\n{ 1 1 add pop } loop\n' >"$work/endless.ps"
chmod 0644 "$work/endless.ps"
loop=$(submit "$work/endless.ps" -d filetype=application/postscript)
wait_until 100 sh -c "ls -d '$work/tmp'/korvi-job-* >/dev/null 2>&1" || fail "no working folder for the endless job"
row "the working folder of a running job: mode and owner" "700 lp" "$(stat -c '%a %U' "$work"/tmp/korvi-job-*)"
ipptool -d cancel="$loop" -d skipop=1 "ipp://%2Frun%2Fkorvi-printer-app.sock/ipp/print/korvi" "$here/app-admin.test" >/dev/null
wait_until 100 sh -c "! ls -d '$work/tmp'/korvi-job-* >/dev/null 2>&1" || fail "the working folder outlived the job"
row "Create-Printer with a file: device (control socket, root)" client-error-attributes-or-values-not-supported \
  "$(status -- -d skipop=1 -d create=filed -d device="file://$work/drop?ext=sh" "ipp://%2Frun%2Fkorvi-printer-app.sock/ipp/system" "$here/app-admin.test")"

echo "--- Host and Origin"
for h in 1.evil.example x.local evil.example localhost '[::1]' korvi-test-host.local; do
  want=400
  case $h in localhost | '[::1]' | korvi-test-host.local) want=200 ;; esac
  row "GET /config with Host: $h" $want \
    "$(curl -s -m 20 -o /dev/null -w '%{http_code}' -H "Host: $h:$port" "http://127.0.0.1:$port/config")"
done
row "a form POST from another site's page (Origin)" 403 \
  "$(curl -s -m 20 -o /dev/null -w '%{http_code}' -H 'Origin: http://evil.example' -d session=x "http://127.0.0.1:$port/config")"
row "a form POST from another site's page (Referer)" 403 \
  "$(curl -s -m 20 -o /dev/null -w '%{http_code}' -e 'http://evil.example/x' -d session=x "http://127.0.0.1:$port/config")"
row "a form POST from the server's own page" 200 \
  "$(curl -s -m 20 -o /dev/null -w '%{http_code}' -H "Origin: http://127.0.0.1:$port" -d session=x "http://127.0.0.1:$port/config")"

# admin_table SETTING CREDENTIALS: each transport x operation, allowed (ok) or refused as README's
# access table says for SETTING. CREDENTIALS (user:password) go with the TCP transports' requests.
admin_table() {
  local setting=$1 cred=$2 t want op uri base pre out id job
  for t in socket-root socket-lpadmin socket-nobody 127.0.0.1 ::1 other-host; do
    pre=() base=
    case $t in
      socket-root) base="ipp://%2Frun%2Fkorvi-printer-app.sock" ;;
      socket-lpadmin) base="ipp://%2Frun%2Fkorvi-printer-app.sock" pre=(as korvilp) ;;
      socket-nobody) base="ipp://%2Frun%2Fkorvi-printer-app.sock" pre=(as nobody) ;;
      127.0.0.1) base="ipp://${cred:+$cred@}127.0.0.1:$port" ;;
      ::1) base="ipp://${cred:+$cred@}[::1]:$port" ;;
      other-host) base="ipps://${cred:+$cred@}$server:$port" pre=(remote) ;;
    esac
    want=refused
    case $t in
      socket-root | socket-lpadmin) want=ok ;;
      127.0.0.1 | ::1) { [ "$setting" = nothing ] || [ -n "$cred" ]; } && want=ok ;;
      other-host) [ -n "$cred" ] && want=ok ;;
    esac
    row "$setting, $t: Create-Printer with a file: device" "not made" \
      "$(status "${pre[@]}" -- -d skipop=1 -d create=filed -d device="file://$work/drop?ext=sh" "$base/ipp/system" \
           "$here/app-admin.test" >/dev/null; printer_id filed >/dev/null && echo made || echo "not made")"
    row "$setting, $t: Create-Printer" $want \
      "$(status "${pre[@]}" -- -d skipop=1 -d create=extra "$base/ipp/system" "$here/app-admin.test")"
    id=$(printer_id extra || echo 0)
    row "$setting, $t: Set-Printer-Attributes" $want \
      "$(status "${pre[@]}" -- -d skipop=1 -d location=Elsewhere "$base/ipp/print/korvi" "$here/app-admin.test")"
    row "$setting, $t: Pause-Printer" $want "$(status "${pre[@]}" -- -d op=Pause-Printer "$base/ipp/print/korvi" "$here/app-admin.test")"
    ipptool -d op=Resume-Printer "ipp://%2Frun%2Fkorvi-printer-app.sock/ipp/print/korvi" "$here/app-admin.test" >/dev/null || true
    job=$(held alice)
    row "$setting, $t: Cancel-Job of alice's job" $want \
      "$(status "${pre[@]}" env CUPS_USER=mallory -- -d skipop=1 -d cancel="$job" "$base/ipp/print/korvi" "$here/app-admin.test")"
    [ "$id" = 0 ] && id=$(printer_id extra || echo 0)
    row "$setting, $t: Delete-Printer" $([ "$id" = 0 ] && echo refused || echo $want) \
      "$(status "${pre[@]}" -- -d skipop=1 -d delete="$id" "$base/ipp/system" "$here/app-admin.test")"
    [ "$id" = 0 ] || ipptool -d skipop=1 -d delete="$id" "ipp://%2Frun%2Fkorvi-printer-app.sock/ipp/system" "$here/app-admin.test" >/dev/null 2>&1 || true
  done
}
echo "--- who administers: nothing configured"
admin_table nothing ""
id=$(as nobody env CUPS_USER=root ipptool -c -f "$work/doc.pdf" "ipp://%2Frun%2Fkorvi-printer-app.sock/ipp/print/korvi" \
  "$here/app-names.test" | tail -1)
row "nobody on the control socket, as requesting-user-name root: the job's owner" nobody \
  "$("$app" jobs -d korvi | awk -v id="$id" '$1 == id { print $3 }')"

echo "--- owners and private values"
# shown FROM USER JOB: "shown" when USER, asking FROM the other host (remote) or from this host's
# own network address (local), sees the job's name and owner, "hidden" when neither is shown.
shown() {
  local pre=(remote) base="ipp://$server:$port"
  [ "$1" = local ] && pre=()
  local out; out=$("${pre[@]}" env CUPS_USER="$2" ipptool -tv -d showjob="$3" "$base/ipp/print/korvi" "$here/app-names.test" 2>&1)
  if grep -q 'job-originating-user-name' <<<"$out"; then echo shown
  elif grep -q 'successful-ok' <<<"$out"; then echo hidden; else echo error; fi
}
subs="ipp://$server:$port/ipp/print/korvi $here/app-subscriptions.test"
subscribe() {
  # shellcheck disable=SC2086
  remote env CUPS_USER="$1" ipptool -c -d subscribe=1 $subs 2>/dev/null | tail -1 | grep -E '^[0-9]+$' || true
}
# events USER SUBS: "shown" when the events of subscriptions SUBS, fetched by USER from the other
# host, carry alice's job's name or owner, "hidden" when they tell of the job without them.
events() {
  local out
  # shellcheck disable=SC2086
  out=$(remote env CUPS_USER="$1" ipptool -tv -d events="$2" $subs 2>&1)
  if grep -qE 'job-originating-user-name|job-name' <<<"$out"; then echo shown
  elif grep -q "notify-job-id" <<<"$out"; then echo hidden; else echo error; echo "$out" | tail -30 >&2; fi
}
mallory_sub=$(subscribe mallory) alice_sub=$(subscribe alice)
[ -n "$mallory_sub" ] && [ -n "$alice_sub" ] || fail "the printer subscriptions were not made"
job=$(held alice)
row "alice's new job in the events of alice's subscription" shown "$(events alice "$alice_sub")"
row "alice's new job in the events of mallory's subscription" hidden "$(events mallory "$mallory_sub")"
row "the same, with an unknown subscription after it (an error answer)" hidden "$(events mallory "$mallory_sub,999999")"
# shellcheck disable=SC2086
row "the subscribers Get-Subscriptions names to mallory" mallory "$(remote env CUPS_USER=mallory ipptool -tv -d list=1 $subs |
  sed -n 's/.*notify-subscriber-user-name (nameWithoutLanguage) = //p' | sort -u | tr '\n' ' ' | sed 's/ $//')"
# shellcheck disable=SC2086
row "alice's subscription, cancelled by mallory" refused "$(status remote env CUPS_USER=mallory -- -d cancelsub="$alice_sub" $subs)"
# shellcheck disable=SC2086
# shellcheck disable=SC2086
row "alice's subscription, cancelled by 'alice' from another address" refused \
  "$(status env CUPS_USER=alice -- -d cancelsub="$alice_sub" $subs)"
row "alice's subscription, cancelled by alice" ok "$(status remote env CUPS_USER=alice -- -d cancelsub="$alice_sub" $subs)"
row "alice's job, seen by alice from the host that sent it" shown "$(shown remote alice "$job")"
row "alice's job, seen by mallory from that host" hidden "$(shown remote mallory "$job")"
row "alice's job, its name and owner alone asked by alice" shown \
  "$(remote env CUPS_USER=alice ipptool -tv -d showjob="$job" -d ask=job-name,job-originating-user-name \
       "ipp://$server:$port/ipp/print/korvi" "$here/app-names.test" | grep -q job-originating-user-name && echo shown)"
row "alice's job, seen by 'alice' from another address" hidden "$(shown local alice "$job")"
row "alice's job, cancelled by 'alice' from another address" refused \
  "$(status env CUPS_USER=alice -- -d skipop=1 -d cancel="$job" "ipp://$server:$port/ipp/print/korvi" "$here/app-admin.test")"
row "alice's job, seen by root on the control socket" shown \
  "$(ipptool -tv -d showjob="$job" "ipp://%2Frun%2Fkorvi-printer-app.sock/ipp/print/korvi" "$here/app-names.test" |
     grep -q job-originating-user-name && echo shown)"
# listed FROM [COOKIES]: "shown" when the printer's web page, fetched from the other host (over
# https) or this host, lists alice's job with its owner, "hidden" when it lists it withheld.
listed() {
  local pre=() url="http://127.0.0.1:$port" out
  [ "$1" = remote ] && pre=(remote) url="https://$server:$port"
  out=$("${pre[@]}" curl -sk ${2:+-b "$2"} "$url/korvi")
  if grep -q '<td>alice</td>' <<<"$out"; then echo shown
  elif grep -q '<td>Withheld</td><td>Withheld</td>' <<<"$out"; then echo hidden; else echo error; fi
}
row "alice's job on the printer's web page, from the other host" hidden "$(listed remote)"
row "alice's job on the printer's web page, from this host (no login configured)" shown "$(listed this-host)"
row "alice's job, cancelled by alice from the host that sent it" ok \
  "$(status remote env CUPS_USER=alice -- -d skipop=1 -d cancel="$job" "ipp://$server:$port/ipp/print/korvi" "$here/app-admin.test")"

echo "--- passwords"
web_form /security "Password changed" new_password=Korvi-Test-1 new_password2=Korvi-Test-1
wait_until 50 grep -q '^Password ' "$work/state" || fail "the password was not saved"
row "the stored hash" 'yescrypt ($y$)' "$(sed -n 's/^Password \$y\$.*/yescrypt ($y$)/p' "$work/state")"
# login FROM PASSWORD: "in" when the web interface's login with PASSWORD opens /config (from this
# host over http, from the other host over https), "refused" when the login form comes back;
# followed by "slow" when the answer took a second or more.
login() {
  local pre=() url="http://127.0.0.1:$port" jar="$work/jar" token out
  [ "$1" = remote ] && pre=(remote) url="https://$server:$port"
  rm -f "$jar"
  token=$("${pre[@]}" curl -sk -c "$jar" "$url/config" | sed -n 's/.*name="session" value="\([^"]*\)".*/\1/p' | head -1)
  out=$("${pre[@]}" curl -sk -b "$jar" -c "$jar" -w '\n%{time_total}' --data-urlencode "session=$token" \
    --data-urlencode "password=$2" "$url/config")
  if grep -q 'name="password"' <<<"$out"; then echo -n refused; else echo -n in; fi
  awk -v t="$(tail -1 <<<"$out")" 'BEGIN { if (t >= 1) printf " slow"; print "" }'
}
for from in this-host remote; do
  for pw in "" Korvi-Test-2 Korvi-Test- Other-Pass-9; do
    row "$from: login with the password '$pw'" "refused slow" "$(login $from "$pw")"
  done
  row "$from: login with the right password" in "$(login $from Korvi-Test-1)"
done
row "alice's job on the printer's web page, from the other host, logged in" shown "$(listed remote "$work/jar")"
row "alice's job on the printer's web page, from this host, not logged in" hidden "$(listed this-host)"
row "the failures are logged with the address" yes \
  "$(grep -q "Wrong web password from 10.77.0.2" "$work/app.log" && grep -q "Wrong web password from 127.0.0.1" "$work/app.log" && echo yes)"
row "IPP as web-admin with a wrong password (other host)" refused \
  "$(status remote -- -d op=Pause-Printer "ipps://web-admin:Korvi-Test-2@$server:$port/ipp/print/korvi" "$here/app-admin.test")"
echo "--- who administers: a web password"
admin_table "web password" ""
admin_table "web password, web-admin login" web-admin:Korvi-Test-1

echo "--- a password hash of version 1.5.0"
cancel_all; stop_app TERM 10
legacy="0123456789abcdef~$(printf '%s' '0123456789abcdef:Korvi-Old-1' | sha256sum | cut -d' ' -f1)"
sed -i "s/^Password .*/Password $legacy/" "$work/state"
start_app -o listen-hostname='*'
row "1.5.0's hash: the right password" in "$(login this-host Korvi-Old-1)"
row "1.5.0's hash: another password" "refused slow" "$(login this-host Korvi-Test-1)"

echo "--- who administers: an auth-service with an admin group"
cancel_all; stop_app TERM 10
sed -i '/^Password /d' "$work/state"
start_app -o listen-hostname='*' -o auth-service=korvi-test -o admin-group=korviadm
admin_table "auth-service" ""
admin_table "auth-service, korviadmin" korviadmin:Korvi-Test-1
row "auth-service: korvilp (not in the admin group) over ipps" refused \
  "$(status remote -- -d op=Pause-Printer "ipps://korvilp:Korvi-Test-1@$server:$port/ipp/print/korvi" "$here/app-admin.test")"

echo "--- limits on clients without a login"
restart -o max-document-size=1 -o max-jobs-per-user=3 -o max-jobs-per-host=5 -o hold-expiry=4
head -c 1500000 /dev/zero | tr '\0' '%' | { echo '%!PS'; cat; echo; echo showpage; } >"$work/big.ps"
chmod 0644 "$work/big.ps"
# sent FROM-USER [ipptool options]: the status of a held Print-Job of doc.pdf from the other host.
sent() {
  local user=$1; shift
  status remote env CUPS_USER="$user" -- "$@" -f "$work/doc.pdf" "ipp://$server:$port/ipp/print/korvi" "$here/app-names.test"
}
row "a document of 1.5 MB over a 1 MB limit (Content-Length)" client-error-request-entity-too-large \
  "$(status remote env CUPS_USER=alice -- -L -f "$work/big.ps" "ipp://$server:$port/ipp/print/korvi" "$here/app-names.test")"
row "a document of 1.5 MB over a 1 MB limit (chunked)" client-error-request-entity-too-large \
  "$(status remote env CUPS_USER=alice -- -f "$work/big.ps" "ipp://$server:$port/ipp/print/korvi" "$here/app-names.test")"
first=$(held alice)
row "alice's first three held jobs" "yes ok ok" "$([ -n "$first" ] && echo yes) $(sent alice) $(sent alice)"
row "alice's fourth (3 per user)" client-error-not-possible "$(sent alice)"
row "bob's first two from the same host" "ok ok" "$(sent bob) $(sent bob)"
row "bob's third (5 per host)" client-error-not-possible "$(sent bob)"
job=$(ipptool -c -d user=root -f "$work/doc.pdf" "ipp://%2Frun%2Fkorvi-printer-app.sock/ipp/print/korvi" "$here/app-names.test" | tail -1)
row "root's held job on the control socket (no host or user limit)" yes "$([ -n "$job" ] && echo yes)"
sleep 7
row "a held job without a login, after hold-expiry (4 s)" "canceled" \
  "$(ipptool -c -d job="$first" "ipp://%2Frun%2Fkorvi-printer-app.sock/ipp/print/korvi" "$here/app-job.test" | tail -1 | cut -d, -f1)"
row "root's held job after hold-expiry" pending-held \
  "$(ipptool -c -d job="$job" "ipp://%2Frun%2Fkorvi-printer-app.sock/ipp/print/korvi" "$here/app-job.test" | tail -1 | cut -d, -f1)"
cancel_all
stop_app TERM 10

echo "--- a state folder others may write"
mkdir -m 0777 "$work/open"
timeout 20 "$app" server -o server-port=$((port + 2)) -o state-file="$work/open/state" \
  -o spool-directory="$work/spool2" >"$work/open.out" 2>&1 && fail "a server started with its state in a folder open to all"
row "refused, saying why" yes "$(grep -q 'may be written by other users; refusing to start' "$work/open.out" && echo yes)"

echo "--- a server run by a normal user"
# (/tmp is this machine's: what this part makes there goes when the test ends)
dir=/tmp/korvi-printer-app-$(id -u nobody)
trap 'rm -rf /tmp/korvi-printer-app-4803 "$dir"; [ -n "${KORVI_KEEP:-}" ] || rm -rf "$work"' EXIT
mkdir -m 0755 /tmp/korvi-printer-app-4803  # korvilp's folder name, taken first by another user
timeout 20 setpriv --reuid korvilp --regid korvilp --init-groups env HOME=/nonexistent "$app" server \
  -o server-port=$((port + 1)) >"$work/user.out" 2>&1 &&
  fail "korvilp's server started in a folder another user made"
row "korvilp: a taken folder refused, saying why" yes "$(grep -q 'is not a folder of this user' "$work/user.out" && echo yes)"
as nobody env HOME=/nonexistent "$app" server -o server-port=$((port + 1)) >>"$work/user.out" 2>&1 &
user_pid=$!
wait_until 100 test -S "$dir/korvi-printer-app$(id -u nobody).sock" || fail "nobody's server has no socket in $dir"
row "nobody's server: its socket's folder, mode and owner" "700 nobody" "$(stat -c '%a %U' "$dir")"
row "nobody's subcommand finds it" "" "$(as nobody env HOME=/nonexistent "$app" printers)"
stop_pid "$user_pid"

echo "--- the service's runtime folder"
rm -f /run/korvi-printer-app.sock  # what the servers before left
mkdir -m 0755 /run/korvi-printer-app  # as the unit's RuntimeDirectory makes it
"$app" server -o server-port=$port -o spool-directory="$work/spool" -o state-file="$work/state" \
  -o log-file="$work/app.log" >>"$work/app.out" 2>&1 &
app_pid=$!
wait_until 100 test -S /run/korvi-printer-app/korvi-printer-app.sock || fail "no control socket in /run/korvi-printer-app"
row "root's control socket in the runtime folder; /run itself untouched" "yes no" \
  "$(test -S /run/korvi-printer-app/korvi-printer-app.sock && echo yes) $(test -e /run/korvi-printer-app.sock && echo yes || echo no)"
row "a subcommand finds it" korvi "$("$app" printers)"
stop_app TERM 10
rmdir /run/korvi-printer-app 2>/dev/null || rm -rf /run/korvi-printer-app
unit=$source/../../debian/korvi-printer-app.service
if command -v systemd-analyze >/dev/null; then
  echo "  the unit: $(systemd-analyze security --offline=true --no-pager "$unit" 2>/dev/null | tail -1)"
fi
sanitizers_quiet
echo "PASS: the Printer Application against an attacker"
