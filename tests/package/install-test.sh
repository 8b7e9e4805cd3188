#!/usr/bin/env bash
# Installs the build into a scratch root with DESTDIR, builds the .deb with
# CPack, inspects it with dpkg-deb, and exports the sample database with the
# installed program of both trees, so nothing is found through the build tree.
set -euo pipefail
build="$1"
src="$2"
scratch="$(mktemp -d /tmp/quillbook-package-XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check() { local what="$1"; shift; if ! "$@"; then fail "$what"; fi; }

runpath() { readelf -d "$1" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p'; }
has_section() { readelf -S -W "$1" | grep -q " $2 "; }

# The build tree is moved out of reach: only the installed files may be used.
run_installed() {
  local root="$1"; shift
  env -i PATH=/usr/bin:/bin HOME="$scratch/home" LANG=C.UTF-8 ${LD_DEBUG:+LD_DEBUG=$LD_DEBUG} \
    "$root/usr/bin/quillbook" "$@"
}

export_sample() {
  local root="$1" name="$2"
  local db="$scratch/$name.kvdb" out="$scratch/$name-out"
  run_installed "$root" db import "$src/examples/sample" "$db" >/dev/null || { fail "$name: db import"; return; }
  local log
  if ! log="$(LD_DEBUG=libs run_installed "$root" export --db "$db" --whole --out "$out" 2>&1)"; then
    fail "$name: export failed"
    echo "$log" | grep -v '^ *[0-9]*:' | tail -20 >&2
    return
  fi
  local chm
  chm="$(find "$out" -name '*.chm' | head -1)"
  check "$name: no help file written" test -s "$chm"
  # Every library comes from the installed tree, the help compiler included.
  local loaded
  loaded="$(echo "$log" | sed -n 's/.*calling init: \(.*\)/\1/p' | grep -E 'lib(dvo|hha)\.so' || true)"
  check "$name: libdvo.so not loaded from $root ($loaded)" grep -qE "^$root/usr/(bin/\.\./)?lib/quillbook/libdvo\.so" <<<"$loaded"
  check "$name: libhha.so not loaded from $root ($loaded)" grep -qE "^$root/usr/(bin/\.\./)?lib/quillbook/libhha\.so" <<<"$loaded"
  check "$name: a library came from the build tree" bash -c "! grep -q '$build' <<<'$loaded'"
}

# --- cmake --install into a DESTDIR root --------------------------------------
dest="$scratch/dest"
DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
for f in usr/bin/quillbook usr/lib/quillbook/Quillbook.so usr/lib/quillbook/Quillbook.lng \
         usr/lib/quillbook/libdvo.so usr/lib/quillbook/libhha.so usr/share/man/man1/quillbook.1 \
         usr/share/bash-completion/completions/quillbook usr/share/doc/quillbook/README.md \
         usr/share/doc/quillbook/LICENSE usr/share/doc/quillbook/CHANGELOG.md usr/share/doc/quillbook/copyright; do
  check "installed tree lacks $f" test -f "$dest/$f"
done
check "bin/quillbook RUNPATH is '$(runpath "$dest/usr/bin/quillbook")'" \
  test "$(runpath "$dest/usr/bin/quillbook")" = '$ORIGIN/../lib/quillbook'
for lib in Quillbook.so libdvo.so libhha.so; do
  rp="$(runpath "$dest/usr/lib/quillbook/$lib")"
  check "$lib RUNPATH '$rp' reaches outside its folder" test "$rp" = '$ORIGIN' -o -z "$rp"
done
version="$(run_installed "$dest" --version)"
check "--version says '$version'" test "$version" = "quillbook 3.0.0"
check "man page does not render" bash -c "man -l '$dest/usr/share/man/man1/quillbook.1' 2>/dev/null | grep -q 'EXIT STATUS' || ! command -v man >/dev/null"
check "bash completion does not load" bash -c "source '$dest/usr/share/bash-completion/completions/quillbook' && complete -p quillbook >/dev/null"
export_sample "$dest" destdir
# host finds the installed plug-in, loads it (Qt and all) and only then misses the display.
host_err="$(run_installed "$dest" host --db "$scratch/destdir.kvdb" 2>&1 >/dev/null || true)"
check "installed host: $host_err" grep -q "quillbook: host: no display" <<<"$host_err"

# --- the Debian package -------------------------------------------------------
pkgdir="$scratch/pkg"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$pkgdir" >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log" >&2; fail "cpack"; }
deb="$(ls "$pkgdir"/quillbook_3.0.0_*.deb 2>/dev/null | head -1 || true)"
dbg="$(ls "$pkgdir"/quillbook-dbgsym_3.0.0_*.ddeb "$pkgdir"/quillbook-dbgsym_3.0.0_*.deb 2>/dev/null | head -1 || true)"
if [ -z "$deb" ]; then
  fail "no quillbook_3.0.0_*.deb in $(ls "$pkgdir")"
else
  control="$(dpkg-deb -f "$deb")"
  check "package name" grep -qx 'Package: quillbook' <<<"$control"
  check "package version" grep -qx 'Version: 3.0.0' <<<"$control"
  depends="$(dpkg-deb -f "$deb" Depends)"
  # dpkg-shlibdeps found the libraries the binaries really link.
  for dep in libc6 libstdc++6 libsqlite3-0 libpugixml1v5 libicu72 libqt6widgets6; do
    check "Depends lacks $dep: $depends" grep -q "$dep" <<<"$depends"
  done
  check "Depends names our own private libraries: $depends" bash -c "! grep -qE 'dvo|hha' <<<'$depends'"
  listing="$(dpkg-deb -c "$deb")"
  for f in ./usr/bin/quillbook ./usr/lib/quillbook/Quillbook.so ./usr/lib/quillbook/libhha.so \
           ./usr/lib/quillbook/libdvo.so ./usr/lib/quillbook/Quillbook.lng ./usr/share/man/man1/quillbook.1 \
           ./usr/share/doc/quillbook/copyright; do
    check "package lacks $f" grep -q " $f\$" <<<"$listing"
  done
  root="$scratch/root"
  dpkg-deb -x "$deb" "$root"
  for bin in usr/bin/quillbook usr/lib/quillbook/Quillbook.so usr/lib/quillbook/libdvo.so usr/lib/quillbook/libhha.so; do
    check "$bin keeps debug info" bash -c "! readelf -S -W '$root/$bin' | grep -q ' .debug_info '"
    check "$bin has no debug link" has_section "$root/$bin" .gnu_debuglink
  done
  check "no debug symbols package" test -n "$dbg"
  if [ -n "$dbg" ]; then
    check "debug symbols package holds no .debug files" bash -c "dpkg-deb -c '$dbg' | grep '\.debug\$' >/dev/null"
  fi
  export_sample "$root" deb
  ls -l "$deb" ${dbg:+"$dbg"} | awk '{ print "size:", $5, $NF }'
  for bin in usr/bin/quillbook usr/lib/quillbook/Quillbook.so usr/lib/quillbook/libdvo.so usr/lib/quillbook/libhha.so; do
    echo "size: $(stat -c %s "$root/$bin") $bin"
  done
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package checks passed"
