# Virtual printers for the shell tests: sourced, not run. The caller sets
# PRINTER (mptest-printer) and calls printers_stop when it ends.
printer_pids=()

# start_printer KIND LOG ARGS...: starts mptest-printer KIND ARGS, output in
# LOG, and sets printer_line to what follows "KIND: " on the line it prints
# once it is ready.
start_printer() {
  local kind=$1 log=$2
  shift 2
  "$PRINTER" "$kind" "$@" > "$log" 2>&1 &
  printer_pids+=($!)
  printer_line=""
  for _ in $(seq 100); do
    printer_line=$(sed -n "0,/^$kind: /s/^$kind: //p" "$log" 2>/dev/null || true)
    [ -n "$printer_line" ] && return 0
    sleep 0.1
  done
  echo "the $kind printer did not start:"
  cat "$log"
  return 1
}

# serial_printer LOG ARGS...: a serial printer; sets printer_pty to its
# pseudo-terminal.
serial_printer() {
  start_printer serial "$@"
  printer_pty=$printer_line
}

# usb_printer LOG ARGS...: a USB printer; returns once its device node is in place.
usb_printer() {
  start_printer usb "$@"
}

# tcp_printer LOG ARGS...: a network printer (ARGS with its --listen); sets
# printer_port to the port it listens on.
tcp_printer() {
  start_printer tcp "$@"
  printer_port=${printer_line##*:}
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

# Ends the printer started last; it writes its outputs as it ends.
printer_stop_last() {
  local pid=${printer_pids[-1]}
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  unset 'printer_pids[-1]'
}

# Ends every printer started here.
printers_stop() {
  while [ ${#printer_pids[@]} -gt 0 ]; do
    printer_stop_last
  done
}
