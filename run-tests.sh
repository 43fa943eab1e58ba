#!/usr/bin/env bash
# Installs what is missing, builds the normal and the sanitizer tree, and runs every
# test in both. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
source scripts/test-env.sh
# In CI the ODBC tests must not skip for want of their server.
if [ "${CI:-}" = "true" ] && [ -z "${DATACONV_TEST_PG_DSN:-}" ]; then
  echo "run-tests.sh: the test PostgreSQL server did not start" >&2
  exit 1
fi

build_and_test() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir"
  ctest --test-dir "$dir" --output-on-failure --timeout 900
}

echo "== normal build"
build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitizer build (ASan + UBSan)"
build_and_test build-asan -DCMAKE_BUILD_TYPE=Debug -DDATACONV_SANITIZE=ON

if [ -x scripts/run-fuzzers.sh ]; then
  echo "== fuzzers (short run)"
  scripts/run-fuzzers.sh
fi
echo "All tests passed."
