#!/usr/bin/env bash
# End to end: the desktop program starts on a virtual X display with its web view, stays up, and
# saves the user settings when the session ends it with SIGTERM.
#   tzk_e2e.sh <program>
set -euo pipefail
program=$1

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home/runtime" LC_ALL=C
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
missing="$home/not-there.tzd"

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$0" "+File:$1" >"$2/out.txt" 2>&1 &
  pid=$!
  sleep 6
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "the program ended by itself"; cat "$2/out.txt"; exit 1
  fi
  kill -TERM "$pid"
  wait "$pid"
' "$program" "$missing" "$home"

settings="$XDG_CONFIG_HOME/Norbeck Software Design/TZK2.ini"
if [ ! -f "$settings" ]; then
  echo "no settings written at $settings"
  exit 1
fi
# The window's size was saved; the missing start-up file was not remembered.
grep -q '^pr=' "$settings" || { echo "no window position saved"; cat "$settings"; exit 1; }
if grep -q 'not-there' "$settings"; then
  echo "the missing file was remembered"; cat "$settings"; exit 1
fi
echo "ok"
