#!/usr/bin/env bash
# Screenshots of every page of the Windows wizard, in English and German, into
# docs/windows/: the 64-bit build (scripts/build-windows.sh) under wine64 on a
# display of its own (Xvfb), the host stand-in showing the command over the
# bundled sample. Needs xvfb, xdotool and imagemagick. QB_XVFB_DISPLAY=N takes display :N.
#   QB_DPI=144 scripts/windows-screenshots.sh   the same at that system DPI, as
#                                               wizard-page-N-LANG-144dpi.png
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${QB_WINDOWS_BUILD_DIR:-$root/build-windows}/x86_64/out"
dest="$root/docs/windows"
[ -f "$out/Quillbook.dll" ] || { echo "no Windows build in $out (bash scripts/build-windows.sh)" >&2; exit 1; }
for tool in Xvfb xdotool import wine; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/qb-winshots-XXXXXX")"
display=""
xvfb_pid=""
cleanup() {
    WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
for n in ${QB_XVFB_DISPLAY:-$(seq 90 120)}; do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display" WINEPREFIX="$work/prefix" WINEDEBUG=-all QB_HOST_NO_ANSWERS=1
sleep 1
wineboot -i >/dev/null 2>&1
wineserver -w
dpi="${QB_DPI:-96}"
suffix=""
if [ "$dpi" != 96 ]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    wineserver -w
    suffix="-${dpi}dpi"
fi

plugin="$work/plugin"
mkdir -p "$plugin" "$dest"
cp "$out"/{Quillbook.dll,Quillbook.lng,dvo.dll,hha.dll,qbhost.exe,quillbook.exe} "$plugin/"
win() { printf 'Z:%s' "${1//\//\\}"; }
wine "$plugin/quillbook.exe" db import "$(win "$root/examples/sample")" "$(win "$plugin/sample.kvdb")" >/dev/null
printf 'Database.FullPath=%s\r\nDatabase.RootLocation=\\Organizer\\data\\\r\nTreeView.CurNode_DvoPath=\\Organizer\\data\\2\\3\\\r\n' \
    "$(win "$plugin/sample.kvdb")" > "$plugin/values.txt"

# Waits for a window whose name matches, prints its id.
window() {
    for _ in $(seq 1 200); do
        id="$(xdotool search --name "$1" 2>/dev/null | head -1 || true)"
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    echo "no window '$1'" >&2
    return 1
}

for lang in en de; do
    rm -f "$plugin/Quillbook.xml"
    if [ "$lang" = de ]; then
        printf '<?xml version="1.0" encoding="UTF-8"?><Quillbook><Config><Language>Deutsch</Language></Config></Quillbook>' \
            > "$plugin/Quillbook.xml"
    fi
    (cd "$plugin" && wine qbhost.exe "$(win "$plugin/Quillbook.dll")" "$(win "$plugin/values.txt")" >/dev/null 2>&1) &
    host=$!
    # The help components' question comes first where they are not registered.
    if box="$(window '^Confirm$')"; then xdotool key --window "$box" alt+n 2>/dev/null || true; fi
    wiz="$(window '^Quillbook - ')"
    sleep 1
    # "Next" by where it sits (its mnemonic differs between languages).
    eval "$(xdotool getwindowgeometry --shell "$wiz")"
    read -r nx ny < <(python3 -c "print(round($WIDTH*236/328), round($HEIGHT*187/199))")
    for page in 0 1 2 3 4 5 6; do
        [ "$page" -gt 0 ] && { xdotool mousemove --window "$wiz" "$nx" "$ny" click 1; sleep 0.8; }
        import -window "$wiz" "$dest/wizard-page-$page-$lang$suffix.png"
    done
    xdotool key --window "$wiz" Escape 2>/dev/null || true
    wait "$host" || true
done
echo "windows-screenshots: $dest"
