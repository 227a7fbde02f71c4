#!/usr/bin/env bash
# `cmake --install` into a scratch root, as the package lays it out: every
# file in its place, each installed program tells the project's version and
# has a manual page in English and in Chinese that names every option its
# --help lists, mptest without a display points to mptest-cli, the desktop
# entry and the AppStream metadata (which provides every program) pass their
# validators, and the headless demo runs against the installed virtual printer.
# usage: install_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
scratch=$(mktemp -d)
printer_pid=
cleanup() {
  if [ -n "$printer_pid" ]; then
    kill -TERM "$printer_pid" 2>/dev/null || true
    wait "$printer_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >/dev/null
usr="$scratch/root/usr"
for f in bin/mptest bin/mptest-printer share/applications/org.mptest.mptest.desktop \
  share/metainfo/org.mptest.mptest.metainfo.xml share/man/man1/mptest.1.gz share/man/man1/mptest-printer.1.gz \
  share/doc/mptest/copyright share/doc/mptest/changelog.gz share/doc/mptest/changelog.Debian.gz \
  share/doc/mptest/user-guide.zh.md; do
  [ -f "$usr/$f" ] || fail "$f is not installed"
done
for size in 16 24 32 48 64 128 256; do
  icon="$usr/share/icons/hicolor/${size}x${size}/apps/mptest.png"
  [ -f "$icon" ] || fail "no ${size}x${size} icon"
  # The picture's own size is in its header (IHDR width, big-endian).
  width=$(od -An -tu1 -j16 -N4 "$icon" | awk '{print $1*16777216+$2*65536+$3*256+$4}')
  [ "$width" = "$size" ] || fail "the ${size}x${size} icon is $width pixels wide"
done
programs="mptest mptest-printer mptest-cli"
for program in $programs; do
  [ -x "$usr/bin/$program" ] || fail "$program is not installed"
done

# Every program has a manual page in English and in Chinese, and each page
# names every option its program's --help (and each command's) lists.
manual() { zcat "$usr/share/man/$1/$2.1.gz" | sed 's/\\-/-/g'; }
for program in $programs; do
  for lang in man1 zh_CN/man1; do
    [ -f "$usr/share/man/$lang/$program.1.gz" ] || fail "$program has no manual page in $lang"
  done
  helps=$(env -u DISPLAY -u WAYLAND_DISPLAY "$usr/bin/$program" --help 2>&1)
  if [ "$program" = mptest-cli ]; then
    for command in ports send test firmware font machine-number image codepage drawer info; do
      helps+=$'\n'$("$usr/bin/$program" "$command" --help 2>&1)
    done
  fi
  for dir in man1 zh_CN/man1; do
    page=$(manual "$dir" "$program")
    for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$helps" | sort -u); do
      grep -q -- "$option" <<<"$page" || fail "$program's page in $dir does not describe $option"
    done
  done
done
# man finds the Chinese page by its language.
said=$(MANPATH="$usr/share/man" LANG=C.UTF-8 MANWIDTH=80 man -L zh_CN mptest-cli 2>&1) || fail "man -L zh_CN mptest-cli: $said"
grep -q '名称' <<<"$said" && grep -q '生产线' <<<"$said" || fail "man -L zh_CN mptest-cli shows no Chinese page: $said"
grep -q "mptest-printer is a developer's tool" <<<"$("$usr/bin/mptest-printer" --help)" ||
  fail "mptest-printer --help does not say why it is in English"

# Without a display the installed mptest points to what the package ships.
if said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/mptest" 2>&1); then
  fail "mptest without a display ended with 0"
fi
grep -q 'mptest-cli' <<<"$said" || fail "mptest without a display does not name mptest-cli: $said"
! grep -q 'scripts/' <<<"$said" || fail "mptest without a display names a script the package does not ship: $said"

# Every installed program that has --version tells the one version.
for program in mptest mptest-printer mptest-cli; do
  [ -x "$usr/bin/$program" ] || continue
  if [ "$program" != mptest ] && ! "$usr/bin/$program" --help 2>&1 | grep -q -- --version; then
    echo "install_test: $program has no --version yet"
    continue
  fi
  said=$("$usr/bin/$program" --version)
  [ "$said" = "$program $version" ] || fail "$program --version said \"$said\", not \"$program $version\""
done

desktop-file-validate "$usr/share/applications/org.mptest.mptest.desktop"
metainfo="$usr/share/metainfo/org.mptest.mptest.metainfo.xml"
for program in $programs; do
  grep -q "<binary>$program</binary>" "$metainfo" || fail "the AppStream metadata does not provide $program"
done
grep -q 'USB printers and the parallel port the lp group' "$metainfo" ||
  fail "the AppStream metadata does not say what USB printers need"
appstreamcli validate --no-net "$usr/share/metainfo/org.mptest.mptest.metainfo.xml" >/dev/null ||
  fail "appstreamcli validate: $(appstreamcli validate --no-net "$usr/share/metainfo/org.mptest.mptest.metainfo.xml")"

# The demo against the installed printer on COM1, with a private serial store.
export XDG_CONFIG_HOME="$scratch/config"
mkdir -p "$XDG_CONFIG_HOME" "$scratch/out/printer"
"$usr/bin/mptest-printer" serial --as COM1 --out "$scratch/out/printer" >"$scratch/printer.log" 2>&1 &
printer_pid=$!
for _ in $(seq 100); do
  grep -q '^serial: ' "$scratch/printer.log" && break
  kill -0 "$printer_pid" 2>/dev/null || break
  sleep 0.1
done
grep -q '^serial: ' "$scratch/printer.log" || fail "the installed printer did not start: $(cat "$scratch/printer.log")"
QT_QPA_PLATFORM=offscreen timeout 120 "$build/mptest-demo" --out "$scratch/out" >"$scratch/demo.log" 2>&1 ||
  fail "the demo failed: $(cat "$scratch/demo.log")"
kill -TERM "$printer_pid"
wait "$printer_pid" || true
printer_pid=
[ -s "$scratch/out/printer/paper.png" ] || fail "the installed printer printed nothing"
echo "install_test: installed, version $version, validated, demo against the installed printer"
