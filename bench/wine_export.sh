#!/usr/bin/env bash
# The same export of N items (default 10,000; ten per folder, a short RTF note
# each) with the Linux command line and with quillbook.exe under wine64, one
# after the other on the same database file. Prints one line per figure.
#   bench/wine_export.sh [ITEMS]
# QB_BENCH_SETTLE (seconds, default 65) is the pause between the runs.
# A third run has Wine's server and the program share one core (taskset -c 0):
# on a virtual machine each request to the server otherwise wakes another,
# halted, virtual CPU; the difference is that wake-up's share of the time.
# Needs the Linux build (QB_BUILD_DIR, default build/) and the Windows one
# (scripts/build-windows.sh; QB_WINDOWS_BUILD_DIR, default build-windows/).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
win="${QB_WINDOWS_BUILD_DIR:-$root/build-windows}/x86_64/out"
items="${1:-10000}"
work="$(mktemp -d "${TMPDIR:-/tmp}/qb-wine-bench-XXXXXX")"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' SOURCE_DATE_EPOCH=315619200
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

python3 - "$work/src" "$items" <<'PY'
import os, sys
root, items = sys.argv[1], int(sys.argv[2])
os.makedirs(root)
# Breadth first, ten children per item: item n lives below item (n - 1) // 10.
paths = {0: root}
for n in range(1, items + 1):
    parent = paths[(n - 1) // 10] if n > 10 else root
    path = os.path.join(parent, str(n))
    os.mkdir(path)
    paths[n] = path
    with open(os.path.join(path, ".caption"), "w") as f:
        f.write("Item %d\n" % n)
    with open(os.path.join(path, "_~_~_notes.rtf"), "w") as f:
        f.write("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Note of item %d with some \\b bold\\b0  text.\\par}" % n)
PY
"$build/out/quillbook" db import "$work/src" "$work/db.kvdb" >/dev/null
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i >/dev/null 2>&1

run() {  # tag, command...
    local tag="$1" start end
    shift
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk -v t="$tag" -v a="$start" -v b="$end" 'BEGIN { printf "%s: %.1f s\n", t, b - a }'
}
# A run's clean-up just freed as many inodes as the next run makes: ext4 skips
# inodes freed in the last minute, which would slow only the later run.
settle() {
    sync
    sleep "${QB_BENCH_SETTLE:-65}"
}
echo "load: $(cut -d' ' -f1 /proc/loadavg) 1-min-average"
mkdir -p "$work/linux" "$work/windows" "$work/pinned"
run "export_${items}_items_linux" "$build/out/quillbook" export --db "$work/db.kvdb" --whole --out "$work/linux" -q
settle
run "export_${items}_items_wine64" wine "$win/quillbook.exe" export --db "$work/db.kvdb" --whole --out "$work/windows" -q
wineserver -k
settle
taskset -c 0 wineserver -p </dev/null >/dev/null 2>&1
# Wine's services start with the first program: not part of the export's time.
taskset -c 0 wine cmd /c exit </dev/null >/dev/null 2>&1
run "export_${items}_items_wine64_one_core" taskset -c 0 wine "$win/quillbook.exe" export --db "$work/db.kvdb" --whole --out "$work/pinned" -q
ls -l "$work"/linux/*.chm "$work"/windows/*.chm "$work"/pinned/*.chm | awk '{print "chm: " $5 " bytes " $NF}'
