#!/usr/bin/env bash
# What the program writes and reads outside a replay's own lines, run through the farvane program:
# output files survive every failure, standard output failures are told, input stays bounded.
# Usage: files_test.sh FARVANE
set -uo pipefail
farvane=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export QT_QPA_PLATFORM=offscreen
failures=0 checks=0

# check NAME EXPECTED-STATUS EXPECTED-STDERR-START ACTUAL-STATUS: one case's outcome.
check() {
  checks=$((checks + 1))
  if [ "$4" -ne "$2" ] || [[ "$(head -n 1 err)" != "$3"* ]]; then
    echo "FAIL $1: exit $4 (expected $2), stderr: $(head -c 300 err)"
    failures=$((failures + 1))
  fi
}
# same NAME FILE CONTENTS: a file that must be as it was.
same() {
  checks=$((checks + 1))
  if [ "$(cat "$2" 2>/dev/null)" != "$3" ] || [ -n "$(ls -A | grep -v -x -e script.txt -e keep.png -e err -e out)" ]; then
    echo "FAIL $1: $2 holds \"$(head -c 100 "$2" 2>/dev/null)\"; files: $(ls -A | tr '\n' ' ')"
    failures=$((failures + 1))
  fi
}

printf 'menu mnuStart\nwait 700\ndump\n' > script.txt
script=$(cat script.txt)

# An output file: a failed write leaves the target as it was and no file behind; a target that
# is no regular file, an empty name or the script itself is refused before the script runs.
echo keep > keep.png
# (no file may grow: the messages leave through a pipe)
(ulimit -f 0; exec "$farvane" --script script.txt --screenshot keep.png 2>&1 >/dev/null) | cat >err
check "screenshot on a full disk" 1 "farvane: cannot write keep.png: File too large" "${PIPESTATUS[0]}"
same "screenshot on a full disk" keep.png keep
"$farvane" --script script.txt --screenshot /dev/full >out 2>err
check "screenshot to a device" 2 "farvane: cannot write /dev/full: is a device, not a regular file" $?
[ -c /dev/full ] || { echo "FAIL /dev/full is gone"; failures=$((failures + 1)); }
"$farvane" --script script.txt --screenshot . >out 2>err
check "screenshot to a directory" 2 "farvane: cannot write .: is a directory" $?
"$farvane" --script script.txt --screenshot "" >out 2>err
check "screenshot with no name" 2 'farvane: cannot write "": the file name is empty' $?
"$farvane" --script script.txt --screenshot ./script.txt >out 2>err
check "screenshot over the script" 2 "farvane: cannot write ./script.txt: is the script being run" $?
same "screenshot over the script" script.txt "$script"
[ ! -s out ] || { echo "FAIL a refused output path still ran the script"; failures=$((failures + 1)); }
"$farvane" --record "" >out 2>err
check "record with no name" 2 'farvane: cannot write "": the file name is empty' $?
# A display that does not answer: told before the record's target is touched. (A build without
# the window refuses every --record, which touches nothing either.)
(unset QT_QPA_PLATFORM WAYLAND_DISPLAY; DISPLAY=:97 "$farvane" --record keep.png >out 2>err)
status=$?
if grep -q 'this build has no window' err; then
  check "record in a build without the window" 2 "farvane: this build has no window" $status
else
  check "record with a stale display" 1 "farvane: no display found" $status
fi
same "record with a stale display" keep.png keep

# --scale R: the picture is lround(441 R) by lround(425 R) pixels; anything but a plain decimal
# from 1 to 4 is refused before the script runs, and no file appears.
for case in 1:441x425 1.5:662x638 2.25:992x956 4:1764x1700; do
  "$farvane" --script script.txt --screenshot shot.png --scale "${case%%:*}" >out 2>err
  check "scale ${case%%:*}" 0 "" $?
  size=$(od -An -tu1 -j16 -N8 shot.png 2>/dev/null | awk '{print $3 * 256 + $4 "x" $7 * 256 + $8}')
  [ "$size" = "${case#*:}" ] || { echo "FAIL scale ${case%%:*}: $size"; failures=$((failures + 1)); }
  rm -f shot.png
done
for bad in 0.5 4.01 0 -2 +2 2. .5 1e0 nan inf 2,5 " 2" abc ""; do
  "$farvane" --script script.txt --screenshot shot.png --scale "$bad" >out 2>err
  check "scale \"$bad\"" 2 "farvane: --scale needs a device pixel ratio from 1 to 4" $?
  same "scale \"$bad\"" keep.png keep
done
"$farvane" --script script.txt --scale 2 >out 2>err
check "scale without a screenshot" 2 "farvane: --scale needs --screenshot" $?

