#!/usr/bin/env bash
# The main job on a fresh machine: installs what is missing (Debian
# packages), builds metashelf (Release, in build/release) and runs the
# command-line tool's demonstration in a fresh temporary folder: a new
# embedded database, the shipped schemas, the sample FGDC and ISO records
# imported with progress, searches, a record exported and compared with its
# file, and a map of the records' bounding boxes. The folder (database,
# exported record, map.svg) is kept for a look afterwards; --clean removes it.
set -euo pipefail
cd "$(dirname "$0")/.."

keep=1
[ "${1:-}" = "--clean" ] && keep=0

scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DMETASHELF_BUILD_TESTS=OFF \
  -DMETASHELF_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j"$jobs" --target metashelf_cli >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/metashelf-demo-XXXXXX")
if [ "$keep" -eq 0 ]; then
  trap 'rm -rf "$work"' EXIT
fi
tool="$PWD/build/release/tools/metashelf/metashelf"
data="$PWD/data"
(cd "$work" && METASHELF_DATA_DIR="$data" "$tool" demo)
if [ "$keep" -eq 1 ]; then
  echo "The demonstration's folder is kept: $work"
fi
