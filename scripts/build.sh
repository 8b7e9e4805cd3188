#!/usr/bin/env bash
# Configures and builds the project into build/ (Release with debug info).
# QB_BUILD_TESTS=OFF builds the program alone, without the test packages.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_BUILD_TESTS="${QB_BUILD_TESTS:-ON}" >/dev/null
cmake --build "$build" -j"${QB_JOBS:-2}" "$@"
