#!/usr/bin/env bash
# Sourced by scripts/test-env.sh: starts a throwaway server speaking the SQL Server
# protocol (TDS) on 127.0.0.1 for the tests of the SQL Server path, with the shared
# tools' start-tds-server.sh, and exports
#   DATACONV_TEST_TDS_DSN  the ODBC connection text (FreeTDS) of its database KAROS,
#                          login sa; the tests make a database of their own beside it.
# Reuses the server of an earlier run when its postmaster is still alive and answers.
# Without the start script it exports nothing and the tests that need the server skip.
# The server lives in DATACONV_TDS_DIR (default $TMPDIR/dataconv-test-tds-UID), never in
# the shared folder, which may be read-only. As root the start script runs the server
# as an unprivileged user, who must be able to pass through every parent folder of it.
# Sourced into shells that run with `set -eu`: every step that may fail is guarded and
# nothing here exits the caller.

_dataconv_start_tds() {
  local kit=${_shared:-}/tools/tds-server
  if [ ! -f "$kit/start-tds-server.sh" ]; then
    echo "start-test-tds: no $kit/start-tds-server.sh; the TDS tests will be skipped" >&2
    return 0
  fi
  if ! command -v isql >/dev/null 2>&1; then
    echo "start-test-tds: isql (unixodbc) not found; the TDS tests will be skipped" >&2
    return 0
  fi

  local dir=${DATACONV_TDS_DIR:-${TMPDIR:-/tmp}/dataconv-test-tds-$(id -u)}
  if ! mkdir -p "$dir"; then
    echo "start-test-tds: cannot create $dir" >&2
    return 0
  fi

  # The connection text a server of an earlier run left in tds.env, when its postmaster
  # still runs and a statement through ODBC gets its answer.
  local odbc="" pid=""
  if [ -f "$dir/tds.env" ]; then
    pid=$(sed -n 's/^TDS_PID=\([0-9][0-9]*\)$/\1/p' "$dir/tds.env" 2>/dev/null) || pid=""
    odbc=$(sed -n 's/^TDS_ODBC="\(.*\)"$/\1/p' "$dir/tds.env" 2>/dev/null) || odbc=""
    if [ -z "$pid" ] || [ -z "$odbc" ] || ! kill -0 "$pid" 2>/dev/null ||
        ! echo "SELECT 1" | timeout 20 isql -k "$odbc" -b >/dev/null 2>&1; then
      odbc=""
    fi
  fi

  if [ -z "$odbc" ]; then
    # A postmaster that runs and does not answer would make the start refuse the folder.
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      bash "$kit/stop-tds-server.sh" "$dir" >>"$dir/start.log" 2>&1 || true
    fi
    local out=""
    if ! out=$(bash "$kit/start-tds-server.sh" "$dir" 2>"$dir/start.log"); then
      echo "start-test-tds: the server did not start, see $dir/start.log and $dir/log/server.log:" >&2
      tail -n 5 "$dir/start.log" 2>/dev/null | sed 's/^/    /' >&2 || true
      return 0
    fi
    odbc=$(printf '%s\n' "$out" | sed -n 's/^TDS_ODBC="\(.*\)"$/\1/p') || odbc=""
    if [ -z "$odbc" ]; then
      echo "start-test-tds: the start script printed no TDS_ODBC line, see $dir/start.log" >&2
      return 0
    fi
  fi
  export DATACONV_TEST_TDS_DSN=$odbc
}

_dataconv_start_tds || true
unset -f _dataconv_start_tds
