#!/usr/bin/env bash
# Installs the Debian packages the driver's build, sample and tests need (only those missing),
# then configures and builds the project in build/. Safe to run again; quick when all is there.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/need.sh \
  cmake g++ make libcups2-dev libgtest-dev libbenchmark-dev libpng-dev \
  cups cups-client cups-bsd cups-filters cups-ppdc cups-ipp-utils ghostscript netpbm valgrind \
  libpappl-dev libavahi-client-dev libcrypt-dev pkg-config curl procps iproute2 python3 avahi-daemon avahi-utils dbus openssl

build=${KORVI_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
# KORVI_BUILD_TARGETS: only these targets (all when unset).
# shellcheck disable=SC2086
cmake --build "$build" -j"$(nproc)" ${KORVI_BUILD_TARGETS:+--target $KORVI_BUILD_TARGETS}
