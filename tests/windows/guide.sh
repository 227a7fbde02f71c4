#!/usr/bin/env bash
# 使用说明.txt as the Windows packages ship it: plain text Notepad shows as
# it is (UTF-8 with a byte-order mark, CRLF line ends, no Markdown marks),
# every section of the user guide in it, and the part on mptest-cli.exe,
# which ships beside it.
# usage: guide.sh 使用说明.txt GUIDE.md
set -euo pipefail
text=$1
guide=$2
fail() { echo "guide.sh: $*" >&2; exit 1; }
[ "$(head -c 3 "$text" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "no UTF-8 byte-order mark"
if grep -qv $'\r$' "$text"; then fail "a line without CRLF: $(grep -nv $'\r$' "$text" | head -1)"; fi
plain=$(tr -d '\r' < "$text")
marks=$(grep -nE '^#|\||`|\*\*|\]\(' <<<"$plain" || true)
[ -z "$marks" ] || fail "Markdown left in the text:"$'\n'"$marks"
while IFS= read -r heading; do
  grep -qxF "【$heading】" <<<"$plain" || fail "the section $heading is missing"
done < <(sed -n 's/^## //p' "$guide")
for line in "mptest-cli.exe ports" "mptest-cli.exe send --port COM1 --hex \"1B 40 0A\"" "mptest-cli.exe 命令 --help"; do
  grep -qF "$line" <<<"$plain" || fail "nothing on mptest-cli.exe: no \"$line\""
done
echo "guide.sh: plain text with every section and mptest-cli.exe"
