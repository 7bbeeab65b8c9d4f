#!/usr/bin/env bash
# Installs the built packages (dist/, from scripts/package.sh) into a clean Debian 12 root, as an
# administrator would, and prints through them: apt-get install of printer-driver-korvi and
# korvi-printer-app, the
# root's own cupsd, lpinfo -m, a queue added with lpadmin from the installed PPD (page logging
# on, with a PageLogFormat set in cupsd.conf as an administrator who wants page accounting does),
# a PDF printed with lp to a file: device, the output checked with the installed korvidecode and
# the pages counted in page_log. Then the upgrade: the next release (scripts/package.sh --next,
# built here) installed with the scheduler running, as on any print server; dpkg's trigger on
# /usr/share/cups/ppd-updaters runs the cups package's PPD updater, which must give the queue the
# new PPD and keep its defaults. Then the Printer Application, started there as root: a printer
# added on the installed virtual printer, a PDF submitted, its stream checked. Then apt-get purge
# must leave none of the packages' files, nor the application's state and spool.
#
# The clean root is scripts/clean-root.sh's: made once, each run on a fresh copy. Mounts are
# undone and cupsd is stopped by its process id when the script ends, however it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/package.sh --next >/dev/null || { echo "FAIL: building the next release"; exit 1; }
nextdebs=(dist/next/printer-driver-korvi_*.deb dist/next/korvi-printer-app_*.deb)
deb=$(ls dist/printer-driver-korvi_*.deb 2>/dev/null | head -1)
appdeb=$(ls dist/korvi-printer-app_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] && [ -n "$appdeb" ] || { echo "no packages in dist/: run scripts/package.sh first"; exit 1; }

. tests/e2e/helpers.sh
. scripts/clean-root.sh
cupsd_pid= app_pid= vp_pid= root=
cleanup() {
  stop_pid "$app_pid"; stop_pid "$vp_pid"; stop_pid "$cupsd_pid"
  root_cleanup
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; tail -20 "$root/var/log/cups/error_log" 2>/dev/null || true; exit 1; }

clean_root

cp "$deb" "$appdeb" "$root/tmp/"
cp tests/data/document.pdf "$root/tmp/"
# The state an earlier korvi-printer-app kept as root: the package moves it into the service's folder.
mkdir -p "$root/var/lib"
printf '%s\n' 'NextPrinterID 2' '<Printer did="" driver="korvi_laser" id="1" name="kept" uri="socket://127.0.0.1:9">' \
  '</Printer>' >"$root/var/lib/korvi-printer-app.state"
in_root apt-get update -qq >/dev/null
in_root apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")" "/tmp/$(basename "$appdeb")" \
  >"$root/tmp/install.log" 2>&1 || { tail -20 "$root/tmp/install.log"; fail "apt-get install"; }
echo "installed $(basename "$deb"), $(basename "$appdeb") and what they depend on"

# The root's own scheduler, on a free loopback port, file: devices allowed for the test.
port=$(free_port $((20000 + ($$ + 104729) % 20000)))
conf=$root/etc/cups/cupsd.conf
sed -i -e "s/^Listen .*:631$/Listen 127.0.0.1:$port/" -e '/^PageLogFormat/d' "$conf"
echo 'PageLogFormat %p %u %j %T %P %C %{job-billing} %{job-originating-host-name} %{job-name} %{media} %{sides}' >>"$conf"
echo 'FileDevice Yes' >>"$root/etc/cups/cups-files.conf"
mkdir -p "$root/run/cups"
chroot "$root" /usr/sbin/cupsd -f &
cupsd_pid=$!
host=127.0.0.1:$port
for _ in $(seq 100); do in_root lpstat -h "$host" -r 2>/dev/null | grep -q "is running" && break; sleep 0.2; done
in_root lpstat -h "$host" -r | grep -q "is running" || fail "cupsd did not start"

model=$(in_root lpinfo -h "$host" -m | grep -i korvi) || fail "lpinfo -m does not list the driver"
echo "lpinfo -m: $model"
in_root lpadmin -h "$host" -p korvi -E -v file:///tmp/korvi.prn -m "${model%% *}" -o page-logging-default=on ||
  fail "lpadmin"
job=$(in_root lp -h "$host" -d korvi /tmp/document.pdf | sed -n 's/^request id is \([^ ]*\) .*/\1/p')
for _ in $(seq 300); do
  in_root lpstat -h "$host" -W completed -o | grep -q "^$job " && break
  sleep 0.2
done
in_root lpstat -h "$host" -W completed -o | grep -q "^$job " || fail "job $job did not complete"
in_root korvidecode /tmp/korvi.prn >"$root/tmp/listing.txt" || { cat "$root/tmp/listing.txt"; fail "stream not well-formed"; }
cat "$root/tmp/listing.txt"
grep -qF "Pages: 3" "$root/tmp/listing.txt" || fail "expected 3 pages"
grep -qF "copies         1 (CRC 0x2549, correct)" "$root/tmp/listing.txt" || fail "settings"
# page_log: "QUEUE USER JOB [DATE] total PAGES ...", once the job is done.
counted() { awk -v id="${job##*-}" '$3 == id && $6 == "total" && $7 == 3 { found = 1 } END { exit !found }' \
  "$root/var/log/cups/page_log" 2>/dev/null; }
for _ in $(seq 50); do counted && break; sleep 0.2; done
cat "$root/var/log/cups/page_log" 2>/dev/null || true
counted || fail "page_log does not count the job's 3 pages"

