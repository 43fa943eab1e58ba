# Sourced by run-tests.sh (and by hand before running ctest): prepares what the
# tests use besides the build itself.
#  - the Node.js reference reader for Access files, installed into build/mdb-reader
#    (the shared folder may be read-only);
#  - services the tests talk to, when their start scripts exist.
_dataconv_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
_shared=${DATACONV_SHARED_DIR:-$_dataconv_root/../shared}
export MDB_READER_DIR=${MDB_READER_DIR:-$_dataconv_root/build/mdb-reader}
if [ ! -d "$MDB_READER_DIR/node_modules/mdb-reader" ] && [ -f "$_shared/tools/mdb-reader/package.json" ]; then
  mkdir -p "$MDB_READER_DIR"
  cp "$_shared/tools/mdb-reader/package.json" "$_shared/tools/mdb-reader/package-lock.json" "$MDB_READER_DIR/"
  npm ci --prefix "$MDB_READER_DIR" --no-audit --no-fund --loglevel=error
fi
if [ -x "$_dataconv_root/scripts/start-test-postgres.sh" ]; then
  source "$_dataconv_root/scripts/start-test-postgres.sh"
fi
if [ -x "$_dataconv_root/scripts/start-test-tds.sh" ]; then
  source "$_dataconv_root/scripts/start-test-tds.sh"
fi
export QT_QPA_PLATFORM=offscreen
