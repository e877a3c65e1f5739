#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages the game needs, when they are missing. Usage: deps.sh build|web|test|package|bench|windows
set -euo pipefail

# One list per purpose; a command may also need what another purpose installs (the case below
# joins them).
# scripts/run.sh and a plain CMake build: the compiler, Qt, libpng and the labels' font; make for
# CMake's default generator, Ninja for the presets.
build_packages=(cmake make ninja-build g++ pkg-config qt6-base-dev libpng-dev fonts-dejavu-core)
# scripts/web.sh: the game compiled to WebAssembly, and a web server for the page.
web_packages=(cmake ninja-build emscripten python3)
# scripts/package.sh: dpkg-buildflags and dpkg-shlibdeps, file (CPack runs it), lintian.
package_packages=(dpkg-dev file binutils lintian)
# scripts/windows.sh: the Windows program cross-built with MinGW-w64, its zip written by Python, its
# installer made with NSIS, and Wine to run them.
windows_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix python3 nsis wine wine64)
# scripts/test.sh, beyond the three above and the Windows list: GoogleTest and Google Benchmark;
# clang with libc++ and libFuzzer; clang-format for the code's layout; the validators of the
# desktop entry, the AppStream file and the manual page; the window under a real X server and
# window manager (tests/desktop/x11_test.sh); the page in headless Chromium through Selenium
# (tests/web/page_test.py); the Windows program under Wine (tests/windows/wine_test.py; xwd from
# x11-apps reads its window's pixels).
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev clang clang-format libclang-rt-14-dev libc++-14-dev libc++abi-14-dev
               desktop-file-utils appstream groff-base man-db
               xvfb xauth openbox xdotool x11-apps
               chromium chromium-driver python3-selenium "${windows_packages[@]}")
# scripts/bench.sh, beyond what the tests need: callgrind for --instructions.
bench_packages=(valgrind)

case "${1:-build}" in
  build) wanted=("${build_packages[@]}") ;;
  web) wanted=("${web_packages[@]}") ;;
  package) wanted=("${build_packages[@]}" "${package_packages[@]}") ;;
  test) wanted=("${build_packages[@]}" "${web_packages[@]}" "${package_packages[@]}" "${test_packages[@]}") ;;
  bench) wanted=("${build_packages[@]}" "${web_packages[@]}" "${package_packages[@]}" "${test_packages[@]}"
                 "${bench_packages[@]}") ;;
  windows) wanted=("${windows_packages[@]}") ;;
  *) echo "usage: $0 build|web|test|package|bench|windows" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  [[ " ${missing[*]} " == *" $package "* ]] && continue  # named by two lists
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "These packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
  echo "Install them with your package manager and run this again." >&2
  exit 1
fi
echo "Installing missing Debian packages: ${missing[*]}"
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
