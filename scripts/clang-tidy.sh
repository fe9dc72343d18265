#!/usr/bin/env bash
# Runs clang-tidy with the repository's .clang-tidy over the program's own sources (src/, csp2/,
# tools/) as they are compiled in a build folder (default: build). The folder must be built
# first: it holds compile_commands.json and Qt's generated headers. Every finding is an error.
# Usage: scripts/clang-tidy.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
root=$(pwd)
tidy=$(command -v clang-tidy-14 || command -v clang-tidy)
if [ ! -f "$build/compile_commands.json" ]; then
  echo "no $build/compile_commands.json: configure and build first" >&2
  exit 1
fi
# One file per translation unit, each once (a source compiled into two targets is checked once).
output=$(mktemp)
trap 'rm -f "$output"' EXIT
status=0
grep -o '"file": "[^"]*"' "$build/compile_commands.json" | sed 's/^"file": "//; s/"$//' |
  grep -E "^$root/(src|csp2|tools)/.*\.cpp$" | sort -u |
  xargs -r -P "$(nproc)" -n 4 "$tidy" -p "$build" --quiet >"$output" 2>&1 || status=$?
# clang-tidy counts the warnings it suppressed in system headers; only findings are shown.
grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' "$output" || true
if [ "$status" -ne 0 ]; then
  echo "clang-tidy found problems (see above)" >&2
  exit 1
fi
