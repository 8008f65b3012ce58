#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test
# against real SQLite and PostgreSQL data sources.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
scripts/build.sh -DQB_BUILD_TESTS=ON
export QT_QPA_PLATFORM=offscreen
export QB_REQUIRE_ALL_DATASOURCES=1
scripts/with-test-datasources.sh ctest --test-dir build --output-on-failure -j"$(nproc)"
