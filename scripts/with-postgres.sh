#!/usr/bin/env bash
# Runs a command against a throwaway PostgreSQL server:
#   scripts/with-postgres.sh ctest --test-dir build -j2
# installs PostgreSQL when missing, runs initdb into a temporary folder (as the
# `postgres` user when started as root), lets the server listen only on a unix
# socket inside that folder, exports METASHELF_PG_CONNINFO for the command,
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

find_bindir() {
  ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1
}
bindir=$(find_bindir)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  echo "with-postgres: installing postgresql" >&2
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq postgresql >/dev/null
  bindir=$(find_bindir)
fi

# The server refuses to run as root: as root, it runs as `postgres`.
as_server_user() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

dir=$(mktemp -d "${TMPDIR:-/tmp}/metashelf-pg.XXXXXX")
started=0
cleanup() {
  if [ "$started" = 1 ]; then
    as_server_user "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}
child=
stop_child() {
  [ -z "$child" ] || kill -TERM "$child" 2>/dev/null || true
  exit "$1"
}
trap cleanup EXIT
trap 'stop_child 130' INT
trap 'stop_child 143' TERM

if [ "$(id -u)" -eq 0 ]; then
  chown postgres: "$dir"
fi
as_server_user "$bindir/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 \
  --no-sync >"$dir/initdb.log" 2>&1 || {
  cat "$dir/initdb.log" >&2
  exit 1
}
# fsync off: the data dies with the folder anyway.
started=1
as_server_user "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
  -o "-k $dir -c listen_addresses= -p 5432 -c fsync=off -c synchronous_commit=off \
      -c full_page_writes=off -c max_connections=60" start >/dev/null || {
  cat "$dir/server.log" >&2
  exit 1
}

export METASHELF_PG_CONNINFO="host=$dir port=5432 user=postgres dbname=postgres"
echo "with-postgres: server on $dir" >&2
# The command runs in the background so that a signal reaches the traps at
# once instead of after the command ends.
"$@" &
child=$!
status=0
wait "$child" || status=$?
child=
exit "$status"
