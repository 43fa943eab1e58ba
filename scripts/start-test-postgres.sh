#!/usr/bin/env bash
# Sourced by scripts/test-env.sh: starts a throwaway PostgreSQL server on 127.0.0.1 for
# the tests of the ODBC path, and exports
#   DATACONV_TEST_PG_DSN  the ODBC connection text of the test database;
#   ODBCSYSINI            a folder whose odbcinst.ini registers the PostgreSQL Unicode
#                         and FreeTDS drivers (odbc.ini there names the DSN dataconv_test).
# Reuses the server of an earlier run when it is still up. Without the PostgreSQL
# binaries it exports nothing and the tests that need the server skip.
# Sourced into shells that run with `set -eu`: every step that may fail is guarded and
# nothing here exits the caller.

_dataconv_start_pg() {
  local bindir=""
  local candidate
  for candidate in /usr/lib/postgresql/15/bin $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -rV); do
    if [ -x "$candidate/pg_ctl" ] && [ -x "$candidate/initdb" ]; then
      bindir=$candidate
      break
    fi
  done
  if [ -z "$bindir" ]; then
    echo "start-test-postgres: no PostgreSQL binaries; the PostgreSQL tests will be skipped" >&2
    return 0
  fi

  local dir=${DATACONV_PG_DIR:-${TMPDIR:-/tmp}/dataconv-test-pg-$(id -u)}
  local as=()
  if [ "$(id -u)" -eq 0 ]; then
    # The server refuses to run as root.
    as=(runuser -u postgres --)
  fi
  if ! mkdir -p "$dir"; then
    echo "start-test-postgres: cannot create $dir" >&2
    return 0
  fi
  if [ "$(id -u)" -eq 0 ]; then chown postgres: "$dir" || return 0; fi
  chmod 700 "$dir" || true

  local data=$dir/data
  local port=""
  if [ -f "$dir/port" ] && "${as[@]}" "$bindir/pg_ctl" -D "$data" status >/dev/null 2>&1; then
    port=$(cat "$dir/port")
  else
    if [ ! -f "$data/PG_VERSION" ]; then
      if ! "${as[@]}" "$bindir/initdb" -D "$data" -U postgres --auth=trust -E UTF8 \
          --locale=C.UTF-8 >"$dir/initdb.log" 2>&1; then
        echo "start-test-postgres: initdb failed, see $dir/initdb.log" >&2
        return 0
      fi
    fi
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])') || return 0
    if ! "${as[@]}" "$bindir/pg_ctl" -D "$data" -l "$dir/server.log" -w -t 60 \
        -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$dir -c fsync=off -c max_connections=50" \
        start >/dev/null 2>&1; then
      echo "start-test-postgres: the server did not start, see $dir/server.log" >&2
      return 0
    fi
    echo "$port" >"$dir/port"
  fi

  local psql=("${as[@]}" "$bindir/psql" -h 127.0.0.1 -p "$port" -U postgres -d postgres -qtA -v ON_ERROR_STOP=1)
  if [ "$("${psql[@]}" -c "SELECT 1 FROM pg_roles WHERE rolname = 'dataconv'" 2>/dev/null)" != 1 ]; then
    "${psql[@]}" -c "CREATE ROLE dataconv LOGIN PASSWORD 'dataconv'" >/dev/null || return 0
  fi
  if [ "$("${psql[@]}" -c "SELECT 1 FROM pg_database WHERE datname = 'dataconv_test'" 2>/dev/null)" != 1 ]; then
    "${psql[@]}" -c "CREATE DATABASE dataconv_test OWNER dataconv ENCODING 'UTF8' TEMPLATE template0" >/dev/null || return 0
  fi

  local odbcdir=/usr/lib/x86_64-linux-gnu/odbc
  [ -d "$odbcdir" ] || odbcdir=$(dirname "$(find /usr/lib -name psqlodbcw.so -print -quit 2>/dev/null)")
  cat >"$dir/odbcinst.ini" <<INI
[PostgreSQL Unicode]
Description=PostgreSQL ODBC driver (Unicode version)
Driver=$odbcdir/psqlodbcw.so

[PostgreSQL ANSI]
Description=PostgreSQL ODBC driver (ANSI version)
Driver=$odbcdir/psqlodbca.so

[FreeTDS]
Description=TDS driver (Sybase/MS SQL)
Driver=$odbcdir/libtdsodbc.so
INI
  cat >"$dir/odbc.ini" <<INI
[dataconv_test]
Driver=PostgreSQL Unicode
Servername=127.0.0.1
Port=$port
Database=dataconv_test
Username=dataconv
Password=dataconv
BoolsAsChar=0
INI
  chmod 644 "$dir/odbcinst.ini" "$dir/odbc.ini" 2>/dev/null || true
  export ODBCSYSINI=$dir
  export DATACONV_TEST_PG_DSN="Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$port;Database=dataconv_test;Uid=dataconv;Pwd=dataconv;BoolsAsChar=0"
}

_dataconv_start_pg || true
unset -f _dataconv_start_pg
