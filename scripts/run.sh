#!/usr/bin/env bash
# Builds the game (installing what it needs) and starts it. Arguments go to farvane.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh build
cmake --preset run >/dev/null
cmake --build build --target farvane

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "farvane: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
  echo "Run it from a desktop session, or headless with: build/farvane --script FILE" >&2
  exit 1
fi
exec build/farvane "$@"
