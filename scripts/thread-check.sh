#!/usr/bin/env bash
# The runs with several jobs, and runs side by side, built with ThreadSanitizer (build-tsan/) against real
# SQLite, PostgreSQL and MariaDB data sources. Kept out of the test command for its time; any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_BUILD_TESTS=ON -DQB_SANITIZE_THREAD=ON >/dev/null
cmake --build build-tsan -j"$(nproc)" --target quillbarrow-import import_command_tests
export QB_REQUIRE_ALL_DATASOURCES=1 TSAN_OPTIONS=halt_on_error=1
scripts/with-test-datasources.sh build-tsan/tests/import_command_tests --gtest_filter='*JobsCommand*:*SideBySide*'
