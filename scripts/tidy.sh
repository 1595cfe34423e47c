#!/usr/bin/env bash
# Runs clang-tidy (the checks of .clang-tidy) over the sources of the
# library, the platform libraries, the query language and the tool, with
# the compile commands of a configured build folder: scripts/tidy.sh
# [BUILD_DIR] (default build/test). Fails when a check finds anything.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
if [ ! -f "$build/compile_commands.json" ]; then
  echo "tidy: $build/compile_commands.json is missing (configure that build first)" >&2
  exit 2
fi
runner=$(command -v run-clang-tidy || command -v run-clang-tidy-14 || true)
if [ -z "$runner" ]; then
  echo "tidy: run-clang-tidy is not installed (package clang-tidy)" >&2
  exit 2
fi
"$runner" -quiet -p "$build" -j "$(nproc 2>/dev/null || echo 2)" \
  "$PWD/(platform|src|query|tools)/.*\.cpp$" >"$build/tidy.log" 2>&1 || {
  grep -E "warning:|error:" "$build/tidy.log" >&2 || cat "$build/tidy.log" >&2
  exit 1
}
echo "tidy: no findings"
