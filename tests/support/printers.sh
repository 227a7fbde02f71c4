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

# usb_printer LOG ARGS...: starts mptest-printer usb ARGS, output in LOG,
# and returns once its device node is in place.
usb_printer() {
  local log=$1
  shift
  "$PRINTER" usb "$@" > "$log" 2>&1 &
  printer_pids+=($!)
  for _ in $(seq 100); do
    grep -q '^usb: ' "$log" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "the USB printer did not start:"
  cat "$log"
  return 1
}

# run_printers OUT DEVROOT [USB ARGS...]: the printers of scripts/run, COM1
# on a serial printer writing into OUT/printer and a USB printer under
# DEVROOT writing into OUT/usb-printer (with USB ARGS); sets serial_pid and
# usb_pid.
run_printers() {
  local out=$1 devroot=$2
  shift 2
  mkdir -p "$out/printer" "$out/usb-printer"
  serial_printer "$out/printer/printer.log" --as COM1 --out "$out/printer"
  serial_pid=${printer_pids[-1]}
  usb_printer "$out/usb-printer/printer.log" --root "$devroot" --out "$out/usb-printer" "$@"
  usb_pid=${printer_pids[-1]}
}

# printer_has PID DIR TEXT: has printer PID write its outputs into DIR until
# its transcript holds TEXT (what went before TEXT has then arrived too);
# fails when it never does.
printer_has() {
  for _ in $(seq 50); do
    rm -f "$2/paper.png" # written last
    kill -USR1 "$1"
    for _ in $(seq 50); do
      [ -e "$2/paper.png" ] && break
      sleep 0.02
    done
    grep -qF -- "$3" "$2/transcript.txt" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "the printer's transcript in $2 never showed $3"
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
