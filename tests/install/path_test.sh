#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The project in a folder whose name holds blanks, a quote, a dollar sign, brackets and an
# ampersand: a plain CMake build configures there with CMake's default generator and builds its
# files (the gzipped manual page and history, a library), and the program run from there passes
# the output-file tests.
# Usage: path_test.sh SOURCE-DIR FARVANE
set -uo pipefail
source=$1 farvane=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dir="$work/my games 'one' \$HOME (a&b)/farvane"
mkdir -p "$dir/build"
tar -C "$source" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$dir" -xf -
cp "$farvane" "$dir/build/farvane"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

cd "$dir"
if cmake -S . -B build-plain -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DFARVANE_BENCHMARKS=OFF >"$work/configure.log" 2>&1; then
  cmake --build build-plain --target farvane-docs files >"$work/build.log" 2>&1 || { tail -n 20 "$work/build.log"; fail "the build there"; }
  [ -s build-plain/packaging/changelog.gz ] || fail "no changelog.gz"
else
  tail -n 20 "$work/configure.log"
  fail "configure there"
fi
bash tests/replay/files_test.sh build/farvane >"$work/files.log" 2>&1 || { cat "$work/files.log"; fail "files_test from there"; }

echo "path: $failures failed"
[ "$failures" -eq 0 ]
