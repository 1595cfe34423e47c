#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# (FUZZ_SECONDS, default 30), starting from a copy of its saved corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
dir=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DMETASHELF_FUZZ=ON \
  -DMETASHELF_BUILD_BENCH=OFF >/dev/null
[ -s "$dir/fuzz_targets.txt" ] || { echo "no fuzz targets"; exit 0; }
while read -r target corpus; do
  [ -n "$target" ] || continue
  cmake --build "$dir" -j"$(nproc)" --target "$target" >/dev/null
  work=$(mktemp -d)
  cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  binary=$(find "$dir" -type f -name "$target" -perm -u+x | head -1)
  echo "fuzzing $target for ${seconds}s"
  "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "$work" 2>&1 | tail -1
  rm -rf "$work"
done < "$dir/fuzz_targets.txt"
