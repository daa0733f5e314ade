#!/usr/bin/env bash
# End to end: the desktop program runs an example definition on its own ("+AutoStart") on a
# virtual X display. The test answers the operator-name box and the final dialog as an operator
# would, ends the program through File > Exit, and checks the final dialog's colour, the message
# log (written to TZK_LOG_FILE), the value log and the saved settings.
#   tzk_e2e_run.sh <program> <examples folder> passed|failed|doclink
#     passed   examples/valuelog.TZD: two value-log lines (WriteValueLog and the end of the run)
#     failed   examples/failure.TZD: one failed step, the run skips to the final case
#     doclink  no auto start: a click on a ">CallTestItem>" link in the definition's document
#              (the real web view) runs the second test case and what follows it
#     sigterm  examples/hello.TZD: the session ends the program while it asks for the operator's
#              name; it closes as the operator would have closed it (settings saved)
#     treeclick no auto start: F5, F9 during the first case, then clicks into the tree while the
#              final case runs; the final case runs to its end and the program stays up
# Every window title is checked whole: nothing may be appended to the program's own captions.
set -euo pipefail
program=$(realpath "$1") examples=$(realpath "$2") scenario=$3

# Everything below needs an X display: run this script again under a fresh virtual one.
if [ -z "${TZK_E2E_DISPLAY:-}" ]; then
  export TZK_E2E_DISPLAY=1
  exec timeout 150 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

case $scenario in
  passed) definition=valuelog.TZD title="Value log" colour="srgb(0,128,0)" ;;
  failed) definition=failure.TZD title="Failure demo" colour="srgb(255,0,0)" ;;
  doclink) definition=doclink.TZD title="Document link" colour="srgb(0,128,0)" ;;
  sigterm) definition=hello.TZD title= colour= ;;
  treeclick) definition=finalclick.TZD title="Final click" colour="srgb(255,0,0)" ;;
  *) echo "unknown scenario $scenario"; exit 2 ;;
esac
operator="Ann Example"

source "$(dirname "$0")/e2e_window.sh"
# The value log ("TZD:valuelog.csv") lands beside the copy, never in the source tree. An earlier
# run's line must survive this one.
if [ "$scenario" = doclink ]; then
  cat >"$home/run/$definition" <<'EOF'
Set(FileInfo; "Document link"; "1.0")
Set(DefaultDoc; "TZD:manual.html")
Device.Create(SystemControl; Sys)
Test.Case("Prepare")
{
    Sys.Delay("Only when started from the top"; 10)
}
Test.Case("Measure")
{
    Sys.Delay("Measure"; 10)
}
EOF
  # The link covers the whole page, so a click anywhere in the document view follows it.
  cat >"$home/run/manual.html" <<'EOF'
<!DOCTYPE html>
<html><body>
<a href="call>CallTestItem>measure"
   style="position:fixed; left:0; top:0; right:0; bottom:0; font-size:40px">Run the measurement</a>
</body></html>
EOF
elif [ "$scenario" = treeclick ]; then
  cat >"$home/run/$definition" <<'EOF'
Set(FileInfo; "Final click"; "1.0")
Device.Create(SystemControl; Sys)
Test.Case("Long work")
{
    Sys.Delay("Work"; 30000)
}
Test.Final("Power off")
{
    Sys.Delay("Discharge one"; 1500)
    Sys.Delay("Discharge two"; 1500)
    Sys.Delay("Discharge three"; 1500)
}
EOF
else
  cp "$examples/$definition" "$home/run/"
fi
valuelog="$home/run/valuelog.csv"
old_line='2025-02-03 10:15:07;00:00:01; ;Passed;Earlier operator'
printf 'Start;Duration;Settle_ms;Result;Operator\r\n%s\r\n' "$old_line" >"$valuelog"

# Waits at most 30 seconds for a line of the message log.
wait_log() {
  for _ in $(seq 300); do
    grep -qF "$1" "$TZK_LOG_FILE" 2>/dev/null && return 0
    kill -0 "$pid" 2>/dev/null || fail "the program ended while waiting for \"$1\""
    sleep 0.1
  done
  fail "the message log did not show \"$1\""
}

autostart=+AutoStart
case $scenario in doclink | treeclick) autostart= ;; esac
"$program" "+File:$home/run/$definition" $autostart >"$home/out.txt" 2>&1 &
pid=$!

main=$(wait_window "^ TZK - $home/run/$definition\$")
if [ "$scenario" = treeclick ]; then
  xdotool windowsize --sync "$main" 1000 720
  wait_log "Info: Test process loaded successfully."
  press "$main" F5
fi
if [ "$scenario" = doclink ]; then
  # Click into the document view (right of the tree, above the log) until the page has loaded and
  # the call asks for the operator's name.
  xdotool windowsize --sync "$main" 1000 720
  for _ in $(seq 60); do
    xdotool mousemove --window "$main" 700 250 click 1
    sleep 0.5
    xdotool search --limit 1 --name '^Operator' >/dev/null 2>&1 && break
  done
