#!/usr/bin/env bash
# Builds everything and runs the whole test suite (unit, golden-file, end-to-end).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh" --tests
QB_BUILD_TESTS=ON bash "$root/scripts/build.sh"
cd "$build"
ctest --output-on-failure -j"${QB_JOBS:-2}" --timeout 600
