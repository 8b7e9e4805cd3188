#!/usr/bin/env bash
# Builds the third-party libraries for one MinGW-w64 target from Debian's source
# packages into a cache outside the checkout, keyed by target and package version:
#   $QB_THIRDPARTY_CACHE/<triple>/<pkg>-<version>/{include,lib}
# A finished build is marked with .done and never rebuilt.
#   scripts/windows-thirdparty.sh TRIPLE      (i686-w64-mingw32 | x86_64-w64-mingw32)
# Prints "NAME=PREFIX" lines for the toolchain on stdout; the log goes to stderr.
set -euo pipefail

triple="${1:?usage: $0 TRIPLE}"
root="$(cd "$(dirname "$0")/.." && pwd)"
cache="${QB_THIRDPARTY_CACHE:-/var/cache/quillbook/thirdparty}"
jobs="${QB_JOBS:-2}"
src_cache="$cache/src"
native_triple="$(gcc -dumpmachine)"
mkdir -p "$src_cache"

log() { echo "windows-thirdparty: $*" >&2; }

# Debian version of a source package as the archive offers it.
src_version() {
    apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/ {print $2; exit}'
}

# Unpacks the Debian source package (with Debian's patches) into $2; the
# downloaded files stay in the source cache for the next target.
unpack_source() {
    local pkg="$1" version="$2" dest="$3" dsc
    dsc="$src_cache/${pkg}_${version#*:}.dsc"
    if [ ! -f "$dsc" ]; then
        (cd "$src_cache" && apt-get source --download-only "$pkg=$version" >&2)
    fi
    rm -rf "$dest"
    dpkg-source --no-check -x "$dsc" "$dest" >&2
}

cc="$triple-gcc-posix"
cxx="$triple-g++-posix"
ar="$triple-ar"
ranlib="$triple-ranlib"

# --- pugixml -------------------------------------------------------------
build_pugixml() {
    local v prefix work
    v="$(src_version pugixml)"
    prefix="$cache/$triple/pugixml-$v"
    if [ ! -f "$prefix/.done" ]; then
        log "pugixml $v for $triple"
        work="$(mktemp -d "$cache/.work-XXXXXX")"
        unpack_source pugixml "$v" "$work/src"
        cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$triple.cmake" \
            -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$prefix" >&2
        cmake --build "$work/build" -j"$jobs" >&2
        cmake --install "$work/build" >&2
        rm -rf "$work"
        touch "$prefix/.done"
    fi
    echo "pugixml=$prefix"
}

# --- GoogleTest ----------------------------------------------------------
build_googletest() {
    local v prefix work
    v="$(src_version googletest)"
    prefix="$cache/$triple/googletest-$v"
    if [ ! -f "$prefix/.done" ]; then
        log "googletest $v for $triple"
        work="$(mktemp -d "$cache/.work-XXXXXX")"
        unpack_source googletest "$v" "$work/src"
        cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$triple.cmake" \
            -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF \
            -DCMAKE_INSTALL_PREFIX="$prefix" >&2
        cmake --build "$work/build" -j"$jobs" >&2
        cmake --install "$work/build" >&2
        rm -rf "$work"
        touch "$prefix/.done"
    fi
    echo "googletest=$prefix"
}

# --- SQLite (the stand-in storage library only) --------------------------
# Debian ships the full source tree; its amalgamation is made with the native tclsh.
build_sqlite() {
    local v prefix work
    v="$(src_version sqlite3)"
    prefix="$cache/$triple/sqlite3-$v"
    if [ ! -f "$prefix/.done" ]; then
        log "sqlite3 $v for $triple"
        work="$(mktemp -d "$cache/.work-XXXXXX")"
        unpack_source sqlite3 "$v" "$work/src"
        mkdir -p "$work/native"
        (cd "$work/native" && "$work/src/configure" --disable-tcl >&2 && make sqlite3.c >&2)
        mkdir -p "$prefix/include" "$prefix/lib"
        "$cc" -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION -c "$work/native/sqlite3.c" \
            -o "$work/sqlite3.o"
        "$ar" rcs "$prefix/lib/libsqlite3.a" "$work/sqlite3.o"
        cp "$work/native/sqlite3.h" "$prefix/include/"
        rm -rf "$work"
        touch "$prefix/.done"
    fi
    echo "sqlite3=$prefix"
}

