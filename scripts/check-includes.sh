#!/usr/bin/env bash
# The engine's insides stay inside: code outside src/db/jet/ (the rest of
# src/, the benchmarks, the fuzz targets) includes only the engine's public
# face, src/db/jet/api/. Tests of the engine may look further in; they are
# not checked. Prints each offending line and fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
bad=$(grep -rnE '^\s*#\s*include\s+"db/jet/' src bench fuzz --include='*.cc' --include='*.h' --include='*.inc' \
  | grep -v '^src/db/jet/' | grep -vE '#\s*include\s+"db/jet/api/' || true)
if [ -n "$bad" ]; then
  echo "check-includes: only db/jet/api/ may be included from outside the engine:" >&2
  echo "$bad" >&2
  exit 1
fi
echo "check-includes: the engine's internal headers are included only inside it"
