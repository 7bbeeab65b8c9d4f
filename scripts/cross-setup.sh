#!/usr/bin/env bash
# Installs what the cross builds need, and is quick when all is there (run it again at will):
# - Debian's cross compilers for arm64 and s390x, and qemu-user-static to run their programs;
# - arm64 through multiarch: libcups2-dev:arm64 and libpng-dev:arm64 beside the machine's own, as
#   the arm64 package build needs them (apt may first bring some of the machine's own packages to
#   their security versions, since multiarch wants one version of a library for all
#   architectures);
# - s390x as a sysroot of unpacked packages in $KORVI_CROSS_CACHE/s390x (default
#   /var/cache/korvi-cross): Debian 12's security archive carries no s390x, so libcups2:s390x is
#   often older than the machine's libcups2 and multiarch refuses to install the two side by side.
#   The sysroot holds the -dev packages the build needs and everything the programs load at run
#   time, and is kept, with the downloaded packages, for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."
cache=${KORVI_CROSS_CACHE:-/var/cache/korvi-cross}

added=
for arch in arm64 s390x; do
  dpkg --print-foreign-architectures | grep -qx "$arch" || { dpkg --add-architecture "$arch"; added=1; }
done
[ -z "$added" ] || apt-get update -qq
scripts/need.sh g++-aarch64-linux-gnu g++-s390x-linux-gnu qemu-user-static cmake make cups-ppdc \
  libcups2-dev libpng-dev libcups2-dev:arm64 libpng-dev:arm64 dpkg-dev

# The s390x sysroot: the headers and link libraries of libcups2-dev (with libcupsimage2-dev,
# which has cups/raster.h), libpng-dev and zlib1g-dev, and the run-time
# closure of the libraries the programs load (libcups2, libpng16-16, libstdc++6 and what they need).
sysroot=$cache/s390x/root
if [ ! -e "$cache/s390x/complete" ]; then
  rm -rf "$cache/s390x"
  mkdir -p "$cache/s390x/debs" "$sysroot"
  runtime=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
              --no-replaces --no-enhances libcups2:s390x libpng16-16:s390x libstdc++6:s390x |
            grep -E '^[a-z0-9][^ ]*:s390x$' | grep -v '^libelogind0:' | sort -u)  # libsystemd0 is the one
  (cd "$cache/s390x/debs" && apt-get download -qq -o APT::Sandbox::User=root \
     libcups2-dev:s390x libcupsimage2-dev:s390x libpng-dev:s390x zlib1g-dev:s390x $runtime)
  for deb in "$cache/s390x/debs"/*.deb; do dpkg-deb -x "$deb" "$sysroot"; done
  touch "$cache/s390x/complete"
fi
echo "cross tools ready; s390x sysroot in $sysroot"
