#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Windows program, farvane.exe, with Debian's MinGW-w64 cross compiler into
# build-windows/ and makes build-windows/farvane-VERSION-windows-x86_64.zip: the program, a
# README.txt for Windows players and the licences. Installs the cross compiler and Wine (which
# runs the program's tests) when they are missing.
# Usage: scripts/windows.sh [--build-only]
set -euo pipefail
cd "$(dirname "$0")/.."

build_only=
case "${1:-}" in
  "") ;;
  --build-only) build_only=1 ;;
  *) echo "usage: $0 [--build-only]" >&2; exit 2 ;;
esac

scripts/deps.sh windows
build=build-windows
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=Release -DFARVANE_WERROR=ON
cmake --build "$build" --target farvane
[ -n "$build_only" ] && exit 0

version=$(sed -nE 's/^project\(farvane VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
name=farvane-$version-windows-x86_64
stage=$build/zip/$name
rm -rf "$build/zip" "$build/$name.zip"
mkdir -p "$stage"
cp "$build/farvane.exe" "$stage/"
# Windows line ends, so every editor shows the texts as written.
sed 's/$/\r/' packaging/windows/README.txt >"$stage/README.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
# The glyphs built into the program carry the font's own licence: both in full.
sed 's/$/\r/' packaging/copyright >"$stage/COPYRIGHT.txt"
# The same bytes from the same sources: every file dated by the last commit (or the licence).
stamp=$(TZ=UTC git log -1 --format=%cd --date=format-local:"%Y-%m-%d %H:%M:%S UTC" 2>/dev/null || TZ=UTC date -r LICENSE "+%Y-%m-%d %H:%M:%S UTC")
(cd "$build/zip" && cmake -E tar cf "../$name.zip" --format=zip --mtime="$stamp" "$name")
rm -rf "$build/zip"

echo "$build/$name.zip: $(stat -c %s "$build/$name.zip") bytes"
echo "farvane.exe: $(stat -c %s "$build/farvane.exe") bytes; it imports:"
x86_64-w64-mingw32-objdump -p "$build/farvane.exe" | sed -n 's/^[[:space:]]*DLL Name: /  /p'
