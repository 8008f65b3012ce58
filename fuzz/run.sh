#!/usr/bin/env bash
# Fuzzes reading, splitting, statement building, the working copy and sending
# (batches, the bulk paths' values, the manifest's count of lines) for the
# given seconds.
# Usage: fuzz/run.sh [SECONDS]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/deps.sh fuzz
sanitizers="-fsanitize=address,undefined -fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQB_BUILD_TESTS=OFF -DQB_BUILD_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="$sanitizers" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_import
mkdir -p fuzz/corpus
# fuzz/corpus is this machine's own; fuzz/seeds keeps, in the repository, inputs that once found a fault.
./build-fuzz/fuzz/fuzz_import -max_total_time="$seconds" -max_len=4096 fuzz/corpus fuzz/seeds
