#!/usr/bin/env bash
# Builds the Debian package as Debian does (debhelper through dpkg-buildpackage)
# from a copy of the working tree by the README's Install commands, requires
# lintian to find no error and no warning, checks the hardening of the binaries
# and what the package holds, then runs the README's Use commands with the
# packaged program.
set -euo pipefail
build="$1"
src="$2"
for tool in dpkg-buildpackage dh lintian hardening-check; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (bash scripts/install-deps.sh --tests)"
    exit 77
  fi
done
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check() { local what="$1"; shift; if ! "$@"; then fail "$what"; fi; }

# A fixed folder in the build tree (git ignores it), so the compile cache sees
# the same paths on the next run; the .deb lands beside the copy.
work="$build/deb"
rm -rf "$work"
tree="$work/quillbook-3.0.0"
mkdir -p "$tree"
if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$src" && git ls-files -z -co --exclude-standard | tar --null -T - -cf -) | tar -C "$tree" -xf -
else
  (cd "$src" && tar --exclude='./build*' -cf - .) | tar -C "$tree" -xf -
fi
export CCACHE_BASEDIR="$tree" CCACHE_NOHASHDIR=1 DEB_BUILD_OPTIONS="parallel=${QB_JOBS:-2}"

# The indented command lines of one README section.
section_commands() {
  awk -v want="## $1" '/^## / { on = ($0 == want); next } on && /^    [^ ]/ { sub(/^    /, ""); print }' "$tree/README.md"
}

start=$(date +%s)
while IFS= read -r line; do
  case "$line" in *apt-get*) echo "not run here: $line"; continue ;; esac
  echo "README Install: $line"
  (cd "$tree" && bash -c "$line") >>"$work/install.log" 2>&1 || { tail -30 "$work/install.log" >&2; fail "README Install: $line"; }
done < <(section_commands Install)
echo "package build: $(( $(date +%s) - start )) s"

deb="$work/quillbook_3.0.0_amd64.deb"
dbg="$work/quillbook-dbgsym_3.0.0_amd64.deb"
if [ ! -f "$deb" ]; then
  fail "no $deb: $(ls "$work")"
  exit 1
fi
check "no debug symbols package $dbg" test -f "$dbg"

# --- lintian: no error, no warning; the pedantic and informational tags are listed
lintian --pedantic --info "$deb" ${dbg:+"$dbg"} >"$work/lintian.txt" 2>&1 || true
grep -v '^N:' "$work/lintian.txt" | grep -v 'running with root privileges' || true
check "lintian reports errors or warnings" bash -c "! grep -qE '^[EW]: ' '$work/lintian.txt'"

# --- control fields and maintainer scripts
control="$(dpkg-deb -f "$deb")"
check "package name" grep -qx 'Package: quillbook' <<<"$control"
check "package version" grep -qx 'Version: 3.0.0' <<<"$control"
depends="$(dpkg-deb -f "$deb" Depends)"
for dep in libc6 libstdc++6 libsqlite3-0 libpugixml1v5 libicu72 libqt6widgets6; do
  check "Depends lacks $dep: $depends" grep -q "$dep" <<<"$depends"
done
check "Depends names our own private libraries: $depends" bash -c "! grep -qE 'dvo|hha' <<<'$depends'"
# A plain install must not pull in an office suite.
check "Recommends is set: $(dpkg-deb -f "$deb" Recommends)" test -z "$(dpkg-deb -f "$deb" Recommends)"
check "Suggests lacks the office: $(dpkg-deb -f "$deb" Suggests)" \
  grep -q 'libreoffice-writer-nogui.*python3-uno' <<<"$(dpkg-deb -f "$deb" Suggests)"
ctrl="$work/control"
dpkg-deb -e "$deb" "$ctrl"
# Private libraries need no ldconfig; without scripts or conffiles `remove` leaves nothing behind.
for script in preinst postinst prerm postrm conffiles triggers; do
  check "package has a $script" test ! -e "$ctrl/$script"
done

# --- contents
root="$work/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/quillbook usr/lib/quillbook/Quillbook.so usr/lib/quillbook/libhha.so usr/lib/quillbook/libdvo.so \
         usr/lib/quillbook/Quillbook.lng usr/share/man/man1/quillbook.1.gz usr/share/doc/quillbook/copyright \
         usr/share/doc/quillbook/changelog.gz usr/share/bash-completion/completions/quillbook \
         usr/share/doc/quillbook/README.md; do
  check "package lacks $f" test -e "$root/$f"
done
for link in $(grep -oE '\]\([^)#:]+\)' "$root/usr/share/doc/quillbook/README.md" | sed 's/^](//; s/)$//'); do
  check "the packaged README links $link, which the package lacks" test -e "$root/usr/share/doc/quillbook/$link"
done
check "packaged manual does not mention --site" bash -c "zcat '$root/usr/share/man/man1/quillbook.1.gz' | grep -q 'site'"
for bin in usr/bin/quillbook usr/lib/quillbook/Quillbook.so usr/lib/quillbook/libdvo.so usr/lib/quillbook/libhha.so; do
  check "$bin keeps debug info" bash -c "! readelf -S -W '$root/$bin' | grep -q ' .debug_info '"
  hc="$(hardening-check "$root/$bin" 2>&1 || true)"
  for feature in 'Stack protected' 'Read-only relocations' 'Immediate binding'; do
    check "$bin: $(grep "$feature" <<<"$hc")" bash -c "grep '$feature' <<<'$hc' | grep -q ': yes'"
  done
done
# Fortify guards only calls whose buffer sizes the compiler knows, which a
# library may not have: the program must show it, and every compile must ask for it.
check "quillbook is not fortified" bash -c "hardening-check '$root/usr/bin/quillbook' | grep 'Fortify Source functions' | grep -q ': yes'"
unfortified="$(grep -E '(c\+\+|cc) .* -c ' "$work/install.log" | grep -vc -- '-D_FORTIFY_SOURCE=2' || true)"
check "$unfortified compile command(s) without -D_FORTIFY_SOURCE=2" test "$unfortified" = 0
check "no compile command in the build log" grep -qE '(c\+\+|cc) .* -c ' "$work/install.log"

# --- the README's Use commands, run with the packaged program
while IFS= read -r line; do
  echo "README Use: $line"
  (cd "$tree" && PATH="$root/usr/bin:/usr/bin:/bin" bash -c "$line") >"$work/use.log" 2>&1 ||
    { tail -20 "$work/use.log" >&2; fail "README Use: $line"; }
done < <(section_commands Use)
check "README Use wrote no help file" bash -c "ls '$tree'/out/*.chm >/dev/null"

ls -l "$deb" "$dbg" | awk '{ print "size:", $5, $NF }'
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package checks passed"
