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

# What each command uses: a program (looked up where Debian installs programs) or a path (a glob
# takes its first match). Essential packages (coreutils, gzip, dpkg itself...) are left out.
build=(cmake ninja g++ pkg-config /usr/include/png.h '/usr/lib/*/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake'
       /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf)
web=(cmake ninja emcmake em++ /usr/bin/python3)
package=(cpack dpkg-buildflags dpkg-shlibdeps file strip lintian)
test=(/usr/include/gtest/gtest.h /usr/include/gmock/gmock.h /usr/include/benchmark/benchmark.h
      '/usr/lib/*/cmake/Qt6Test/Qt6TestConfig.cmake' clang++ /usr/lib/llvm-14/include/c++/v1/vector
      /usr/lib/llvm-14/lib/libc++abi.so '/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a'
      desktop-file-validate appstreamcli groff lexgrog Xvfb openbox xdotool
      chromium chromedriver /usr/lib/python3/dist-packages/selenium/__init__.py)
bench=(valgrind callgrind_annotate)

failures=0
declare -A owners  # path -> its package, asked of dpkg once
# check PURPOSE THING...: each THING's package is one `deps.sh PURPOSE` installs, or a dependency.
check() {
  local purpose=$1 thing path owner listed closure
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
  for thing in "$@"; do
    path=
    if [[ $thing == /* ]]; then
      for path in $thing; do break; done
    else
      for dir in /usr/bin /usr/sbin /bin /sbin; do [ -e "$dir/$thing" ] && { path=$dir/$thing; break; }; done
    fi
    if [ -z "$path" ] || [ ! -e "$path" ]; then
      echo "FAIL: deps.sh $purpose: $thing is not installed here, so its package is unknown (does deps.sh $purpose install it?)"
      failures=$((failures + 1))
      continue
    fi
    owner=${owners[$path]:-}
    if [ -z "$owner" ]; then
      owner=$( { dpkg -S "$path" || dpkg -S "$(readlink -f "$path")" || dpkg -S "${path#/usr}"; } 2>/dev/null |
              head -n 1 | cut -d: -f1)
      owners[$path]=$owner
    fi
    if [ -z "$owner" ]; then
      echo "FAIL: deps.sh $purpose: no Debian package owns $path"
      failures=$((failures + 1))
    elif [[ $closure != *" $owner "* ]]; then
      echo "FAIL: deps.sh $purpose installs neither $owner nor a package that depends on it, yet $path comes from it"
      failures=$((failures + 1))
    fi
  done
}

check build "${build[@]}"
check web "${web[@]}"
check package "${build[@]}" "${package[@]}"
check test "${build[@]}" "${web[@]}" "${package[@]}" "${test[@]}"
check bench "${build[@]}" "${web[@]}" "${test[@]}" "${bench[@]}"

[ "$failures" = 0 ] || { echo "$failures install step(s) missing from scripts/deps.sh" >&2; exit 1; }
echo "scripts/deps.sh installs what build, web, package, test and bench use"
