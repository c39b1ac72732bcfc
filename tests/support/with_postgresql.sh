#!/usr/bin/env bash
# Runs COMMAND with a PostgreSQL server for the record server's tests:
#   with_postgresql.sh [--export VAR] -- COMMAND [ARGS...]
# The server is the one NORWIN_TEST_POSTGRES names (scripts/test starts one
# for the whole run), else one of Debian's packages started here in a
# temporary folder (initdb, pg_ctl; as root, run as the user postgres,
# which PostgreSQL requires) and stopped when COMMAND ends. Its connection
# string is put in NORWIN_TEST_POSTGRES and in VAR.
set -euo pipefail
var=
while [ $# -gt 0 ]; do
  case "$1" in
    --export) var=$2; shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done

if [ -z "${NORWIN_TEST_POSTGRES:-}" ]; then
  bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  if [ -z "$bin" ]; then
    echo "with_postgresql.sh: PostgreSQL is not installed (Debian package postgresql)" >&2
    exit 1
  fi
  dir=$(mktemp -d /tmp/norwin-pg.XXXXXX)
  as=()
  user=$(id -un)
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$dir"
    as=(runuser -u postgres --)
    user=postgres
  fi
  stop() {
    "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$dir"
  }
  trap stop EXIT
  if ! "${as[@]}" "$bin/initdb" -D "$dir/data" -A trust -U "$user" >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log" >&2
    exit 1
  fi
  if ! "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
      -o "-k $dir -c listen_addresses='' -c max_connections=300 -c fsync=off" start >/dev/null; then
    cat "$dir/server.log" >&2
    exit 1
  fi
  export NORWIN_TEST_POSTGRES="postgresql://$user@/postgres?host=$dir"
fi
if [ -n "$var" ]; then export "$var=$NORWIN_TEST_POSTGRES"; fi
"$@"