# Standard output: a failed write is told and fails the run.
"$farvane" --script script.txt >/dev/full 2>err
check "replay to a full disk" 1 "farvane: cannot write standard output: No space left on device" $?
"$farvane" --help >/dev/full 2>err
check "help to a full disk" 1 "farvane: cannot write standard output: No space left on device" $?

# Input bounds: an endless line stops at the limit; standard input that cannot be read is an error.
"$farvane" --script /dev/zero >out 2>err
check "endless script" 2 "/dev/zero:1: line is longer than 4096 bytes" $?
"$farvane" --script - >out 2>err <&-
check "closed standard input" 2 "farvane: cannot read -: Bad file descriptor" $?
"$farvane" --script - >out 2>err <.
check "a directory as standard input" 2 "farvane: cannot read -: Is a directory" $?

# table: runs each row "NAME|STATUS|STDERR START|COMMAND" of standard input in a fresh folder
# "row" (FARVANE is the program; ../script.txt, ../many.txt are there); COMMAND's status is the
# row's, and no row may leave a temporary file behind.
table() {
  while IFS='|' read -r name status message command; do
    [ -n "$name" ] || continue
    rm -rf row && mkdir row && $own row
    (cd row && eval "$command") >out 2>err
    check "$name" "$status" "$message" $?
    if ls -A row | grep -q '\.tmp$'; then
      echo "FAIL $name: left $(ls -A row | tr '\n' ' ')"
      failures=$((failures + 1))
    fi
  done
  rm -rf row
}
# within CONDITION: waits up to a minute until the shell condition holds.
within() { for _ in $(seq 1200); do eval "$1" && return; sleep 0.05; done; return 1; }
# started FILE: waits until a game has put its record at FILE.
started() { within "grep -q '^# farvane' '$1' 2>/dev/null"; }
# Rows name the program unquoted: through a link at a plain path, wherever the build is.
ln -s "$farvane" "$work/farvane"
FARVANE=$work/farvane
# As root, the rows that ask for the user's rights run as nobody.
own=: as=
if [ "$(id -u)" -eq 0 ]; then
  chmod 755 "$work"
  own="chown nobody" as="setpriv --reuid=nobody --regid=nogroup --clear-groups"
fi
printf 'dump\n%.0s' $(seq 2000) > many.txt

# --watch's --speed S (0.25 to 8) and --from SECONDS (0 to the recording's length, 0.7 s here):
# plain decimals, each refused before any window opens.
table <<'EOF'
speed below a quarter|2|farvane: --speed needs a speed from 0.25 to 8 (such as 2 or 0.5), not "0.2"|$FARVANE --watch ../script.txt --speed 0.2
speed past 8|2|farvane: --speed needs a speed from 0.25 to 8|$FARVANE --watch ../script.txt --speed 8.01
speed in another spelling|2|farvane: --speed needs a speed from 0.25 to 8|$FARVANE --watch ../script.txt --speed 1e0
speed without a number|2|farvane: --speed needs a number|$FARVANE --watch ../script.txt --speed
from below 0|2|farvane: --from needs a time in seconds from 0 to the recording's length (such as 7.5), not "-1"|$FARVANE --watch ../script.txt --from -1
from in another spelling|2|farvane: --from needs a time in seconds|$FARVANE --watch ../script.txt --speed 2 --from .5
speed without a watch|2|farvane: --speed needs --watch|$FARVANE --script ../script.txt --speed 2
from without a watch|2|farvane: --from needs --watch|$FARVANE --from 1
EOF

# Targets: refused up front as cp would refuse them, or written where the name leads.
table <<EOF
screenshot into a missing folder|2|farvane: cannot write no/s.png: No such file or directory|\$FARVANE --script ../script.txt --screenshot no/s.png
screenshot over a read-only file|2|farvane: cannot write s.png: Permission denied|echo old >s.png && $own s.png && chmod 444 s.png && $as \$FARVANE --script ../script.txt --screenshot s.png
screenshot through a dangling link|0||ln -s made.png s.png && \$FARVANE --script ../script.txt --screenshot s.png >/dev/null && test -L s.png -a -s made.png
screenshot with a 250-byte name|0||\$FARVANE --script ../script.txt --screenshot \$(printf %0246d.png 0) >/dev/null && test -s \$(printf %0246d.png 0)
EOF
[ -z "$as" ] || table <<EOF
screenshot over another user's file|2|farvane: cannot write s.png: belongs to another user|echo old >s.png && chmod 666 s.png && $as \$FARVANE --script ../script.txt --screenshot s.png
EOF

