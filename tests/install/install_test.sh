#!/usr/bin/env bash
# `cmake --install` into a scratch root, as the package lays it out: every
# file in its place, each installed program tells the project's version, the
# desktop entry and the AppStream metadata pass their validators, and the
# headless demo runs against the installed virtual printer.
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
if [ -x "$usr/bin/mptest-cli" ]; then
  [ -f "$usr/share/man/man1/mptest-cli.1.gz" ] || fail "mptest-cli has no manual page"
fi

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
