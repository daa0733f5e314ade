#!/usr/bin/env bash
# Runs a command on a session bus of its own with the stand-in automation server on it:
#   run_with_standin.sh <server> <command> [arguments...]
# dbus-run-session starts the bus and ends it after the command; the server is ended before that.
set -uo pipefail
if [ "${1:-}" != "--inside" ]; then
  exec timeout 60 dbus-run-session -- "$0" --inside "$@"
fi
shift
server=$1
shift

coproc SERVER { exec "$server"; }
server_pid=$SERVER_PID
if ! read -t 10 -r line <&"${SERVER[0]}" || [ "$line" != ready ]; then
  echo "run_with_standin.sh: the stand-in server did not start"
  kill "$server_pid" 2>/dev/null
  exit 1
fi
"$@"
status=$?
kill "$server_pid" 2>/dev/null
wait "$server_pid" 2>/dev/null
exit $status
