# A network for the Printer Application's sharing tests (sourced after app_root.sh): the test's
# namespace is the server host (korvi-test-host, 10.77.0.1), and a second network, mount and
# host-name namespace is another host on the same link (korvi-remote, 10.77.0.2, a veth pair
# between them). Each side has its own D-Bus system bus and avahi-daemon, started here. Defines
# remote (runs a command on the remote host), start_avahi, stop_avahi and accounts; sets remote_pid.
command -v avahi-daemon >/dev/null && command -v avahi-browse >/dev/null && command -v dbus-daemon >/dev/null ||
  { echo "SKIP: avahi-daemon, avahi-utils and dbus are needed (scripts/setup.sh installs them)"; exit 77; }
ip netns add korvi-remote 2>/dev/null && ip link add veth-s type veth peer name veth-r netns korvi-remote ||
  { echo "SKIP: no second network namespace can be made here"; exit 77; }
ip addr add 10.77.0.1/24 dev veth-s
ip link set veth-s up
ip netns exec korvi-remote sh -c 'ip addr add 10.77.0.2/24 dev veth-r && ip link set veth-r up && ip link set lo up'

# The remote host: a process that holds its namespaces; commands join them with nsenter.
ip netns exec korvi-remote unshare --uts --mount --propagation private sh -c 'touch "$0"; exec sleep 86400' \
  "$work/remote.ready" &
remote_pid=$!
wait_until 50 test -e "$work/remote.ready" || fail "the remote host did not start"
remote() { nsenter -t "$remote_pid" -n -m -u -r -w -- "$@"; }  # -r -w: its root (a chroot's, too)
# Its own /etc (a copy; a fresh minimal system may have no /etc/hosts to mount over), whose hosts
# file answers for the server's name as nss-mdns would.
mkdir -p "$work/remote"
cp -a /etc "$work/remote/etc"
echo "127.0.0.1 localhost
10.77.0.1 korvi-test-host.local korvi-test-host" >"$work/remote/etc/hosts"
remote sh -c "hostname korvi-remote && mount -t tmpfs tmpfs /run && mount --bind '$work/remote/etc' /etc"

cat >"$work/avahi.conf" <<'EOF'
[server]
use-ipv6=no
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
EOF
# Both buses, and the remote avahi-daemon; the server's avahi-daemon is start_avahi's.
mkdir -p /run/dbus
dbus-daemon --system --nofork --nopidfile >/dev/null 2>&1 &
remote sh -c 'mkdir -p /run/dbus && exec dbus-daemon --system --nofork --nopidfile' >/dev/null 2>&1 &
wait_until 50 test -S /run/dbus/system_bus_socket || fail "no D-Bus system bus"
wait_until 50 remote test -S /run/dbus/system_bus_socket || fail "no D-Bus system bus on the remote host"
remote avahi-daemon --no-chroot --no-drop-root --no-rlimits -f "$work/avahi.conf" >"$work/remote/avahi.log" 2>&1 &
avahi_pid=
start_avahi() {
  avahi-daemon --no-chroot --no-drop-root --no-rlimits -f "$work/avahi.conf" >>"$work/avahi.log" 2>&1 &
  avahi_pid=$!
  wait_until 100 grep -q "Server startup complete" "$work/avahi.log" || fail "avahi-daemon did not start"
}
stop_avahi() {
  stop_pid "$avahi_pid"
  avahi_pid=
  rm -f /run/avahi-daemon/pid
  : >"$work/avahi.log"
}

# accounts: users of this host's own, in private copies of its account files and PAM services
# mounted over /etc's: korviadmin in the group korviadm, korviuser in none, korvilp in lpadmin,
# each with the password Korvi-Test-1, and the PAM service korvi-test (pam_unix).
accounts() {
  local u hash
  mkdir -p "$work/etc"
  cp /etc/passwd /etc/shadow /etc/group "$work/etc/"
  cp -a /etc/pam.d "$work/etc/pam.d"
  hash=$(openssl passwd -6 Korvi-Test-1)
  for u in korviadmin:4801 korviuser:4802 korvilp:4803; do
    echo "${u%:*}:x:${u#*:}:${u#*:}::/nonexistent:/usr/sbin/nologin" >>"$work/etc/passwd"
    echo "${u%:*}:$hash:19000:0:99999:7:::" >>"$work/etc/shadow"
  done
  grep -q '^lpadmin:' "$work/etc/group" || echo 'lpadmin:x:4900:' >>"$work/etc/group"
  sed -i -E 's/^(lpadmin:[^:]*:[^:]*:)(.+)$/\1\2,korvilp/; s/^(lpadmin:[^:]*:[^:]*:)$/\1korvilp/' "$work/etc/group"
  printf 'korviadm:x:4801:korviadmin\nkorviuser:x:4802:\nkorvilp:x:4803:\n' >>"$work/etc/group"
  printf 'auth required pam_unix.so\naccount required pam_unix.so\n' >"$work/etc/pam.d/korvi-test"
  for u in passwd shadow group pam.d; do mount --bind "$work/etc/$u" "/etc/$u"; done
}
