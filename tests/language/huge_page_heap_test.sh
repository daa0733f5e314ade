#!/usr/bin/env bash
# A large definition is loaded with a huge-page heap: tzk-run starts itself again with the C
# library's setting, and the programs it runs get the caller's environment back.
#   huge_page_heap_test.sh <tzk-run>
# The definition's first step runs a script that writes its environment and whether its parent
# (tzk-run, its tree loaded) has huge pages in its heap.
set -euo pipefail
run=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

cat >"$work/probe.sh" <<'PROBE'
#!/bin/sh
env >"$(dirname "$0")/env.txt"
awk '/^AnonHugePages:/ { print $2 }' "/proc/$PPID/smaps_rollup" >"$(dirname "$0")/huge.txt"
PROBE
chmod +x "$work/probe.sh"
# About 4.5 MB: above the size from which a restart pays.
awk 'BEGIN {
  print "Set(FileInfo; \"Huge page heap\"; \"1.0\")"
  print "Device.Create(SystemControl; Sys)"
  print "Test.Case(\"Probe\")\n{\n    Sys.Execute(\"Probe\"; TZD:probe.sh; ; ; 20)\n}"
  for (c = 1; c <= 1000; ++c) {
    printf "Test.Case(\"Case %d\")\n{\n", c
    for (s = 1; s <= 100; ++s)
      printf "    Sys.Process(\"Step %d\"; ContinueOnFailure)\n", s
    print "}"
  }
}' >"$work/large.TZD"

probe() { # environment assignments for tzk-run...
  rm -f "$work/env.txt" "$work/huge.txt"
  env "$@" "$run" --operator ci "$work/large.TZD" >"$work/out.txt" 2>&1 || {
    fail "tzk-run ended with an error ($*)"
    tail -5 "$work/out.txt"
  }
  [ -f "$work/env.txt" ] || fail "the probe did not run ($*)"
}

probe -u GLIBC_TUNABLES
grep -q '^GLIBC_TUNABLES=' "$work/env.txt" && fail "a child saw GLIBC_TUNABLES the caller had not set"
grep -q '^TZK_HEAP_PAGES' "$work/env.txt" && fail "a child saw the restart's own variable"
if grep -qF '[madvise]' /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null; then
  [ "$(cat "$work/huge.txt")" -gt 0 ] || fail "no huge pages in the heap of a large definition"
  probe -u GLIBC_TUNABLES TZK_HEAP_PAGES=default
  [ "$(cat "$work/huge.txt")" -eq 0 ] || fail "TZK_HEAP_PAGES=default still gave huge pages"
else
  echo "huge pages are not handed out on request here: only the environment is checked"
fi

probe GLIBC_TUNABLES=glibc.malloc.perturb=0
grep -qx 'GLIBC_TUNABLES=glibc.malloc.perturb=0' "$work/env.txt" ||
  fail "a child did not get the caller's GLIBC_TUNABLES: $(grep GLIBC_TUNABLES "$work/env.txt" || true)"
probe GLIBC_TUNABLES=
grep -qx 'GLIBC_TUNABLES=' "$work/env.txt" || fail "an empty GLIBC_TUNABLES was not kept"
exit $failed
