#!/usr/bin/env bash
# Writes the export benchmark's Access file (1,000,000 rows of the POS Item shape, about
# 320 MB: well past the 125 MB that page 1's inline page map covers) and checks it with
# three readers, streaming: mdbtools, the Node reader (mdb-reader) and mdbtool. They
# must read the same rows, as many as the table records, with the same text values.
#   bench/run-jet-large-check.sh [ROWS]
# mdb-reader is taken from MDB_READER_DIR (default: build/mdb-reader, see
# shared/tools/README.md). Needs about 4 GB of memory and 1 GB of disk.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
export MDB_READER_DIR=${MDB_READER_DIR:-$PWD/build/mdb-reader}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench_jet_write mdbtool -- -j2 >/dev/null
out="$build/bench_jet_large.mdb"
"$build/bench/jet/bench_jet_write" --rows "${1:-1000000}" --out "$out"
python3 bench/jet/check-large-mdb.py "$out" --mdbtool "$build/tools/mdbtool/mdbtool"
