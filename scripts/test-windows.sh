#!/usr/bin/env bash
# The Windows part of the suite: cross-builds (scripts/build-windows.sh), checks
# the built files from the Linux build (ctest -L windows), then runs every
# cross-built test program under wine64 in a fresh Wine prefix.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
out="${QB_WINDOWS_BUILD_DIR:-$root/build-windows}"
jobs="${QB_JOBS:-2}"

bash "$root/scripts/build-windows.sh"

status=0
(cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 600 -L windows) || status=1

# Wine takes its ANSI code page from the locale: the programs run under 1252,
# the commonest one, so every text that crosses the storage library's and the
# host's interface is converted (scripts/install-deps.sh generates the locale).
if locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then export LC_ALL=de_DE.UTF-8; fi
prefix_dir="$(mktemp -d "${TMPDIR:-/tmp}/quillbook-wine-XXXXXX")"
export WINEPREFIX="$prefix_dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
xvfb_pid=""
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$prefix_dir"
}
trap cleanup EXIT
# The wizard's tests drive real windows: a display of the run's own.
if command -v Xvfb >/dev/null 2>&1; then
    for n in $(seq 90 130); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        sleep 1
        if kill -0 "$xvfb_pid" 2>/dev/null; then export DISPLAY=":$n"; break; fi
        xvfb_pid=""
    done
fi
# The server and Wine's own services start here and stay for the whole run:
# started by the first test they would hold its output pipe open, and ctest
# would wait for them.
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i >/dev/null 2>&1
# Wine's service manager gives a service 10 s to start and then ends it. On a busy
# machine the RPC service that the first COM activation starts takes longer, every
# new try is ended the same way, and the first local-server activation (word_test)
# waits a minute for nothing. The manager reads the limit when it starts: set, restarted.
wine reg add 'HKLM\System\CurrentControlSet\Control' /v ServicesPipeTimeout /t REG_SZ /d 120000 /f >/dev/null 2>&1
wineserver -k
wineserver -w
wineserver -p
wineboot >/dev/null 2>&1
# A crash ends the test program with its report instead of a dialog waiting for a click.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
# The display has no window manager: Wine then waits two seconds for one each time it
# hides a window it hands to the manager (a message box answered, the wizard closed).
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
# One program at a time.
(cd "$out/x86_64" && ctest --output-on-failure -j1 --timeout 900) || status=1
exit $status
