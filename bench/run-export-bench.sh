#!/usr/bin/env bash
# Builds the export benchmark and runs it for 100,000 and 1,000,000 items (or the
# numbers given): the four tables of a demo POS exported through the main window,
# offscreen, three times each into fresh Access files (RUNS=n for another number; the
# median run is the figure), with the time of `cp` and of `mdb-export` on Item.mdb
# beside it.
#   bench/run-export-bench.sh [ITEMS...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench_export -- -j2 >/dev/null
for items in "${@:-100000 1000000}"; do
  for n in $items; do
    echo "== $n items"
    QT_QPA_PLATFORM=offscreen "$build/bench/export/bench_export" --items "$n" --runs "${RUNS:-3}"
  done
done
