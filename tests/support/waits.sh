# SPDX-License-Identifier: MIT
# Waits for the test scripts and lanes (sourced). Each waits for the event
# itself, ending as soon as it happens, within a bound meant for a machine
# loaded far past its cores: a bound that is reached is a failure, never a
# matter of timing.

# first_line FILE PID [SECONDS]: prints the first whole line (ended by its
# newline, never a part written so far) that the process PID writes to FILE.
# Fails when PID ends without one, or after SECONDS (default 120). FILE is
# removed before PID starts: a process empties it only once it runs.
first_line() {
  local file="$1" pid="$2" end=$((SECONDS + ${3:-120})) line
  while :; do
    if IFS= read -r line 2>/dev/null <"$file"; then
      printf '%s\n' "$line"
      return 0
    fi
    if ! kill -0 "$pid" 2>/dev/null; then  # it may have written the line as it ended
      IFS= read -r line 2>/dev/null <"$file" || return 1
      printf '%s\n' "$line"
      return 0
    fi
    [[ $SECONDS -lt $end ]] || return 1
    sleep 0.1
  done
}

# line_count_above FILE COUNT [SECONDS]: true once FILE holds more than COUNT
# whole lines; false after SECONDS (default 120).
line_count_above() {
  local file="$1" count="$2" end=$((SECONDS + ${3:-120}))
  until (($(wc -l <"$file") > count)); do
    [[ $SECONDS -lt $end ]] || return 1
    sleep 0.05
  done
}

# hold_closed_port: a loopback TCP port that refuses every connection for as
# long as the holder runs: a socket bound to it without listening. Stopping a
# server instead would free its port for any other test to take before the
# refusal is seen; this port cannot be taken, as its socket is bound without
# SO_REUSEADDR. Sets closed_port and closed_port_pid (stop it by that id).
hold_closed_port() {
  local out
  out="$(mktemp /tmp/kulve-closed-port.XXXXXX)"
  python3 -c '
import signal, socket
held = socket.socket()
held.bind(("127.0.0.1", 0))
print(held.getsockname()[1], flush=True)
signal.pause()' </dev/null >"$out" &
  closed_port_pid=$!
  closed_port="$(first_line "$out" "$closed_port_pid")"
  rm -f "$out"
  [[ "$closed_port" =~ ^[0-9]+$ ]]
}
