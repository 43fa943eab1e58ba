#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each briefly over a
# corpus seeded from the Access fixtures. Exits non-zero when a target finds a crash.
# FUZZ_SECONDS (default 60) sets the time per target.
set -euo pipefail
cd "$(dirname "$0")/.."

root=$(pwd)
shared=${DATACONV_SHARED_DIR:-$root/../shared}
seconds=${FUZZ_SECONDS:-60}
build=build-fuzz

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDATACONV_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++ -DDATACONV_SHARED_DIR="$shared" >/dev/null
targets=(jet_open_fuzzer)
cmake --build "$build" --target "${targets[@]}"

for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus" "$build/findings/$target"
  # Seeds: the fixtures that are small enough for quick runs.
  for f in "$shared"/fixtures/jet4/*.mdb; do
    if [ "$(stat -c %s "$f")" -le 300000 ]; then cp -n "$f" "$corpus/" 2>/dev/null || true; fi
  done
  echo "== $target for ${seconds}s"
  "$build/src/jet/fuzz/$target" "$corpus" -max_total_time="$seconds" -max_len=300000 \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target/"
done
