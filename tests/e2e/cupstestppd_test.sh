#!/usr/bin/env bash
# The driver's PPD passes cupstestppd, with the built filter where the PPD's *cupsFilter names it
# (an alternate root, so nothing is installed into the system).
# Usage: cupstestppd_test.sh FILTER PPD
set -euo pipefail
filter=$1 ppd=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root$(cups-config --serverbin)/filter"
install -m 0755 "$filter" "$root$(cups-config --serverbin)/filter/rastertokorvilaserprinter"
out=$(cupstestppd -R "$root" "$ppd" 2>&1) || { echo "$out"; echo "FAIL: cupstestppd"; exit 1; }
echo "$out"
if grep -q "FAIL" <<<"$out"; then echo "FAIL: cupstestppd reported a failure"; exit 1; fi
echo "PASS: cupstestppd"
