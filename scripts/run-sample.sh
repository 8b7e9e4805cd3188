#!/usr/bin/env bash
# The main job on a fresh machine: install what is missing, build, import the
# bundled sample database and export all of it to a compiled help file.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
out="$build/sample-export"
rm -rf "$out"
"$build/out/quillbook" db import "$root/examples/sample" "$build/sample.kvdb"
"$build/out/quillbook" export --db "$build/sample.kvdb" --whole --out "$out" --method 0 "$@"
echo
echo "Result: $out"
ls -l "$out"
