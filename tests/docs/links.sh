#!/usr/bin/env bash
# The README stays a front door (at most 250 lines) and every page it and
# docs/ link to, every picture they show and every script they name is there.
# usage: links.sh SOURCE_DIR
set -euo pipefail
cd "$1"
status=0
fail() { echo "links.sh: $*"; status=1; }

lines=$(wc -l < README.md)
[ "$lines" -le 250 ] || fail "README.md has $lines lines, more than 250"

for page in README.md docs/*.md; do
  dir=$(dirname "$page")
  # Markdown links and pictures with a relative target: [text](target)
  { grep -o '](\([^)#:]*\))' "$page" || true; } | sed 's/^](//; s/)$//' | sort -u | while read -r target; do
    [ -n "$target" ] || continue
    [ -e "$dir/$target" ] || { echo "links.sh: $page links to $target, which is not there"; exit 1; }
  done || status=1
  for script in $(grep -o 'scripts/[a-z-]*' "$page" | sort -u); do
    [ -x "$script" ] || fail "$page names $script, which is not an executable script"
  done
done
[ "$status" = 0 ] && echo "links.sh: README.md and docs/ link to what is there"
exit "$status"
