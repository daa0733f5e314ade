#!/usr/bin/env bash
# Runs a command that is meant to end with a given exit status and to print a given line; ctest
# otherwise only knows "zero passes" or "any non-zero passes", and the latter accepts a crash.
#   expect_run.sh <status> <text that the output must contain> <command> [arguments...]
set -uo pipefail
expected=$1 text=$2
shift 2

out=$("$@" 2>&1)
status=$?
printf '%s\n' "$out"
if [ "$status" -ne "$expected" ]; then
  echo "expect_run.sh: exit status $status, expected $expected"
  exit 1
fi
if ! grep -qF -- "$text" <<<"$out"; then
  echo "expect_run.sh: the output lacks \"$text\""
  exit 1
fi
