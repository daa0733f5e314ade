#!/usr/bin/env bash
# tzk-run ends on SIGTERM while a check waits for an input that delivers nothing (the monitor of a
# suspended sink, as a stalled interface): the run stops, the capture ends and the program exits.
#   with_pulse.sh tzk_run_sigterm.sh <tzk-run>
# Needs the example's null sink "tzk_example" that with_pulse.sh loads.
set -uo pipefail
tzk_run=$1

dir=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT

cat >"$dir/silent.TZD" <<'TZD'
Device.Create(AudioInput; Monitor; Monitor of TZK-Example-Speakers)
Test.Case("Level")
{
    Monitor.Check.RMS("Waits for sound"; 0:100; 0:100)
}
TZD

pactl suspend-sink tzk_example 1 || { echo "cannot suspend the sink"; exit 1; }

# Alive and not yet reaped: a child that has ended stays a zombie until the wait below.
running() {
  [ -r "/proc/$pid/stat" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$pid/stat"
}

"$tzk_run" --operator ci "$dir/silent.TZD" >"$dir/out" 2>&1 &
pid=$!
sleep 2
if ! running; then
  echo "tzk-run ended before the signal:"
  cat "$dir/out"
  exit 1
fi
kill -TERM "$pid"
for _ in $(seq 50); do
  running || break
  sleep 0.1
done
if running; then
  echo "tzk-run still runs 5 s after SIGTERM:"
  cat "$dir/out"
  exit 1
fi
wait "$pid"
status=$?
pid=
cat "$dir/out"
if [ "$status" -ne 1 ]; then
  echo "exit status $status, expected 1 (the interrupted run failed)"
  exit 1
fi
exit 0
