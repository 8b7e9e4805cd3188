#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent: packages already present are skipped, apt is only asked for the rest.
set -euo pipefail

PACKAGES=(
  build-essential g++ cmake pkg-config ninja-build
  libgtest-dev libgmock-dev
  libpugixml-dev libsqlite3-dev libcli11-dev libicu-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fp-utils-3.2.2
  libchm-dev libchm-bin libmspack-dev p7zip-full python3-chm
  libreoffice-writer-nogui python3-uno
  fonts-liberation2 fonts-dejavu-core
  chromium xsltproc
  clang libclang-rt-14-dev
  unrtf
  imagemagick python3
  wine wine64 g++-mingw-w64-x86-64 xvfb xauth
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
