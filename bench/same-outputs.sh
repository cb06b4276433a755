#!/usr/bin/env bash
# Whether two conversions wrote the same files: "Ruzevuz.mdb" and "NVData.mdb"
# of folder A against those of folder B, byte for byte, except for the bytes
# that hold the moment of the run (DateCreate and DateUpdate of the catalog's
# rows, on the data pages of MSysObjects, whose definition is on page 2).
#   bench/same-outputs.sh A B      exit status 0 when they are the same
set -euo pipefail
[[ $# -eq 2 ]] || { echo "usage: $0 FOLDER_A FOLDER_B" >&2; exit 2; }
page=2048
status=0
u8() { od -An -tu1 -j "$2" -N1 "$1" | tr -d ' '; }
u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
for name in Ruzevuz.mdb NVData.mdb; do
  a="$1/$name" b="$2/$name"
  if [[ $(stat -c %s "$a") != $(stat -c %s "$b") ]]; then
    echo "$name: sizes differ ($(stat -c %s "$a") and $(stat -c %s "$b") bytes)"
    status=1
    continue
  fi
  declare -A catalog=()
  bad=0
  while read -r offset _ _; do
    p=$(((offset - 1) / page))
    if [[ -z "${catalog[$p]:-}" ]]; then
      catalog[$p]=no
      if [[ $(u8 "$a" $((p * page))) == 1 && $(u32 "$a" $((p * page + 4))) == 2 ]]; then catalog[$p]=yes; fi
    fi
    if [[ ${catalog[$p]} == no ]]; then
      ((bad < 10)) && echo "$name: byte $((offset - 1)) (page $p) differs"
      bad=$((bad + 1))
    fi
  done < <(cmp -l "$a" "$b" || true)
  unset catalog
  if ((bad > 0)); then
    echo "$name: $bad bytes differ outside the catalog's timestamps"
    status=1
  else
    echo "$name: same"
  fi
done
exit $status
