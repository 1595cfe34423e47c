#!/usr/bin/env bash
# Runs a command with a throwaway PostgreSQL server. (Until the PostgreSQL
# backend lands the command simply runs.)
set -euo pipefail
exec "$@"
