#!/usr/bin/env bash
# Runs a command and passes on its exit status, but fails when it wrote anything on standard error
# (which is then shown on standard output).
#   expect_quiet_stderr.sh <command> [arguments...]
set -uo pipefail
err=$(mktemp)
trap 'rm -f "$err"' EXIT
"$@" 2>"$err"
status=$?
if [ -s "$err" ]; then
  echo "expect_quiet_stderr.sh: standard error was not empty:"
  head -c 2000 "$err"
  exit 1
fi
exit $status
