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
if [ "${CI:-}" = "true" ] && [ -z "${DATACONV_TEST_TDS_DSN:-}" ]; then
  echo "run-tests.sh: the test TDS server did not start" >&2
  exit 1
fi

build_and_test() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir"
  # The suites are independent (each PostgreSQL test works in a schema of its own, each
  # TDS test in a database of its own).
  ctest --test-dir "$dir" --output-on-failure --timeout 900 --parallel 2
  # Permission bits do not stop root: run the file-permission tests once more as an
  # unprivileged user, where they do not skip.
  local tests=$dir/src/platform/dataconv_platform_tests
  if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
    if runuser -u nobody -- test -x "$tests"; then
      runuser -u nobody -- "$tests" --gtest_filter='AtomicFile.*:IniFileTest.*' --gtest_brief=1
      runuser -u nobody -- "$dir/src/export/dataconv_export_tests" \
        --gtest_filter='ExportDriverTest.AFolderThatCannotBeWritten*' --gtest_brief=1
      runuser -u nobody -- "$dir/tools/batch/dataconv_batch_tests" \
        --gtest_filter='BatchTest.ReadOnlyFolder*' --gtest_brief=1
      runuser -u nobody -- "$dir/src/import/dataconv_import_tests" \
        --gtest_filter='ChangesCsvTest.APathThatCannotBeWritten*' --gtest_brief=1
    else
      echo "(the build folder is not reachable for an unprivileged user: permission tests stay skipped)"
    fi
  fi
}

echo "== normal build"
build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitizer build (ASan + UBSan)"
export LSAN_OPTIONS="suppressions=$(pwd)/scripts/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
build_and_test build-asan -DCMAKE_BUILD_TYPE=Debug -DDATACONV_SANITIZE=ON

if [ -x scripts/run-fuzzers.sh ]; then
  echo "== fuzzers (short run)"
  scripts/run-fuzzers.sh
fi
echo "All tests passed."
