#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs x11_test under its own X server (Xvfb) and window manager (openbox), at scale 1 and 2.
# Usage: x11_test.sh X11_TEST_BINARY OUTPUT_DIR. Writes OUTPUT_DIR/box-scale-N.png, the lost-game
# box as the window manager frames it. Exits 77 (skipped) when Xvfb, openbox or xdotool is missing.
set -euo pipefail
binary=$1 out=$2
mkdir -p "$out"

source "$(dirname "$0")/xsession.sh"

status=0
for scale in 1 2; do
  echo "==== QT_SCALE_FACTOR=$scale"
  QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale FARVANE_BOX_SHOT="$out/box-scale-$scale.png" "$binary" || status=1
done
exit $status
