#!/usr/bin/env bash
# Sets up, builds and runs every test: the optimised build with the window,
# then the engine's suites again under AddressSanitizer and UBSan, then a short
# fuzzing smoke run of the reader.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/check-includes.sh
bash scripts/build.sh

if [ ! -d ../shared/testdata ]; then
  echo "note: ../shared/testdata is absent; the sample-file tests will say they are skipped"
fi

status=0
log=build/check-ctest.log
: > "$log"
ctest --test-dir build/release --output-on-failure -j2 2>&1 | tee -a "$log" || status=1

# The engine under the sanitizers (no window, no benchmarks).
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMIRUTONE_SANITIZE=ON \
  -DMIRUTONE_UI=OFF -DMIRUTONE_BENCH=OFF >/dev/null
ninja -C build/asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j2 -LE slow 2>&1 | tee -a "$log" || status=1

# The Windows build: the engine, layer, builders and conversion suites
# cross-built and run under Wine, one Wine start per test program.
bash scripts/check-windows.sh 2>&1 | tee -a "$log" || status=1

if [ -x scripts/fuzz-smoke.sh ]; then
  bash scripts/fuzz-smoke.sh || status=1
fi
# One closing line over both test runs.
total=$(grep -Eo 'tests failed out of [0-9]+' "$log" | awk '{s += $5} END {print s + 0}')
failed=$(grep -Eo '[0-9]+ tests failed out of' "$log" | awk '{s += $1} END {print s + 0}')
[ "$total" -gt 0 ] || status=1
[ "$failed" -eq 0 ] || status=1
echo "check: $((total - failed)) passed, $failed failed"
exit $status
