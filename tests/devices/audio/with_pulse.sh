#!/usr/bin/env bash
# Runs a command against a private PulseAudio server with the example's null sink
# "TZK-Example-Speakers" (2 channels, 48 kHz), then stops the server.
#   with_pulse.sh <command> [arguments...]
# The server runs in per-user mode in the foreground as our child, as an ordinary user or as root
# (it only warns without --system); its own HOME and runtime folder keep it apart from any other
# server, and the socket needs no cookie. Start and run are bounded in time.
set -uo pipefail

dir=$(mktemp -d)
server=
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
  fi
  rm -rf "$dir"
}
trap cleanup EXIT

mkdir -m 700 "$dir/runtime"
HOME=$dir XDG_RUNTIME_DIR=$dir/runtime PULSE_RUNTIME_PATH=$dir/runtime PULSE_STATE_PATH=$dir/state \
  timeout 300 pulseaudio --daemonize=no --system=no -n --exit-idle-time=-1 --use-pid-file=no \
  --disable-shm=yes --log-target=stderr --log-level=error \
  -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" &
server=$!

export PULSE_SERVER=unix:$dir/native
for _ in $(seq 100); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.1
done
pactl load-module module-null-sink sink_name=tzk_example rate=48000 channels=2 \
  sink_properties=device.description=TZK-Example-Speakers >/dev/null || {
  echo "with_pulse.sh: the private sound server did not start"
  exit 1
}

"$@"
