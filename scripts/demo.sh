#!/usr/bin/env bash
# Sets up, builds, and runs mirutone on a sample it makes itself.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
out=build/demo
rm -rf "$out"
mkdir -p "$out"
bin=build/release/src/mirutone
"$bin" make-sample "$out/sample.mdb"
"$bin" inspect "$out/sample.mdb"
