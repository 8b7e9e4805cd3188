#!/usr/bin/env bash
# Screenshots of a full-text search in xchm and kchmviewer on the sample's help
# file, in English (0x409) and Chinese (0x804), under a virtual X server; the
# viewers are driven with xdotool at fixed window positions.
#   scripts/viewer-screenshots.sh     writes docs/{xchm,kchmviewer}-search-*.png and kchmviewer-index-0x409.png
# Needs: xchm kchmviewer xdotool imagemagick xvfb xauth (Debian packages).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QB_BUILD_DIR:-$root/build}"

if [ -z "${QB_SHOTS_UNDER_XVFB:-}" ]; then
  exec env QB_SHOTS_UNDER_XVFB=1 xvfb-run -a -s "-screen 0 1000x720x24" "$0" "$@"
fi

for tool in xchm kchmviewer xdotool import; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "viewer-screenshots: $tool is missing (apt-get install xchm kchmviewer xdotool imagemagick)" >&2
    exit 2
  fi
done
cmake --build "$build" --target quillbook >/dev/null

work="$(mktemp -d)"
viewer=""
cleanup() {
  if [ -n "$viewer" ]; then kill "$viewer" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
# Fresh settings, and kchmviewer builds its own search index under $HOME.
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

"$build/out/quillbook" db import "$root/examples/sample" "$work/sample.kvdb" >/dev/null
for lang in "0x409 English (United States)" "0x804 Chinese (China)"; do
  out="$work/${lang:0:5}"
  "$build/out/quillbook" export --db "$work/sample.kvdb" --whole --out "$out" --chm "$out/sample.chm" \
    --set "ChmLanguage=$lang" --set "WindowTitle=Sample handbook" >/dev/null
done

# Starts a viewer and waits for its main window at the top left corner.
start() {
  "$@" >/dev/null 2>&1 &
  viewer=$!
  win="$(xdotool search --sync --onlyvisible --pid "$viewer" --name "Sample handbook" | head -1)"
  xdotool windowmove "$win" 0 0 windowsize "$win" 1000 720
  sleep 2
}
stop() {
  kill "$viewer" 2>/dev/null || true
  wait "$viewer" 2>/dev/null || true
  viewer=""
}
shot() {
  import -window root -crop "$1" +repage "$root/docs/$2"
  echo "written docs/$2"
}

# xchm: widen the navigation pane, open its search tab, search, open the first hit.
xchm_search() {
  start xchm "$work/$1/sample.chm"
  xdotool mousemove 172 400 mousedown 1 mousemove 250 400 mousemove 340 400 mouseup 1
  sleep 0.5
  xdotool mousemove 200 106 click 1
  sleep 0.5
  xdotool mousemove 168 141 click 1
  xdotool type --delay 80 "$2"
  xdotool mousemove 53 235 click 1
  sleep 2
  xdotool mousemove 55 275 click --repeat 2 --delay 100 1
  sleep 2
  shot 1000x720+0+0 "$3"
  stop
}

# kchmviewer searches its own index, built from the page texts on the first search.
kchm_search() {
  start kchmviewer "$work/$1/sample.chm"
  xdotool mousemove 188 133 click 1
  sleep 1
  xdotool mousemove 100 191 click 1
  xdotool type --delay 80 "$2"
  xdotool key Return
  sleep 4
  xdotool mousemove 70 240 click 1
  sleep 2
  shot 900x700+0+0 "$3"
  stop
}

# kchmviewer's index: an item's entry opens its page.
kchm_index() {
  start kchmviewer "$work/$1/sample.chm"
  xdotool mousemove 123 133 click 1
  sleep 1
  xdotool mousemove 79 334 click 1
  sleep 2
  shot 1000x720+0+0 "$2"
  stop
}

xchm_search 0x409 "Öffnungszeiten" xchm-search-german-0x409.png
# A word with sharp s as typed; the page shows its navigation bar without scripts.
xchm_search 0x409 "Elbstraße" xchm-search-sharp-s-0x409.png
kchm_search 0x409 "Öffnungszeiten" kchmviewer-search-german-0x409.png
# xchm reads the index's words as Latin-1 whatever the help file's code page:
# 饺子 (bytes BD C8 D7 D3 in code page 936) is found only when typed so.
xchm_search 0x804 "½È×Ó" xchm-search-chinese-0x804.png
kchm_index 0x409 kchmviewer-index-0x409.png
