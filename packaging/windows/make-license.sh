#!/usr/bin/env bash
# LICENSE.txt of the Windows program: the project's licence, then the terms of
# the compiler's run-time libraries that mptest.exe carries linked in.
# usage: make-license.sh LICENSE OUT
set -euo pipefail
{
  cat "$1"
  printf '\n\n'
  echo "mptest.exe contains the run-time libraries of the compiler that built it;"
  echo "their copyright and licence terms follow."
  for doc in mingw-w64-common gcc-mingw-w64-base; do
    printf '\n==================== %s\n\n' "$doc"
    cat "/usr/share/doc/$doc/copyright"
  done
} | sed 's/$/\r/' > "$2.tmp"
mv "$2.tmp" "$2"
