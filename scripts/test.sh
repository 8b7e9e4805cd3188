#!/usr/bin/env bash
# Builds everything and runs the whole test suite (unit, golden-file, end-to-end),
# then cross-builds for Windows and runs that part under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh" --tests
QB_BUILD_TESTS=ON bash "$root/scripts/build.sh"
status=0
(cd "$build" && ctest --output-on-failure -j"${QB_JOBS:-2}" --timeout 600 -LE windows) || status=1
# Then the Windows build and its tests under Wine.
bash "$root/scripts/test-windows.sh" || status=1
exit $status
