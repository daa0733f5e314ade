# What the desktop program's end-to-end scripts share, sourced on the virtual display: a fresh
# home ($home, with the folder run/) that goes when the script ends, together with the program
# ($pid) if it still runs; the message log in $TZK_LOG_FILE. Needs xdotool.
home=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$home"
}
trap cleanup EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home/runtime" LC_ALL=C
export TZK_LOG_FILE="$home/log.txt"
mkdir -p "$XDG_RUNTIME_DIR" "$home/run" && chmod 700 "$XDG_RUNTIME_DIR"

# Ends the script as failed, with the message log and the program's output (and a picture of
# the screen when TZK_E2E_FAILSHOT names a file).
fail() {
  [ -z "${TZK_E2E_FAILSHOT:-}" ] || import -window root "$TZK_E2E_FAILSHOT" || true
  {
    echo "FAILED: $*"
    echo "--- message log"; cat "$TZK_LOG_FILE" 2>/dev/null || true
    echo "--- program output"; tail -n 40 "$home/out.txt" 2>/dev/null || true
  } >&2
  exit 1
}
# The id of the first window whose title matches, waiting for it at most 60 seconds.
# A search can fail on its own while the web view creates and drops its windows: ask again.
wait_window() {
  local id name
  for _ in $(seq 120); do
    kill -0 "$pid" 2>/dev/null || fail "the program ended while waiting for the window \"$1\""
    # The whole UTF-8 title: the Latin-1 one can lack what the windowing system appended.
    for id in $(xdotool search --name "$1" 2>/dev/null); do
      name=$(xdotool getwindowname "$id" 2>/dev/null) || continue
      if [[ $name =~ $1 ]]; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.5
  done
  fail "no window \"$1\""
}
press() { # window, keys...
  local window=$1
  shift
  xdotool windowfocus --sync "$window" && xdotool key --clearmodifiers "$@"
}
# File > Exit, the operator's way to end the program in window $1; the menu may need a moment to
# open. Fails unless the program ends with status 0.
exit_by_menu() {
  local status=0
  for _ in 1 2 3; do
    press "$1" alt+f
    sleep 0.5
    xdotool key x
    timeout 10 tail --pid="$pid" -f /dev/null && break
    xdotool key Escape
  done
  kill -0 "$pid" 2>/dev/null && fail "File > Exit did not end the program"
  wait "$pid" || status=$?
  pid=
  [ "$status" -eq 0 ] || fail "the program ended with status $status"
}
