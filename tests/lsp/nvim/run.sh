#!/usr/bin/env bash
# Neovim from Debian drives tzk-lsp headless on a copy of the fixture; its answers must be the
# expected ones. Usage: run.sh <tzk-lsp>. Exit 77 (skipped) only when nvim is not installed.
set -euo pipefail
lsp=$1
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v nvim >/dev/null 2>&1; then
  echo "SKIPPED: nvim is not installed (scripts/setup installs the neovim package)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/board.TZD" "$here/devices.inc" "$here/client.lua" "$work/"
cd "$work"
TZK_LSP="$lsp" TZK_LSP_OUT="$work/out.txt" HOME="$work" XDG_CONFIG_HOME="$work/.config" \
  timeout 60 nvim --headless --clean -n -c "luafile client.lua" board.TZD </dev/null
diff -u "$here/expected.txt" "$work/out.txt"
