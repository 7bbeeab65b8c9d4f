#!/usr/bin/env bash
# Lays out a private CUPS ServerBin in DIR/serverbin: links to the system's filters, backends and
# daemon helpers and web interface programs, plus the given build of rastertokorvilaserprinter, so CUPS tools can run the
# driver without installing it. Writes DIR/cups-files.conf pointing cupsfilter at it.
# Usage: serverbin.sh DIR FILTER
set -euo pipefail
dir=$1 filter=$2
system=$(cups-config --serverbin)
mkdir -p "$dir"/serverbin/{filter,backend,daemon,cgi-bin}
for d in filter backend daemon cgi-bin; do
  for f in "$system/$d"/*; do ln -sfn "$f" "$dir/serverbin/$d/"; done
done
rm -f "$dir/serverbin/filter/rastertokorvilaserprinter"
install -m 0755 "$filter" "$dir/serverbin/filter/rastertokorvilaserprinter"
cat >"$dir/cups-files.conf" <<CONF
ServerBin $dir/serverbin
DataDir $(cups-config --datadir)
ServerRoot $(cups-config --serverroot)
CONF