# --- ICU -----------------------------------------------------------------
# The cross build needs a native ICU of the same version: its configured build
# folder (config/icucross.*) and its data tools (icupkg, genccode). Debian's
# icu-devtools of that version supplies the tools; without it they are built.
build_icu_native() {
    local v="$1" dir="$cache/$native_triple/icu-native-$v" tools_v
    tools_v="$(dpkg-query -W -f='${Version}' icu-devtools 2>/dev/null || true)"
    if [ ! -f "$dir/.done" ]; then
        log "icu $v native build folder"
        rm -rf "$dir"
        mkdir -p "$dir/build"
        unpack_source icu "$v" "$dir/src"
        (cd "$dir/build" && CFLAGS=-O1 CXXFLAGS=-O1 "$dir/src/source/configure" \
            --disable-tests --disable-samples --disable-extras --disable-layoutex >&2 \
            && make config/icucross.mk config/icucross.inc >&2)
        mkdir -p "$dir/tools"
        if [ "$tools_v" = "$v" ]; then
            # Debian puts them in /usr/sbin; ask the package rather than guess.
            local t
            for t in icupkg genccode; do
                ln -sf "$(dpkg -L icu-devtools | grep -m1 "bin/$t\$")" "$dir/tools/$t"
            done
        else
            log "icu-devtools is $tools_v, not $v: building the native tools"
            (cd "$dir/build" && make -j"$jobs" >&2)
            ln -sf "$dir/build/bin/icupkg" "$dir/build/bin/genccode" "$dir/tools/"
        fi
        touch "$dir/.done"
    fi
    echo "$dir"
}

# The data keeps what the code uses: word breaks (with the CJK dictionary),
# the transliterators behind "Any-Latin; Latin-ASCII", the Windows ANSI code
# pages, normalization and properties, the likely-subtags and English
# display names of languages and regions, and the locale index.
icu_keep_pattern() {
    cat <<'EOF'
^(brkitr/(word\.brk|cjdict\.dict|root\.res|en\.res|ja\.res|res_index\.res))$
^translit/
^(cnvalias\.icu|ibm-5346_P100-1998\.cnv|ibm-5347_P100-1998\.cnv|ibm-5348_P100-1997\.cnv|ibm-5349_P100-1998\.cnv|ibm-5350_P100-1998\.cnv|ibm-9447_P100-2002\.cnv|ibm-9448_X100-2005\.cnv|ibm-9449_P100-2002\.cnv|ibm-5354_P100-1998\.cnv|windows-874-2000\.cnv|windows-936-2000\.cnv|windows-949-2000\.cnv|windows-950-2000\.cnv|ibm-943_P15A-2003\.cnv|ibm-1386_P100-2001\.cnv|ibm-1363_P11B-1998\.cnv|ibm-1373_P100-2002\.cnv)$
^[a-z_]+\.nrm$
^(uprops|ucase|ubidi|unames|pnames|uemoji|ulayout)\.icu$
^(likelySubtags|metadata|supplementalData|langInfo|icuver|icustd|keyTypeData|plurals|numberingSystems|grammaticalFeatures)\.res$
^(lang|region|script)/(en|root|res_index|pool)\.res$
^(res_index|pool|root|en)\.res$
^[a-z]{2,3}(_[A-Za-z0-9]+)*\.res$
EOF
}

build_icu() {
    local v prefix work native
    v="$(src_version icu)"
    prefix="$cache/$triple/icu-$v"
    if [ ! -f "$prefix/.done" ]; then
        native="$(build_icu_native "$v")"
        log "icu $v for $triple"
        work="$(mktemp -d "$cache/.work-XXXXXX")"
        unpack_source icu "$v" "$work/src"
        # ICU's top-level make would make these; only three folders are built here.
        mkdir -p "$work/build/lib" "$work/build/bin"
        # Collation, formatting and regular expressions are never called: left
        # out, which halves the build. Consumers see the same switches in uconfig.h.
        local icu_config="-DUCONFIG_NO_COLLATION=1 -DUCONFIG_NO_FORMATTING=1 -DUCONFIG_NO_REGULAR_EXPRESSIONS=1"
        (cd "$work/build" && "$work/src/source/configure" --host="$triple" \
            CC="$cc" CXX="$cxx" AR="$ar" RANLIB="$ranlib" \
            CPPFLAGS="$icu_config" CFLAGS="-Os -ffunction-sections -fdata-sections" \
            CXXFLAGS="-Os -ffunction-sections -fdata-sections -std=c++17" \
            --with-cross-build="$native/build" --enable-static --disable-shared \
            --disable-tools --disable-tests --disable-samples --disable-extras \
            --disable-layoutex --disable-icuio \
            --with-data-packaging=static --prefix="$prefix" >&2 \
            && make -j"$jobs" -C stubdata >&2 && make -j"$jobs" -C common >&2 \
            && make -j"$jobs" -C i18n >&2)
        mkdir -p "$prefix/lib" "$prefix/include/unicode"
        cp "$work/build/lib/"*.a "$prefix/lib/"
        cp "$work/src/source/common/unicode/"*.h "$work/src/source/i18n/unicode/"*.h "$prefix/include/unicode/"
        {
            echo "/* The switches this static ICU was built with. */"
            for d in $icu_config; do d="${d#-D}"; echo "#define ${d%%=*} ${d#*=}"; done
            cat "$work/src/source/common/unicode/uconfig.h"
        } > "$prefix/include/unicode/uconfig.h"
        rm -rf "$work"
        touch "$prefix/.done"
    fi
    echo "icu=$prefix"
    build_icu_data "$v" "$prefix"
}

