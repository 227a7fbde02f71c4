#!/usr/bin/env bash
# The station script of docs/production-line.md, taken from the page and run
# as written for two units against virtual printers started as scripts/run
# starts them (a private serial store with COM1 on the serial printer): both
# units pass, the counter moves on by two, the log holds both, and the
# printer holds the second number, printed twice in all.
# usage: readme.sh PAGE MPTEST_CLI MPTEST_PRINTER
set -euo pipefail
readme="$1"
cli=$(realpath "$2")
printer=$(realpath "$3")
work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config"
PRINTER=$printer
. "$(dirname "$0")/../support/printers.sh"
trap 'printers_stop; rm -rf "$work"' EXIT
fail() { echo "readme.sh: $*"; exit 1; }

# The first sh block after the marker.
awk '/tests\/cli\/readme.sh runs the script below/ { found = 1; next }
     found && /^```sh$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$readme" > "$work/station.sh"
grep -q 'mptest-cli machine-number' "$work/station.sh" || fail "no station script in $readme"

serial_printer "$work/printer.log" --as COM1 --out "$work/printer"

cd "$work"
# Over a serial line the firmware goes out as it stands, and a printer that
# is not in its loader reads it as commands: random control bytes could leave
# it inside a long bit image that swallows the font's preamble. No control
# bytes, and a line feed to end on.
{ head -c 65535 /dev/urandom | LC_ALL=C tr '\000-\037' '\100-\137'; echo; } > firmware.bin
head -c 32768 /dev/urandom > font.bin
echo KQ5800000001 > counter.txt
export PATH="$(dirname "$cli"):$PATH"
sh station.sh > unit1.out 2>&1 || fail "the first unit failed: $(cat unit1.out)"
sh station.sh > unit2.out 2>&1 || fail "the second unit failed: $(cat unit2.out)"
[ "$(cat counter.txt)" = KQ5800000003 ] || fail "the counter stands at $(cat counter.txt)"
[ "$(cut -d, -f3,5,6 units.csv | tr '\n' ' ')" = "COM1,KQ5800000001,ok COM1,KQ5800000002,ok " ] ||
  fail "the log reads: $(cat units.csv)"

printers_stop
grep -q '"machineNumber": "KQ5800000002"' printer/state.json || fail "the printer holds no KQ5800000002"
grep -q '"machineNumberPrints": 2' printer/state.json || fail "the printer did not print the number twice"
echo "readme.sh: two units through the production line page's station script"
