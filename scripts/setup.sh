#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian 12.
# Safe to run again: apt and npm skip what is already there.
set -euo pipefail
cd "$(dirname "$0")/.."

APT_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
  gettext
  mdbtools
  xvfb xauth fonts-noto-cjk
  bc time
)

need_apt=0
for p in "${APT_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    need_apt=1; break
  fi
done
if [ "$need_apt" = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${APT_PACKAGES[@]}"
fi

# Node.js: the machine image may already carry its own build; take Debian's only
# when there is none.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends nodejs npm
fi

# mdb-reader is the second independent reader the oracle tests use.
if [ ! -d tests/oracle/node_modules/mdb-reader ]; then
  (cd tests/oracle && npm ci --no-audit --no-fund --loglevel=error)
fi
