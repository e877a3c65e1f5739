#!/usr/bin/env bash
# Builds the game for the browser into build-web/ (installing what it needs) and serves the page
# on http://127.0.0.1:8000 (or the next free port) until Ctrl+C. Usage: web.sh [--build-only]
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
# Port 8000, or the next free one when another server has it. Debian's python3, whatever other
# python comes first on the PATH.
port=$(/usr/bin/python3 -c '
import socket
for port in range(8000, 8100):
    with socket.socket() as probe:
        try:
            probe.bind(("127.0.0.1", port))
        except OSError:
            continue
        print(port)
        break
')
if [ -z "$port" ]; then
  echo "web.sh: ports 8000 to 8099 are all taken; stop another server there and try again" >&2
  exit 1
fi
[ "$port" != 8000 ] && echo "Port 8000 is taken by another server: serving on $port instead."
echo "Farvane is at http://127.0.0.1:$port/ (Ctrl+C stops the server)"
exec /usr/bin/python3 -m http.server --bind 127.0.0.1 --directory build-web/site "$port"
