#!/usr/bin/env bash
# Runs every test on a fresh machine: installs what is missing (Debian
# packages), builds, runs the tests against SQLite and a throwaway PostgreSQL
# server, then builds again with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs the tests once more.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {  # run_suite BUILD_DIR [cmake args...]
  local dir=$1
  shift
  cmake -S . -B "$dir" -DMETASHELF_BUILD_BENCH=OFF "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  scripts/with-postgres.sh ctest --test-dir "$dir" --output-on-failure -j"$jobs"
}

echo "== tests (Debug)"
run_suite build/test -DCMAKE_BUILD_TYPE=Debug

echo "== clang-tidy"
scripts/tidy.sh build/test

echo "== tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build/asan -DCMAKE_BUILD_TYPE=Debug -DMETASHELF_SANITIZE=ON

if [ -x scripts/fuzz-smoke.sh ]; then
  echo "== fuzz targets (bounded time)"
  scripts/fuzz-smoke.sh
fi
echo "== all tests passed"
