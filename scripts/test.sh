#!/usr/bin/env bash
# Builds everything and runs the whole test suite (unit, golden-file, end-to-end).
# With QB_WINDOWS_TESTS=1 it then cross-builds for Windows and runs that part
# under Wine; left out by default, as a cold cross-build of the third-party
# libraries takes far longer than the rest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh" --tests
QB_BUILD_TESTS=ON bash "$root/scripts/build.sh"
status=0
(cd "$build" && ctest --output-on-failure -j"${QB_JOBS:-2}" --timeout 600 -LE windows) || status=1
if [ "${QB_WINDOWS_TESTS:-0}" = 1 ]; then
  bash "$root/scripts/test-windows.sh" || status=1
else
  echo "test: Windows build and tests skipped (QB_WINDOWS_TESTS=1 runs them)"
fi
exit $status