# Limits: past the file size limit or out of memory a write fails, says so and leaves the target
# as it was; two screenshots to one file both write it; file names print on one line.
[[ $(ldd "$farvane") == *libasan* ]] || table <<'EOF'
screenshot out of memory|1|farvane: cannot write s.png: not enough memory|for mb in $(seq 16 8 1024); do prlimit --as=$((mb << 20)) $FARVANE --script ../script.txt >/dev/null 2>&1 && break; done; echo old >s.png; prlimit --as=$(((mb + 4) << 20)) $FARVANE --script ../script.txt --screenshot s.png --scale 4 >/dev/null; status=$?; test "$(cat s.png)" = old && exit $status
EOF
table <<'EOF'
two screenshots to one file at once, ten times|0||$FARVANE --script ../script.txt --screenshot one.png >/dev/null; for n in $(seq 10); do $FARVANE --script ../script.txt --screenshot s.png >/dev/null & $FARVANE --script ../script.txt --screenshot s.png >/dev/null || exit 1; wait $! && cmp one.png s.png || exit 1; done
script with lines ending in CR alone|2|cr.txt:1: menu: extra argument "100\x0ddump\x0d"; usage: menu ENTRY (the line holds a CR: end each line with LF or CR LF|printf 'menu mnuStart\rwait 100\rdump\r' >cr.txt; $FARVANE --script cr.txt
script named with a newline and byte 0xff|2|bad\x0a\xff.txt:1: unknown command "jump"|name=$(printf 'bad\n\377.txt'); echo jump >"$name"; $FARVANE --script "$name"
EOF

# Descriptors: the standard ones as the user left them; a closed pipe ends a replay quietly, and
# a signal ends one, however long its script.
table <<'EOF'
screenshot over the script on standard input|2|farvane: cannot write s.png: is the script being run|printf 'dump\n' >s.png; $FARVANE --script - --screenshot s.png <s.png; status=$?; grep -qx dump s.png && exit $status
closed pipe on standard output|1||$FARVANE --script ../many.txt | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}
script with a byte order mark|0||printf '\357\273\277dump\n' >s.txt && $FARVANE --script s.txt | grep -q '^{"dump"'
replay of a billion ticks ended by SIGTERM|143||printf 'menu mnuStart\nwait 600\nmenu mnuRestart\nwait 60000\nmenu mnuStart\ntick Timer2 1000000000\n' >s.txt; $FARVANE --script s.txt >/dev/null & p=$!; for _ in $(seq 200); do [ /proc/$p/exe -ef "$FARVANE" ] && break; sleep 0.05; done; (sleep 120; kill -KILL $p) 2>/dev/null & w=$!; kill -TERM $p; wait $p; s=$?; kill $w; exit $s
EOF

if [[ $(unset QT_QPA_PLATFORM; "$farvane" --record r.txt 2>&1) == *'this build has no window'* ]]; then
  echo "files: $((checks - failures)) passed, $failures failed (no window: no record tried)"
  [ "$failures" -eq 0 ]
  exit
fi

# --from past the recording's end is told once the recording has been read, which needs a window.
table <<'EOF'
from past the end|2|farvane: --from 0.75 is past the end of ../script.txt, which lasts 0.7 seconds|$FARVANE --watch ../script.txt --from 0.75
EOF

# Qt's own word on a missing runtime folder would come before the game's messages.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Start-up signals: whenever one comes, the target is untouched or whole and nothing is left;
# one the game was started to ignore stays ignored.
table < <(for signal in TERM HUP INT; do
  for delay in 0.02 0.04 0.06 0.08; do
    echo "SIG$signal ${delay}s after the start|0||echo old >r.txt; set -m; \$FARVANE --record r.txt 2>/dev/null & sleep $delay; kill -$signal \$!; wait \$!; grep -q -e '^old\$' -e '^# farvane' r.txt"
  done
done)
table <<'EOF'
SIGHUP under nohup|0||nohup $FARVANE --record r.txt >/dev/null 2>&1 & started r.txt; kill -HUP $!; sleep 0.3; kill -0 $!; alive=$?; kill $!; exit $alive
SIGINT ignored from the start|0||(trap '' INT; exec $FARVANE --record r.txt 2>/dev/null) & started r.txt; kill -INT $!; sleep 0.3; kill -0 $!; alive=$?; kill $!; exit $alive
EOF

