#!/usr/bin/env bash
# Every answer of mptest-cli is true, checked at the printers (state.json and
# transcript of the virtual printers scripts/run starts): a job that cannot
# be done exits 1 (or 2) naming its cause with nothing sent; a job whose
# record or report is lost does not exit 0; global options go anywhere.
# usage: failures.sh MPTEST_CLI MPTEST_PRINTER
set -Eeuo pipefail
trap 'echo "failures.sh: line $LINENO failed: $BASH_COMMAND"' ERR
cli="$1"
PRINTER="$2"
work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config"
unset MPTEST_DEVICE_ROOT
. "$(dirname "$0")/../support/printers.sh"
trap 'printers_stop; rm -rf "$work"' EXIT
fail() {
  echo "failures.sh: $*"
  exit 1
}
root="$work/root"
mkdir -p "$root"
run_printers "$work" "$root" --await-firmware
serial="$work/printer"

# Markers on the serial printer: ESC J with a count of its own. Between
# marker N-1 and N the printer got exactly what `between N` prints.
marker=0
mark() {
  marker=$((marker + 1))
  "$cli" send --hex "1B 4A $(printf %02X "$marker")" --port COM1 --quiet
  printer_has "$serial_pid" "$serial" "ESC J feed $marker units"
}
between() {
  awk -v a="ESC J feed $(($1 - 1)) units" -v b="ESC J feed $1 units" \
    'index($0, b) { exit } started { print } index($0, a) { started = 1 }' "$serial/transcript.txt"
}
mark
# expect CODE PATTERN ARGS...: the exit code and a message on stderr.
expect() {
  local code=$1 pattern=$2 got=0
  shift 2
  "$cli" "$@" > "$work/out" 2> "$work/err" || got=$?
  [ "$got" = "$code" ] || fail "$* exited $got, not $code: $(cat "$work/err")"
  grep -q -- "$pattern" "$work/err" || fail "$* said: $(cat "$work/err")"
}
# refused CODE PATTERN ARGS...: as expect, and nothing reached the serial printer.
refused() {
  expect "$@"
  mark
  [ -z "$(between "$marker")" ] || fail "${*:3} sent: $(between "$marker")"
}

: > "$work/empty.bin"
head -c 5242881 /dev/zero > "$work/big.bin"
head -c 65536 /dev/urandom > "$work/fw.bin"

# 1: firmware never goes over a serial line, by COM name or device path.
refused 1 '并口或 USB' firmware "$work/fw.bin" --port COM1
refused 1 '并口或 USB' firmware "$work/fw.bin" --port "$printer_pty"
# 2: an empty or oversized download file is refused with the dialog's words.
refused 1 '文件为空' font "$work/empty.bin" --port COM1
refused 1 '文件超过 5 MB' font "$work/big.bin" --port COM1
expect 1 '文件为空' firmware "$work/empty.bin" --port usb --device-root "$root"
expect 1 '文件超过 5 MB' firmware "$work/big.bin" --port usb --device-root "$root"
# 9: a token with a non-hexadecimal digit is a usage error naming it.
refused 2 '"4G"' send --hex "1B 4G" --port COM1

# 11 and 5: the firmware over USB, found through MPTEST_DEVICE_ROOT with the
# global options before the command, each percentage shown once.
MPTEST_DEVICE_ROOT="$root" "$cli" --json firmware "$work/fw.bin" --port usb > "$work/out" 2> "$work/err" ||
  fail "firmware over USB: $(cat "$work/err")"
[ "$(grep -c '%' "$work/err")" = 10 ] && ! grep -q '%.*%' "$work/err" || fail "progress: $(cat "$work/err")"
printer_has "$usb_pid" "$work/usb-printer" "download firmware ended"
grep -q "\"sha256\": \"$(sha256sum < "$work/fw.bin" | cut -c1-64)\"" "$work/usb-printer/state.json" ||
  fail "the USB printer holds no firmware of the file's digest"
