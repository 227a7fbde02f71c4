#!/usr/bin/env bash
# mptest-cli as a script runs it: with no display (and with one it must not
# use), quiet on standard error but for progress and errors, one progress
# line per 10% off a terminal, Ctrl-C, SIGTERM and SIGHUP ending a send with 130 and
# the count of what went, the port free again afterwards, the USB string read
# back, and every command's help.
# usage: program.sh MPTEST_CLI MPTEST_PRINTER
set -euo pipefail
cli="$1"
printer="$2"
work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config"
PRINTER=$printer
. "$(dirname "$0")/../support/printers.sh"
trap 'printers_stop; rm -rf "$work"' EXIT
fail() { echo "program.sh: $*"; exit 1; }

mkdir -p "$work/root"
serial_printer "$work/serial.log" --as COM3 --out "$work/serial" --quiet 200
usb_printer "$work/usb.log" --root "$work/root" --out "$work/usb"

# No display, and a display that is not there: nothing on stderr either way.
for display in "-u DISPLAY -u WAYLAND_DISPLAY" "DISPLAY=:99"; do
  # shellcheck disable=SC2086
  env $display "$cli" send --port COM3 --hex "1B 40 0A" --quiet > "$work/out" 2> "$work/err" ||
    fail "the send failed with $display: $(cat "$work/err")"
  [ ! -s "$work/err" ] || fail "stderr with $display: $(cat "$work/err")"
done

# Off a terminal, a line per 10% of a file.
head -c 200000 /dev/zero > "$work/file.bin"
"$cli" send --port COM3 --file "$work/file.bin" > "$work/out" 2> "$work/err" || fail "file send: $(cat "$work/err")"
[ "$(grep -c '%' "$work/err")" = 10 ] || fail "progress lines: $(cat "$work/err")"
grep -q '已发送数据:200000字节' "$work/out" || fail "the file send said: $(cat "$work/out")"

# Ctrl-C, SIGTERM and SIGHUP (a closed ssh session) end a repeating send,
# count what went, and free the port.
for signal in INT TERM HUP; do
  "$cli" send --port COM3 --file "$work/file.bin" --repeat 1000 --json --quiet > "$work/out" 2> "$work/err" &
  sender=$!
  # The signal goes once the send holds the line: its handlers are in place
  # before any port opens.
  for _ in $(seq 200); do
    readlink /proc/"$sender"/fd/* 2>/dev/null | grep -qx "$printer_pty" && break
    sleep 0.05
  done
  kill -"$signal" "$sender"
  code=0
  wait "$sender" || code=$?
  [ "$code" = 130 ] || fail "SIG$signal ended the send with $code"
  grep -q '结束发送' "$work/err" || fail "no count after SIG$signal: $(cat "$work/err")"
  grep -q '"result": "failed"' "$work/out" || fail "SIG$signal reported: $(cat "$work/out")"
  "$cli" send --port COM3 --hex "0A" --quiet || fail "the port stayed taken after SIG$signal"
done

# The USB string, read back from the printer under a private device root.
"$cli" test usb-read --port usb --device-root "$work/root" > "$work/out" 2> "$work/err" ||
  fail "usb-read: $(cat "$work/err")"
[ -s "$work/out" ] || fail "usb-read printed nothing"

# A port that does not open: exit 1 with the dialog's words.
code=0
"$cli" test sample --port COM5 --device-root "$work/root" 2> "$work/err" || code=$?
[ "$code" = 1 ] && grep -q '串口被占用或有错误!' "$work/err" || fail "an absent COM5 gave $code: $(cat "$work/err")"

for command in ports send test firmware font machine-number; do
  "$cli" "$command" --help | grep -q "用法: mptest-cli $command" || fail "$command --help"
done
"$cli" ports --json --device-root "$work/root" | grep -q '"port": "usb", "device": ".*lp0", "found": true' ||
  fail "ports did not find the USB printer"
echo "program.sh: passed"
