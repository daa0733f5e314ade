#!/usr/bin/env bash
# End to end: the desktop program as a station of four test sockets on a virtual X display,
# operated with real input. Socket 2's unit fails, socket 3 asks the operator a question, socket 1
# soaks for long. The operator starts all sockets (F5), answers socket 3's question while socket 1
# runs on, starts socket 3 again from its tile while socket 1 still runs, stops socket 1 alone
# (Ctrl+1, F9), starts every ready socket again (F5), stops them all (Shift+F9) and ends the
# program through File > Exit. The message log (TZK_LOG_FILE) shows
# each socket's lines with its "[k] ".
#   tzk_e2e_sockets.sh <program> [screenshot.png]
# With a second argument the window is photographed in the middle of the run (the picture of the
# documentation).
set -euo pipefail
program=$(realpath "$1") screenshot=${2:-}
[ -z "$screenshot" ] || screenshot=$(realpath -m "$screenshot")

if [ -z "${TZK_E2E_DISPLAY:-}" ]; then
  export TZK_E2E_DISPLAY=1
  exec timeout 170 xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

operator="Ann Example"
source "$(dirname "$0")/e2e_window.sh"
settings_dir="$XDG_CONFIG_HOME/Norbeck Software Design"
mkdir -p "$settings_dir"
printf '[Sockets]\nCount=4\n' >"$settings_dir/TZK2.ini"

definition="$home/run/sockets.TZD"
{
  cat <<'EOF'
Set(FileInfo; "Four sockets"; "1.0")
Set(String; Serial)
Device.Create(SystemControl; Sys)
Test.Case("Identify")
{
    Sys.AssignVariable("Read the serial number"; "SN-100%_Socket"; Serial)
}
#if __Socket = 3
Test.Case("Lid")
{
    Sys.Dialog("Lid closed"; "Fixture"; "Is the lid of socket 3 closed?"; ButtonYesNo)
}
#endif
#if __Socket = 1
EOF
  for i in $(seq 40); do
    printf 'Test.Case("Soak %d")\n{\n    Sys.Delay("Soak"; 1000)\n}\n' "$i"
  done
  cat <<'EOF'
#else
Test.Case("Soak")
{
    Sys.Delay("Soak"; 800)
}
#endif
Test.Case("Supply")
{
    Sys.Evaluate("Supply voltage"; %_Socket <> 2)
}
EOF
} >"$definition"

# How many lines of the message log match a pattern (grep -E).
count_log() { grep -cE "$1" "$TZK_LOG_FILE" 2>/dev/null || true; }
# Waits at most 30 seconds until at least $2 lines match $1.
wait_log() {
  local want=${2:-1}
  for _ in $(seq 300); do
    [ "$(count_log "$1")" -ge "$want" ] && return 0
    kill -0 "$pid" 2>/dev/null || fail "the program ended while waiting for \"$1\""
    sleep 0.1
  done
  fail "the message log did not show \"$1\" $want time(s)"
}

socket1_running() { [ "$(count_log '^\[1\] .*Info: Test process')" -eq 0 ]; }
stamp='[0-9][0-9]:[0-9][0-9]:[0-9][0-9]\.[0-9]{3}'

"$program" "+File:$definition" >"$home/out.txt" 2>&1 &
pid=$!
main=$(wait_window "^ TZK - $definition\$")
xdotool windowmove --sync "$main" 0 0 windowsize --sync "$main" 1280 800
wait_log "Info: Test process loaded successfully\."

# F5 starts all four sockets; the operator is asked once for the station.
press "$main" F5
operator_box=$(wait_window '^Operator$')
xdotool windowfocus --sync "$operator_box"
xdotool type --delay 20 "$operator"
xdotool key Return
for k in 1 2 3 4; do wait_log "^\[$k\] $stamp Info: START \("; done

# Socket 3 asks; socket 1 goes on to its next soak while the question is open.
question=$(wait_window '^\[3\] Fixture$')
soaks=$(count_log '^\[1\] .*Info: [0-9]+\. Soak')
wait_log '^\[1\] .*Info: [0-9]+\. Soak' $((soaks + 1))
press "$question" Return # Yes
wait_log "^\[3\] $stamp Info: Test process successfully finished"
wait_log "^\[2\] $stamp Info: Test process ended with 1 Error\(s\)"
wait_log "^\[4\] $stamp Info: Test process successfully finished"
socket1_running || fail "socket 1 ended before its soak was through"

# Socket 3 starts again from its tile (its Start button, the third tile of the strip).
tile_x=$((4 + 2 * 244 + 60)) tile_y=172
xdotool mousemove --window "$main" "$tile_x" "$tile_y" click 1
wait_log "^\[3\] $stamp Info: START \(" 2
question=$(wait_window '^\[3\] Fixture$')
press "$question" Return
wait_log "^\[3\] $stamp Info: Test process successfully finished" 2
socket1_running || fail "socket 1 ended before its soak was through"

if [ -n "$screenshot" ]; then
  sleep 1.2 # the tiles' clocks and states catch up once a second
  import -window root "$screenshot"
fi

# Socket 1 alone is stopped: a click on the fourth tile selects socket 4, Ctrl+1 socket 1 again,
# F9 stops it; its final line says so.
xdotool mousemove --window "$main" $((4 + 3 * 244 + 100)) 95 click 1
sleep 0.3
press "$main" ctrl+1
press "$main" F9
wait_log "^\[1\] $stamp Info: Process stopped by user at "
wait_log "^\[1\] $stamp Info: Test process ended with 1 Error\(s\)"

# F5 starts every ready socket again, without asking for the operator; Stop All (Shift+F9) then
# stops the sockets still running: socket 1 in its soak and socket 3 at its open question, which
# goes with it.
press "$main" F5
for k in 1 2 4; do wait_log "^\[$k\] $stamp Info: START \(" 2; done
wait_log "^\[3\] $stamp Info: START \(" 3
question=$(wait_window '^\[3\] Fixture$')
xdotool search --name '^Operator$' >/dev/null 2>&1 && fail "the operator was asked again"
press "$main" shift+F9
wait_log "^\[1\] $stamp Info: Process stopped by user at " 2
wait_log "^\[3\] $stamp Info: Process stopped by user at "
wait_log "^\[3\] $stamp Info: Test process ended with" 1
for _ in $(seq 20); do
  xdotool search --name '^\[3\] Fixture$' >/dev/null 2>&1 || break
  sleep 0.25
done
xdotool search --name '^\[3\] Fixture$' >/dev/null 2>&1 && fail "socket 3's question outlived Stop All"

exit_by_menu "$main"

# Each socket's serial number and outcome; one operator question per run of socket 3.
# Socket 2 failed its first run; Stop All may catch its second before its failing step.
[ "$(count_log '^\[2\] .*Error: Expression is false')" -ge 1 ] || fail "socket 2 did not fail"
[ "$(count_log '^\[3\] .*Info: START \(')" -eq 3 ] || fail "socket 3 did not run three times"
[ "$(count_log '^\[[124]\] .*Info: START \(')" -eq 6 ] || fail "sockets 1, 2 and 4 did not run twice each"
grep -q '^Count=4' "$settings_dir/TZK2.ini" || fail "the socket count was not kept: $(cat "$settings_dir/TZK2.ini")"
echo "ok"
