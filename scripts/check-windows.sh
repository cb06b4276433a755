#!/usr/bin/env bash
# Cross-builds mirutone.exe and the test suites for Windows and runs them
# under Wine (a prefix of our own in build/windows, made once), one Wine start
# per test program; then converts a sample with both builds and compares the
# outputs. Needs the Linux build in build/release (scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
exe=$(bash scripts/build-windows.sh --tests | tail -n 1)
bash scripts/wine-run.sh --init
status=0
ctest --test-dir build/windows --output-on-failure -j2 || status=1
bash scripts/compare-windows-conversion.sh "$PWD/build/release/src/mirutone" "$exe" || status=1
echo "check-windows: $(( $(date +%s) - start )) s"
exit $status
