#!/usr/bin/env bash
# scripts/run --shell as docs/production-line.md uses it: the command runs in
# out/shell/ with mptest-cli on the PATH and COM1 on the serial printer, and
# what it makes there leaves git status as it was.
# usage: run_shell.sh SOURCE_DIR
set -euo pipefail
cd "$1"
fail() { echo "run_shell.sh: $*"; exit 1; }
before=$(git status --porcelain 2>/dev/null || true)
said=$(scripts/run --shell sh -c '
  pwd
  head -c 64 /dev/urandom > firmware.bin
  echo KQ5800000001 > counter.txt
  mptest-cli send --port COM1 --hex "1B 40 0A" --quiet && echo sent' 2>&1) || fail "scripts/run --shell failed: $said"
echo "$said" | grep -qx "$PWD/out/shell" || fail "the shell did not start in out/shell: $said"
echo "$said" | grep -qx sent || fail "mptest-cli did not reach COM1: $said"
[ -s out/shell/firmware.bin ] && [ -s out/shell/counter.txt ] || fail "the shell's files are not in out/shell"
grep -q 'ESC @ initialise' out/printer/transcript.txt || fail "the serial printer got nothing: $(cat out/printer/transcript.txt)"
after=$(git status --porcelain 2>/dev/null || true)
[ "$before" = "$after" ] || fail "git status changed: $(diff <(echo "$before") <(echo "$after"))"
echo "run_shell.sh: the shell works in out/shell and leaves git status alone"
