#!/usr/bin/env bash
# Builds the game for the browser into build-web/ (installing what it needs) and serves the page
# on http://127.0.0.1:8000 until Ctrl+C. Usage: web.sh [--build-only]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh web
# Debian's emscripten runs its JavaScript tools with the system's node, which finds their modules
# in /usr/share/nodejs; a node from elsewhere needs telling.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DFARVANE_BENCHMARKS=OFF -DFARVANE_WERROR=ON >/dev/null
cmake --build build-web

[ "${1:-}" = "--build-only" ] && exit 0
echo "Farvane is at http://127.0.0.1:8000/ (Ctrl+C stops the server)"
# Debian's python3, whatever other python comes first on the PATH.
exec /usr/bin/python3 -m http.server --bind 127.0.0.1 --directory build-web/site 8000