grep -q '"result": "ok"' "$work/out" || fail "the firmware's report: $(cat "$work/out")"
# 5: an explicit --device-root wins over the environment, and may follow the command.
MPTEST_DEVICE_ROOT="$work/nowhere" "$cli" --quiet test usb-write --port usb --device-root "$root" ||
  fail "--device-root did not win over MPTEST_DEVICE_ROOT"
printer_has "$usb_pid" "$work/usb-printer" "1B 1D 00 01"

# 7: the USB device is a path (no pipe) in JSON and in the log.
"$cli" machine-number KQ5800000042 --port usb --device-root "$root" --log "$work/usb.csv" --json > "$work/out" ||
  fail "machine number over USB"
grep -q "\"device\": \"$root/dev/usb/lp0\"" "$work/out" || fail "USB device in JSON: $(cat "$work/out")"
[ "$(cut -d, -f4 "$work/usb.csv")" = "$root/dev/usb/lp0" ] || fail "USB device in the log: $(cat "$work/usb.csv")"

# 7: a port that does not open gets the device and the reason; a device path
# is named as typed, and the way out is an option, not a dialog.
expect 1 "COM5 → $root/dev/ttyS4：设备不存在" test sample --port COM5 --device-root "$root"
expect 1 "^$work/nodev：设备不存在" test sample --port "$work/nodev"
expect 1 "^$work：这不是一个设备，请用 --port" test sample --port "$work"
! grep -q 'COM7\|端口设置' "$work/err" || fail "a device path was explained with: $(cat "$work/err")"

# 8: a counter with a byte-order mark and CRLF; its last number is issued,
# then it reads as used up and the next job stops, naming it.
printf '\357\273\277KQ9999999998\r\n' > "$work/counter"
for number in KQ9999999998 KQ9999999999; do
  "$cli" machine-number --next-from "$work/counter" --port COM1 --quiet || fail "$number was not issued"
  printer_has "$serial_pid" "$serial" "machine number \"$number\""
done
[ "$(cat "$work/counter")" = $'\357\273\277used up after KQ9999999999\r' ] || fail "the counter reads $(od -c "$work/counter")"
mark
refused 1 "计数文件 $work/counter 的号码段已用完" machine-number --next-from "$work/counter" --port COM1
echo 999999999999 > "$work/counter"
"$cli" machine-number --next-from "$work/counter" --port COM1 --quiet || fail "999999999999 was not issued"
[ "$(cat "$work/counter")" = "used up after 999999999999" ] || fail "the counter reads $(cat "$work/counter")"

# 3: a log line that cannot be written fails the job, which says why and
# that the printer has the number; the counter moves on all the same.
echo KQ5800000001 > "$work/counter"
for log in /dev/full "$work/none/units.csv"; do
  code=0
  "$cli" machine-number --next-from "$work/counter" --port COM1 --log "$log" --json > "$work/out" 2> "$work/err" ||
    code=$?
  [ "$code" = 1 ] || fail "a log at $log gave $code"
  grep -q "已写入打印机.*无法写入日志 $log: [^ ]" "$work/err" || fail "log at $log: $(cat "$work/err")"
  grep -q '"result": "failed".*"printer": "ok", "log_error": "无法写入日志 ' "$work/out" || fail "JSON: $(cat "$work/out")"
done
printer_has "$serial_pid" "$serial" 'machine number "KQ5800000002"'
[ "$(cat "$work/counter")" = KQ5800000003 ] || fail "the counter stands at $(cat "$work/counter")"

# 4: a report that cannot be written is no success.
code=0
"$cli" ports --json > /dev/full 2> "$work/err" || code=$?
[ "$code" = 1 ] && grep -q "无法写入标准输出：[^ ]" "$work/err" || fail "a full stdout gave $code: $(cat "$work/err")"

echo "failures.sh: passed"
