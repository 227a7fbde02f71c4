#!/usr/bin/env bash
# mptest-cli.exe under Wine, end to end: the Linux virtual printer on a
# pseudo-terminal, COM1 of the test's Wine prefix mapped to it. The console
# send (hex and GBK text) and the sample receipt must arrive byte for byte,
# the output must be in the console (stdout, UTF-8), and the exit codes must
# be those of the Linux program.
# usage: cli.sh BUILD_DIR PRINTER LINUX_CLI   (exit 77: the Linux programs are not built, skipped)
set -euo pipefail
. "$(dirname "$0")/setup.sh" cli "$@"
trap 'unmap_com1; printers_stop' EXIT

serial_printer "$out/printer.log" --out "$out/printer" --quiet 200
pty=$printer_pty
map_com1 "$pty"

"${cli[@]}" send --port COM1 --hex "1B 40 0A" --json > "$out/hex.json"
grep -q '"result": "ok", "message": "已发送字节数 3"' "$out/hex.json" ||
  { echo "cli.sh: the hex send said: $(cat "$out/hex.json")"; exit 1; }
"${cli[@]}" send --port COM1 --text "测试" --quiet
"${cli[@]}" test sample --port COM1 --quiet
code=0
"${cli[@]}" test nonesuch --port COM1 2> "$out/usage.err" || code=$?
[ "$code" = 2 ] || { echo "cli.sh: an unknown test ended with $code"; exit 1; }
grep -q 'nonesuch' "$out/usage.err" || { echo "cli.sh: the usage error said: $(cat "$out/usage.err")"; exit 1; }

unmap_com1
printers_stop
# The same jobs from the Linux build's mptest-cli to a second printer: the
# two transcripts must be the same.
serial_printer "$out/linux.log" --out "$out/linux" --quiet 200
"$linux_cli" send --port "$printer_pty" --hex "1B 40 0A" --quiet
"$linux_cli" send --port "$printer_pty" --text "测试" --quiet
"$linux_cli" test sample --port "$printer_pty" --quiet
printers_stop
trap - EXIT
received=$(sed -n 's/.*"bytesReceived": \([0-9]*\).*/\1/p' "$out/printer/state.json")
# 3 hex bytes, 4 of GBK text, the 2607-byte sample receipt.
if [ "$received" != $((3 + 4 + 2607)) ]; then
  echo "cli.sh: the printer received $received bytes"; exit 1
fi
if ! diff -u "$out/linux/transcript.txt" "$out/printer/transcript.txt"; then
  echo "cli.sh: mptest-cli.exe's transcript differs from the Linux program's"; exit 1
fi
echo "cli.sh: $received bytes arrived as the Linux program sends them"
