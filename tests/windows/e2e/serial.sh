#!/usr/bin/env bash
# The Windows console's serial send, end to end: the Linux virtual printer on
# a pseudo-terminal, COM1 of the test's Wine prefix mapped to it (Wine's port
# mapping in the registry), the real console dialog driven by e2e_tests.exe.
# The printer's transcript and byte count must equal those of decoding the
# expected bytes directly. LOCALE (e.g. zh_CN.UTF-8) runs Wine under that
# locale, compiled into the build folder when the system lacks it.
# usage: serial.sh BUILD_DIR PRINTER [LOCALE]   (exit 77: no printer built, skipped)
set -euo pipefail
locale="${3:-}"
. "$(dirname "$0")/setup.sh" "serial${locale:+-$locale}" "$1" "$2"
if [ -n "$locale" ]; then
  if ! locale -a | grep -qix "${locale/UTF-8/utf8}"; then
    export LOCPATH="$build/locale"
    if [ ! -d "$LOCPATH/$locale" ]; then
      mkdir -p "$LOCPATH"
      timeout 120 localedef -i "${locale%%.*}" -f "${locale#*.}" "$LOCPATH/$locale"
    fi
  fi
  # bash itself need not know the locale: only Wine reads it.
  { export LANG="$locale" LC_ALL="$locale"; } 2>/dev/null
fi

# The command file: initialise, a line of text, GBK text, a cut.
printf '\x1b\x40Hello, printer\n\xb2\xe2\xca\xd4\n\x1d\x56\x00' > "$out/command.bin"
# Everything the printer must receive: the hex command, 测试 in GBK, the file,
# the four status requests, then 打印机 typed in GBK.
{ printf '\x1b\x40\x0a\xb2\xe2\xca\xd4'; cat "$out/command.bin"; printf '\x10\x04\x01\x10\x04\x02\x10\x04\x03\x10\x04\x04'
  printf '\xb4\xf2\xd3\xa1\xbb\xfa'; } > "$out/expected.bin"

trap 'unmap_com1; printers_stop' EXIT

serial_printer "$out/printer.log" --out "$out/printer" --quiet 200
pty=$printer_pty
case "$pty" in /dev/pts/*) ;; *) echo "serial.sh: $pty is no pseudo-terminal"; exit 1 ;; esac

# COM1 of this prefix is the printer's line, never a real port.
map_com1 "$pty"

file=$(timeout 60 winepath -w "$out/command.bin")
MPTEST_E2E_FILE="$file" "$root/scripts/wine-run" "$build/e2e_tests.exe" --gtest_filter='WindowsConsole.*'

unmap_com1
printers_stop
trap - EXIT
"$printer" decode "$out/expected.bin" --out "$out/expected" --quiet 200 > /dev/null

received=$(sed -n 's/.*"bytesReceived": \([0-9]*\).*/\1/p' "$out/printer/state.json")
expected=$(stat -c %s "$out/expected.bin")
if [ "$received" != "$expected" ]; then
  echo "serial.sh: the printer received $received bytes, expected $expected"; exit 1
fi
if ! diff -u "$out/expected/transcript.txt" "$out/printer/transcript.txt"; then
  echo "serial.sh: the printer's transcript differs from the expected bytes'"; exit 1
fi
echo "serial.sh: $received bytes arrived as sent"
