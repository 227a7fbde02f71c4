#!/usr/bin/env bash
# The installer's round trip in the test prefix: a silent install into a
# folder of its own puts the program, its licence, the user guide, the
# uninstaller, the Start-menu shortcut and the Apps & features entry (with
# its size and publisher) in place, and the uninstaller says it uninstalls;
# the silent uninstall takes every one of them away again.
# usage: installer.sh SETUP.exe
set -euo pipefail
installer=$1
root="$(cd "$(dirname "$0")/../.." && pwd)"
export WINEPREFIX="${MPTEST_WINEPREFIX:-$root/build/windows/wine}"
export WINEDEBUG=-all
run="$root/scripts/wine-run"
dir="$WINEPREFIX/drive_c/mptest-installer-test"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/微型打印机测试.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\mptest'
fail() { echo "installer.sh: $*" >&2; exit 1; }
rm -rf "$dir"

MPTEST_WINE_TIMEOUT=120 "$run" "$installer" /S '/D=C:\mptest-installer-test'
for f in mptest.exe mptest-cli.exe LICENSE.txt 使用说明.txt uninstall.exe; do
  [ -f "$dir/$f" ] || fail "the install left no $f"
done
for exe in mptest.exe mptest-cli.exe; do
  cmp -s "$dir/$exe" "$root/build/windows/$exe" || fail "the installed $exe is not the one built"
done
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
entry=$(timeout 120 wine reg query "$key" /v UninstallString 2>/dev/null | tr -d '\r') || true
case "$entry" in *'C:\mptest-installer-test\uninstall.exe'*) ;; *) fail "no uninstall entry: $entry" ;; esac
# Apps & features: the size, and the publisher as the licence names its holder.
size=$(timeout 120 wine reg query "$key" /v EstimatedSize 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_DWORD *0x\([0-9a-f]*\).*/\1/p')
installed=$(du -sk "$dir" | cut -f1)
if [ -z "$size" ] || (( 16#$size * 10 < installed * 9 || 16#$size > installed )); then
  fail "EstimatedSize is ${size:-missing} (hex KiB), the folder holds $installed KiB"
fi
# reg query shows Chinese as "?" in a pipe: the exported key is UTF-16.
exported="$WINEPREFIX/drive_c/mptest-installer-test.reg"
timeout 120 wine reg export "$key" 'C:\mptest-installer-test.reg' /y >/dev/null 2>&1 || fail "cannot export $key"
publisher=$(iconv -f UTF-16 -t UTF-8 "$exported" | tr -d '\r' | sed -n 's/^"Publisher"="\(.*\)"$/\1/p')
rm -f "$exported"
holder=$(sed -n 's/^Copyright (c) [0-9]* //p' "$root/LICENSE")
[ "$publisher" = "mptest 作者们 ($holder)" ] || fail "the publisher is not the licence's holder ($holder): $publisher"
# What Explorer says each program is.
description() {
  perl -0777 -ne 'print $1 if /F\0i\0l\0e\0D\0e\0s\0c\0r\0i\0p\0t\0i\0o\0n\0\0\0(?:\0\0)?((?:..)*?)\0\0/s' "$1" |
    iconv -f UTF-16LE -t UTF-8
}
case "$(description "$installer")" in *安装程序) ;; *) fail "the installer says: $(description "$installer")" ;; esac
case "$(description "$dir/uninstall.exe")" in *卸载程序) ;; *) fail "the uninstaller says: $(description "$dir/uninstall.exe")" ;; esac

# The uninstaller runs on from a copy of itself in the temporary folder and
# the call returns at once: the test waits, bounded, for the folder to go.
MPTEST_WINE_TIMEOUT=120 "$run" "$dir/uninstall.exe" /S
for _ in $(seq 300); do
  [ -e "$dir" ] || break
  sleep 0.2
done
[ ! -e "$dir" ] || fail "the uninstall left $(ls "$dir")"
[ ! -e "$shortcut" ] || fail "the uninstall left the shortcut"
if timeout 120 wine reg query "$key" >/dev/null 2>&1; then
  fail "the uninstall left its entry in the registry"
fi
echo "installer.sh: installed, then uninstalled without a trace"
