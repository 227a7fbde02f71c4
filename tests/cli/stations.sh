#!/usr/bin/env bash
# Eight stations share one machine-number counter: eight processes each take
# 25 numbers from it, each writing to its own virtual printer. Every number
# from the first to the 200th must be given exactly once, logged as written,
# and found in the transcript of the printer it went to.
# usage: stations.sh MPTEST_CLI MPTEST_PRINTER
set -Eeuo pipefail
trap 'echo "stations.sh: line $LINENO failed: $BASH_COMMAND"' ERR
cli="$1"
printer="$2"
stations=8
per_station=25
total=$((stations * per_station))

work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config" # a private serial store
PRINTER=$printer
. "$(dirname "$0")/../support/printers.sh"
trap 'printers_stop; rm -rf "$work"' EXIT

ptys=()
for s in $(seq "$stations"); do
  mkdir -p "$work/p$s"
  serial_printer "$work/p$s.log" --out "$work/p$s" --quiet 200
  ptys+=("$printer_pty")
done

echo KQ5800000001 > "$work/counter"
station() {
  local pty=$1
  for _ in $(seq "$per_station"); do
    "$cli" machine-number --next-from "$work/counter" --port "$pty" --log "$work/log.csv" --quiet
  done
}
station_pids=()
for s in $(seq "$stations"); do
  station "${ptys[$((s - 1))]}" > "$work/station$s.out" 2>&1 &
  station_pids+=($!)
done
failed=0
for pid in "${station_pids[@]}"; do
  wait "$pid" || failed=1
done
if [ "$failed" != 0 ]; then
  cat "$work"/station*.out
  echo "a station failed"
  exit 1
fi

printers_stop # they write their transcripts as they end

expected=$(for n in $(seq 1 "$total"); do printf 'KQ58%08d\n' "$n"; done)
logged=$(cut -d, -f5 "$work/log.csv" | sort)
if [ "$logged" != "$expected" ]; then
  echo "the log does not hold each number from 1 to $total once:"
  diff <(echo "$expected") <(echo "$logged") | head -20
  exit 1
fi
if grep -v ',ok$' "$work/log.csv"; then
  echo "the log holds attempts that failed"
  exit 1
fi
next=$(cat "$work/counter")
[ "$next" = "$(printf 'KQ58%08d' $((total + 1)))" ] || { echo "the counter stands at $next"; exit 1; }
printed=$(cat "$work"/p*/transcript.txt | grep -o '"KQ58[0-9]*"' | tr -d '"' | sort)
if [ "$printed" != "$expected" ]; then
  echo "the printers did not receive each number once:"
  diff <(echo "$expected") <(echo "$printed") | head -20
  exit 1
fi
# Each station wrote its own printer: every printer holds its 25.
for s in $(seq "$stations"); do
  count=$(grep -c '"KQ58[0-9]*"' "$work/p$s/transcript.txt")
  [ "$count" = "$per_station" ] || { echo "printer $s received $count numbers"; exit 1; }
done
echo "stations.sh: $total numbers, each given once"
