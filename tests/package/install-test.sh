#!/usr/bin/env bash
# Installs the build into a scratch root with DESTDIR and exports the sample
# database with the installed program, so nothing is found through the build
# tree. The Debian package has its own test (deb-test.sh).
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
# Every picture and note the README links is installed beside it.
for link in $(grep -oE '\]\([^)#:]+\)' "$dest/usr/share/doc/quillbook/README.md" | sed 's/^](//; s/)$//'); do
  check "README links $link, which is not installed" test -e "$dest/usr/share/doc/quillbook/$link"
done
check "bash completion does not load" bash -c "source '$dest/usr/share/bash-completion/completions/quillbook' && complete -p quillbook >/dev/null"
export_sample "$dest" destdir
# host finds the installed plug-in, loads it (Qt and all) and only then misses the display.
host_err="$(run_installed "$dest" host --db "$scratch/destdir.kvdb" 2>&1 >/dev/null || true)"
check "installed host: $host_err" grep -q "quillbook: host: no display" <<<"$host_err"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package checks passed"
