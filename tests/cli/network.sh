#!/usr/bin/env bash
# mptest-cli on the network printer (the virtual printer on the loopback
# address): a job's bytes at the printer, the JSON device HOST:PORT, the
# stored printer in `ports`, and a refused connect, a reset during a send and
# bad addresses told with their exit codes.
# usage: network.sh MPTEST_CLI MPTEST_PRINTER
set -Eeuo pipefail
trap 'echo "network.sh: line $LINENO failed: $BASH_COMMAND"' ERR
cli="$1"
printer="$2"
work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config"
PRINTER=$printer
. "$(dirname "$0")/../support/printers.sh"
trap 'printers_stop; rm -rf "$work"' EXIT
fail() {
  echo "network.sh: $*"
  exit 1
}

tcp_printer "$work/log" --listen 127.0.0.1:0 --out "$work/out"
port=$printer_port

json=$("$cli" send --port "tcp:127.0.0.1:$port" --connect-timeout 3 --hex "1B 40 4E 45 54 0A" --json)
case "$json" in
*"\"device\": \"127.0.0.1:$port\""*'"result": "ok"'*) ;;
*) fail "send: $json" ;;
esac
"$cli" test cutter on --port "tcp:127.0.0.1:$port" --quiet || fail "test cutter on exited $?"
printers_stop
grep -q 'TEXT "NET"' "$work/out/transcript.txt" || fail "the printer did not get the send: $(cat "$work/out/transcript.txt")"
grep -q '1C AA 23 01' "$work/out/transcript.txt" || fail "the printer did not get the cutter command"

# Nothing listens there any more: refused, exit 1, naming host:port.
code=0
out=$("$cli" send --port "tcp:127.0.0.1:$port" --hex "1B 40" 2>&1) || code=$?
[ "$code" = 1 ] || fail "refused: exit $code: $out"
case "$out" in *"127.0.0.1:$port：连接被拒绝"*) ;; *) fail "refused: $out" ;; esac

# A printer that stops reading and then dies under a send: exit 1, the
# reset told with host:port and how much went.
head -c 5000000 /dev/zero | tr '\0' A >"$work/big.bin"
tcp_printer "$work/reset.log" --listen 127.0.0.1:0 --out "$work/reset"
kill -STOP "${printer_pids[-1]}"
"$cli" send --port "tcp:127.0.0.1:$printer_port" --file "$work/big.bin" --repeat 3 2>"$work/reset.err" &
sender=$!
for _ in $(seq 100); do grep -q '字节' "$work/reset.err" && break; sleep 0.05; done
kill -KILL "${printer_pids[-1]}"
code=0
wait "$sender" || code=$?
[ "$code" = 1 ] || fail "reset: exit $code: $(cat "$work/reset.err")"
grep -q "文件发送失败：与 127.0.0.1:$printer_port 的连接被打印机重置，已发出 [0-9]* 字节" "$work/reset.err" ||
  fail "reset: $(tr '\r' '\n' <"$work/reset.err" | tail -1)"

# Bad addresses and time-outs: usage errors, exit 2.
for bad in "tcp:" "tcp:[::1" "tcp:host:0" "tcp:::1:9100"; do
  code=0
  out=$("$cli" send --port "$bad" --hex "1B 40" 2>&1) || code=$?
  [ "$code" = 2 ] || fail "$bad: exit $code: $out"
done
code=0
"$cli" send --port tcp:127.0.0.1 --connect-timeout 0 --hex "1B 40" 2>/dev/null || code=$?
[ "$code" = 2 ] || fail "--connect-timeout 0: exit $code"

# The stored network printer, as 端口设置 stores it.
mkdir -p "$XDG_CONFIG_HOME/mptest"
printf 'host=::1\nport=9101\ntimeout=7\n' >"$XDG_CONFIG_HOME/mptest/network.conf"
"$cli" ports --json | grep -qx '{"port": "tcp", "device": "\[::1\]:9101", "connect_timeout": 7}' ||
  fail "ports: $("$cli" ports --json)"
echo "network.sh: ok"
