#!/usr/bin/env bash
# 使用说明.txt of the Windows packages: the Chinese user guide as plain text
# for Notepad (headings in 【】, each table row as an item and its indented
# text, no Markdown marks), then the Windows-only part on mptest-cli.exe;
# UTF-8 with a byte-order mark and CRLF line ends, which Notepad reads as
# UTF-8 on every locale.
# usage: make-guide.sh GUIDE.md CLI-GUIDE.txt OUT
set -euo pipefail
{
  printf '\357\273\277'
  awk '
    { gsub(/`/, ""); gsub(/\*\*/, "") }
    /^# /   { sub(/^# /, ""); print; next }
    /^#+ /  { sub(/^#+ /, ""); print "【" $0 "】"; next }
    /^\|[- |:]*$/ { next }                         # a table rule
    /^\|/ {
      if (!inTable) { inTable = 1; next }          # the header row names the columns only
      line = $0; sub(/^\| */, "", line); sub(/ *\|$/, "", line)
      n = split(line, cell, / *\| */)
      print cell[1]
      for (i = 2; i <= n; ++i) print "    " cell[i]
      next
    }
    { inTable = 0; print }
  ' "$1"
  printf '\n'
  cat "$2"
} | sed 's/$/\r/' > "$3.tmp"
mv "$3.tmp" "$3"
