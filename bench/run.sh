#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench/) and runs every one of them,
# printing their "name: value unit" lines on stdout.
#   bench/run.sh               all benchmarks
#   bench/run.sh bench_export  only the named ones
#   bench/run.sh --curves      the scaling curves: export and compile of 1k,
#                              10k and 100k items (fan-out 10) and of 1k and 4k
#                              siblings, time and peak memory of each; the lines
#                              also go to bench/curves.txt, which
#                              bench/plot_curves.py turns into docs/scaling.svg
#   bench/run.sh --syscalls    system calls of exporting and compiling 1k items
#                              (fan-out 10) with the command line, per item
#                              (strace -c -f)
# A benchmark that does not build or is not there is reported on stderr and
# skipped; one that runs and fails makes the exit status 1.
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QB_BENCH_BUILD_DIR:-$root/build-bench}"
jobs="${QB_JOBS:-2}"

curves=0
syscalls=0
if [[ "${1:-}" == "--curves" ]]; then
    curves=1
    shift
    set -- bench_export
elif [[ "${1:-}" == "--syscalls" ]]; then
    syscalls=1
    shift
    set -- bench_export
fi

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
if ! cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$log" 2>&1; then
    cat "$log" >&2
    echo "bench: configuring $build failed" >&2
    exit 1
fi

shopt -s nullglob
if [[ $# -gt 0 ]]; then
    names=("$@")
else
    names=()
    for src in "$root"/bench/bench_*.cpp; do names+=("$(basename "$src" .cpp)"); done
    # Programs already in the build folder run too, even without a source here.
    for prog in "$build"/bench/bench_*; do
        n="$(basename "$prog")"
        [[ -x "$prog" && " ${names[*]} " != *" $n "* ]] && names+=("$n")
    done
fi

# One target at a time, so one broken benchmark does not stop the others.
for name in "${names[@]}"; do
    [[ -f "$root/bench/$name.cpp" ]] || continue
    if ! cmake --build "$build" --target "$name" -j"$jobs" >"$log" 2>&1; then
        tail -n 20 "$log" >&2
        echo "bench: $name did not build; skipped" >&2
    fi
done

# Programs run from the build folder, where they find the libraries in out/.
cd "$build" || exit 1
status=0
if [[ $syscalls -eq 1 ]]; then
    cmake --build "$build" --target quillbook -j"$jobs" >"$log" 2>&1 || { tail -n 20 "$log" >&2; exit 1; }
    work="$(mktemp -d)"
    "$build/bench/bench_export" --items 1000 --fanout 10 --keep "$work" >/dev/null || exit 1
    rm -rf "$work/out1000"
    strace -f -o "$work/trace" "$build/out/quillbook" export --db "$work/db1000.sqlite" --whole \
        --out "$work/o" --method 2 --set RemoveTempFiles=false >/dev/null || status=1
    # The walk ends where the project file is first written; the compile follows.
    # A call interrupted and resumed shows on two lines and counts once.
    awk -v items=1001 '
        !/^[0-9]+ +[a-z_0-9]+\(/ { next }
        { calls++ }
        /\.hhp", O_WRONLY/ && walk == 0 { walk = calls }
        END {
            printf "syscalls_1k_items_export_and_compile: %d calls\n", calls
            printf "syscalls_1k_items_per_item: %.1f calls/item\n", calls / items
            printf "syscalls_1k_items_walk_per_item: %.1f calls/item  (start-up, planning and walk)\n", walk / items
            printf "syscalls_1k_items_compile_per_item: %.1f calls/item\n", (calls - walk) / items
        }' "$work/trace"
    rm -rf "$work"
    exit $status
fi
if [[ $curves -eq 1 ]]; then
    out="$root/bench/curves.txt"
    : >"$out"
    # The machine's load goes with the figures: timing on a busy machine is noisy.
    echo "load: $(cut -d' ' -f1 /proc/loadavg) 1-min-average" | tee -a "$out"
    for shape in "1000 10 export_1k_items" "10000 10 export_10k_items" "100000 10 export_100k_items" \
                 "1000 1000 export_1k_siblings" "4000 4000 export_4k_siblings"; do
        read -r items fanout tag <<<"$shape"
        # Ext4 without a journal skips inodes freed in the last minute (five
        # while their table is not yet written back) when it makes files, so
        # a shape started right after the last one's output was deleted would
        # measure that; the pause lets those inodes count as free again.
        [[ "$tag" == export_1k_items ]] || sleep "${QB_CURVES_PAUSE:-90}"
        if ! "$build/bench/bench_export" --items "$items" --fanout "$fanout" --compile --tag "$tag" | tee -a "$out"; then
            echo "bench: $tag failed" >&2
            status=1
        fi
    done
    exit $status
fi
for name in "${names[@]}"; do
    prog=""
    for candidate in "$build/bench/$name" "$build/out/$name"; do
        [[ -f "$candidate" && -x "$candidate" ]] && { prog="$candidate"; break; }
    done
    if [[ -z "$prog" ]]; then
        echo "bench: $name is missing; skipped" >&2
        continue
    fi
    "$prog"
    rc=$?
    if [[ $rc -ne 0 ]]; then
        echo "bench: $name exited with status $rc" >&2
        status=1
    fi
done
exit $status
