#!/usr/bin/env bash
# Starts or stops a throwaway PostgreSQL server in a folder of its own:
#   scripts/pg-server.sh start DIR   initdb into DIR/data, listen only on a
#                                    unix socket in DIR (port 5432), print the
#                                    conninfo on stdout
#   scripts/pg-server.sh stop DIR    stop that server and remove DIR
#   fixture-start, fixture-stop      the same, unless METASHELF_PG_CONNINFO
#                                    names a server already or
#                                    METASHELF_SKIP_POSTGRESQL=1
# Installs PostgreSQL when missing. As root the server runs as `postgres`.
# Used by scripts/with-postgres.sh and by the CTest fixture that the tests
# require when no server is named in METASHELF_PG_CONNINFO.
set -euo pipefail

case "${1:-}" in
  start | stop) ;;
  fixture-start | fixture-stop)
    # The CTest fixture: nothing to do when the run already has a server or
    # skips PostgreSQL.
    if [ -n "${METASHELF_PG_CONNINFO:-}" ] || [ "${METASHELF_SKIP_POSTGRESQL:-}" = 1 ]; then
      exit 0
    fi
    ;;
  *) set -- ;;
esac
if [ $# -ne 2 ]; then
  echo "usage: $0 start|stop|fixture-start|fixture-stop DIR" >&2
  exit 2
fi
action=${1#fixture-}
dir=$2

find_bindir() {
  ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1
}
bindir=$(find_bindir)

# The server refuses to run as root: as root, it runs as `postgres`.
as_server_user() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

stop_server() {
  if [ -n "$bindir" ] && [ -f "$dir/data/postmaster.pid" ]; then
    as_server_user "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}

if [ "$action" = stop ]; then
  stop_server
  exit 0
fi

if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  echo "pg-server: installing postgresql" >&2
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq postgresql >/dev/null
  bindir=$(find_bindir)
fi

# A server left by an interrupted run goes first.
stop_server
mkdir -p "$dir"
if [ "$(id -u)" -eq 0 ]; then
  chown postgres: "$dir"
fi
as_server_user "$bindir/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 \
  --no-sync >"$dir/initdb.log" 2>&1 || {
  cat "$dir/initdb.log" >&2
  exit 1
}
# fsync off: the data dies with the folder anyway.
as_server_user "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
  -o "-k $dir -c listen_addresses= -p 5432 -c fsync=off -c synchronous_commit=off \
      -c full_page_writes=off -c max_connections=60" start >/dev/null || {
  cat "$dir/server.log" >&2
  exit 1
}
echo "host=$dir port=5432 user=postgres dbname=postgres"
