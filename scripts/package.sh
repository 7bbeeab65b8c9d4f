#!/usr/bin/env bash
# Builds the Debian packages printer-driver-korvi and korvi-printer-app into dist/ with the ordinary Debian tools
# (dpkg-buildpackage, debhelper), from a copy of the source tree, then checks it with lintian:
# any error or warning fails. Installs what building needs (apt, only what is missing).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/need.sh debhelper dpkg-dev fakeroot lintian cmake g++ pkg-config libcups2-dev libpng-dev libpappl-dev

src=$(mktemp -d /tmp/korvi-package-XXXXXX)
trap 'rm -rf "$src"' EXIT
mkdir "$src/printer-driver-korvi"
git ls-files -co --exclude-standard | tar -cf - -T - | tar -xf - -C "$src/printer-driver-korvi"
(cd "$src/printer-driver-korvi" && dpkg-buildpackage -b -us -uc >"$src/build.log" 2>&1) || {
  tail -40 "$src/build.log"
  echo "FAIL: dpkg-buildpackage"
  exit 1
}
mkdir -p dist
rm -f dist/printer-driver-korvi_* dist/korvi-printer-app_*
cp "$src"/printer-driver-korvi_*.deb "$src"/korvi-printer-app_*.deb dist/
debs=(dist/printer-driver-korvi_*.deb dist/korvi-printer-app_*.deb)
echo "Built ${debs[*]}"
lintian --fail-on error,warning --info "${debs[@]}" && echo "PASS: lintian"
