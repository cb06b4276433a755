#!/usr/bin/env bash
# Cross-compiles mirutone.exe (Windows x64) with Debian's mingw-w64 into
# build/windows and prints its path as the last line.
#   bash scripts/build-windows.sh            # the program
#   bash scripts/build-windows.sh --tests    # the program and the test suites
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(mirutone)
tests=OFF
if [ "${1:-}" = "--tests" ]; then tests=ON; targets=(all); fi
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DMIRUTONE_UI=OFF -DMIRUTONE_BENCH=OFF -DMIRUTONE_TESTS=$tests >/dev/null
ninja -C build/windows -j"${MIRUTONE_JOBS:-2}" "${targets[@]}" >&2
exe="$PWD/build/windows/src/mirutone.exe"
[ -f "$exe" ] || { echo "build-windows: $exe was not built" >&2; exit 1; }
echo "$exe"
