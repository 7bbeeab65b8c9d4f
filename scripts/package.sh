#!/usr/bin/env bash
# Builds the Debian packages printer-driver-korvi and korvi-printer-app into dist/ with the ordinary Debian tools
# (dpkg-buildpackage, debhelper), from a copy of the source tree, then checks it with lintian:
# any error or warning fails. Installs what building needs (apt, only what is missing).
# Usage: package.sh [--next | --arch ARCH]
# With --next it builds, into dist/next/, what the following release would be: one patch level
# up, dated now, with A4's printable area moved. scripts/package-test.sh installs it over this
# version to see existing queues get the new PPD.
# With --arch (arm64) it cross-builds printer-driver-korvi for that architecture into dist/ARCH/
# (dpkg-buildpackage -a, profile pkg.printer-driver-korvi.noapp: the target's PAPPL is not
# installed), after scripts/cross-setup.sh; its files must be those of the amd64 package in dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
dist=dist build=(-b)
case ${1:-} in
  --next) dist=dist/next ;;
  --arch) dist=dist/$2 build=(-b -a "$2" -Ppkg.printer-driver-korvi.noapp); scripts/cross-setup.sh >/dev/null ;;
esac
scripts/need.sh debhelper dpkg-dev fakeroot lintian cmake g++ pkg-config cups-ppdc libcups2-dev libpng-dev libpappl-dev \
  systemd

next_release() {  # SOURCE_TREE
  local version next
  version=$(sed -n 's/^project(.* VERSION \([0-9.]*\))$/\1/p' "$1/CMakeLists.txt")
  next=${version%.*}.$((${version##*.} + 1))
  sed -i "s/ VERSION $version)/ VERSION $next)/" "$1/CMakeLists.txt"
  sed -i 's/^\*CustomMedia "A4\/A4" 595 842 13.44 20.96 /*CustomMedia "A4\/A4" 595 842 13.44 22.96 /' "$1/ppd/korvilaser.drv"
  grep -q '^\*CustomMedia "A4/A4" 595 842 13.44 22.96 ' "$1/ppd/korvilaser.drv" ||
    { echo "FAIL: A4's line in ppd/korvilaser.drv is not the one the next release moves"; exit 1; }
  printf 'printer-driver-korvi (%s) unstable; urgency=medium\n\n  * Next release (package test).\n\n -- %s  %s\n\n' \
    "$next" "$(sed -n 's/^ -- \(.*>\)  .*/\1/p;T;q' "$1/debian/changelog")" "$(date -R)" | cat - "$1/debian/changelog" >"$1/changelog.new"
  mv "$1/changelog.new" "$1/debian/changelog"
}

src=$(mktemp -d /tmp/korvi-package-XXXXXX)
trap 'rm -rf "$src"' EXIT
mkdir "$src/printer-driver-korvi"
git ls-files -co --exclude-standard | tar -cf - -T - | tar -xf - -C "$src/printer-driver-korvi"
[ "${1:-}" != --next ] || next_release "$src/printer-driver-korvi"
(cd "$src/printer-driver-korvi" && dpkg-buildpackage "${build[@]}" -us -uc >"$src/build.log" 2>&1) || {
  tail -40 "$src/build.log"
  echo "FAIL: dpkg-buildpackage"
  exit 1
}
mkdir -p "$dist"
rm -f "$dist"/printer-driver-korvi_* "$dist"/korvi-printer-app_*
cp "$src"/printer-driver-korvi_*.deb "$dist/"
[ "${1:-}" = --arch ] || cp "$src"/korvi-printer-app_*.deb "$dist/"
debs=("$dist"/*.deb)
echo "Built ${debs[*]}"
lintian --fail-on error,warning --info "${debs[@]}" && echo "PASS: lintian"
if [ "${1:-}" != --arch ]; then
  # The service's confinement must not slip: systemd's own rating of the unit, "OK" (under 3.0).
  unit=debian/korvi-printer-app.service
  systemd-analyze security --offline=true --threshold=30 --no-pager "$unit" | tail -1 ||
    { echo "FAIL: $unit is rated above 3.0"; exit 1; }
  # and no complaint from systemd-analyze verify but that the program and its manual page are not
  # installed on this machine.
  complaints=$(systemd-analyze verify "$unit" 2>&1 | grep -vE 'korvi-printer-app is not executable|man korvi-printer-app' || true)
  [ -z "$complaints" ] || { echo "$complaints"; echo "FAIL: systemd-analyze verify $unit"; exit 1; }
  echo "PASS: systemd-analyze verify $unit"
fi
if [ "${1:-}" = --arch ]; then
  files() { dpkg-deb -c "$1" | awk '{ print $1, $6 }'; }
  amd64=$(ls dist/printer-driver-korvi_*_amd64.deb 2>/dev/null) ||
    { echo "FAIL: no amd64 package in dist/ to compare with: run scripts/package.sh first"; exit 1; }
  diff <(files "$amd64") <(files "${debs[0]}") || { echo "FAIL: $2 package's files differ from amd64's"; exit 1; }
  echo "PASS: ${debs[0]} has the $(files "$amd64" | grep -vc '^d') files of $amd64"
fi
