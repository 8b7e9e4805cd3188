#!/usr/bin/env bash
# The Windows part of the suite: cross-builds (scripts/build-windows.sh), checks
# the built files from the Linux build (ctest -L windows), then runs every
# cross-built test program under wine64 in a fresh Wine prefix.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
out="${QB_WINDOWS_BUILD_DIR:-$root/build-windows}"
jobs="${QB_JOBS:-2}"

bash "$root/scripts/build-windows.sh"

status=0
(cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 600 -L windows) || status=1

prefix_dir="$(mktemp -d "${TMPDIR:-/tmp}/quillbook-wine-XXXXXX")"
export WINEPREFIX="$prefix_dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$prefix_dir"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
wineserver -w
# One server for the whole run, started here: one started by the first test
# would hold that test's output pipe open, and ctest would wait for it.
wineserver -p
(cd "$out/x86_64" && ctest --output-on-failure -j"$jobs" --timeout 600) || status=1
exit $status
