#!/usr/bin/env bash
# mptest-cli.exe under Wine on the network printer: the Linux virtual
# printer listening on the loopback address, reached through Winsock. The
# console send and the sample receipt must arrive as the Linux program sends
# them; a closed port must be refused with exit 1 naming host:port.
# usage: network.sh BUILD_DIR PRINTER LINUX_CLI   (exit 77: the Linux programs are not built, skipped)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../../.." && pwd)"
build="$1"
printer="$2"
linux_cli="$3"
if [ ! -x "$printer" ] || [ ! -x "$linux_cli" ]; then
  echo "network.sh: $printer or $linux_cli is not built (the Linux build makes them); skipped"
  exit 77
fi
export WINEPREFIX="${MPTEST_WINEPREFIX:-$build/wine}"
export WINEDEBUG=-all
out="$build/e2e-network"
rm -rf "$out"
mkdir -p "$out"
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null || true' EXIT

# Starts a printer on a free loopback port; sets pid and port.
start_printer() {
  "$printer" tcp --listen 127.0.0.1:0 --out "$1" >"$1.log" 2>&1 &
  pid=$!
  for _ in $(seq 200); do grep -q '^tcp: ' "$1.log" && break; sleep 0.05; done
  port=$(sed -n '1s/^tcp: 127\.0\.0\.1://p' "$1.log")
  [ -n "$port" ] || { echo "network.sh: the printer did not say its port"; exit 1; }
}
stop_printer() {
  kill "$pid"
  wait "$pid" || true
  pid=
}

cli=("$root/scripts/wine-run" "$build/mptest-cli.exe")
start_printer "$out/printer"
"${cli[@]}" send --port "tcp:127.0.0.1:$port" --hex "1B 40 0A" --json >"$out/hex.json"
grep -q "\"device\": \"127.0.0.1:$port\".*\"result\": \"ok\"" "$out/hex.json" ||
  { echo "network.sh: the hex send said: $(cat "$out/hex.json")"; exit 1; }
"${cli[@]}" test sample --port "tcp:127.0.0.1:$port" --quiet
stop_printer
code=0
"${cli[@]}" send --port "tcp:127.0.0.1:$port" --hex "1B 40" 2>"$out/refused.err" || code=$?
[ "$code" = 1 ] || { echo "network.sh: a closed port ended with $code"; exit 1; }
grep -q "127.0.0.1:$port：连接被拒绝" "$out/refused.err" ||
  { echo "network.sh: the refusal said: $(cat "$out/refused.err")"; exit 1; }

start_printer "$out/linux"
"$linux_cli" send --port "tcp:127.0.0.1:$port" --hex "1B 40 0A" --quiet
"$linux_cli" test sample --port "tcp:127.0.0.1:$port" --quiet
stop_printer
strip() { grep -v '^tcp: ' "$1"; }
if ! diff -u <(strip "$out/linux/transcript.txt") <(strip "$out/printer/transcript.txt"); then
  echo "network.sh: mptest-cli.exe's transcript differs from the Linux program's"; exit 1
fi
echo "network.sh: mptest-cli.exe's jobs arrived over TCP as the Linux program sends them"
