#!/usr/bin/env bash
# Shows the driver's translations as a user sees them: a private cupsd with its web interface, a
# queue made from the built PPD, and headless Chromium asking for LANG (default de) opening the
# queue's "Set Default Options" page, saved as out/webui-LANG.png. The page is reached as from the
# printer's page: a form posted with the web interface's session cookie. Needs scripts/setup.sh's
# build; installs chromium-headless-shell if missing.
# Usage: webui-screenshot.sh [LANG]
set -euo pipefail
lang=${1:-de}
cd "$(dirname "$0")/.."
scripts/need.sh chromium-headless-shell fonts-dejavu-core
. tests/e2e/helpers.sh
work=$(mktemp -d /tmp/korvi-webui-XXXXXX)
cupsd_pid=
trap 'stop_pid "$cupsd_pid"; rm -rf "$work"' EXIT
start_cupsd "$work" build/filter/rastertokorvilaserprinter web || { echo "FAIL: cupsd did not start"; exit 1; }
lpadmin -h "$host" -p korvi -E -v file:///dev/null -P build/ppd/korvilaser.ppd 2>/dev/null

# Served by cupsd itself, so that the session cookie it sets is the web interface's own.
cat >"$work/doc-root/korvi-options.html" <<'HTML'
<!DOCTYPE html>
<html><body onload="document.cookie = 'org.cups.sid=korviwebuicheck; path=/'; document.forms[0].submit();">
<form method="post" action="/admin/#PrinterSettings">
<input type="hidden" name="org.cups.sid" value="korviwebuicheck">
<input type="hidden" name="OP" value="set-printer-options">
<input type="hidden" name="PRINTER_NAME" value="korvi">
</form></body></html>
HTML
mkdir -p out
chromium-headless-shell --no-sandbox --disable-gpu --lang="$lang" --accept-lang="$lang" \
  --window-size=1000,1100 --virtual-time-budget=5000 --screenshot="$PWD/out/webui-$lang.png" \
  "http://$host/korvi-options.html" >"$work/chromium.log" 2>&1 || { cat "$work/chromium.log"; exit 1; }
echo "out/webui-$lang.png"
