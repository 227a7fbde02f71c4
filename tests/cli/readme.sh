#!/usr/bin/env bash
# The station script and production-line jobs of docs/production-line.md,
# taken from the page and run as written against the virtual printers as
# scripts/run --shell starts them (the same function starts them). Each unit
# is a session of its own, as each unit is a printer switched on afresh: one
# on USB, one on COM1 with its firmware over USB, and one on COM1 without
# that, which must stop at the firmware with nothing sent. Each step is read
# back from the printers: the firmware and the font with their SHA-256, the
# machine number stored and printed, the receipt and its cut.
# usage: readme.sh PAGE MPTEST_CLI MPTEST_PRINTER
set -Eeuo pipefail
trap 'echo "readme.sh: line $LINENO failed: $BASH_COMMAND"' ERR
readme="$1"
cli=$(realpath "$2")
PRINTER=$(realpath "$3")
work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config"
. "$(dirname "$0")/../support/printers.sh"
trap 'printers_stop; rm -rf "$work"' EXIT
fail() {
  echo "readme.sh: $*"
  exit 1
}

# The first sh block after the marker.
awk '/tests\/cli\/readme.sh runs the script below/ { found = 1; next }
     found && /^```sh$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$readme" > "$work/station.sh"
grep -q 'mptest-cli machine-number' "$work/station.sh" || fail "no station script in $readme"

cd "$work"
head -c 65536 /dev/urandom > firmware.bin
head -c 32768 /dev/urandom > font.bin
echo KQ5800000001 > counter.txt
export PATH="$(dirname "$cli"):$PATH"
digest() { sha256sum < "$1" | cut -c1-64; }

# session NAME: the printers of scripts/run --shell, outputs under NAME/.
session() {
  printers_stop
  mkdir -p "$1/root"
  export MPTEST_DEVICE_ROOT="$work/$1/root"
  run_printers "$work/$1" "$MPTEST_DEVICE_ROOT" --await-firmware > /dev/null
}
# unit PRINTER_DIR NUMBER: the printer in PRINTER_DIR took the font, holds
# NUMBER, printed it once, and printed and cut the receipt.
unit() {
  local state="$1/state.json"
  grep -q "\"kind\": \"font\"" "$state" && grep -q "\"sha256\": \"$(digest font.bin)\"" "$state" ||
    fail "$1 holds no font of font.bin's digest"
  grep -q 'font download preamble' "$1/transcript.txt" || fail "$1 was never asked for the font"
  grep -q "machine number \"$2\"" "$1/transcript.txt" || fail "$1 was never given $2"
  [ "$(grep -c "print machine number \"$2\"" "$1/transcript.txt")" = 1 ] && grep -q '"machineNumberPrints": 1' "$state" ||
    fail "$1 did not print $2 once"
  grep -q 'ESC \* bit image' "$1/transcript.txt" || fail "$1 printed no receipt"
  grep -q '"cutCount": 1' "$state" && grep -q '"full": true' "$state" || fail "$1 made no full cut"
}
firmware_on() {
  grep -q "\"kind\": \"firmware\"" "$1/state.json" && grep -q "\"sha256\": \"$(digest firmware.bin)\"" "$1/state.json" ||
    fail "$1 holds no firmware of firmware.bin's digest"
}

# A unit on USB: every step on the USB printer, nothing on the serial one.
session usb
sh station.sh > unit1.out 2>&1 || fail "the USB unit failed: $(cat unit1.out)"
printers_stop
firmware_on usb/usb-printer
unit usb/usb-printer KQ5800000001
grep -q '"machineNumber": "KQ5800000001"' usb/usb-printer/state.json || fail "the USB printer holds no KQ5800000001"
grep -q '"bytesReceived": 0' usb/printer/state.json || fail "the serial printer got bytes"

# A unit on COM1 without a firmware port: refused at the firmware, nothing
# sent, no number used.
session serial
code=0
PORT=COM1 sh station.sh > refused.out 2>&1 || code=$?
[ "$code" = 1 ] && grep -q '固件只能通过并口或 USB 口下载' refused.out || fail "firmware over COM1 gave $code: $(cat refused.out)"
# The same unit with its firmware over USB.
PORT=COM1 FIRMWARE_PORT=usb sh station.sh > unit2.out 2>&1 || fail "the COM1 unit failed: $(cat unit2.out)"

# The table's other jobs, on the same printers.
mptest-cli ports --json > ports.json
grep -q "\"port\": \"COM1\", \"device\": \"$printer_pty\"" ports.json && grep -q '"port": "usb".*"found": true' ports.json ||
  fail "ports: $(cat ports.json)"
printf '\033J\007' > jobs.bin
mptest-cli send --port COM1 --hex "1B 40 0A" --quiet
mptest-cli send --port COM1 --text "测试 printer" --quiet
mptest-cli send --port COM1 --file jobs.bin --repeat 2 --quiet
mptest-cli test latin --port COM1 --pattern H --font 9x9 --double-width --passes 3 --quiet
mptest-cli test chinese --port COM1 --zone 2 --quiet
mptest-cli test black-mark-distance A -30 --port COM1 --quiet
mptest-cli test usb-read --port usb > usb-read.out 2>&1 || fail "usb-read: $(cat usb-read.out)"
mptest-cli machine-number KQ58abc00042 --port COM1 --quiet
printers_stop
firmware_on serial/usb-printer
grep -q '^1B 1D 00 02' serial/usb-printer/transcript.txt || fail "the USB printer was not asked for its string"
unit serial/printer KQ5800000002
transcript=serial/printer/transcript.txt
grep -q 'TEXT "测试 printer"' "$transcript" || fail "the text did not arrive"
[ "$(grep -c 'ESC J feed 7 units' "$transcript")" = 2 ] || fail "the file did not arrive twice"
grep -q '"headOffset": {' serial/printer/state.json || fail "the black-mark distance A was not set"
grep -q '"machineNumber": "KQ58abc00042"' serial/printer/state.json || fail "the last number was not stored"

[ "$(cat counter.txt)" = KQ5800000003 ] || fail "the counter stands at $(cat counter.txt)"
[ "$(cut -d, -f3,5,6 units.csv | tr '\n' ' ')" = "usb,KQ5800000001,ok COM1,KQ5800000002,ok " ] ||
  fail "the log reads: $(cat units.csv)"
echo "readme.sh: a unit on USB and one on COM1 through the README's station script"
