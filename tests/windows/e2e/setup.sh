# The start every end-to-end script under Wine shares: sourced, not run, as
#   . "$(dirname "$0")/setup.sh" NAME BUILD_DIR PRINTER [LINUX_CLI]
# Skips the test (exit 77) when the Linux programs are not built; exports the
# test's Wine prefix; sets root, build, printer, linux_cli, out (an empty
# BUILD_DIR/e2e-NAME) and cli (mptest-cli.exe under Wine); loads the helpers
# for the virtual printers (PRINTER set) and for COM1.
name=$1
build=$2
printer=$3
linux_cli=${4:-}
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
for program in "$printer" ${linux_cli:+"$linux_cli"}; do
  if [ ! -x "$program" ]; then
    echo "$name: $program is not built (the Linux build makes it); skipped"
    exit 77
  fi
done
export WINEPREFIX="${MPTEST_WINEPREFIX:-$build/wine}"
export WINEDEBUG=-all
out="$build/e2e-$name"
rm -rf "$out"
mkdir -p "$out"
cli=("$root/scripts/wine-run" "$build/mptest-cli.exe")
PRINTER=$printer
. "$root/tests/support/printers.sh"
. "$root/tests/windows/e2e/com1.sh"
