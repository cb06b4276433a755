#!/usr/bin/env bash
# Makes the two packages in dist/:
#   mirutone-VERSION-windows-x64.zip   mirutone.exe, 使い方.txt, verify-on-windows.vbs
#   mirutone_VERSION_amd64.deb          the program, a desktop entry, the icon, the docs
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(mirutone VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
mkdir -p dist

bash scripts/build.sh
(cd build/release && cpack -G DEB -B "$PWD/../../dist" >/dev/null)
rm -rf dist/_CPack_Packages

exe=$(bash scripts/build-windows.sh | tail -n 1)
stage=build/windows/package/mirutone-$version
rm -rf "$stage" && mkdir -p "$stage"
cp "$exe" "$stage/mirutone.exe"
x86_64-w64-mingw32-strip "$stage/mirutone.exe"
# Notepad on older Windows reads a guide without a BOM as the ANSI code page.
{ printf '\xef\xbb\xbf'; sed 's/$/\r/' packaging/使い方.txt; } >"$stage/使い方.txt"
sed 's/\r*$/\r/' docs/verify-on-windows.vbs >"$stage/verify-on-windows.vbs"
zip_path="$PWD/dist/mirutone-$version-windows-x64.zip"
rm -f "$zip_path"
# Names stored as UTF-8 with the archive's UTF-8 flag, which Windows 10 and
# 11 (and 7-Zip) honour for 使い方.txt.
python3 - "$stage" "$zip_path" <<'PY'
import os, sys, zipfile
stage, out = sys.argv[1], sys.argv[2]
top = os.path.basename(stage)
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for name in sorted(os.listdir(stage)):
        z.write(os.path.join(stage, name), f"{top}/{name}")
PY
ls -l dist/mirutone_"$version"_amd64.deb "$zip_path"
