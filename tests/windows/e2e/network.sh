#!/usr/bin/env bash
# mptest-cli.exe under Wine on the network printer: the Linux virtual
# printer listening on the loopback address, reached through Winsock. The
# console send and the sample receipt must arrive as the Linux program sends
# them; a closed port must be refused with exit 1 naming host:port.
# usage: network.sh BUILD_DIR PRINTER LINUX_CLI   (exit 77: the Linux programs are not built, skipped)
set -euo pipefail
. "$(dirname "$0")/setup.sh" network "$@"
trap printers_stop EXIT

tcp_printer "$out/printer.log" --listen 127.0.0.1:0 --out "$out/printer"
port=$printer_port
"${cli[@]}" send --port "tcp:127.0.0.1:$port" --hex "1B 40 0A" --json >"$out/hex.json"
grep -q "\"device\": \"127.0.0.1:$port\".*\"result\": \"ok\"" "$out/hex.json" ||
  { echo "network.sh: the hex send said: $(cat "$out/hex.json")"; exit 1; }
"${cli[@]}" test sample --port "tcp:127.0.0.1:$port" --quiet
printers_stop
code=0
"${cli[@]}" send --port "tcp:127.0.0.1:$port" --hex "1B 40" 2>"$out/refused.err" || code=$?
[ "$code" = 1 ] || { echo "network.sh: a closed port ended with $code"; exit 1; }
grep -q "127.0.0.1:$port：连接被拒绝" "$out/refused.err" ||
  { echo "network.sh: the refusal said: $(cat "$out/refused.err")"; exit 1; }

tcp_printer "$out/linux.log" --listen 127.0.0.1:0 --out "$out/linux"
"$linux_cli" send --port "tcp:127.0.0.1:$printer_port" --hex "1B 40 0A" --quiet
"$linux_cli" test sample --port "tcp:127.0.0.1:$printer_port" --quiet
printers_stop
strip() { grep -v '^tcp: ' "$1"; }
if ! diff -u <(strip "$out/linux/transcript.txt") <(strip "$out/printer/transcript.txt"); then
  echo "network.sh: mptest-cli.exe's transcript differs from the Linux program's"; exit 1
fi
echo "network.sh: mptest-cli.exe's jobs arrived over TCP as the Linux program sends them"
