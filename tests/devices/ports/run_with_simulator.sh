#!/usr/bin/env bash
# Runs a command while the device-under-test simulator listens, and stops the simulator after it.
#   run_with_simulator.sh <tzk-dut-sim> <dialogue> <port> <command> [arguments...]
# SIMULATOR_OPTIONS adds options of the simulator, for example "--udp".
set -uo pipefail
simulator=$1 dialogue=$2 port=$3
shift 3

out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$simulator" --script "$dialogue" --port "$port" ${SIMULATOR_OPTIONS:-} --exit-after 120 >"$out" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
  grep -q "^listening on" "$out" && break
  if ! kill -0 "$pid" 2>/dev/null; then
    cat "$out"
    exit 1
  fi
  sleep 0.05
done

"$@"
status=$?
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
exit $status
