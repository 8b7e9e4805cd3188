#!/usr/bin/env bash
# Run by hand (as root or with sudo): builds the .deb with debhelper from a copy
# of the tree, installs it with apt-get as a user would, exports the bundled
# sample with the installed program, then removes the package again and checks
# that nothing is left (--keep leaves it installed).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
keep=0
[ "${1:-}" = "--keep" ] && keep=1
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

work="$(mktemp -d /tmp/quillbook-deb-XXXXXX)"
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"  # apt's sandbox user reads the package from here
mkdir "$work/quillbook-3.0.0"
(cd "$root" && git ls-files -z -co --exclude-standard | tar --null -T - -cf -) | tar -C "$work/quillbook-3.0.0" -xf -
(cd "$work/quillbook-3.0.0" && dpkg-buildpackage -us -uc -b >"$work/build.log" 2>&1) || { tail -30 "$work/build.log"; exit 1; }
deb="$(ls "$work"/quillbook_*.deb)"
echo "package: $deb ($(stat -c %s "$deb") bytes)"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get install -y -qq "$deb"

# A user's run: the installed program, a home of its own, no build tree on any path.
home="$work/home"
mkdir -p "$home"
run() { env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 "$@"; }
run quillbook --version
run quillbook db import "$root/examples/sample" "$work/sample.kvdb"
run quillbook export --db "$work/sample.kvdb" --whole --out "$work/out"
test -s "$work/out/sample.chm"
run man -w quillbook >/dev/null 2>&1 || echo "note: man is not installed; the page is at /usr/share/man/man1/quillbook.1"
dpkg -L quillbook | grep -q '^/usr/lib/quillbook/libhha.so$'
echo "installed package works: $work/out/sample.chm"

if [ "$keep" -eq 0 ]; then
  $SUDO apt-get remove -y -qq quillbook >/dev/null
  # No maintainer scripts and no conffiles: nothing stays behind in state rc.
  if dpkg -l quillbook 2>/dev/null | grep -q '^rc'; then echo "package left in state rc"; exit 1; fi
  echo "package removed"
fi
