#!/usr/bin/env bash
# Tests the VS Code extension's TextMate grammar with vscode-tmgrammar-test (the version pinned in
# the extension's package-lock.json) on editors/vscode/test/*.TZD, in a copy below <work>.
# Usage: vscode_grammar.sh <source dir> <work dir>. Exit 77 (skipped) only when node is missing.
set -euo pipefail
source_dir=$1
work=$2/vscode-grammar
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "SKIPPED: node and npm are not installed (scripts/setup installs them)"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work"
tar -C "$source_dir/editors/vscode" --exclude=node_modules --exclude='*.vsix' -cf - . | tar -C "$work" -xf -
cd "$work"
npm ci --no-audit --no-fund --prefer-offline >/dev/null
npm run --silent test:grammar
