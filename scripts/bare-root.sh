#!/usr/bin/env bash
# Runs COMMAND in a clean clone of this checkout on an empty Debian 12 root
# (debootstrap --variant=minbase bookworm): what a new user on a fresh
# machine, or CI on a new machine, would see. It proves that
# scripts/setup.sh installs every program the build, the tests, the demo
# and the release call: a missing one fails there, however complete this
# machine is.
#
# Usage: bare-root.sh COMMAND      e.g. bare-root.sh 'bash .ci/run'
#                                       bare-root.sh 'scripts/demo.sh'
#                                       bare-root.sh 'scripts/emulated.sh bash .ci/run'
#
#  - The root is made once and kept in BARE_ROOT_CACHE (default
#    /var/cache/bare-root), from the Debian mirror this machine's apt uses
#    (BARE_ROOT_MIRROR and BARE_ROOT_SECURITY override it). Making it runs
#    `scripts/setup.sh --bare-root` first (debootstrap).
#  - Each run copies it into a folder of its own under BARE_ROOT_RUNS
#    (default /var/tmp), clones this checkout's HEAD commit into /root/project
#    (uncommitted changes are left out) and runs COMMAND there with bash, as
#    root, with a clean environment: CI=true, HOME, USER, LOGNAME, SHELL and
#    Debian's default PATH, no standard input.
#  - The root gets /proc (with the machine's binfmt_misc), /sys, a /dev of
#    its own (null, zero, full, random, urandom, tty, pts, shm) and a /run
#    of its own; it shares this machine's network (X displays' abstract
#    sockets too: the scripts pick free display numbers).
#  - COMMAND runs in a mount namespace and a PID namespace of its own,
#    entered with pivot_root rather than chroot, so that COMMAND can make
#    user namespaces of its own (scripts/emulated.sh; the kernel refuses
#    them inside a chroot). Whatever COMMAND did, every process it started
#    is ended (the namespace's first process ending ends them all, and any
#    process left whose root or PID namespace is the run's is killed), its
#    mounts go with the namespace, and the run's folder is removed
#    (BARE_ROOT_KEEP=1 keeps it).
#  - Exits with COMMAND's status, after printing how long it took.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  exec sudo -E "$0" "$@"
fi
if [ $# -ne 1 ] || [ -z "$1" ]; then
  echo "usage: bare-root.sh COMMAND   (one argument, run with bash -c)" >&2
  exit 2
fi
command=$1
checkout=$(git -C "$(dirname "$(realpath "$0")")/.." rev-parse --show-toplevel)
suite=bookworm
cache=$(realpath -m "${BARE_ROOT_CACHE:-/var/cache/bare-root}")
runs=$(realpath -m "${BARE_ROOT_RUNS:-/var/tmp}")
base=$cache/$suite-minbase

# The first URI of this machine's apt sources that ends in /debian (and
# /debian-security): the mirror apt already reaches.
apt_uri() {  # SUFFIX
  local files=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources)
  cat "${files[@]}" 2>/dev/null |
    awk -v suffix="$1" '
      /^[ \t]*#/ {next}
      /^deb[ \t]/ { for (i = 2; i <= NF; i++) if ($i !~ /^\[/ && $i !~ /\]$/) { print $i; break } ; next }
      /^URIs:/ { for (i = 2; i <= NF; i++) print $i }' |
    sed 's:/*$::' | grep -m1 -E "/$1\$" || true
}

