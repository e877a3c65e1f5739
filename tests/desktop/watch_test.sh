#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# farvane --watch under its own X server (Xvfb) and window manager (openbox): a game recorded in
# the window, and one saved from the page, each watched, end on a frame identical pixel for pixel to
# `farvane --script FILE --screenshot` of the same file; a script with an error is refused before
# any window shows, with the message --script gives.
# Usage: watch_test.sh FARVANE PAGE_RECORDING. Exits 77 (skipped) when Xvfb, openbox or xdotool is missing.
set -euo pipefail
farvane=$1 page=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/xsession.sh"
export QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1

# Waits up to a minute for the file $1, answering the lost-game box with Return when it comes up.
wait_for() {
  local box
  for _ in $(seq 600); do
    [ -e "$1" ] && return 0
    if box=$(xdotool search --onlyvisible --name '^Muahahahaa$' 2>/dev/null); then
      xdotool windowactivate --sync "$box" key Return
      answered=$((answered + 1))
      for _ in $(seq 50); do xdotool search --onlyvisible --name '^Muahahahaa$' >/dev/null 2>&1 || break; sleep 0.1; done
    fi
    sleep 0.1
  done
  echo "FAIL: $1 never appeared"
  return 1
}

# The window's frame at the end of watching $2 (with the options that follow) against the headless
# screenshot of it; the watcher answers each box the recorded game showed.
watch_ends_on_the_screenshot() {
  local name=$1 script=$2 watcher boxes
  shift 2
  boxes=$("$farvane" --script "$script" --screenshot "$work/$name-script.png" | grep -c '"msgbox"' || true)
  answered=0
  FARVANE_WATCH_GRAB="$work/$name-watched.png" "$farvane" --watch "$script" "$@" &
  watcher=$!
  pids+=("$watcher")
  wait_for "$work/$name-watched.png"
  kill -TERM "$watcher"
  wait "$watcher" || true
  python3 "$here/../pngpixels.py" "$work/$name-script.png" "$work/$name-watched.png"
  [ "$answered" = "$boxes" ] || { echo "FAIL: $name: $answered boxes came up, the replay shows $boxes"; exit 1; }
  echo "PASS: $name ($boxes boxes)"
}

# Waits up to a minute until the record holds what the awk program $1 looks for (it exits 0).
recorded() {
  for _ in $(seq 600); do
    awk "$1" "$work/window.txt" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "FAIL: the record never showed it:"
  cat "$work/window.txt"
  exit 1
}

# A game played in the window from the keyboard: F10 and Return choose Start, the countdown runs
# out, then the arrows steer; a signal ends it, which closes the record where the game stands.
# Each step waits for the record to show the one before.
"$farvane" --record "$work/window.txt" &
player=$!
pids+=("$player")
xdotool search --sync --onlyvisible --name '^Farvane V1\.33\.7$' windowactivate --sync >/dev/null
recorded '/^# farvane/ { found = 1 } END { exit !found }'
xdotool key F10 Return
recorded '/^menu mnuStart$/ { on = 1; t = 0; next } on && /^wait / { t += $2 } END { exit !(on && t >= 2450) }'
xdotool key Left
recorded '/^key 37 0$/ { found = 1 } END { exit !found }'
xdotool key Right Right
recorded '/^key 39 0$/ { n++ } END { exit n < 2 }'
kill -TERM "$player"
wait "$player" || true
grep -q '^menu mnuStart$' "$work/window.txt" && grep -q '^key 39 0$' "$work/window.txt" ||
  { echo "FAIL: the record lacks the game played:"; cat "$work/window.txt"; exit 1; }

watch_ends_on_the_screenshot window "$work/window.txt"
watch_ends_on_the_screenshot page "$page"

# The watcher's controls on a 12.5 s game lost at about 7 s: paused at once (a quarter speed leaves
# the time), then End and Left land exactly at 7.5 s past the box, unseen; the title says so and
# the frame is what --script of the game cut at 7.5 s draws. Then --speed 8 --from 5 plays the
# rest, its box included.
printf 'menu mnuStart\nwait 2600\nkey 37 0\nwait 300\nkey 39 0\nwait 4000\nkey 39 0\nwait 5600\n' >"$work/game.txt"
awk '/^wait/ { if (t + $2 > 7500) { print "wait " 7500 - t; exit } t += $2 } { print }' "$work/game.txt" >"$work/cut.txt"
"$farvane" --script "$work/cut.txt" --screenshot "$work/cut.png" | grep -q '"msgbox"' ||
  { echo "FAIL: the game is not lost by 7.5 s"; exit 1; }
mkdir "$work/paused"
FARVANE_WATCH_GRAB_PAUSED="$work/paused" "$farvane" --watch "$work/game.txt" --speed 0.25 &
watcher=$!
pids+=("$watcher")
xdotool search --sync --onlyvisible --name '^Farvane V1\.33\.7 ' windowactivate --sync >/dev/null
xdotool key space End Left
xdotool search --sync --onlyvisible --name '^Farvane V1\.33\.7 .* 0:07\.5 / 0:12\.5, .*, paused$' >/dev/null
for _ in $(seq 600); do [ -e "$work/paused/7500.png" ] && break; sleep 0.1; done
! xdotool search --onlyvisible --name '^Muahahahaa$' >/dev/null 2>&1 || { echo "FAIL: a seek showed the box"; exit 1; }
kill -TERM "$watcher"
wait "$watcher" || true
python3 "$here/../pngpixels.py" "$work/cut.png" "$work/paused/7500.png"
echo "PASS: a seek to 7.5 s shows what --script of the game cut there draws"
watch_ends_on_the_screenshot speed-8-from-5 "$work/game.txt" --speed 8 --from 5

status=0
"$farvane" --watch "$work/game.txt" --speed 16 2>"$work/speed.err" || status=$?
[ "$status" = 2 ] && grep -q '^farvane: --speed needs a speed from 0.25 to 8' "$work/speed.err" ||
  { echo "FAIL: --speed 16: status $status,"; cat "$work/speed.err"; exit 1; }
echo "PASS: a bad --speed is refused"

printf 'menu mnuStart\nwait 100\njump\n' >"$work/bad.txt"
status=0
"$farvane" --watch "$work/bad.txt" 2>"$work/watch.err" || status=$?
"$farvane" --script "$work/bad.txt" 2>"$work/script.err" >/dev/null || true
[ "$status" = 2 ] && cmp -s "$work/watch.err" "$work/script.err" ||
  { echo "FAIL: --watch of a bad script: status $status,"; cat "$work/watch.err"; exit 1; }
echo "PASS: a bad script is refused as --script refuses it"
