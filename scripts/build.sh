#!/usr/bin/env bash
# Configures and builds the optimised tree in build/release (after set-up).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build/release
