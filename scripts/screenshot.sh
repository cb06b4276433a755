#!/usr/bin/env bash
# Pictures of the window for the documentation, taken on a virtual X display:
#   docs/window.png          the window as it opens;
#   docs/window-running.png  the window during a run on a sample database;
#   docs/window-completed.png  the window after that run, with its summary;
#   docs/window-failed.png   the window after a run on a file that is not a
#                            database, with the cause.
# The window grabs itself (MIRUTONE_SCREENSHOT, MIRUTONE_SCREENSHOT_RUNNING,
# MIRUTONE_SCREENSHOT_ENDED).
# Needs xvfb (scripts/setup.sh) and a built tree; MIRUTONE_BIN names another binary.
set -euo pipefail
cd "$(dirname "$0")/.."

bin=${MIRUTONE_BIN:-build/release/src/mirutone}
if [ ! -x "$bin" ]; then
  echo "screenshot.sh: no $bin; build first (scripts/build.sh) or set MIRUTONE_BIN" >&2
  exit 1
fi
bin=$(realpath "$bin")
command -v xvfb-run >/dev/null || { echo "screenshot.sh: xvfb-run is missing (apt-get install xvfb xauth)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p docs

on_display() {
  # 96 dpi, so the layout comes out at 15 twips to a pixel.
  env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work" \
    timeout 300 xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" "$@"
}

on_display env MIRUTONE_SCREENSHOT="$PWD/docs/window.png" "$bin"

# Enough daily rows that the daily-data step reports its progress.
mkdir -p "$work/plant"
"$bin" make-sample "$work/plant/管理報.mdb" --tags 60 --days 40 >/dev/null
on_display env MIRUTONE_SCREENSHOT_RUNNING="$PWD/docs/window-running.png" \
  MIRUTONE_SCREENSHOT_SOURCE="$work/plant/管理報.mdb" "$bin"

on_display env MIRUTONE_SCREENSHOT_ENDED="$PWD/docs/window-completed.png" \
  MIRUTONE_SCREENSHOT_SOURCE="$work/plant/管理報.mdb" "$bin"
mkdir -p "$work/other"
echo "not a database" >"$work/other/管理報.mdb"
on_display env MIRUTONE_SCREENSHOT_ENDED="$PWD/docs/window-failed.png" \
  MIRUTONE_SCREENSHOT_SOURCE="$work/other/管理報.mdb" "$bin"

ls -l docs/window.png docs/window-running.png docs/window-completed.png docs/window-failed.png
