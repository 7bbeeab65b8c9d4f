#!/usr/bin/env bash
# Installs the built package (dist/, from scripts/package.sh) into a clean Debian 12 root, as an
# administrator would, and prints through it: apt-get install ./printer-driver-korvi_*.deb, the
# root's own cupsd, lpinfo -m, a queue added with lpadmin from the installed PPD (page logging
# on, with a PageLogFormat set in cupsd.conf as an administrator who wants page accounting does),
# a PDF printed with lp to a file: device, the output checked with the installed korvidecode and
# the pages counted in page_log. Then apt-get purge must leave none of the package's files.
#
# The clean root is made once with debootstrap and kept in $KORVI_ROOT_CACHE (default
# /var/cache/korvi-package-test); each run works on a fresh copy of it, and downloaded packages
# are kept there too, so a second run is quick. Mounts are undone and cupsd is stopped by its
# process id when the script ends, however it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/need.sh debootstrap
deb=$(ls dist/printer-driver-korvi_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "no package in dist/: run scripts/package.sh first"; exit 1; }

cache=${KORVI_ROOT_CACHE:-/var/cache/korvi-package-test}
mirror=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" { print $2; exit }' /etc/apt/sources.list)
mkdir -p "$cache/archives/partial"
if [ ! -x "$cache/pristine/usr/bin/apt-get" ]; then
  rm -rf "$cache/pristine"
  debootstrap --variant=minbase bookworm "$cache/pristine" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
    { tail -20 "$cache/debootstrap.log"; echo "FAIL: debootstrap"; exit 1; }
  rm -f "$cache/pristine/var/cache/apt/archives/"*.deb
fi

root=$(mktemp -d /tmp/korvi-root-XXXXXX)
cupsd_pid=
mounts=()
cleanup() {
  if [ -n "$cupsd_pid" ]; then
    kill "$cupsd_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$cupsd_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$cupsd_pid" 2>/dev/null || true
  fi
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" 2>/dev/null || true; done
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; tail -20 "$root/var/log/cups/error_log" 2>/dev/null || true; exit 1; }

cp -a "$cache/pristine/." "$root/"
for m in proc sys dev; do mount --bind "/$m" "$root/$m"; mounts+=("$root/$m"); done
mount --bind "$cache/archives" "$root/var/cache/apt/archives"; mounts+=("$root/var/cache/apt/archives")
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"  # no daemons started by package scripts
chmod 0755 "$root/usr/sbin/policy-rc.d"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }

cp "$deb" "$root/tmp/"
cp tests/data/document.pdf "$root/tmp/"
in_root apt-get update -qq >/dev/null
in_root apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")" >"$root/tmp/install.log" 2>&1 ||
  { tail -20 "$root/tmp/install.log"; fail "apt-get install"; }
echo "installed $(basename "$deb") and what it depends on"

# The root's own scheduler, on a free loopback port, file: devices allowed for the test.
port=$((20000 + ($$ + 104729) % 20000))
while (echo >"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
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

kill "$cupsd_pid"; wait "$cupsd_pid" 2>/dev/null || true; cupsd_pid=
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
in_root apt-get purge -y -qq printer-driver-korvi >/dev/null 2>&1 || fail "apt-get purge"
for f in $files; do [ ! -e "$root$f" ] || fail "left behind after purge: $f"; done
[ ! -e "$root/usr/share/ppd/korvi" ] || fail "left behind after purge: /usr/share/ppd/korvi"
echo "purged: none of the package's $(wc -w <<<"$files") files left"
echo "PASS: package installs, prints, counts and purges in a clean Debian 12 root"
