#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages the game needs, when they are missing. Usage: deps.sh build|web|test|package|bench|windows
set -euo pipefail

build_packages=(cmake ninja-build g++ pkg-config qt6-base-dev libpng-dev fonts-dejavu-core)
# What scripts/package.sh needs: dpkg-buildflags and dpkg-shlibdeps, file (CPack runs it), lintian.
package_packages=(dpkg-dev file binutils lintian)
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev libc++-14-dev libc++abi-14-dev
               desktop-file-utils appstream groff-base man-db
               # The window under a real X server and window manager (tests/desktop/x11_test.sh; xwd
               # from x11-apps reads the Windows window's pixels under Wine).
               xvfb xauth openbox xdotool x11-apps "${package_packages[@]}")
# The browser page (scripts/web.sh), and its tests in headless Chromium through Selenium.
web_packages=(cmake ninja-build emscripten python3)
web_test_packages=(chromium chromium-driver python3-selenium)
# The Windows program cross-built with MinGW-w64 (scripts/windows.sh), and Wine to run its tests.
windows_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix wine wine64)

case "${1:-build}" in
  build) wanted=("${build_packages[@]}") ;;
  web) wanted=("${web_packages[@]}") ;;
  test) wanted=("${build_packages[@]}" "${test_packages[@]}" "${web_packages[@]}" "${web_test_packages[@]}" "${windows_packages[@]}") ;;
  package) wanted=("${build_packages[@]}" "${package_packages[@]}") ;;
  # The benchmarks, and an X server for the window's CPU per frame (scripts/bench.sh).
  bench) wanted=("${build_packages[@]}" "${test_packages[@]}" "${web_packages[@]}" "${web_test_packages[@]}" xvfb) ;;
  windows) wanted=("${windows_packages[@]}") ;;
  *) echo "usage: $0 build|web|test|package|bench|windows" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing Debian packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "These packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
  echo "Install them with your package manager and run this again." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# Another program (an update, a second install) may hold a package lock: wait for it, saying so,
# instead of failing at once. dpkg's lock is waited for by apt itself (DPkg::Lock::Timeout); the
# package lists' lock, which "update" takes, is not, so a refused run is tried again.
lock_wait=600
apt_wait() {
  local deadline=$((SECONDS + lock_wait)) log
  log=$(mktemp)
  while true; do
    if "${as_root[@]}" apt-get -o "DPkg::Lock::Timeout=$lock_wait" "$@" 2>"$log"; then
      cat "$log" >&2
      rm -f "$log"
      return 0
    fi
    if grep -q 'Could not get lock' "$log" && [ "$SECONDS" -lt "$deadline" ]; then
      echo "Waiting for the package lock ($(grep -m 1 -o 'held by process.*' "$log" || echo 'held by another program'))..."
      sleep 5
      continue
    fi
    cat "$log" >&2
    rm -f "$log"
    return 1
  done
}
apt_wait update -q
apt_wait install -y -q --no-install-recommends "${missing[@]}"
