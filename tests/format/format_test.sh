#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fails on a C++ file that .clang-format would change. Usage: format_test.sh SOURCE-DIR
# The layout is pinned to Debian 12's clang-format 14: another version lays some lines out
# differently, so it skips (77) rather than ask for a reformat nobody needs.
set -uo pipefail
cd "$1" || exit 2
command -v clang-format >/dev/null || { echo "SKIP: clang-format is not installed"; exit 77; }
version=$(clang-format --version | sed -nE 's/.*version ([0-9]+)\..*/\1/p')
[ "$version" = 14 ] || { echo "SKIP: clang-format $version, the layout is pinned to 14"; exit 77; }
# Tracked files when this is a checkout, every file otherwise; the glyph atlas is generated.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h' ':!picture/glyphatlas_data.cpp')
else
  mapfile -t files < <(find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print |
                       grep -v 'picture/glyphatlas_data.cpp')
fi
unformatted=()
for file in "${files[@]}"; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  printf 'not formatted (clang-format -i FILE): %s\n' "${unformatted[@]}"
  exit 1
fi
echo "${#files[@]} files formatted as .clang-format says"
