# COM1 of the test's Wine prefix (WINEPREFIX) on a pseudo-terminal, never a
# real port: sourced by the end-to-end scripts.

# map_com1 PTY
map_com1() {
  timeout 120 wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$1" /f >/dev/null
  ln -sfn "$1" "$WINEPREFIX/dosdevices/com1"
}

# The mapping lives only as long as the printer's line.
unmap_com1() {
  rm -f "$WINEPREFIX/dosdevices/com1"
  timeout 120 wine reg delete 'HKLM\Software\Wine\Ports' /v COM1 /f >/dev/null 2>&1 || true
}
