# A clean Debian 12 root, for scripts that install or build in it as an administrator would on a
# fresh machine (sourced; they call clean_root first). The root is made once with debootstrap
# (minbase) and kept in $KORVI_ROOT_CACHE (default /var/cache/korvi-package-test); each run works
# on a fresh copy of it in root, with /proc, /sys and /dev bound in, the cache's downloaded
# packages shared and no daemons started by package scripts. root_cleanup undoes the mounts and
# removes the copy; callers run it from their EXIT trap.
# Defines root, in_root COMMAND... (run in the root with a clean environment) and root_cleanup.
mounts=()
clean_root() {
  scripts/need.sh debootstrap
  local cache=${KORVI_ROOT_CACHE:-/var/cache/korvi-package-test} mirror
  mirror=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  [ -n "$mirror" ] || mirror=$(awk '$1 == "deb" { print $2; exit }' /etc/apt/sources.list)
  mkdir -p "$cache/archives/partial"
  if [ ! -x "$cache/pristine/usr/bin/apt-get" ]; then
    rm -rf "$cache/pristine"
    debootstrap --variant=minbase bookworm "$cache/pristine" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
      { tail -20 "$cache/debootstrap.log"; echo "FAIL: debootstrap"; exit 1; }
    rm -f "$cache/pristine/var/cache/apt/archives/"*.deb
  fi
  root=$(mktemp -d /tmp/korvi-root-XXXXXX)
  # A mount of its own: in the root, / is then a mount point, which unshare --mount needs.
  mount --bind "$root" "$root"; mounts+=("$root")
  cp -a "$cache/pristine/." "$root/"
  for m in proc sys dev; do mount --bind "/$m" "$root/$m"; mounts+=("$root/$m"); done
  mount --bind "$cache/archives" "$root/var/cache/apt/archives"; mounts+=("$root/var/cache/apt/archives")
  cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"  # no daemons started by package scripts
  chmod 0755 "$root/usr/sbin/policy-rc.d"
}
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root DEBIAN_FRONTEND=noninteractive "$@"; }
root_cleanup() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" 2>/dev/null || true; done
  [ -z "${root:-}" ] || rm -rf --one-file-system "$root"
}
