#!/usr/bin/env bash
# The dialogs under Wine on the network port: e2e_tests.exe (WindowsNetwork.*)
# drives the console, the test dialog and the toolbox against the Linux
# virtual printer on the loopback address. The printer's own files must show
# what was asked: state.json the drawer's two kicks on pin 5 with their
# pulse and the character table; its transcript and paper must be those of
# the same jobs sent by the Linux mptest-cli, byte for byte.
# usage: network_dialogs.sh BUILD_DIR PRINTER LINUX_CLI   (exit 77: the Linux programs are not built, skipped)
set -euo pipefail
. "$(dirname "$0")/setup.sh" network-dialogs "$@"
trap printers_stop EXIT
fail() {
  echo "network_dialogs.sh: $*"
  exit 1
}

# What the printer says it is, for the info page.
identity=(--model 0x5A --type 0x03 --firmware-version 0x21)
image="$root/res/icons/mptest-64.png"
# The dialogs connect one after another: a printer still closing the last
# connection queues the next rather than resetting it.
tcp_printer "$out/printer.log" --listen 127.0.0.1:0 --busy wait --out "$out/printer" "${identity[@]}"
port=$printer_port
# A port nothing listens on: another printer's, ended.
tcp_printer "$out/closed.log" --listen 127.0.0.1:0 --out "$out/closed"
closed=$printer_port
printer_stop_last

MPTEST_E2E_PRINTER="127.0.0.1:$port" MPTEST_E2E_CLOSED="127.0.0.1:$closed" \
  MPTEST_E2E_MODEL="0x5A" MPTEST_E2E_VERSION="0x21" \
  MPTEST_E2E_IMAGE="$(timeout 60 winepath -w "$image")" \
  "$root/scripts/wine-run" "$build/e2e_tests.exe" --gtest_filter='WindowsNetwork.*' | tee "$out/e2e.log"
printers_stop

# The same jobs from the Linux build's mptest-cli.
tcp_printer "$out/linux.log" --listen 127.0.0.1:0 --busy wait --out "$out/linux" "${identity[@]}"
to=(--port "tcp:127.0.0.1:$printer_port" --quiet)
"$linux_cli" send --hex "1B 40 0A" "${to[@]}"
"$linux_cli" send --text "Hello, network" "${to[@]}"
"$linux_cli" test sample "${to[@]}"
"$linux_cli" drawer --pin 5 --on 100 --off 200 --times 2 --interval 100 "${to[@]}"
"$linux_cli" image "$image" --width 96 --dither floyd-steinberg "${to[@]}"
"$linux_cli" codepage 16 "${to[@]}"
"$linux_cli" info "${to[@]}"
printers_stop

# Connections differ (one per dialog, one per job): the rest must not.
strip() { grep -v '^tcp: ' "$1"; }
diff -u <(strip "$out/linux/transcript.txt") <(strip "$out/printer/transcript.txt") ||
  fail "the dialogs' transcript differs from mptest-cli's"
cmp "$out/linux/paper.png" "$out/printer/paper.png" || fail "the dialogs' paper differs from mptest-cli's"
received() { sed -n 's/.*"bytesReceived": \([0-9]*\).*/\1/p' "$1/state.json"; }
[ "$(received "$out/printer")" = "$(received "$out/linux")" ] ||
  fail "the printer received $(received "$out/printer") bytes from the dialogs, $(received "$out/linux") from mptest-cli"

# What was asked, at the printer: two kicks on pin 5, 100 ms on, 200 ms off;
# the table and the answers to GS I.
state="$out/printer/state.json"
kicks=$(sed -n '/"drawerKicks"/,/^    \]/p' "$state" | grep -E '"(pin|onMs|offMs)"' | tr -d ' \n')
[ "$kicks" = '"offMs":200,"onMs":100,"pin":5"offMs":200,"onMs":100,"pin":5' ] ||
  fail "drawer kicks: $(sed -n '/"drawerKicks"/,/^    \]/p' "$state")"
grep -q '"drawerKickCount": 2,' "$state" || fail "the drawer was not kicked twice"
for line in 'ESC t character table 16 (WPC1252)' 'ESC \* bit image: 8-dot single density, 96 columns' \
  'GS I printer ID 1 (model) -> 5A' 'GS I printer ID 3 (version) -> 21' 'TEXT "Hello, network"'; do
  grep -q "$line" "$out/printer/transcript.txt" || fail "the printer never got: $line"
done
echo "network_dialogs.sh: $(received "$out/printer") bytes from the dialogs, as mptest-cli sends them"
