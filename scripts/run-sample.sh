#!/usr/bin/env bash
# The main job on a fresh machine: install what the program needs, build it,
# import the bundled sample database and export all of it to a compiled help file.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh"
QB_BUILD_TESTS=OFF bash "$root/scripts/build.sh"
out="$build/sample-export"
rm -rf "$out"
"$build/out/quillbook" db import "$root/examples/sample" "$build/sample.kvdb"
"$build/out/quillbook" export --db "$build/sample.kvdb" --whole --out "$out" "$@"
echo
echo "Result: $out"
ls -l "$out"