make_root() {
  "$checkout/scripts/setup.sh" --bare-root >/dev/null
  local mirror security new=$base.new
  mirror=${BARE_ROOT_MIRROR:-$(apt_uri debian)}
  mirror=${mirror:-http://deb.debian.org/debian}
  security=${BARE_ROOT_SECURITY:-$(apt_uri debian-security)}
  security=${security:-${mirror%/debian}/debian-security}
  # An https mirror needs the certificates from the first step on.
  local include=()
  [[ $mirror == https:* ]] && include=(--include=ca-certificates)
  echo "bare-root: making an empty $suite root (minbase) from $mirror in $base"
  rm -rf --one-file-system "$new"
  local started=$SECONDS
  if ! debootstrap --variant=minbase "${include[@]}" "$suite" "$new" "$mirror" >"$cache/debootstrap.log" 2>&1; then
    echo "bare-root: debootstrap failed; the end of $cache/debootstrap.log:" >&2
    tail -n 20 "$cache/debootstrap.log" >&2
    rm -rf --one-file-system "$new"
    exit 1
  fi
  # The suites a fresh Debian 12 installation uses, from the same mirror.
  rm -f "$new/etc/apt/sources.list"
  cat >"$new/etc/apt/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: $mirror
Suites: $suite $suite-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: $security
Suites: $suite-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  mv "$new" "$base"
  echo "bare-root: root made in $((SECONDS - started)) s"
}

mkdir -p "$cache" "$runs"
if [ ! -d "$base" ]; then
  exec 9>"$cache/lock"
  flock 9   # another run may be making it
  [ -d "$base" ] || make_root
  exec 9>&-
fi

run=$(mktemp -d "$runs/bare-root.XXXXXX")
root=$run/root
ns_init=
ns_id=

# Ends every process of the run, unmounts whatever is still mounted below
# the run's folder in this namespace (nothing should be) and removes it.
# shellcheck disable=SC2317 # (run by the EXIT trap)
cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  if [ -n "$ns_init" ]; then
    kill -KILL "$ns_init" 2>/dev/null || true
  fi
  local p left
  for _ in 1 2 3 4 5; do
    left=0
    for p in /proc/[0-9]*; do
      p=${p#/proc/}
      [ "$p" = $$ ] && continue
      if [[ "$(readlink "/proc/$p/root" 2>/dev/null)/" == "$root/"* ]] ||
        { [ -n "$ns_id" ] && [ "$(readlink "/proc/$p/ns/pid" 2>/dev/null)" = "$ns_id" ]; }; then
        kill -KILL "$p" 2>/dev/null && left=$((left + 1))
      fi
    done
    [ "$left" = 0 ] && break
    echo "bare-root: ended $left process(es) left in the root" >&2
    sleep 1
  done
  local mounts
  mounts=$(awk -v run="$run" 'index($5, run) == 1 {print $5}' /proc/self/mountinfo | sort -r)
  if [ -n "$mounts" ]; then
    echo "bare-root: unmounting what is left below $run" >&2
    while read -r m; do umount -R -l "$m" 2>/dev/null || true; done <<<"$mounts"
  fi
  if [ "${BARE_ROOT_KEEP:-0}" = 1 ]; then
    echo "bare-root: kept $root"
  elif [ -z "$(awk -v run="$run" 'index($5, run) == 1' /proc/self/mountinfo)" ]; then
    rm -rf --one-file-system "$run"
  else
    echo "bare-root: $run still has mounts; not removed" >&2
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

echo "bare-root: copying the root into $root"
cp -a "$base" "$root"
rm -f "$root/etc/resolv.conf"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
# The machine's name resolves, as on an installed system (Wine asks).
cp -L /etc/hosts "$root/etc/hosts"
chmod 1777 "$root/tmp"

commit=$(git -C "$checkout" rev-parse HEAD)
branch=$(git -C "$checkout" symbolic-ref --short -q HEAD || echo bare-root)
if [ -n "$(git -C "$checkout" status --porcelain --untracked-files=no)" ]; then
  echo "bare-root: uncommitted changes in $checkout are left out" >&2
fi
project=/root/project
git clone -q --no-hardlinks "$checkout" "$root$project"
git -C "$root$project" checkout -q -B "$branch" "$commit"
echo "bare-root: $branch at $(git -C "$checkout" log -1 --format='%h %s' "$commit")"

# Inside the new namespaces, as their first process (PID 1), with this
# machine's programs: mounts what the root needs, makes it the namespace's
# root with pivot_root, lets go of the old root, and runs COMMAND with the
# root's own programs (its variables are the inner bash's own).
# shellcheck disable=SC2016
inner='
set -euo pipefail
root=$1 project=$2 command=$3
mount --bind "$root" "$root"
mount -t proc -o nosuid,nodev,noexec proc "$root/proc"
if [ -e /proc/sys/fs/binfmt_misc/status ]; then
  mount -t binfmt_misc binfmt_misc "$root/proc/sys/fs/binfmt_misc"
fi
mount -t sysfs -o ro,nosuid,nodev,noexec sysfs "$root/sys"
mount -t tmpfs -o nosuid,mode=755,size=64k dev "$root/dev"
for node in null zero full random urandom tty; do
  touch "$root/dev/$node"
  mount --bind "/dev/$node" "$root/dev/$node"
done
mkdir -p "$root/dev/pts" "$root/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$root/dev/pts"
ln -s pts/ptmx "$root/dev/ptmx"
mount -t tmpfs -o nosuid,nodev,mode=1777 shm "$root/dev/shm"
ln -s /proc/self/fd "$root/dev/fd"
ln -s /proc/self/fd/0 "$root/dev/stdin"
ln -s /proc/self/fd/1 "$root/dev/stdout"
ln -s /proc/self/fd/2 "$root/dev/stderr"
mount -t tmpfs -o nosuid,nodev,mode=755 run "$root/run"
mkdir -p "$root/run/lock" && chmod 1777 "$root/run/lock"
mkdir -p "$root/.old-root"
cd "$root"
pivot_root . .old-root
cd /
/.old-root/usr/bin/umount -l /.old-root
rmdir /.old-root
status=0
cd "$project"
/usr/bin/env -i CI=true HOME=/root USER=root LOGNAME=root SHELL=/bin/bash \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  /bin/bash -c "$command" </dev/null || status=$?
exit "$status"
'
echo "bare-root: running in $project: $command"
started=$SECONDS
status=0
unshare --mount --pid --fork --propagation private --kill-child=SIGKILL \
  -- bash -c "$inner" bare-root "$root" "$project" "$command" </dev/null &
ns_init=$!
# The namespace's first process, a child of unshare: its PID namespace.
for _ in $(seq 50); do
  child=$(cat "/proc/$ns_init/task/$ns_init/children" 2>/dev/null || true)
  if [ -n "${child// /}" ]; then
    ns_id=$(readlink "/proc/${child%% *}/ns/pid" 2>/dev/null || true)
    break
  fi
  kill -0 "$ns_init" 2>/dev/null || break
  sleep 0.1
done
wait "$ns_init" || status=$?
ns_init=
echo "bare-root: '$command' exited with status $status after $((SECONDS - started)) s"
exit "$status"
