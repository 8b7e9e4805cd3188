#!/usr/bin/env bash
# What the export's progress bar sends to a terminal for a flat database of
# N items (default 20,000): redraws and bytes, under `script` as a terminal.
#   bench/progress-redraws.sh [N] [QUILLBOOK]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
n="${1:-20000}"
exe="${2:-$root/build/out/quillbook}"
work="$(mktemp -d /tmp/quillbook-progress-XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src"
(cd "$work/src" && seq 1 "$n" | xargs mkdir)
"$exe" -q db import "$work/src" "$work/db.kvdb"
start=$(date +%s.%N)
script -qec "'$exe' export --db '$work/db.kvdb' --whole --out '$work/out' --set RemoveTempFiles=false" "$work/tty.log" >/dev/null
end=$(date +%s.%N)
echo "progress_items: $n items"
echo "progress_seconds: $(echo "$end - $start" | bc) s"
echo "progress_redraws: $(grep -o $'\r\\[' "$work/tty.log" | wc -l) redraws"
echo "progress_bytes: $(stat -c %s "$work/tty.log") bytes"
