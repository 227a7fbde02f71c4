#!/usr/bin/env bash
# Wraps PNG pictures in one .ico file, one entry per picture (PNG entries, as
# Windows Vista and later read them), so Explorer, the taskbar and the Start
# menu each find the program's icon at the size they draw.
# usage: png-to-ico.sh OUT.ico IN.png...
set -euo pipefail
out="$1"
shift

# Little-endian bytes of a number, as printf escapes.
le16() { printf '\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)); }
le32() { printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
# One directory byte for a side: 0 stands for 256 and more.
side() { if (($1 >= 256)); then echo 0; else echo "$1"; fi; }
# Width or height: the big-endian word at offset 16 or 20 (IHDR).
dimension() { od -An -tu1 -j"$2" -N4 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4}'; }

{
  printf "$(le16 0)$(le16 1)$(le16 $#)"                      # ICONDIR: reserved, type icon, entries
  offset=$((6 + 16 * $#))
  for in in "$@"; do
    width=$(dimension "$in" 16)
    height=$(dimension "$in" 20)
    size=$(stat -c %s "$in")
    printf "\\$(printf %03o "$(side "$width")")\\$(printf %03o "$(side "$height")")"
    printf '\000\000'                                          # colours, reserved
    printf "$(le16 1)$(le16 32)$(le32 "$size")$(le32 "$offset")" # planes, bits, bytes, offset
    offset=$((offset + size))
  done
  cat "$@"
} > "$out.tmp"
mv "$out.tmp" "$out"
