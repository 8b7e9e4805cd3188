#!/usr/bin/env bash
# Cross-builds the Windows files with Debian's MinGW-w64:
#   build-windows/i686/out/     the shipped 32-bit plug-in, hha.dll, dvo.dll, quillbook.exe, qbhost.exe
#   build-windows/x86_64/out/   the same for 64-bit, with the tests (run under wine64)
#   build-windows/Quillbook-VERSION-win32.zip   the plug-in folder a user unpacks
# Third-party libraries come from Debian's source packages, built once into
# $QB_THIRDPARTY_CACHE (default /var/cache/quillbook/thirdparty).
#   QB_WINDOWS_ARCHS="x86_64"   build only these (default: "i686 x86_64")
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${QB_WINDOWS_BUILD_DIR:-$root/build-windows}"
jobs="${QB_JOBS:-2}"
archs="${QB_WINDOWS_ARCHS:-i686 x86_64}"

bash "$root/scripts/install-deps.sh" --windows
mkdir -p "$out"
times="$out/build-times.txt"
: > "$times"

launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

for arch in $archs; do
    triple="$arch-w64-mingw32"
    start=$(date +%s)
    args=()
    while IFS='=' read -r name prefix; do
        args+=("-DQB_TP_${name^^}=$prefix")
    done < <(bash "$root/scripts/windows-thirdparty.sh" "$triple")
    mid=$(date +%s)
    # The tests run from the 64-bit build only; the 32-bit one is what ships.
    tests=OFF
    [ "$arch" = x86_64 ] && tests=ON
    cmake -S "$root" -B "$out/$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$triple.cmake" \
        -DQB_BUILD_TESTS=$tests "${launcher[@]}" "${args[@]}" >/dev/null
    cmake --build "$out/$arch" -j"$jobs"
    end=$(date +%s)
    echo "$arch: third-party $((mid - start)) s, project $((end - mid)) s" | tee -a "$times"
done

# The plug-in folder: what the host loads, beside its language file.
if [[ " $archs " == *" i686 "* ]]; then
    version="$(sed -n 's/^project(Quillbook VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
    stage="$out/zip/Quillbook"
    rm -rf "$out/zip" "$out/Quillbook-$version-win32.zip"
    mkdir -p "$stage"
    cp "$out/i686/out/Quillbook.dll" "$out/i686/out/Quillbook.lng" "$out/i686/out/hha.dll" "$stage/"
    cp "$root/README.md" "$stage/README.md"
    cp "$root/LICENSE" "$stage/LICENSE.txt"
    # Fixed times and order: the same sources give the same zip.
    touch -d "@${SOURCE_DATE_EPOCH:-315619200}" "$stage"/*
    (cd "$stage" && zip -X -q "$out/Quillbook-$version-win32.zip" $(ls | sort))
    echo "build-windows: $out/Quillbook-$version-win32.zip"
fi
for arch in $archs; do
    ls -l "$out/$arch/out/"{Quillbook.dll,hha.dll,dvo.dll,quillbook.exe,qbhost.exe} 2>/dev/null \
        | awk -v a="$arch" '{print a ": " $NF " " $5 " bytes"}'
done
