#!/usr/bin/env bash
# Builds the benchmarks and the timing probe and runs them all: medians of 5 repetitions, then
# 10 s of real play in the window (offscreen), then the window's CPU per frame and the X server's
# under Xvfb next to a bare Qt window's, 5 runs of each, then the browser page's figures in headless
# Chromium. Usage: bench.sh [--instructions]
#   --instructions  also counts the instructions of one game tick and one key press (callgrind):
#                   a figure that, unlike a time, does not move when the machine is busy.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh bench
export QT_QPA_PLATFORM=offscreen
build=build-bench

cmake --preset bench >/dev/null
cmake --build "$build" --target core_bench paint_bench replay_bench timingprobe web_tick_bench -j "$(nproc)"

repeat=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_display_aggregates_only=true)
for program in core_bench paint_bench replay_bench; do
  echo "== $program"
  "$build/bench/$program" "${repeat[@]}" 2>/dev/null | grep -E '^(Benchmark|-|BM_.*_(median|mean|stddev|cv))'
done

echo "== timingprobe"
"$build/bench/timingprobe" --seconds 10 --startups 5 --frame-runs 0 2>/dev/null

echo "== timingprobe under Xvfb: CPU per frame in the game and in the X server, against a bare Qt window"
displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
DISPLAY=":$(head -n 1 "$displayfile")" QT_QPA_PLATFORM=xcb \
  "$build/bench/timingprobe" --seconds 10 --startups 0 --frame-runs 5 --server-pid "$xvfb" 2>/dev/null
kill "$xvfb"
wait "$xvfb" 2>/dev/null || true
trap - EXIT
rm -f "$displayfile"

echo "== web page (headless Chromium)"
scripts/web.sh --build-only
/usr/bin/python3 bench/web_bench.py --site build-web/site --native "$build/web/web_tick_bench"

if [ "${1:-}" = "--instructions" ]; then
  echo "== instructions per call (callgrind)"
  out=$(mktemp -d)
  for case in "BM_GameTick$:farvane::Veskara::Timer1_Timer()" "BM_KeyPress$:farvane::Veskara::Form_KeyDown(short&, short)"; do
    filter=${case%%:*}
    function=${case#*:}
    valgrind --tool=callgrind --callgrind-out-file="$out/cg" --toggle-collect="$function" \
      "$build/bench/core_bench" --benchmark_filter="$filter" --benchmark_min_time=0.5 >/dev/null 2>&1
    line=$(callgrind_annotate --tree=caller --inclusive=yes "$out/cg" 2>/dev/null | awk '/< .*BM_/ && !seen { print; seen = 1 }')
    total=$(echo "$line" | awk '{ gsub(",", "", $1); print $1 }')
    calls=$(echo "$line" | sed -E 's/.*\(([0-9,]+)x\).*/\1/; s/,//g')
    echo "$function: $((total / calls)) instructions a call over $calls calls"
  done
  rm -rf "$out"
fi
