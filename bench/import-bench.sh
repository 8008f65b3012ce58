#!/usr/bin/env bash
# Times quillbarrow-import against a plain loop of the same statements
# (the floor), into SQLite (write-ahead journal) and PostgreSQL, and
# measures the import's peak memory.
# Usage: bench/import-bench.sh [LINES]        (default 200000, 4 columns)
#        bench/import-bench.sh --big-mb MB    (peak memory only, SQLite, one MB-sized file)
#        bench/import-bench.sh --long-line MB (peak memory, both drivers, one line of MB, default 250)
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -z "${QB_BENCH_INSIDE:-}" ]]; then
  scripts/deps.sh bench
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQB_BUILD_TESTS=OFF >/dev/null
  cmake --build build-bench -j"$(nproc)" --target quillbarrow-import qb-bench-floor
  export QB_BENCH_INSIDE=1
  exec scripts/with-test-datasources.sh bash "$0" "$@"
fi

import=build-bench/src/cli/quillbarrow-import
floor=build-bench/bench/qb-bench-floor
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Writes rows of four columns, the header first, to $1.
generate() {
  awk -v n="$2" 'BEGIN {
    print "id,name,amount,note\r"
    for (i = 1; i <= n; i++) printf "%d,name %d,%d.%02d,it'"'"'s row %d\r\n", i, i, i % 1000, i % 100, i
  }' >"$1"
}

# The statements the import sends for table $2, one per line: what the floor sends.
statements() {
  awk -v t="$2" 'BEGIN { FS = ","; RS = "\r\n" }
    NR == 1 { printf "CREATE TABLE \"%s\"(\"%s\" TEXT, \"%s\" TEXT, \"%s\" TEXT, \"%s\" TEXT);\n", t, $1, $2, $3, $4 }
    { s = "INSERT INTO \"" t "\" VALUES("
      for (f = 1; f <= NF; f++) { v = $f; gsub("'"'"'", "'"''"'", v); s = s (f > 1 ? "," : "") "'"'"'" v "'"'"'" }
      print s ");" }' "$1" >"$3"
}

reset() {  # empties the data source $1
  if [[ $1 == "$QB_TEST_SQLITE_DSN" ]]; then
    rm -f "$QB_TEST_SQLITE_DB" "$QB_TEST_SQLITE_DB"-wal "$QB_TEST_SQLITE_DB"-shm
  else
    echo 'DROP TABLE IF EXISTS "Bench1"' >"$work/drop.sql"
    "$floor" "$1" "$work/drop.sql"
  fi
}

seconds() { local start=$1; echo "$(date +%s.%N) - $start" | bc -l; }

if [[ ${1:-} == --big-mb ]]; then
  megabytes=${2:?size in MB}
  lines=$((megabytes * 1024 * 1024 / 40))
  echo "Generating about $megabytes MB ($lines lines)..."
  generate "$work/big.csv" "$lines"
  ls -l "$work/big.csv"
  reset "$QB_TEST_SQLITE_DSN"
  /usr/bin/time -f '%M' -o "$work/mem" "$import" --dsn "$QB_TEST_SQLITE_DSN" --table-name Bench1 "$work/big.csv" >/dev/null
  echo "peak memory of the import: $(( $(cat "$work/mem") / 1024 )) MB (target < 64 MB)"
  exit 0
fi

if [[ ${1:-} == --long-line ]]; then
  megabytes=${2:-250}
  python3 -c "import sys; sys.stdout.buffer.write(b'a,b\r\n' + b'x' * ($megabytes << 20) + b',y\r\n')" >"$work/long.csv"
  printf '%-16s %10s %12s\n' driver "peak MB" "line times"
  for dsn in "$QB_TEST_SQLITE_DSN" "$QB_TEST_PG_DSN"; do
    reset "$dsn"
    TEMP=$work /usr/bin/time -f '%M' -o "$work/mem" "$import" --dsn "$dsn" --table-name Bench1 "$work/long.csv" >/dev/null
    peak=$(( $(cat "$work/mem") / 1024 ))
    printf '%-16s %10d %12.2f\n' "$dsn" "$peak" "$(echo "$peak / $megabytes" | bc -l)"
  done
  if command -v sqlite3 >/dev/null; then
    # The same row as one literal INSERT in the sqlite3 shell: what the engine itself needs.
    { echo 'CREATE TABLE t(a TEXT, b TEXT);'; printf "INSERT INTO t VALUES('"; head -c "$((megabytes << 20))" /dev/zero | tr '\0' x; echo "','y');"; } >"$work/long.sql"
    /usr/bin/time -f '%M' -o "$work/mem" sqlite3 "$work/shell.db" <"$work/long.sql"
    printf '%-16s %10d\n' "sqlite3 shell" $(( $(cat "$work/mem") / 1024 ))
  fi
  echo "target: about 3 times the line plus 64 MB ($((3 * megabytes + 64)) MB)"
  exit 0
fi

lines=${1:-200000}
generate "$work/data.csv" "$lines"
statements "$work/data.csv" Bench1 "$work/statements.sql"
rows=$((lines + 1))
printf '%-10s %14s %14s %8s %10s\n' driver "import rows/s" "floor rows/s" ratio "peak MB"
for dsn in "$QB_TEST_SQLITE_DSN" "$QB_TEST_PG_DSN"; do
  best_import=999999 best_floor=999999
  for round in 1 2; do
    reset "$dsn"
    start=$(date +%s.%N)
    /usr/bin/time -f '%M' -o "$work/mem" "$import" --dsn "$dsn" --table-name Bench1 "$work/data.csv" >/dev/null
    t=$(seconds "$start"); best_import=$(echo "if ($t < $best_import) $t else $best_import" | bc -l)
    reset "$dsn"
    start=$(date +%s.%N)
    "$floor" "$dsn" "$work/statements.sql"
    t=$(seconds "$start"); best_floor=$(echo "if ($t < $best_floor) $t else $best_floor" | bc -l)
  done
  printf '%-10s %14.0f %14.0f %8.3f %10d\n' "$dsn" "$(echo "$rows / $best_import" | bc -l)" \
    "$(echo "$rows / $best_floor" | bc -l)" "$(echo "$best_import / $best_floor" | bc -l)" \
    $(( $(cat "$work/mem") / 1024 ))
done
echo "target: ratio (import time / floor time) within 1.10; peak memory under 64 MB"
