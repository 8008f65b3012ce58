#!/usr/bin/env bash
# The run command: installs what is missing, builds the program, creates the
# demo data source when absent, and starts Quillbarrow.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
[[ -f build/CMakeCache.txt ]] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target quillbarrow quillbarrow-import
scripts/demo-datasource.sh
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && "${QT_QPA_PLATFORM:-}" != offscreen ]]; then
  echo "Built, but there is no display to show the windows on (DISPLAY is not set)." >&2
  exit 1
fi
exec build/src/gui/quillbarrow "$@"
