#!/usr/bin/env bash
# The whole conversion of a large generated source, timed beside mdb-export
# reading the same source tables to CSV.
#   bench/run-convert-bench.sh [--tags N] [--days N]     (default 2,000 tags, 1,096 days)
# Prints rows/s for both, their ratio and the conversion's peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
tags=2000
days=1096
while [[ $# -gt 0 ]]; do
  case "$1" in
    --tags) tags="$2"; shift 2 ;;
    --days) days="$2"; shift 2 ;;
    *) echo "usage: $0 [--tags N] [--days N]" >&2; exit 2 ;;
  esac
done
build="${BUILD_DIR:-build-bench}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRUTONE_UI=OFF \
  -DMIRUTONE_TESTS=OFF -DMIRUTONE_BENCH=ON >/dev/null
ninja -C "$build" -j2 mirutone >/dev/null
bin="$(pwd)/$build/src/mirutone"
work="${BENCH_DIR:-$build/convert-bench}"
rm -rf "$work"
mkdir -p "$work"
src="$work/管理報.mdb"
"$bin" make-sample "$src" --tags "$tags" --days "$days"
ls -l "$src" | awk '{printf "source: %.1f MB\n", $5 / 1048576}'

tables=(TAG情報マスター パルステーブル 日報ページタイトル 月報ページタイトル 年報ページタイトル
        日報出力ページ 月報出力ページ 年報出力ページ 日報情報 月報情報 年報情報
        大項目情報 中項目情報 小項目情報 単位情報 日報データ情報 月報データ情報 年報データ情報)
rows=0
start=$(date +%s.%N)
for t in "${tables[@]}"; do
  n=$(MDB_JET3_CHARSET=CP932 mdb-export "$src" "$t" | wc -l)
  rows=$((rows + n - 1))
done
end=$(date +%s.%N)
export_s=$(echo "$end - $start" | bc -l)

start=$(date +%s.%N)
/usr/bin/time -f "%M" -o "$work/time.txt" "$bin" convert "$src" --yes >"$work/convert.log"
end=$(date +%s.%N)
convert_s=$(echo "$end - $start" | bc -l)
peak_kib=$(tail -1 "$work/time.txt")
ls -l "$work/Ruzevuz.mdb" "$work/NVData.mdb" | awk '{printf "output: %s %.1f MB\n", $NF, $5 / 1048576}'

printf 'source rows:            %d\n' "$rows"
printf 'mdb-export (read only): %.1f s, %.0f rows/s\n' "$export_s" "$(echo "$rows / $export_s" | bc -l)"
printf 'mirutone convert:       %.1f s, %.0f rows/s\n' "$convert_s" "$(echo "$rows / $convert_s" | bc -l)"
printf 'ratio:                  %.2fx mdb-export\n' "$(echo "$export_s / $convert_s" | bc -l)"
printf 'peak memory (convert):  %.1f MiB\n' "$(echo "$peak_kib / 1024" | bc -l)"
