#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A maintainer's check that the README's commands work on a fresh machine. Bootstraps a minimal
# Debian 12 root (debootstrap --variant=minbase) from the mirror this machine's apt uses, copies a
# fresh clone of this checkout's HEAD into it and, as a new user with sudo, runs what the README
# says a new user runs:
#   scripts/run.sh     installs, builds, and with no display exits 1 saying so;
#   scripts/web.sh     installs, builds the page and serves it: answered from inside the root;
#   scripts/windows.sh installs the cross compiler, NSIS and Wine, builds the Windows program, its
#                      zip and its installer;
#   scripts/test.sh    installs the rest, builds and runs every test.
# Prints each step's time and the number of packages installed. Needs root (debootstrap, chroot,
# mounts), debootstrap, git, and about 20 GB free under the root folder's parent.
# Usage: scripts/fresh-debian.sh [--keep] [--skip-tests] [ROOT-DIR]
#   ROOT-DIR      where the root goes (a new folder under /var/tmp by default); it must not exist
#   --keep        leave the root (and its build folders) in place afterwards
#   --skip-tests  stop after run.sh, web.sh and windows.sh
# The logs of each step are left next to the root, in ROOT-DIR.logs/.
set -euo pipefail
trap 'echo "$0: line $LINENO failed" >&2' ERR
keep=0 tests=1 root=
for arg in "$@"; do
  case $arg in
    --keep) keep=1 ;;
    --skip-tests) tests=0 ;;
    -*) echo "usage: $0 [--keep] [--skip-tests] [ROOT-DIR]" >&2; exit 2 ;;
    *) root=$arg ;;
  esac
done
[ "$(id -u)" -eq 0 ] || { echo "$0: needs root (debootstrap, chroot and mounts)" >&2; exit 2; }
for tool in debootstrap git chroot; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing (apt-get install $tool)" >&2; exit 2; }
done
source=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
commit=$(git -C "$source" rev-parse HEAD)
if [ -z "$root" ]; then
  root=$(mktemp -d /var/tmp/farvane-fresh.XXXXXX)
else
  [ ! -e "$root" ] || { echo "$0: $root exists; give a new folder" >&2; exit 2; }
  mkdir -p "$root"
fi
root=$(readlink -f "$root")
logs=$root.logs
mkdir -p "$logs"

# The mirrors this machine's apt uses (one-line and deb822 sources alike), Debian's own otherwise.
uris=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
       sed -nE 's/^deb +(\[[^]]*\] +)?([^ ]+) .*/\2/p; s/^URIs: *([^ ]+).*/\1/p' || true)
mirror=$(grep -v security <<<"$uris" | grep -m 1 debian || echo http://deb.debian.org/debian)
security=$(grep -m 1 security <<<"$uris" || echo http://deb.debian.org/debian-security)

finish() {
  local status=$?
  set +e
  # The processes this script started inside the root (a web server left by a failed step).
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] && kill "${proc#/proc/}" 2>/dev/null
  done
  sleep 1
  for mount in dev sys proc; do
    umount -R "$root/$mount" 2>/dev/null || umount -Rl "$root/$mount" 2>/dev/null || true
  done
  if [ "$keep" = 0 ] && ! grep -q " $root/" /proc/mounts; then
    rm -rf "$root"
  else
    echo "The root stays in $root"
  fi
  echo "Logs: $logs"
  exit "$status"
}
trap finish EXIT
trap 'exit 130' INT TERM

clock() { date -u +%H:%M:%S; }
packages() { chroot "$root" dpkg-query -W -f='${db:Status-Abbrev}\n' | grep -c '^ii'; }

echo "== $(clock) debootstrap bookworm (minbase) from $mirror into $root"
start=$SECONDS
debootstrap --variant=minbase --include=sudo bookworm "$root" "$mirror" >"$logs/debootstrap.log" 2>&1 ||
  { tail -n 20 "$logs/debootstrap.log"; echo "debootstrap failed"; exit 1; }
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb $security bookworm-security main
EOF
cp /etc/resolv.conf "$root/etc/resolv.conf"
# No service starts inside the root.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
chroot "$root" useradd --create-home --shell /bin/bash player
echo 'player ALL=(ALL) NOPASSWD: ALL' >"$root/etc/sudoers.d/player"
chmod 440 "$root/etc/sudoers.d/player"
git clone --quiet "$source" "$root/home/player/farvane"
git -C "$root/home/player/farvane" checkout --quiet "$commit"
chroot "$root" chown -R player:player /home/player/farvane
base=$(packages)
echo "   $((SECONDS - start)) s, $base packages, commit $commit"

# step NAME COMMAND: runs COMMAND as the new user in the clone; its output goes to the log.
step() {
  local name=$1 command=$2 before status
  before=$(packages)
  start=$SECONDS
  echo "== $(clock) $name"
  set +e
  chroot "$root" su - player -c "cd ~/farvane && $command" >"$logs/$name.log" 2>&1
  status=$?
  set -e
  echo "   exit $status after $((SECONDS - start)) s; $(($(packages) - before)) packages installed (log: $logs/$name.log)"
  return "$status"
}
failed=()

# With no display run.sh builds, then says so and exits 1.
step run 'scripts/run.sh' && status=0 || status=$?
if [ "$status" != 1 ] || ! grep -q 'no display found' "$logs/run.log" || [ ! -x "$root/home/player/farvane/build/farvane" ]; then
  tail -n 20 "$logs/run.log"
  failed+=("run.sh (exit $status)")
fi

# web.sh builds the page and serves it; the page and the WebAssembly must come back from the server.
step web 'scripts/web.sh >~/web.log 2>&1 & server=$!
  for _ in $(seq 1800); do grep -q "Farvane is at" ~/web.log && break; kill -0 $server || break; sleep 1; done
  cat ~/web.log
  python3 - <<"EOF"; status=$?; kill $server; exit $status
import time, urllib.request
for attempt in range(50):
    try:
        page = urllib.request.urlopen("http://127.0.0.1:8000/").read().decode()
        break
    except OSError:
        time.sleep(0.2)
else:
    raise SystemExit("nothing answers on http://127.0.0.1:8000/")
assert "<title>Farvane V" in page, page[:200]
wasm = urllib.request.urlopen("http://127.0.0.1:8000/farvane.wasm").read()
assert wasm[:4] == b"\0asm", wasm[:4]
print(f"page served: index.html {len(page)} bytes, farvane.wasm {len(wasm)} bytes")
EOF' || failed+=("web.sh")
grep 'page served' "$logs/web.log" || tail -n 20 "$logs/web.log"

# windows.sh cross-builds the Windows program and makes its zip and installer.
step windows 'scripts/windows.sh' || failed+=("windows.sh")
grep 'windows-x86_64.zip' "$logs/windows.log" || tail -n 20 "$logs/windows.log"

if [ "$tests" = 1 ]; then
  step test 'scripts/test.sh' || failed+=("test.sh")
  sed -n '/^==== summary/,$p' "$logs/test.log"
fi

echo "== $(clock) $(packages) packages in the root, $(( $(packages) - base )) installed by the README's commands"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "Every README command works on a fresh Debian 12"
