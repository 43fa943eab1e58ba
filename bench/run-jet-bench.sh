#!/usr/bin/env bash
# Builds the Access engine benchmark and prints its figures: rows per second appending
# rows of the POS Item shape, the file size, and `mdbtool export` against `mdb-export`.
#   bench/run-jet-bench.sh [ROWS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench_jet_write mdbtool -- -j2 >/dev/null
"$build/bench/jet/bench_jet_write" --rows "${1:-100000}" --out "$build/bench_jet_write.mdb"
