#!/usr/bin/env bash
# Installs the Debian packages the program needs to build and run; with
# --tests also those the tests and the benchmarks need.
# Idempotent: packages already present are skipped, apt is only asked for the rest.
#   scripts/install-deps.sh           build and run (scripts/run-sample.sh)
#   scripts/install-deps.sh --tests   and the test suite (scripts/test.sh; it adds --windows itself)
#   scripts/install-deps.sh --windows the Windows cross-build (scripts/build-windows.sh)
set -euo pipefail

# Build and run: compiler, libraries, the wizard's toolkit and fonts.
PACKAGES=(
  build-essential g++ cmake pkg-config ninja-build
  libpugixml-dev libsqlite3-dev libcli11-dev libicu-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-liberation2 fonts-dejavu-core
)

# Tests and benchmarks: test framework, help-file readers and viewers (scripts/viewer-screenshots.sh),
# office, browser, fuzzing, packaging.
TEST_PACKAGES=(
  libgtest-dev libgmock-dev
  dpkg-dev binutils debhelper devscripts lintian bash-completion
  fp-utils-3.2.2
  libchm-dev libchm-bin libmspack-dev p7zip-full python3-chm
  libreoffice-writer-nogui python3-uno
  chromium xsltproc
  clang libclang-rt-14-dev
  unrtf
  imagemagick python3 fonts-wqy-microhei
  nodejs
  wine wine64 g++-mingw-w64-x86-64 xvfb xauth locales
  xchm kchmviewer xdotool
)

# The Windows cross-build: MinGW-w64 for both targets (posix threads), Wine to
# run the tests, what building Debian's source packages needs, and NSIS for
# the installer.
WINDOWS_PACKAGES=(
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine64 dpkg-dev tcl zip python3 libcli11-dev cmake ninja-build ccache nsis
  icu-devtools xvfb locales
)

wanted=("${PACKAGES[@]}")
tests=false
windows=false
case "${1:-}" in
  --tests) wanted+=("${TEST_PACKAGES[@]}"); tests=true ;;
  --windows) wanted=("${WINDOWS_PACKAGES[@]}"); windows=true ;;
  "") ;;
  *) echo "usage: $0 [--tests | --windows]" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# npm comes with some builds of nodejs; Debian's own nodejs needs the npm package.
if $tests && { ! command -v npm >/dev/null 2>&1 || [[ " ${missing[*]} " == *" nodejs "* ]]; }; then
  missing+=(npm)
fi
# The Windows build takes its third-party libraries from Debian's source packages.
src_list=/etc/apt/sources.list.d/quillbook-src.sources
need_update=false
if $windows && ! grep -rqs '^\(Types: deb-src\|deb-src \)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/debian" "Suites: bookworm bookworm-updates" \
    "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" | $SUDO tee "$src_list" >/dev/null
  need_update=true
fi
if $need_update && [ ${#missing[@]} -eq 0 ]; then $SUDO apt-get update -qq; fi
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
else
  echo "install-deps: installing ${missing[*]}"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine takes its ANSI code page from the locale, and reads arguments and file
# names in the locale's character set only when the locale exists: the exports
# under Wine run in German (1252), Chinese (936) and Hindi (UTF-8, 65001).
if $tests || $windows; then
  for l in de_DE zh_CN hi_IN; do
    if ! locale -a 2>/dev/null | grep -qix "$l.utf8"; then
      $SUDO localedef -i "$l" -f UTF-8 "$l.UTF-8" || locale -a | grep -qix "$l.utf8"
    fi
  done
fi

# Tests: axe-core, run in Chromium against the generated website.
root="$(cd "$(dirname "$0")/.." && pwd)"
if $tests && [ ! -f "$root/tests/site/node_modules/axe-core/axe.min.js" ]; then
  npm install --prefix "$root/tests/site" --no-audit --no-fund --loglevel=error
fi
