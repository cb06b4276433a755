#!/usr/bin/env bash
# The whole conversion of large generated sources, each timed beside
# mdb-export reading the same source tables to CSV, in one run.
#   bench/run-convert-bench.sh [--tags N] [--daily M ...]
#     --tags N      tags of each source (default 2,000)
#     --daily M     daily rows of a source, in millions; repeat for several
#                   sizes (default 0.5 and 2). A source is one Jet 3 file of at
#                   most 1 GB: 3 M daily rows is the most a sample can hold.
# Prints, per source: rows, both times, their ratio (convert / mdb-export, the
# smaller the better), the conversion's peak memory and its time per million
# rows (the same figure at every size means time grows linearly with rows).
# Not part of CI: a 2 M source alone takes a minute or two.
set -euo pipefail
cd "$(dirname "$0")/.."
tags=2000
sizes=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --tags) tags="$2"; shift 2 ;;
    --daily) sizes+=("$2"); shift 2 ;;
    *) echo "usage: $0 [--tags N] [--daily MILLIONS ...]" >&2; exit 2 ;;
  esac
done
[[ ${#sizes[@]} -gt 0 ]] || sizes=(0.5 2)
build="${BUILD_DIR:-build-bench}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRUTONE_UI=OFF \
  -DMIRUTONE_TESTS=OFF -DMIRUTONE_BENCH=ON >/dev/null
ninja -C "$build" -j2 mirutone >/dev/null
bin="$(pwd)/$build/src/mirutone"
work="${BENCH_DIR:-$build/convert-bench}"
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"

tables=(TAG情報マスター パルステーブル 日報ページタイトル 月報ページタイトル 年報ページタイトル
        日報出力ページ 月報出力ページ 年報出力ページ 日報情報 月報情報 年報情報
        大項目情報 中項目情報 小項目情報 単位情報 日報データ情報 月報データ情報 年報データ情報)
results=()
for m in "${sizes[@]}"; do
  days=$(echo "($m * 1000000 + $tags - 1) / $tags" | bc)
  dir="$work/$m"
  rm -rf "$dir"
  mkdir -p "$dir"
  src="$dir/管理報.mdb"
  "$bin" make-sample "$src" --tags "$tags" --days "$days"
  ls -l "$src" | awk '{printf "source: %.1f MB\n", $5 / 1048576}'

  rows=0
  start=$(date +%s.%N)
  for t in "${tables[@]}"; do
    n=$(MDB_JET3_CHARSET=CP932 mdb-export "$src" "$t" | wc -l)
    rows=$((rows + n - 1))
  done
  end=$(date +%s.%N)
  export_s=$(echo "$end - $start" | bc -l)

  start=$(date +%s.%N)
  /usr/bin/time -f "%M" -o "$dir/time.txt" "$bin" convert "$src" --yes >"$dir/convert.log"
  end=$(date +%s.%N)
  convert_s=$(echo "$end - $start" | bc -l)
  peak_kib=$(tail -1 "$dir/time.txt")
  ls -l "$dir/Ruzevuz.mdb" "$dir/NVData.mdb" | awk '{printf "output: %s %.1f MB\n", $NF, $5 / 1048576}'
  results+=("$(printf '%-6s %10d %8.1f %8.1f %7.2f %8.1f %10.2f' "${m}M" "$rows" "$export_s" "$convert_s" \
    "$(echo "$convert_s / $export_s" | bc -l)" "$(echo "$peak_kib / 1024" | bc -l)" \
    "$(echo "$convert_s * 1000000 / $rows" | bc -l)")")
  rm -f "$src" "$dir/Ruzevuz.mdb" "$dir/NVData.mdb"
done

echo
echo "daily  source rows  export s  convert s  ratio  peak MiB  s per M rows"
for r in "${results[@]}"; do echo "$r"; done
echo "ratio: the conversion's time over mdb-export's (read only); peak: the conversion's resident memory"
