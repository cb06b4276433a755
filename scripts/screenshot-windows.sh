#!/usr/bin/env bash
# The picture of the Windows window for the README (docs/window-windows.png):
# mirutone.exe of the cross build under Wine on a virtual X display saves its
# own window (MIRUTONE_SCREENSHOT) as BMP, which becomes a PNG. Wine is told
# to draw the window's frame itself, as there is no window manager, and to
# take a Japanese face for the caption where its own has no kana.
#   bash scripts/screenshot-windows.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/window-windows.png}"
exe=$(bash scripts/build-windows.sh | tail -n 1)
# A prefix of its own, so that the settings below stay out of the test suites' prefix.
export MIRUTONE_WINEPREFIX="${MIRUTONE_WINEPREFIX:-$PWD/build/windows/wineprefix-screenshot}"
bash scripts/wine-run.sh --init
bash scripts/wine-run.sh reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null
bash scripts/wine-run.sh reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Tahoma /t REG_SZ /d "Noto Sans CJK JP" /f >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
MIRUTONE_SCREENSHOT="Z:${tmp//\//\\}\\window.bmp" MIRUTONE_WINE_TIMEOUT=120 \
  xvfb-run -a -s "-screen 0 1024x768x24" bash scripts/wine-run.sh "$exe" 2>/dev/null
python3 scripts/bmp-to-png.py "$tmp/window.bmp" "$out"
echo "$out"
