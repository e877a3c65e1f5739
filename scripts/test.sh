#!/usr/bin/env bash
# Builds the game with every test (installing what it needs) and runs them all: once as a normal
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer, once with clang and libc++
# without the Qt window, the browser page in headless Chromium, the Windows program under Wine,
# then a one-minute fuzz run of the script reader and driver. Prints CTest's summary for each
# build; fails if any part fails.
#
# Longer runs, by hand:
#   FARVANE_SOAK_EVENTS=5000000 build-test/tests/soak/soak_tests      (a few minutes; any seed via
#                                                                    FARVANE_SOAK_SEED)
#   build-fuzz/fuzz/script_fuzzer -max_total_time=3600 -dict=fuzz/script.dict -timeout=10 \
#       fuzz/corpus-local fuzz/corpus                                 (an hour; new finds land in
#                                                                    fuzz/corpus-local)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/deps.sh test || exit 1
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
failed=()
summaries=()

# Sanitizer reports end the run at the first fault. LeakSanitizer stays on; what it finds inside
# the system's Qt and font libraries is suppressed by name in the file below, nothing more.
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# The sanitizers split their options at blanks and colons, so the file goes through a copy at a
# plain path, whatever the folder this runs from is called.
lsan_suppressions=$(mktemp)
trap 'rm -f "$lsan_suppressions"' EXIT
cp tests/soak/lsan.supp "$lsan_suppressions"
export LSAN_OPTIONS=suppressions=$lsan_suppressions:print_suppressions=0

# run_build PRESET DIR: configure with the preset (CMakePresets.json), build everything, run CTest.
run_build() {
  local preset=$1 dir=$2
  echo "==== $dir: configure and build"
  if ! cmake --preset "$preset" ||
     ! cmake --build "$dir" -j "$jobs"; then
    failed+=("$dir (build)")
    summaries+=("$dir: build failed")
    return
  fi
  echo "==== $dir: tests"
  local log=$dir/ctest.log
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  [ "$status" -eq 0 ] || failed+=("$dir (tests)")
  summaries+=("$dir: $(grep -E 'tests passed|tests failed' "$log" | tail -n 1)")
}

run_build normal build-test
run_build asan build-asan
# Everything but the Qt host with clang's own C++ library, as the browser build's toolchain has it.
run_build libcxx build-libcxx

# run_host DIR LOG BUILD TEST...: builds a host with the command BUILD, then runs TEST..., whose
# output goes to DIR/LOG and whose closing line ("NAME: N passed, N failed") is the summary.
run_host() {
  local dir=$1 log=$1/$2 build=$3
  shift 3
  rm -f "$log"
  if $build; then
    "$@" 2>&1 | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || failed+=("$dir (tests)")
    summaries+=("$dir: $(grep -E '^[a-z]+: [0-9]+ passed' "$log" | tail -n 1)")
  else
    failed+=("$dir (build)")
    summaries+=("$dir: build failed")
  fi
}

# The browser page: built with emscripten into build-web/, played in headless Chromium and
# compared with what build-test's farvane draws and dumps for the same events. Debian's python3,
# which has Debian's Selenium, whatever other python comes first on the PATH.
echo "==== build-web: build and browser tests"
run_host build-web web.log "scripts/web.sh --build-only" \
  /usr/bin/python3 tests/web/page_test.py --site build-web/site --farvane build-test/farvane

# The Windows program: cross-built with MinGW-w64 into build-windows/ with its zip and installer,
# and run under Wine, each replay script and output file against what build-test's farvane does;
# the test builds it a second time to find the same bytes.
echo "==== build-windows: cross-build and tests under Wine"
run_host build-windows wine.log "scripts/windows.sh" \
  /usr/bin/python3 tests/windows/wine_test.py --farvane build-test/farvane --exe build-windows/farvane.exe

# The fuzzer: its own clang build with libFuzzer, a minute from the seed corpus into a scratch
# directory, so the checked-in corpus stays as it is.
echo "==== build-fuzz: configure, build and a one-minute run"
fuzz_corpus=$(mktemp -d)
if cmake --preset fuzz &&
   cmake --build build-fuzz -j "$jobs" --target script_fuzzer; then
  build-fuzz/fuzz/script_fuzzer -max_total_time=60 -dict=fuzz/script.dict -max_len=8192 -timeout=10 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/ "$fuzz_corpus" fuzz/corpus 2>&1 | tee build-fuzz/fuzz.log |
    grep -vE '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)'
  if [ "${PIPESTATUS[0]}" -eq 0 ]; then
    summaries+=("build-fuzz: no finding in $(sed -n 's/^stat::number_of_executed_units: *//p' build-fuzz/fuzz.log) runs")
  else
    failed+=("build-fuzz (finding, see build-fuzz/crash-*)")
    summaries+=("build-fuzz: FINDING, the input is saved as build-fuzz/crash-* or similar")
  fi
else
  failed+=("build-fuzz (build)")
  summaries+=("build-fuzz: build failed")
fi
rm -rf "$fuzz_corpus"

echo "==== summary"
printf '%s\n' "${summaries[@]}"
# One closing count over the three CTest runs, the browser and the Windows tests: "N passed, N failed".
total=0 bad=0
for log in build-test/ctest.log build-asan/ctest.log build-libcxx/ctest.log; do
  line=$(grep -E 'tests failed out of' "$log" 2>/dev/null | tail -n 1)
  [ -n "$line" ] || continue
  total=$((total + $(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")))
  bad=$((bad + $(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")))
done
for log in build-web/web.log build-windows/wine.log; do
  line=$(grep -E '^[a-z]+: [0-9]+ passed, [0-9]+ failed' "$log" 2>/dev/null | tail -n 1) || continue
  passed=$(sed -E 's/^[a-z]+: ([0-9]+) passed.*/\1/' <<<"$line")
  log_bad=$(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$line")
  total=$((total + passed + log_bad))
  bad=$((bad + log_bad))
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  echo "tests: $((total - bad)) passed, $bad failed"
  exit 1
fi
echo "tests: $((total - bad)) passed, $bad failed"