# Descriptors of the window: Qt's messages never land in the record; /dev/stdout is appended to.
table <<'EOF'
record with standard error closed|0||(unset XDG_RUNTIME_DIR; exec $FARVANE --record r.txt 2>&-) & started r.txt; sleep 0.3; kill $!; wait $!; $FARVANE --script r.txt >/dev/null
record to /dev/stdout appended to a log|0||echo log >game.log; $FARVANE --record /dev/stdout >>game.log 2>/dev/null & started game.log; sleep 0.3; kill $!; wait $!; test "$(head -n 1 game.log)" = log && sed 1d game.log >r.txt && $FARVANE --script r.txt >/dev/null
EOF

# Two writers: a second game keeps off a record in progress; a record whose file goes says so, one
# whose folder link is pointed elsewhere goes on in the file it opened.
table <<'EOF'
record to a file another game records|2|farvane: cannot write r.txt: another game (process |$FARVANE --record r.txt 2>/dev/null & started r.txt; timeout 10 $FARVANE --record r.txt; status=$?; kill $!; wait $!; $FARVANE --script r.txt >/dev/null && exit $status
screenshot to a file a game records|2|farvane: cannot write r.png: another game (process |$FARVANE --record r.png 2>/dev/null & started r.png; $FARVANE --script ../script.txt --screenshot r.png; status=$?; kill $!; wait $!; $FARVANE --script r.png >/dev/null && exit $status
record through a folder link pointed elsewhere|143||mkdir A B; ln -s A L; $FARVANE --record L/r.txt 2>game.err & started L/r.txt; ln -sfn B L; kill $!; wait $!; status=$?; ! grep '^farvane:' game.err >&2 && test ! -e B/r.txt && $FARVANE --script A/r.txt >/dev/null && exit $status
record whose file is deleted|143|farvane: cannot write r.txt: the file was deleted, moved or replaced|$FARVANE --record r.txt 2>game.err & started r.txt; rm r.txt; for _ in $(seq 60); do grep -q deleted game.err && break; sleep 0.05; done; kill $!; wait $!; status=$?; grep '^farvane:' game.err >&2; exit $status
EOF

# The window's screen: a pixel ratio past 1 to 4 or a display of fewer than 16 bits a pixel is
# told before the record's target is touched.
table <<'EOF'
window at a pixel ratio of 100|2|farvane: the screen's device pixel ratio is 100; the window draws at 1 to 4|echo old >r.txt; QT_SCALE_FACTOR=100 $FARVANE --record r.txt; status=$?; test "$(cat r.txt)" = old && exit $status
watch at a negative pixel ratio|2|farvane: the screen's device pixel ratio is -1|echo dump >w.txt; QT_SCALE_FACTOR=-1 FARVANE_WATCH_GRAB=grab.png $FARVANE --watch w.txt; status=$?; test ! -e grab.png && exit $status
EOF

if ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
  echo "files: $((checks - failures)) passed, $failures failed (no Xvfb or xdotool: no X server tried)"
  [ "$failures" -eq 0 ]
  exit
fi
# xserver DEPTH: a bare X server of that colour depth for the rest of the row, no other client on it.
xserver() {
  Xvfb -displayfd 3 -screen 0 800x600x"$1" -nolisten tcp 3>display 2>/dev/null &
  xvfb=$!
  trap 'kill $xvfb; wait $xvfb' EXIT
  within 'test -s display'
  export DISPLAY=:$(head -n 1 display) QT_QPA_PLATFORM=xcb
}
# The window on an X server: each start connects while the server has no other client; past the
# file size limit the record is cut back to its last whole line and the game goes on.
table <<'EOF'
window on a bare X server, four starts|0||xserver 24; for n in 1 2 3 4; do $FARVANE --record r$n.txt 2>/dev/null & started r$n.txt; kill $!; wait $!; test $? = 143 && $FARVANE --script r$n.txt >/dev/null || exit 1; done
window on an 8-bit display|2|farvane: the display has 8-bit colour|xserver 8; echo old >r.txt; $FARVANE --record r.txt; status=$?; test "$(cat r.txt)" = old && exit $status
record past the file size limit|143|farvane: cannot write r.txt: File too large; the game goes on unrecorded|xserver 24; $FARVANE --record r.txt 2> >(cat >game.err) & player=$!; xdotool search --sync --onlyvisible --name '^Farvane V1\.33\.7$' windowfocus --sync >/dev/null; xdotool key F10 Return; within "grep -q '^menu mnuStart' r.txt"; prlimit --pid $player --fsize=$(($(wc -c <r.txt) + 3)); within "grep -q 'File too large' game.err"; kill $player; wait $player; status=$?; grep '^farvane:' game.err >&2; test "$(tail -c 1 r.txt | od -An -tx1)" = " 0a" && grep -q '^menu mnuStart$' r.txt && $FARVANE --script r.txt >/dev/null && exit $status
EOF

echo "files: $((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
