#!/usr/bin/env bash
# The driver's PPD, in English with its translations, passes cupstestppd with no warning at all, with the built filter where the PPD's *cupsFilter names it
# (an alternate root, so nothing is installed into the system). The names that queues and users
# know (options, choices, page sizes) are the ones the driver has always had.
# Usage: cupstestppd_test.sh FILTER PPD DRV
set -euo pipefail
filter=$1 ppd=$2 drv=$3
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root$(cups-config --serverbin)/filter"
install -m 0755 "$filter" "$root$(cups-config --serverbin)/filter/rastertokorvilaserprinter"

check() {  # PPD
  local out
  out=$(cupstestppd -W all -R "$root" "$1" 2>&1) || { echo "$out"; echo "FAIL: cupstestppd $1"; exit 1; }
  if grep -q "WARN\|FAIL" <<<"$out"; then echo "$out"; echo "FAIL: cupstestppd warns on $1"; exit 1; fi
  echo "$out"
}
check "$ppd"
# Every text a user sees (options, choices, groups, paper sizes) has its translation in each
# catalog: ppdc would otherwise fall back to English without a word.
texts=$(sed -n 's/^\*\(OpenUI \*\|OpenGroup: \|PageSize \|PrintDensity \|PaperWeight \|Resolution \)[^/]*\/\([^:]*\):.*/\2/p' "$ppd" | sort -u)
for po in "$(dirname "$drv")"/po/*.po; do
  while IFS= read -r text; do
    grep -qxF "msgid \"$text\"" "$po" || { echo "FAIL: $po has no translation of \"$text\""; exit 1; }
  done <<<"$texts"
done

names=$(grep -oE '^\*(PageSize|PrintDensity|PaperWeight|Resolution) [^/:]+|^\*Default(PageSize|PrintDensity|PaperWeight): .*' "$ppd" | tr '\n' ' ')
want='*PageSize A4 *PageSize A5 *PageSize ISOB5 *PageSize Letter *PageSize Legal *Resolution 600dpi '
want+='*DefaultPrintDensity: 2 *PrintDensity 0 *PrintDensity 1 *PrintDensity 2 *PrintDensity 3 *PrintDensity 4 '
want+='*DefaultPaperWeight: 1 *PaperWeight 0 *PaperWeight 1 *PaperWeight 2 *PaperWeight 3 '
[ "$names" = "*DefaultPageSize: A4 $want" ] || { echo "FAIL: names changed: $names"; exit 1; }
echo "PASS: cupstestppd, no warnings; option, choice and size names kept"