fi
operator_box=$(wait_window '^Operator$')
if [ "$scenario" = sigterm ]; then
  kill -TERM "$pid"
  timeout 20 tail --pid="$pid" -f /dev/null || fail "SIGTERM during the operator question did not end the program"
  status=0
  wait "$pid" || status=$?
  pid=
  [ "$status" -eq 0 ] || fail "the program ended with status $status"
  grep -q "Error: No operator answer available" "$TZK_LOG_FILE" || fail "the run did not stop for want of a name"
  settings="$XDG_CONFIG_HOME/Norbeck Software Design/TZK2.ini"
  grep -qxF "lf=$home/run/$definition" "$settings" || fail "settings not saved: $(cat "$settings")"
  echo "ok"
  exit 0
fi
xdotool windowfocus --sync "$operator_box"
xdotool type --delay 20 "$operator"
xdotool key Return

if [ "$scenario" = treeclick ]; then
  wait_log "Info: 1. Long work"
  press "$main" F9
  wait_log "Info: 2. Power off"
  # Rows of the tree, below the toolbar and the file-label panel: the nodes and the space after.
  for y in 110 130 150 300; do
    xdotool mousemove --window "$main" 60 "$y" click 1
    sleep 0.2
  done
fi

final=$(wait_window "^$title\$")
# The result panel: green for "Passed", red for failures (the window may still be painting).
shown=
for _ in $(seq 20); do
  shown=$(import -window "$final" -crop 1x1+15+15 -format '%[pixel:p{0,0}]' info: 2>/dev/null || true)
  [ "$shown" = "$colour" ] && break
  sleep 0.25
done
[ "$shown" = "$colour" ] || fail "the final dialog shows $shown, expected $colour"
press "$final" Escape # "Cancel": no further run

exit_by_menu "$main"

# The message log, in the order the run wrote it.
log=$(cat "$TZK_LOG_FILE")
expect_in_order() {
  local rest=$log line
  for line in "$@"; do
    [[ $rest == *"$line"* ]] || fail "the message log lacks (or has out of order) \"$line\""
    rest=${rest#*"$line"}
  done
}
stamp='[0-9][0-9]:[0-9][0-9]:[0-9][0-9].[0-9][0-9][0-9]'
if [ "$scenario" != doclink ]; then # a link call runs on without a new START
  grep -qx "$stamp Info: START (.*)" <<<"$log" || fail "no time-stamped START line"
fi
case $scenario in
  passed)
    expect_in_order "Info: Load test process \"$home/run/$definition\"" \
      "Info: Test process loaded successfully." "Info: START (" "Info: 1. Run" \
      "Info: Test process successfully finished"
    ;;
  failed)
    expect_in_order "Info: Test process loaded successfully." "Info: START (" "Info: 1. Power on" \
      "Info: 2. Calibrate" "Error: Test case \"Calibration table\" not found!" \
      "Error: Failure occured in test case \"2.1. Enable the calibration table\"" \
      "Info: 3. Power off" "Info: Test process ended with 1 Error(s)"
    ;;
  doclink)
    # The call starts at the named case (its label, any letter case) and skips the one before.
    expect_in_order "Info: Test process loaded successfully." "Info: 2. Measure" \
      "Info: Test process successfully finished"
    [[ $log != *"1. Prepare"* ]] || fail "the case before the called one ran"
    ;;
  treeclick)
    expect_in_order "Info: START (" "Info: 1. Long work" "Info: Process stopped by user at \"1.1. Work\"" \
      "Info: 2. Power off" "Info: Test process ended with 1 Error(s)"
    ;;
esac

# The value log: the earlier line kept, no second header for the same columns, and the run's lines
# with the start time, the duration, the unset column as a blank, the result and the operator.
mapfile -t lines < <(tr -d '\r' <"$valuelog")
case $scenario in
  passed)
    [ "${#lines[@]}" -eq 4 ] || fail "value log has ${#lines[@]} lines, expected 4: $(cat "$valuelog")"
    [ "${lines[1]}" = "$old_line" ] || fail "the earlier value-log line changed: ${lines[1]}"
    data='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2};[0-9]{2}:[0-9]{2}:[0-9]{2}; ;Passed;'"$operator"'$'
    for line in "${lines[2]}" "${lines[3]}"; do
      [[ $line =~ $data ]] || fail "value-log line \"$line\" does not have the expected columns"
    done
    ;;
  failed | doclink | treeclick)
    # These definitions keep no value log.
    [ "${#lines[@]}" -eq 2 ] || fail "a definition without a value log wrote to one"
    ;;
esac

# Ending through the menu saved the settings, with the run definition as the last file.
settings="$XDG_CONFIG_HOME/Norbeck Software Design/TZK2.ini"
[ -f "$settings" ] || fail "no settings written at $settings"
grep -qxF "lf=$home/run/$definition" "$settings" || fail "last file not saved: $(cat "$settings")"
echo "ok"
