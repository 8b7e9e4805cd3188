#!/usr/bin/env bash
# Runs the wizard's run-thread tests under ThreadSanitizer (build-tsan/) and
# counts the races that reach our message table. Qt itself is not instrumented,
# so TSan also reports races inside Qt's own threads; those are not counted.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QB_TSAN_BUILD_DIR:-$root/build-tsan}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_TSAN=ON >/dev/null
cmake --build "$build" --target wizard_test -j"${QB_JOBS:-2}" >/dev/null
log="$build/tsan-wizard.log"
# setarch -R: this libtsan cannot map its shadow memory under full address randomisation.
TSAN_OPTIONS="halt_on_error=0 report_signal_unsafe=0" QT_QPA_PLATFORM=offscreen setarch -R \
  "$build/out/wizard_test" --gtest_filter="${1:-RunTest.*}" >"$log" 2>&1 || true
grep -E '^\[  (PASSED|FAILED) ' "$log" || true
races=$(awk '/WARNING: ThreadSanitizer/{n++} /qb::SetMsg\(/{hit[n]=1} END{c=0; for (k in hit) c++; print c}' "$log")
echo "races on the message table: $races (log: $log)"
[ "$races" -eq 0 ]
