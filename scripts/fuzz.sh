#!/usr/bin/env bash
# Builds every fuzz target with clang (AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer)
# in build-fuzz/ and runs each from its seed corpus for a short while. Fails when a target does
# not build, or on any crash, sanitizer report or failed check. docs/fuzzing.md has more.
# Usage: scripts/fuzz.sh [SECONDS [TARGET...]]    (default 30 seconds each, every target)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKESSMAR_FUZZ=ON \
  -DKESSMAR_CORE_ONLY=ON -DKESSMAR_BUILD_BENCH=OFF -DKESSMAR_WERROR=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzzers

# What a run writes (settings files, batch files) goes to memory when it can: a run saves
# thousands of files.
scratch=$(mktemp -d -p "$([ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")" kessmar-fuzz-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

failed=()
while IFS=$'\t' read -r name binary corpus options; do
  [ -n "$name" ] || continue
  if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
  # New inputs go to a scratch copy; the seeds in the tree stay as they are.
  work="$scratch/$name"
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "== $name: $seconds s from $corpus"
  # shellcheck disable=SC2086  # options are separate words
  if ! (cd "$work" && TMPDIR="$work" "$binary" $options -max_total_time="$seconds" \
      -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
      "$work/corpus" "$corpus" >"$work/log" 2>&1); then
    failed+=("$name")
    tail -n 60 "$work/log"
    mkdir -p build-fuzz/failed
    cp -r "$work/artifacts/." build-fuzz/failed/ 2>/dev/null || true
    echo "== $name FAILED; the input that failed is in build-fuzz/failed/"
  else
    grep -E "^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|cov: .*ft:" \
      "$work/log" | tail -n 4
  fi
done <build-fuzz/fuzzers.txt

if ((${#failed[@]})); then
  echo "Fuzz targets that failed: ${failed[*]}"
  exit 1
fi
echo "Every fuzz target ran clean."
