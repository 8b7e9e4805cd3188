#!/usr/bin/env bash
# Compiles every library source for Windows without linking (MinGW-w64,
# -fsyntax-only) and counts the files outside support/os/ that still hold a
# platform conditional. Needs g++-mingw-w64-x86-64-posix and a configured
# Linux build folder (for the generated headers).
#   scripts/check-windows-sources.sh [BUILD_DIR]
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cxx=x86_64-w64-mingw32-g++-posix
# Third-party headers (ICU, pugixml, SQLite, CLI11) come from the Linux
# system only for this check: they are plain C/C++ headers.
flags=(-std=c++20 -fsyntax-only -I. -Isrc -Iplatform -Iapps -I"$build/src" -I"$build/src/site" -I"$build/src/resources"
       -idirafter /usr/include -DWIN32_LEAN_AND_MEAN -DNOMINMAX)
failed=0 total=0
while IFS= read -r f; do
  total=$((total + 1))
  if ! out=$("$cxx" "${flags[@]}" "$f" 2>&1 | grep -E 'error' | head -3) || [ -n "$out" ]; then
    if [ -n "$out" ]; then failed=$((failed + 1)); echo "FAIL $f"; echo "$out" | sed 's/^/    /'; fi
  fi
done < <(ls support/*.cpp support/os/Win32*.cpp support/os/CodePages.cpp src/Utils/*.cpp src/settings/*.cpp \
            src/rtf/*.cpp src/engine/*.cpp src/site/*.cpp src/host/*.cpp platform/dvo/*.cpp platform/hha/*.cpp \
            apps/quillbook/*.cpp apps/quillbook/entry/Win32Main.cpp 2>/dev/null)
echo "windows-sources: $((total - failed)) of $total compile"
cond=$(grep -rlE '^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|__linux__|__unix__|__APPLE__)\b' \
         --include='*.cpp' --include='*.h' --include='*.c' support src platform apps | grep -v '^support/os/' | wc -l)
echo "platform-conditional files outside support/os/: $cond"
[ "$failed" -eq 0 ]
