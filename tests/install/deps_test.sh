#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Each command's set-up is whole: every program, module and file that a script or test runs comes
# from a Debian package that scripts/deps.sh installs for that command, or from a dependency of
# one. deps.sh runs with stand-ins for dpkg-query (nothing is installed) and apt-get (notes what
# it is asked for), so what this machine already has changes nothing. Exits 77 (skipped) where
# dpkg or apt-cache is missing.
# Usage: deps_test.sh SOURCE-DIR
set -uo pipefail
source=$1
for tool in dpkg apt-cache; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIPPED: $tool is missing, so this is no Debian system whose packages could be checked"
    exit 77
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
printf '#!/bin/sh\necho "$*" >>"$DEPS_LOG"\n' >"$work/bin/apt-get"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
# When the test does not run as root, deps.sh goes through sudo: to the stand-ins, never to apt.
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

# What each command uses, as THING=PACKAGE: a program (looked up where Debian installs programs)
# or a path (a glob takes its first match), and the package Debian 12 has it in. Where THING is
# installed, the package that dpkg says owns it counts instead, so only what a machine lacks is
# taken from this table. Essential packages (coreutils, gzip, dpkg itself...) are left out.
build=(cmake=cmake make=make ninja=ninja-build g++=g++ pkg-config=pkgconf /usr/include/png.h=libpng-dev
       '/usr/lib/*/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake=qt6-base-dev'
       /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf=fonts-dejavu-core)
web=(cmake=cmake ninja=ninja-build emcmake=emscripten em++=emscripten /usr/bin/python3=python3-minimal)
package=(cpack=cmake dpkg-buildflags=dpkg-dev dpkg-shlibdeps=dpkg-dev file=file strip=binutils lintian=lintian)
test=(/usr/include/gtest/gtest.h=libgtest-dev /usr/include/gmock/gmock.h=libgmock-dev
      /usr/include/benchmark/benchmark.h=libbenchmark-dev '/usr/lib/*/cmake/Qt6Test/Qt6TestConfig.cmake=qt6-base-dev'
      clang++=clang clang-format=clang-format /usr/lib/llvm-14/include/c++/v1/vector=libc++-14-dev /usr/lib/llvm-14/lib/libc++abi.so=libc++abi-14-dev
      '/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a=libclang-rt-14-dev'
      desktop-file-validate=desktop-file-utils appstreamcli=appstream groff=groff-base lexgrog=man-db
      Xvfb=xvfb openbox=openbox xdotool=xdotool chromium=chromium chromedriver=chromium-driver
      /usr/lib/python3/dist-packages/selenium/__init__.py=python3-selenium xwd=x11-apps)
bench=(valgrind=valgrind callgrind_annotate=valgrind)
windows=(cmake=cmake ninja=ninja-build x86_64-w64-mingw32-g++-posix=g++-mingw-w64-x86-64-posix
         x86_64-w64-mingw32-windres=binutils-mingw-w64-x86-64 makensis=nsis
         /usr/bin/python3=python3-minimal wine=wine wine64=wine64)

failures=0
declare -A owners  # path -> its package, asked of dpkg once
# check PURPOSE THING...: each THING's package is one `deps.sh PURPOSE` installs, or a dependency.
check() {
  local purpose=$1 entry thing path owner listed closure
  shift
  : >"$work/log"
  if ! DEPS_LOG=$work/log PATH="$work/bin:$PATH" "$source/scripts/deps.sh" "$purpose" >"$work/out" 2>&1; then
    echo "FAIL: deps.sh $purpose fails: $(tail -n 3 "$work/out")"
    failures=$((failures + 1))
    return
  fi
  listed=$(sed -n 's/.* install .* --no-install-recommends //p' "$work/log")
  # shellcheck disable=SC2086 # one word a package
  closure=" $(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
                --no-replaces --no-enhances $listed 2>/dev/null |
              sed -E 's/^ *\|?(Pre)?Depends: //; s/^<(.*)>$/\1/; s/:.*//' | sort -u | tr '\n' ' ') "
  for entry in "$@"; do
    thing=${entry%=*}
    path=
    if [[ $thing == /* ]]; then
      for path in $thing; do break; done
    else
      for dir in /usr/bin /usr/sbin /bin /sbin; do [ -e "$dir/$thing" ] && { path=$dir/$thing; break; }; done
    fi
    owner=
    if [ -n "$path" ] && [ -e "$path" ]; then
      owner=${owners[$path]:-}
      if [ -z "$owner" ]; then
        owner=$( { dpkg -S "$path" || dpkg -S "$(readlink -f "$path")" || dpkg -S "${path#/usr}"; } 2>/dev/null |
                head -n 1 | cut -d: -f1)
        owners[$path]=$owner
      fi
    fi
    [ -n "$owner" ] || { owner=${entry##*=}; path=$thing; }
    if [[ $closure != *" $owner "* ]]; then
      echo "FAIL: deps.sh $purpose installs neither $owner nor a package that depends on it, yet $path comes from it"
      failures=$((failures + 1))
    fi
  done
}

check build "${build[@]}"
check web "${web[@]}"
check package "${build[@]}" "${package[@]}"
check test "${build[@]}" "${web[@]}" "${package[@]}" "${test[@]}" "${windows[@]}"
check bench "${build[@]}" "${web[@]}" "${test[@]}" "${bench[@]}"
check windows "${windows[@]}"

# Neither root nor sudo: deps.sh says first that it cannot install, and never that it is installing.
mkdir "$work/bare"
ln -s "$(command -v bash)" "$(command -v grep)" "$work/bare/"
cp "$work/bin/dpkg-query" "$work/bare/"
printf '#!/bin/sh\necho 1000\n' >"$work/bare/id"
chmod +x "$work/bare/id"
PATH=$work/bare "$source/scripts/deps.sh" build >"$work/out" 2>&1
status=$?
if [ "$status" != 1 ] || ! head -n 1 "$work/out" | grep -q '^These packages are missing and neither root nor sudo' ||
   grep -q Installing "$work/out"; then
  echo "FAIL: deps.sh without root or sudo: status $status, $(head -c 300 "$work/out")"
  failures=$((failures + 1))
fi

[ "$failures" = 0 ] || { echo "$failures install step(s) missing from scripts/deps.sh" >&2; exit 1; }
echo "scripts/deps.sh installs what build, web, package, test, bench and windows use"
