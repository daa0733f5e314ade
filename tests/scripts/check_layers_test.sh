#!/usr/bin/env bash
# scripts/check-layers on a tree of its own: each case is one include (or line) in one file, and the script
# must accept it or refuse it (exit 1) as the layers say.
#   check_layers_test.sh <path of scripts/check-layers>
set -euo pipefail
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# expect <accept|refuse> <file> <include>
expect() {
  local expected=$1 file=$2 include=$3 got
  rm -rf "$work/tree"
  mkdir -p "$work/tree/scripts" "$(dirname "$work/tree/$file")"
  cp "$script" "$work/tree/scripts/check-layers"
  printf '%s\n' "$include" | sed -E '/^[<"]/s/^/#include /' >"$work/tree/$file"
  if "$work/tree/scripts/check-layers" >"$work/out" 2>&1; then got=accept; else got=refuse; fi
  if [ "$got" != "$expected" ]; then
    echo "FAIL: $file including $include: expected $expected, got $got"
    cat "$work/out"
    failed=1
  fi
}

expect accept src/transport/Serial.cpp '"core/MsgClasses.h"'
expect refuse src/transport/Serial.cpp '"devices/ports/DevicePortBase.h"'
expect refuse src/transport/Serial.cpp '"execution/Device.h"'
expect refuse src/transport/Serial.cpp '<QWidget>'
expect refuse src/core/RegIO.cpp '"transport/Serial.h"'
expect refuse src/language/Session.cpp '"transport/Serial.h"'
expect accept src/devices/ports/DevicePortRs232.h '"transport/Serial.h"'
expect accept src/devices/ports/DevicePortRs232.h '"devices/ports/PortMonitor.h"'
expect refuse src/devices/instrument/MS8218.cpp '"devices/ports/DevicePortRs232.h"'
expect refuse src/devices/instrument/MS8218.cpp '"devices/system/DeviceSys.h"'
expect accept src/console/LogPrinter.cpp '"transport/Serial.h"'
expect accept src/ui/formMain.cpp '"devices/ports/DevicePortBase.h"'

# Session state through the context only, below the programs.
expect refuse src/devices/system/CmdVariables.cpp 'auto& v = TVariableManager::Instance();'
expect refuse src/execution/ProcessRunner.cpp 'TValueLog::Instance().SetStart();'
expect refuse src/language/Session.cpp 'TRegIO::Instance().SetLastFile(s);'
expect refuse src/devices/instrument/Instrument.cpp 'TMsgClass::Instance().NewMsg(t, i, s);'
expect accept src/devices/system/CmdVariables.cpp 'auto& v = Context().Variables();'
expect accept src/ui/formMain.cpp 'TRegIO& settings = TRegIO::Instance();'

exit $failed
