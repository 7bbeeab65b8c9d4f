#!/usr/bin/env bash
# The PPD's translations as CUPS's web interface shows them: a private cupsd with its web
# interface, a queue from the PPD, and its "Set Default Options" page asked for in German, French
# and Spanish (Accept-Language), posted with the web interface's session cookie as a browser does.
# Each page must name the options, a choice and the paper size field in its language.
# Usage: webui_test.sh FILTER PPD
set -euo pipefail
filter=$1 ppd=$2
work=$(mktemp -d /tmp/korvi-webui-XXXXXX)
. "$(dirname "$0")/helpers.sh"
cupsd_pid=
trap 'stop_pid "$cupsd_pid"; rm -rf "$work"' EXIT
start_cupsd "$work" "$filter" web || { echo "FAIL: cupsd did not start"; exit 1; }
lpadmin -h "$host" -p korvi -E -v file:///dev/null -P "$ppd" 2>/dev/null

sid=korviwebuitest
while IFS='|' read -r lang texts; do
  page=$(curl -sf -H "Accept-Language: $lang" -b "org.cups.sid=$sid" \
    --data "org.cups.sid=$sid&OP=set-printer-options&PRINTER_NAME=korvi" "http://$host/admin/")
  IFS=';' read -ra want <<<"$texts"
  for text in "${want[@]}"; do
    grep -qF -- "$text" <<<"$page" || { echo "FAIL: the $lang page lacks \"$text\""; exit 1; }
  done
  echo "$lang: ${want[*]}"
done <<'TABLE'
de|Papierformat;Druckereinstellungen;Druckdichte;Am dunkelsten;Papiergewicht;Sehr dick (120-163 g/m²)
fr|Format du papier;Densité d&#39;impression;Très foncé;Grammage du papier;Épais (90-120 g/m²)
es|Tamaño del papel;Densidad de impresión;Muy oscura;Gramaje del papel;Muy grueso (120-163 g/m²)
TABLE
echo "PASS: the web interface shows the options in German, French and Spanish"
