#!/usr/bin/env bash
# Highlights the sample with the KDE syntax definition through Debian's command-line highlighter
# and compares the formats it gave every piece of text with the expected ones.
# Usage: run.sh <tzd.xml>. Exit 77 (skipped) only when the highlighter is not installed.
set -euo pipefail
definition=$1
here=$(cd "$(dirname "$0")" && pwd)
highlighter=$(command -v kate-syntax-highlighter || command -v ksyntaxhighlighter5 || true)
if [ -z "$highlighter" ]; then
  echo "SKIPPED: the KDE highlighter is not installed (scripts/setup installs libkf5syntaxhighlighting-tools)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/org.kde.syntax-highlighting/syntax"
cp "$definition" "$work/org.kde.syntax-highlighting/syntax/"
export XDG_DATA_HOME=$work HOME=$work QT_QPA_PLATFORM=offscreen
# The whole list first: grep -q leaving early would end the highlighter by SIGPIPE, and
# pipefail would take that for a failure.
"$highlighter" --list >"$work/list"
if ! grep -qx "TZK Definition" "$work/list"; then
  echo "the highlighter did not load $definition" >&2
  exit 1
fi
# The trace puts each format's name under its text; the colours are the theme's, not ours.
"$highlighter" -s "TZK Definition" -f ansi --syntax-trace format "$here/sample.TZD" 2>"$work/err" |
  sed -e 's/\x1b\[[0-9;]*[A-Za-z]//g' -e 's/[[:space:]]*$//' >"$work/trace.txt"
if [ -s "$work/err" ]; then
  echo "the highlighter complained:" >&2
  cat "$work/err" >&2
  exit 1
fi
diff -u "$here/expected.txt" "$work/trace.txt"
