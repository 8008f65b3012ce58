#!/usr/bin/env bash
# The run command: installs what is missing and builds. The windows are not
# built yet, so this stops after the build and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
scripts/build.sh -DQB_BUILD_TESTS=OFF
echo "Built. The program's windows are not part of this version yet: nothing to start."
