#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, headless and quiet:
# no debug chatter, no Mono or Gecko installer dialogs, and a prefix of our
# own under build/ (made on first use; two runs at once wait for each other).
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
#   scripts/wine-run.sh --init          # only make the prefix
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${MIRUTONE_WINEPREFIX:-$here/build/windows/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
wine="${MIRUTONE_WINE:-}"
if [ -z "$wine" ]; then
  for w in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [ -n "$w" ] && [ -x "$w" ]; then wine="$w"; break; fi
  done
fi
[ -n "$wine" ] || { echo "wine-run: no wine64 found (scripts/setup.sh installs it)" >&2; exit 127; }
server="$(dirname "$wine")/wineserver"
[ -x "$server" ] || server="$(command -v wineserver || echo wineserver)"

mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot -i >/dev/null 2>&1 || true
    "$server" -w || true
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wine-run: could not make the prefix $WINEPREFIX" >&2; exit 1; }
  fi
) 9>"$WINEPREFIX.lock"

if [ "${1:-}" = "--init" ]; then exit 0; fi
# A Windows program that hangs under Wine must not hang the check: after
# MIRUTONE_WINE_TIMEOUT seconds (default 600) it is stopped (under Wine the
# Windows process is this Unix process), and the run fails with 124 as
# timeout(1) does. Other programs in the prefix, a parallel test, run on.
status=0
timeout -k 10 "${MIRUTONE_WINE_TIMEOUT:-600}" "$wine" "$@" || status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  echo "wine-run: $1 did not end within ${MIRUTONE_WINE_TIMEOUT:-600} s; stopped" >&2
  exit 124
fi
exit "$status"
