#!/usr/bin/env bash
# Drives the bash completion as bash does: COMP_WORDS and COMP_CWORD set, the
# function called, COMPREPLY read back, in a folder with awkward file names.
set -uo pipefail
out="$1"
src="$2"
helpers=/usr/share/bash-completion/bash_completion
if [ ! -f "$helpers" ]; then
  echo "SKIP: bash-completion is not installed (bash scripts/install-deps.sh --tests)"
  exit 77
fi
scratch="$(mktemp -d /tmp/quillbook-completion-XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
mkdir -p "out dir" sub
touch "my notes.kvdb" other.kvdb notes.txt page.rtf project.hhp
mkdir -p db/2/3 db/4
echo "Parent" >db/2/.caption
"$out/quillbook" db import db tree.kvdb >/dev/null || { echo "FAIL: db import"; exit 1; }

failures=0
# Prints COMPREPLY, one entry a line, for the command line $1 (completing its last word).
complete_line() {
  bash -c '
    source "$1"; source "$2"; PATH="$3:$PATH"
    COMP_LINE="$4"; COMP_POINT=${#COMP_LINE}
    eval "COMP_WORDS=($4)"
    [[ $4 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _quillbook quillbook "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$helpers" "$src/packaging/quillbook.bash-completion" "$out" "$1" 2>/dev/null
}
expect() {  # expect LINE has|lacks WORD
  local got
  got="$(complete_line "$1")"
  if [ "$2" = has ] && ! grep -qxF -- "$3" <<<"$got"; then
    echo "FAIL: '$1' does not offer '$3'; offers: $(tr '\n' ' ' <<<"$got")"; failures=$((failures + 1))
  elif [ "$2" = lacks ] && grep -qxF -- "$3" <<<"$got"; then
    echo "FAIL: '$1' offers '$3'"; failures=$((failures + 1))
  fi
}

expect "quillbook " has export
expect "quillbook db " has tree
expect "quillbook export --" has --site
expect "quillbook export --" has --list-fields
# A file name with a space stays one word; other files are not offered for --db.
expect "quillbook export --db " has "my notes.kvdb"
expect "quillbook export --db " lacks my
expect "quillbook export --db " lacks notes.txt
# Folders after --out and --site, never option names.
expect "quillbook export --out " has "out dir"
expect "quillbook export --site " has "out dir"
expect "quillbook export --site " lacks --db
expect "quillbook export --out " lacks "my notes.kvdb"
# Item paths of the database named by --db, never option names.
expect "quillbook export --db tree.kvdb --item " has 2/3
expect "quillbook export --db tree.kvdb --item " has 4
expect "quillbook export --db tree.kvdb --item 2/" has 2/3
expect "quillbook export --db tree.kvdb --item " lacks --db
expect "quillbook export --item " lacks --db
expect "quillbook db tree tree.kvdb " has 2/3
# Field names after --set.
expect "quillbook export --set KeepF" has KeepFolderTree=
expect "quillbook export --set " lacks DatabaseHandle=
expect "quillbook convert " has page.rtf
expect "quillbook convert " lacks notes.txt
expect "quillbook compile " has project.hhp

if [ "$failures" -ne 0 ]; then
  echo "$failures completion check(s) failed"
  exit 1
fi
echo "completion checks passed"
