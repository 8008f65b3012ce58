#!/usr/bin/env bash
# Configures and builds into build/, or into DIR with --dir DIR. Extra arguments go to the configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
if [[ "${1:-}" == --dir ]]; then
  dir=$2
  shift 2
fi
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
