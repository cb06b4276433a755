#!/usr/bin/env bash
# Builds the read benchmark in build-bench (optimised, no sanitizers) and runs it.
#   bench/run-read-bench.sh [--repeat N] [--no-mdbtools]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build-bench}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRUTONE_UI=OFF \
  -DMIRUTONE_TESTS=OFF -DMIRUTONE_BENCH=ON >/dev/null
ninja -C "$build" -j2 read_bench
"$build/bench/read_bench" "$@"
