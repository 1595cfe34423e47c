#!/usr/bin/env bash
# Runs a command against a throwaway PostgreSQL server:
#   scripts/with-postgres.sh ctest --test-dir build -j2
# starts a server in a temporary folder with scripts/pg-server.sh (installing
# PostgreSQL when missing), exports METASHELF_PG_CONNINFO for the command,
# runs it, then stops the server and removes the folder, also when the
# command fails or the run is interrupted. The command's exit status is kept.
#
# METASHELF_SKIP_POSTGRESQL=1 runs the command without a server (the
# PostgreSQL tests then skip and say so).
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi
if [ "${METASHELF_SKIP_POSTGRESQL:-}" = 1 ]; then
  echo "with-postgres: METASHELF_SKIP_POSTGRESQL=1, no server started" >&2
  exec "$@"
fi

here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d "${TMPDIR:-/tmp}/metashelf-pg.XXXXXX")
cleanup() {
  "$here/pg-server.sh" stop "$dir"
}
child=
stop_child() {
  [ -z "$child" ] || kill -TERM "$child" 2>/dev/null || true
  exit "$1"
}
trap cleanup EXIT
trap 'stop_child 130' INT
trap 'stop_child 143' TERM

METASHELF_PG_CONNINFO=$("$here/pg-server.sh" start "$dir")
export METASHELF_PG_CONNINFO
echo "with-postgres: server on $dir" >&2
# The command runs in the background so that a signal reaches the traps at
# once instead of after the command ends.
"$@" &
child=$!
status=0
wait "$child" || status=$?
child=
exit "$status"
