#!/usr/bin/env bash
# Runs a command while the simulated multimeter sends, with the user's settings mapping a COM port
# to the meter's line, and stops the meter after it. The command also finds the line in
# $METER_LINE. The meter records its clients: when two of them had the line open at the same time,
# this fails whatever the command's status was.
#   run_with_meter.sh <tzk-meter-sim> <COMn> "<meter options>" <command> [arguments...]
# The settings file is the one of $XDG_CONFIG_HOME (set it to a folder of the test's own).
set -uo pipefail
simulator=$1 port=$2 options=$3
shift 3

out=$(mktemp)
record=$(mktemp)
trap 'rm -f "$out" "$record"' EXIT
# shellcheck disable=SC2086 # the options are separate words
"$simulator" $options --exit-after 120 --record "$record" >"$out" 2>&1 &
pid=$!
line=""
for _ in $(seq 1 100); do
  line=$(sed -n 's/^pty //p' "$out")
  [ -n "$line" ] && break
  if ! kill -0 "$pid" 2>/dev/null; then
    cat "$out"
    exit 1
  fi
  sleep 0.05
done
if [ -z "$line" ]; then
  echo "run_with_meter.sh: the meter did not start"
  kill "$pid" 2>/dev/null
  exit 1
fi

settings="${XDG_CONFIG_HOME:?}/Norbeck Software Design/TZK2.ini"
mkdir -p "$(dirname "$settings")"
printf '[SerialPorts]\n%s=%s\n' "$port" "$line" >"$settings"

METER_LINE=$line "$@"
status=$?
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
used=$(cat "$record")
echo "meter: $used"
overlaps=$(sed -n 's/.* overlaps \([0-9]*\) .*/\1/p' <<<"$used")
if [ "${overlaps:-x}" != 0 ]; then
  echo "run_with_meter.sh: the meter was used by more than one client at once (or kept no record)"
  exit 1
fi
exit $status
