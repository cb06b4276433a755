#!/usr/bin/env bash
# Sets up, builds, makes a sample old management database and converts it,
# then shows what came out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
out=build/demo
rm -rf "$out"
mkdir -p "$out"
bin=build/release/src/mirutone
"$bin" make-sample "$out/管理報.mdb"
"$bin" convert "$out/管理報.mdb" --yes
echo
echo "== $out/Ruzevuz.mdb"
"$bin" inspect "$out/Ruzevuz.mdb" | grep -E '^(Format|Code page|Sort order|Table|Query)' || true
echo
echo "== $out/NVData.mdb"
"$bin" inspect "$out/NVData.mdb" | grep -E '^(Format|Code page|Sort order|Table|Query)' || true
echo
echo "The first tags of M_TAG:"
"$bin" inspect "$out/Ruzevuz.mdb" --table M_TAG --json | head -c 600; echo
