#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Windows program with Debian's MinGW-w64 cross compiler into build-windows/ (the
# `windows` configure preset): farvane.exe, a GUI program, and farvane.com, its console face for
# shells. Then makes build-windows/farvane-VERSION-windows-x86_64.zip (the programs, a README.txt
# for Windows players and the licences) and, with NSIS, the installer
# build-windows/farvane-VERSION-setup.exe. Installs the cross compiler, NSIS, Python (which writes
# the zip) and Wine (which runs the program's tests) when they are missing.
# The same sources give the same bytes: every date in the zip and the installer is
# SOURCE_DATE_EPOCH when it is set, otherwise the last commit's (or, outside git, the licence's).
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
cmake --preset windows
cmake --build "$build" --target farvane
[ -n "$build_only" ] && exit 0

version=$(sed -nE 's/^project\(farvane VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
name=farvane-$version-windows-x86_64
setup=farvane-$version-setup.exe
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || stat -c %Y LICENSE)
fi
export SOURCE_DATE_EPOCH
stage=$build/zip/$name
rm -rf "$build/zip" "$build/$name.zip" "$build/$setup"
mkdir -p "$stage"
cp "$build/farvane.exe" "$build/farvane.com" "$stage/"
# Windows line ends, so every editor shows the texts as written.
sed 's/$/\r/' packaging/windows/README.txt >"$stage/README.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
# The glyphs built into the program carry the font's own licence: both in full.
sed 's/$/\r/' packaging/copyright >"$stage/COPYRIGHT.txt"
files=(farvane.com farvane.exe README.txt LICENSE.txt COPYRIGHT.txt)
# The zip written by Python's zipfile: the files in a fixed order, each dated SOURCE_DATE_EPOCH
# and with no other time or owner in it, so two builds give the same bytes.
python3 - "$build/$name.zip" "$stage" "$name" "$SOURCE_DATE_EPOCH" "${files[@]}" <<'PY'
import os, sys, time, zipfile
target, stage, name, epoch, files = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5:]
with zipfile.ZipFile(target, 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
    for file in files:
        entry = zipfile.ZipInfo(f'{name}/{file}', time.gmtime(epoch)[:6])
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.external_attr = (0o100755 if file.endswith(('.exe', '.com')) else 0o100644) << 16
        with open(os.path.join(stage, file), 'rb') as data:
            archive.writestr(entry, data.read())
PY

# The installer: the same files and the icon; its size for "Apps & features" in KB.
cp windows/farvane.ico "$stage/"
size_kb=$(( ($(cat "${files[@]/#/$stage/}" | wc -c) + 1023) / 1024 ))
makensis -V2 -INPUTCHARSET UTF8 "-DVERSION=$version" "-DSTAGE=$PWD/$stage" "-DSIZE_KB=$size_kb" \
         "-DOUTFILE=$PWD/$build/$setup" packaging/windows/farvane.nsi
rm -rf "$build/zip"

echo "$build/$name.zip: $(stat -c %s "$build/$name.zip") bytes"
echo "$build/$setup: $(stat -c %s "$build/$setup") bytes"
echo "farvane.exe: $(stat -c %s "$build/farvane.exe") bytes, farvane.com: $(stat -c %s "$build/farvane.com") bytes; farvane.exe imports:"
x86_64-w64-mingw32-objdump -p "$build/farvane.exe" | sed -n 's/^[[:space:]]*DLL Name: /  /p'
