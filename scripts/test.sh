#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test
# against real SQLite and PostgreSQL data sources, once as built for use and
# once built with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
scripts/build.sh -DQB_BUILD_TESTS=ON
scripts/build.sh --dir build-asan -DQB_BUILD_TESTS=ON -DQB_SANITIZE=ON
export QT_QPA_PLATFORM=offscreen
export QB_REQUIRE_ALL_DATASOURCES=1

# Both runs share one server start; the second runs even if the first fails.
run_tests() {
  local status=0
  ctest --test-dir build --output-on-failure -j"$(nproc)" || status=$?
  # A finding of either sanitizer, or a leak at exit, makes the test process fail.
  ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:check_initialization_order=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
    ctest --test-dir build-asan --output-on-failure -j"$(nproc)" || status=$?
  return "$status"
}
export -f run_tests
scripts/with-test-datasources.sh bash -c run_tests