# The trimmed data, linked in as one array under ICU's entry-point name. Kept
# apart from the libraries and named after what it keeps, so a change to the
# list makes new data without building ICU again.
build_icu_data() {
    local v="$1" prefix="$2" native ver major dat key data work
    key="$(icu_keep_pattern | sha1sum | cut -c1-10)"
    data="$cache/$triple/icudata-$v-$key"
    if [ ! -f "$data/.done" ]; then
        native="$(build_icu_native "$v")"
        log "icu data $v ($key) for $triple"
        work="$(mktemp -d "$cache/.work-XXXXXX")"
        unpack_source icu "$v" "$work/src"
        ver="${v%%-*}"; major="${ver%%.*}"
        dat="$work/src/source/data/in/icudt${major}l.dat"
        local bin="$native/tools"
        local lib="$native/build/lib"
        LD_LIBRARY_PATH="$lib" "$bin/icupkg" -l "$dat" > "$work/all.txt"
        grep -v -E -f <(icu_keep_pattern) "$work/all.txt" > "$work/remove.txt" || true
        # The locale tree keeps only the index and the locales help files use.
        grep -E '^[a-z]{2,3}(_[A-Za-z0-9]+)*\.res$' "$work/all.txt" \
            | grep -v -E '^(en|root|res_index|pool|likelySubtags|metadata|supplementalData|langInfo|icuver|icustd|keyTypeData|plurals|numberingSystems|grammaticalFeatures)\.res$' \
            >> "$work/remove.txt" || true
        # The root break table also names line, sentence and title rules and the
        # other dictionaries; only word breaks are opened, so they may be missing.
        LD_LIBRARY_PATH="$lib" "$bin/icupkg" --ignore-deps -r "$work/remove.txt" "$dat" "$work/icudt${major}l.dat" >&2
        LD_LIBRARY_PATH="$lib" "$bin/genccode" -d "$work" -e "icudt${major}" "$work/icudt${major}l.dat" >&2
        "$cc" -O0 -DU_STATIC_IMPLEMENTATION -I"$prefix/include" -c "$work/icudt${major}l_dat.c" -o "$work/icudt.o"
        # genccode names the array after the file (icudtNNl_dat); ICU looks for icudtNN_dat.
        # 32-bit Windows puts an underscore before every C name.
        local us=""
        [ "${triple%%-*}" = i686 ] && us="_"
        "$triple-objcopy" --redefine-sym "${us}icudt${major}l_dat=${us}icudt${major}_dat" "$work/icudt.o"
        mkdir -p "$work/out/lib"
        "$ar" rcs "$work/out/lib/libsicudt.a" "$work/icudt.o"
        cp "$work/icudt${major}l.dat" "$work/out/lib/"
        touch "$work/out/.done"
        # Whole or not at all, also when another build makes the same data at once.
        mv -T "$work/out" "$data" 2>/dev/null || [ -f "$data/.done" ]
        rm -rf "$work"
    fi
    echo "icudata=$data"
}

# Header-only: Debian's own headers, copied so the cross compiler never sees
# the rest of the native /usr/include.
build_cli11() {
    local v prefix
    v="$(dpkg-query -W -f='${Version}' libcli11-dev)"
    prefix="$cache/$triple/cli11-$v"
    if [ ! -f "$prefix/.done" ]; then
        mkdir -p "$prefix/include"
        cp -r /usr/include/CLI "$prefix/include/"
        touch "$prefix/.done"
    fi
    echo "cli11=$prefix"
}

case "${2:-all}" in
    icu) build_icu ;;
    small) build_pugixml; build_googletest; build_sqlite; build_cli11 ;;
    cli11) build_cli11 ;;
    all)
        build_pugixml
        build_googletest
        build_sqlite
        build_icu
        build_cli11
        ;;
    *) echo "usage: $0 TRIPLE [all|small|icu|cli11]" >&2; exit 2 ;;
esac
