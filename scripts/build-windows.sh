#!/usr/bin/env bash
# Cross-builds the Windows files with Debian's MinGW-w64:
#   build-windows/i686/out/     the shipped 32-bit plug-in, hha.dll, dvo.dll, quillbook.exe, qbhost.exe
#   build-windows/x86_64/out/   the same for 64-bit, with the tests (run under wine64)
#   build-windows/Quillbook-VERSION-win32.zip   the plug-in folder a user unpacks
#   build-windows/QuillbookSetup-VERSION.exe    the same folder as an installer (NSIS)
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

# The plug-in folder: what the host loads, beside its language file; zipped,
# and as an installer. QB_PACKAGE_ARCH=x86_64 packs the 64-bit files instead
# (named -win64 and -x64, never taken for the shipped 32-bit ones).
version="$(sed -n 's/^project(Quillbook VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
pkg_arch="${QB_PACKAGE_ARCH:-i686}"
if [[ " $archs " == *" $pkg_arch "* ]]; then
    if [ "$pkg_arch" = i686 ]; then
        zip_name="Quillbook-$version-win32.zip" setup_name="QuillbookSetup-$version.exe" stub=x86-unicode
    else
        zip_name="Quillbook-$version-win64.zip" setup_name="QuillbookSetup-$version-x64.exe" stub=amd64-unicode
    fi
    stage="$out/zip/Quillbook"
    rm -rf "$out/zip" "$out/$zip_name" "$out/$setup_name"
    mkdir -p "$stage"
    cp "$out/$pkg_arch/out/Quillbook.dll" "$out/$pkg_arch/out/Quillbook.lng" "$out/$pkg_arch/out/hha.dll" "$stage/"
    cp "$root/README.md" "$stage/README.md"
    cp "$root/LICENSE" "$stage/LICENSE.txt"
    # Fixed times and order: the same sources give the same zip.
    touch -d "@${SOURCE_DATE_EPOCH:-315619200}" "$stage"/*
    (cd "$stage" && zip -X -q "$out/$zip_name" $(ls | sort))
    echo "build-windows: $out/$zip_name"
    makensis -V2 -DVERSION="$version" -DSOURCE="$stage" -DOUTFILE="$out/$setup_name" -DTARGET="$stub" \
        "$root/packaging/windows/QuillbookSetup.nsi"
    echo "build-windows: $out/$setup_name"
fi
for arch in $archs; do
    ls -l "$out/$arch/out/"{Quillbook.dll,hha.dll,dvo.dll,quillbook.exe,qbhost.exe} 2>/dev/null \
        | awk -v a="$arch" '{print a ": " $NF " " $5 " bytes"}'
done
