#!/usr/bin/env bash
# Wraps one PNG picture in an .ico file (a PNG entry, as Windows Vista and
# later read them), so the .exe shows the program's icon in Explorer.
# usage: png-to-ico.sh IN.png OUT.ico
set -euo pipefail
in="$1"
out="$2"

# Little-endian bytes of a number, as printf escapes.
le16() { printf '\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)); }
le32() { printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
# One directory byte for a side: 0 stands for 256 and more.
side() { if (($1 >= 256)); then echo 0; else echo "$1"; fi; }

# Width and height are the big-endian words at offsets 16 and 20 (IHDR).
width=$(od -An -tu1 -j16 -N4 "$in" | awk '{print $1*16777216+$2*65536+$3*256+$4}')
height=$(od -An -tu1 -j20 -N4 "$in" | awk '{print $1*16777216+$2*65536+$3*256+$4}')
size=$(stat -c %s "$in")

{
  printf "$(le16 0)$(le16 1)$(le16 1)"                         # ICONDIR: reserved, type icon, one entry
  printf "\\$(printf %03o "$(side "$width")")\\$(printf %03o "$(side "$height")")"
  printf '\000\000'                                          # colours, reserved
  printf "$(le16 1)$(le16 32)$(le32 "$size")$(le32 22)"     # planes, bits, bytes, offset
  cat "$in"
} > "$out.tmp"
mv "$out.tmp" "$out"
