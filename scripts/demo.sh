#!/usr/bin/env bash
# Sets up, builds the program alone (not the tests or benchmarks), makes a
# sample old management database and converts it, then shows what came out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build/release mirutone
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
echo "Units, through the stored query M_UNITGET (row 1 is the seed row):"
"$bin" query "$out/Ruzevuz.mdb" M_UNITGET
echo
echo "Page 1 of the daily report, through 日報情報ページ単位抽出 with Set_Date=1:"
"$bin" query "$out/Ruzevuz.mdb" 日報情報ページ単位抽出 --param Set_Date=1 >"$out/page1.txt"
head -8 "$out/page1.txt"
