# Virtual printers for the shell tests: sourced, not run. The caller sets
# PRINTER (mptest-printer) and calls printers_stop when it ends.
printer_pids=()

# serial_printer LOG ARGS...: starts mptest-printer serial ARGS, output in
# LOG, and sets printer_pty to its pseudo-terminal once it is ready.
serial_printer() {
  local log=$1
  shift
  "$PRINTER" serial "$@" > "$log" 2>&1 &
  printer_pids+=($!)
  printer_pty=""
  for _ in $(seq 100); do
    printer_pty=$(sed -n 's/^serial: //p' "$log" 2>/dev/null || true)
    [ -n "$printer_pty" ] && return 0
    sleep 0.1
  done
  echo "the printer did not start:"
  cat "$log"
  return 1
}

# Ends every printer started here; they write their outputs as they end.
printers_stop() {
  for pid in "${printer_pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  printer_pids=()
}
