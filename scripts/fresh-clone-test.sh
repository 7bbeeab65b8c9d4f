#!/usr/bin/env bash
# The README's two commands on a fresh machine: in a clean Debian 12 root (scripts/clean-root.sh)
# this repository's HEAD is cloned into /root/project (root's home, which only root may enter,
# where someone following the README as root clones it), then scripts/sample.sh and
# scripts/test.sh run there as root. What they install, build and start stays in that root,
# which is removed at the end; they run in process, mount and host-name namespaces of their
# own, so nothing they leave running outlives the script.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/clean-root.sh
root=
trap root_cleanup EXIT
clean_root
chmod 0700 "$root/root"
git clone -q . "$root/root/project"

# in_project COMMAND: runs COMMAND from /root/project in the root, as root, in new namespaces.
in_project() {
  unshare --pid --fork --uts --mount --mount-proc="$root/proc" \
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root DEBIAN_FRONTEND=noninteractive \
    bash -c "cd /root/project && $1"
}
in_project scripts/sample.sh >"$root/sample.log" 2>&1 || { tail -30 "$root/sample.log"; echo "FAIL: scripts/sample.sh"; exit 1; }
tail -3 "$root/sample.log"
[ -s "$root/root/project/out/sample.prn" ] || { echo "FAIL: scripts/sample.sh wrote no printer stream"; exit 1; }
# The app-table tests ran on this build's twin already (the release pass).
in_project "KORVI_SKIP_LABEL=app-table scripts/test.sh" >"$root/test.log" 2>&1 || { grep -vE '^\s*[0-9]+/[0-9]+ Test' "$root/test.log" | tail -60;
  grep -E '\*\*\*|tests passed' "$root/test.log"; echo "FAIL: scripts/test.sh"; exit 1; }
grep -E 'tests passed' "$root/test.log"
echo "PASS: the README's commands on a fresh Debian 12 with the checkout in /root/project"
