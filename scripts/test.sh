#!/usr/bin/env bash
# Builds everything and runs the whole test suite (unit, golden-file, end-to-end),
# then cross-builds for Windows and runs that part under Wine.
#   QB_WINDOWS_TESTS=0            leave the Windows part out
#   QB_WINDOWS_ARCHS="i686 x86_64" also build the shipped 32-bit files and check
#                                 them (default: x86_64, the build the tests run)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh" --tests
QB_BUILD_TESTS=ON bash "$root/scripts/build.sh"
status=0
(cd "$build" && ctest --output-on-failure -j"${QB_JOBS:-2}" --timeout 600 -LE windows) || status=1
if [ "${QB_WINDOWS_TESTS:-1}" = 1 ]; then
  QB_WINDOWS_ARCHS="${QB_WINDOWS_ARCHS:-x86_64}" bash "$root/scripts/test-windows.sh" || status=1
else
  echo "test: Windows build and tests left out (QB_WINDOWS_TESTS=0)"
fi
exit $status