# The upgrade. The queue's own PPD is CUPS's copy, with a default set on the queue; a second
# queue has the hand-written PPD of version 1.1, the last before the ppd-updater file.
in_root lpadmin -h "$host" -p korvi -o PrintDensity=4 || fail "lpadmin -o PrintDensity=4"
git show "$(git log -1 --format=%H -- ppd/korvilaser.ppd)^:ppd/korvilaser.ppd" >"$root/tmp/korvi-1.1.ppd"
in_root lpadmin -h "$host" -p korvi-1-1 -E -v file:///dev/null -P /tmp/korvi-1.1.ppd || fail "lpadmin korvi-1-1"
ppd=$root/etc/cups/ppd/korvi.ppd
area() { grep '^\*ImageableArea A4/' "$1"; }
old_area=$(area "$ppd")
cp "${nextdebs[@]}" "$root/tmp/"
in_root apt-get install -y --no-install-recommends "${nextdebs[@]/#dist\/next\//\/tmp\/}" >"$root/tmp/upgrade.log" 2>&1 ||
  { tail -20 "$root/tmp/upgrade.log"; fail "apt-get install of the next release"; }
grep -E "Processing triggers for cups|Updating PPD files for korvi|PPD for printer .* updated" "$root/tmp/upgrade.log"
next=$(dpkg-deb -f "${nextdebs[0]}" Version)
new=$root/usr/share/ppd/korvi/korvilaser.ppd
grep -qxF "*FileVersion: \"$next\"" "$ppd" && grep -qxF "*NickName: \"Korvi Laser Printer, korvi $next\"" "$ppd" ||
  fail "the queue's PPD is not version $next: $(grep -E '^\*(FileVersion|NickName):' "$ppd")"
[ "$(area "$ppd")" = "$(area "$new")" ] && [ "$(area "$ppd")" != "$old_area" ] ||
  fail "the queue's printable area is not the new one: $(area "$ppd")"
grep -qxF "*DefaultPrintDensity: 4" "$ppd" || fail "the upgrade lost the queue's PrintDensity default"
grep -qxF "*FileVersion: \"$next\"" "$root/etc/cups/ppd/korvi-1-1.ppd" || fail "the version 1.1 queue did not get the new PPD"
echo "upgraded to $next: the queue's PPD is $(grep '^\*NickName:' "$ppd"), $(area "$ppd") (was $old_area), PrintDensity default kept; the 1.1 queue too"

stop_pid "$cupsd_pid"; cupsd_pid=

# The Printer Application as the system runs it (root; its chain runs as lp), printing to the
# installed virtual printer.
vport=$(free_port $((port + 1)))
aport=$(free_port $((vport + 1)))
chroot "$root" korvidecode --listen "127.0.0.1:$vport" --output /tmp/vp >"$root/tmp/vp.out" 2>&1 &
vp_pid=$!
[ -f "$root/var/lib/korvi-printer-app/korvi-printer-app.state" ] && [ ! -e "$root/var/lib/korvi-printer-app.state" ] ||
  fail "the earlier state file was not moved into /var/lib/korvi-printer-app"
# Its own host name namespace too: nothing the server does as root reaches this machine's name.
unshare --uts chroot "$root" korvi-printer-app server -o server-port="$aport" -o log-file=/tmp/app.log \
  -o spool-directory=/var/spool/korvi-printer-app >/dev/null 2>&1 &
app_pid=$!
wait_until 300 bash -c "(echo >/dev/tcp/127.0.0.1/$aport) 2>/dev/null" || fail "korvi-printer-app does not listen"
in_root korvi-printer-app printers | grep -qx kept || fail "the earlier state's printer is not there"
in_root korvi-printer-app add -d korvi -m korvi_laser -v "socket://127.0.0.1:$vport" || fail "korvi-printer-app add"
in_root korvi-printer-app submit -d korvi /tmp/document.pdf || fail "korvi-printer-app submit"
wait_until 600 grep -q "^job 1:" "$root/tmp/vp.out" || { cat "$root/tmp/app.log"; fail "no job reached the virtual printer"; }
cat "$root/tmp/vp.out"
grep -q "^job 1: .* 3 pages, well-formed" "$root/tmp/vp.out" || fail "the application's job"
grep -q "Starting print job" "$root/tmp/app.log" && ! grep -q "^E .*ended with" "$root/tmp/app.log" || fail "app log"
in_root korvi-printer-app shutdown >/dev/null 2>&1 || true
stop_pid "$app_pid"; app_pid=
stop_pid "$vp_pid"; vp_pid=
grep -q 'name="korvi"' "$root/var/lib/korvi-printer-app/korvi-printer-app.state" || fail "the application kept no state"

files=$( (dpkg-deb -c "$deb"; dpkg-deb -c "$appdeb") | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
in_root apt-get purge -y -qq korvi-printer-app printer-driver-korvi >/dev/null 2>&1 || fail "apt-get purge"
for f in $files /var/lib/korvi-printer-app /var/lib/korvi-printer-app.state /var/spool/korvi-printer-app /usr/share/ppd/korvi; do
  [ ! -e "$root$f" ] || fail "left behind after purge: $f"
done
echo "purged: none of the packages' $(wc -w <<<"$files") files left, nor the application's state and spool"
echo "PASS: packages install, print (through CUPS and the Printer Application), count and purge in a clean Debian 12 root"
