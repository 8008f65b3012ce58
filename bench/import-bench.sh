#!/usr/bin/env bash
# Times quillbarrow-import, batched and --row-by-row, against a plain loop of
# the row-by-row statements (the floor) and the peers a user would otherwise
# pick (the sqlite3 shell's .import, psql's \copy), into SQLite (write-ahead
# journal) and PostgreSQL; then a file with one bad line in a hundred, an
# append to a table of a million rows, and the import's peak memory.
# Usage: bench/import-bench.sh [LINES]        (default 200000, 4 columns)
#        bench/import-bench.sh --big-mb MB    (peak memory only, SQLite, one MB-sized file)
#        bench/import-bench.sh --long-line MB (peak memory, every driver, one line of MB, default 250)
#        bench/import-bench.sh --on-duplicate [LINES] (--on-duplicate update of a file half of whose rows the
#                                             table holds, against a plain append of it into the empty
#                                             table, bulk paths, SQLite and PostgreSQL; median of 3 alternated rounds)
#        bench/import-bench.sh --values [LINES] (SQLite and PostgreSQL: --types guess with NULL markers,
#                                             trimming and a DD.MM.YYYY date column, against --types guess alone)
#        bench/import-bench.sh --jobs [LINES] (four files of LINES (default 500,000) appended to one table with
#                                             the default --jobs and with --jobs 1, against one peer session loading
#                                             them one after another, and pgloader with 4 workers; every driver;
#                                             median of 3 alternated rounds)
#        bench/import-bench.sh --many-files N (N files of 20 lines, SQLite and PostgreSQL, against one
#                                             sqlite3 or psql session, into an empty database and one of 10,000 tables;
#                                             then SQLite through the main window against the command line)
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -z "${QB_BENCH_INSIDE:-}" ]]; then
  scripts/deps.sh bench
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQB_BUILD_TESTS=OFF >/dev/null
  cmake --build build-bench -j"$(nproc)" --target quillbarrow-import qb-bench-floor qb-bench-window
  export QB_BENCH_INSIDE=1
  exec scripts/with-test-datasources.sh bash "$0" "$@"
fi

import=build-bench/src/cli/quillbarrow-import
floor=build-bench/bench/qb-bench-floor
window=build-bench/bench/qb-bench-window
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state  # the run logs go with the rest

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
    printf '%s\n' 'DROP TABLE IF EXISTS "Bench1"' 'DROP TABLE IF EXISTS quillbarrow_sys_imports' \
      'DROP TABLE IF EXISTS quillbarrow_sys_refused_lines' >"$work/drop.sql"
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
  for dsn in "$QB_TEST_SQLITE_DSN" "$QB_TEST_PG_DSN" "$QB_TEST_MARIADB_DSN"; do
    reset "$dsn"
    into=(--table-name Bench1)
    if [[ $dsn == "$QB_TEST_MARIADB_DSN" ]]; then
      # MariaDB's TEXT holds 64 KB, so the created table could not take the line.
      echo 'CREATE TABLE "Bench1"(a LONGTEXT, b LONGTEXT)' >"$work/create.sql"
      "$floor" "$dsn" "$work/create.sql"
      into=(--append Bench1 --skip-header)
    fi
    TEMP=$work /usr/bin/time -f '%M' -o "$work/mem" "$import" --dsn "$dsn" "${into[@]}" "$work/long.csv" \
      >/dev/null || echo "the import into $dsn failed (above); its peak is still shown"
    peak=$(( $(tail -1 "$work/mem") / 1024 ))
    printf '%-16s %10d %12.2f\n' "$dsn" "$peak" "$(echo "$peak / $megabytes" | bc -l)"
  done
  # Quoted, with a doubled quote in the middle: the quotes come out in place.
  half=$((megabytes << 19))
  python3 -c "import sys; x = b'x' * $half; sys.stdout.buffer.write(b'a,b\r\n\"' + x + b'\"\"' + x + b'\",y\r\n')" >"$work/long.csv"
  reset "$QB_TEST_SQLITE_DSN"
  TEMP=$work /usr/bin/time -f '%M' -o "$work/mem" "$import" --dsn "$QB_TEST_SQLITE_DSN" --table-name Bench1 --quoted \
    "$work/long.csv" >/dev/null || echo "the quoted import failed (above); its peak is still shown"
  peak=$(( $(tail -1 "$work/mem") / 1024 ))
  printf '%-16s %10d %12.2f\n' "SQLite, quoted" "$peak" "$(echo "$peak / $megabytes" | bc -l)"
  if command -v sqlite3 >/dev/null; then
    # The same row as one literal INSERT in the sqlite3 shell: what the engine itself needs.
    { echo 'CREATE TABLE t(a TEXT, b TEXT);'; printf "INSERT INTO t VALUES('"; head -c "$((megabytes << 20))" /dev/zero | tr '\0' x; echo "','y');"; } >"$work/long.sql"
    /usr/bin/time -f '%M' -o "$work/mem" sqlite3 "$work/shell.db" <"$work/long.sql"
    printf '%-16s %10d\n' "sqlite3 shell" $(( $(cat "$work/mem") / 1024 ))
  fi
  echo "target: about 3 times the line plus 64 MB ($((3 * megabytes + 64)) MB)"
  exit 0
fi

if [[ ${1:-} == --on-duplicate ]]; then
  lines=${2:-200000}
  generate "$work/data.csv" "$lines"
  awk 'NR == 1 || NR % 2 == 0' "$work/data.csv" >"$work/half.csv"  # the header and every other row
  echo 'CREATE TABLE "Bench1"("id" INTEGER PRIMARY KEY, "name" TEXT, "amount" TEXT, "note" TEXT)' >"$work/keyed.sql"
  median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
  printf '%-15s %9s %9s %8s\n' driver "plain s" "update s" "u/plain"
  for dsn in "$QB_TEST_SQLITE_DSN" "$QB_TEST_PG_DSN"; do
    : >"$work/plain.t"
    : >"$work/update.t"
    for round in 1 2 3; do
      for mode in plain update; do
        reset "$dsn"
        "$floor" "$dsn" "$work/keyed.sql" >/dev/null
        options=()
        if [[ $mode == update ]]; then
          TEMP=$work "$import" --dsn "$dsn" --append Bench1 --skip-header "$work/half.csv" >/dev/null 2>&1
          options=(--on-duplicate update)
        fi
        start=$(date +%s.%N)
        TEMP=$work "$import" --dsn "$dsn" --append Bench1 --skip-header "${options[@]}" "$work/data.csv" \
          >/dev/null 2>&1 || echo "the $mode run was not clean" >&2
        seconds "$start" >>"$work/$mode.t"
      done
    done
    plain=$(median <"$work/plain.t")
    update=$(median <"$work/update.t")
    printf '%-15s %9.2f %9.2f %8.2f\n' "$dsn" "$plain" "$update" "$(echo "$update / $plain" | bc -l)"
  done
  echo "$lines rows with a primary key; plain: appended into the empty table; update: --on-duplicate update into"
  echo "the table holding every other row already; median of 3 alternated rounds. Target: u/plain <= 1.5."
  exit 0
fi

if [[ ${1:-} == --jobs ]]; then
  lines=${2:-500000}
  mkdir -p "$work/jobs"
  for i in 1 2 3 4; do generate "$work/jobs/f$i.csv" "$lines"; done
  jobfiles=("$work"/jobs/f*.csv)
  median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
  maria() { mariadb --no-defaults --socket="$QB_TEST_MARIADB_SOCKET" -uroot --local-infile=1 qbtest "$@"; }
  table() {  # a fresh, empty bench4 in data source $1
    if [[ $1 == "$QB_TEST_SQLITE_DSN" ]]; then
      rm -f "$QB_TEST_SQLITE_DB" "$QB_TEST_SQLITE_DB"-wal "$QB_TEST_SQLITE_DB"-shm
      sqlite3 "$QB_TEST_SQLITE_DB" 'PRAGMA journal_mode=WAL; CREATE TABLE bench4(id TEXT, name TEXT, amount TEXT, note TEXT);' >/dev/null
    elif [[ $1 == "$QB_TEST_PG_DSN" ]]; then
      psql -q -c 'DROP TABLE IF EXISTS bench4' -c 'CREATE TABLE bench4(id text, name text, amount text, note text)'
    else
      maria -e 'DROP TABLE IF EXISTS bench4; CREATE TABLE bench4(id TEXT, name TEXT, amount TEXT, note TEXT)'
    fi
  }
  peer() {  # one session of the peer, the files one after another
    if [[ $1 == "$QB_TEST_SQLITE_DSN" ]]; then
      { echo 'PRAGMA synchronous=NORMAL;'; for f in "${jobfiles[@]}"; do echo ".import --csv --skip 1 $f bench4"; done; } |
        sqlite3 "$QB_TEST_SQLITE_DB" >/dev/null
    elif [[ $1 == "$QB_TEST_PG_DSN" ]]; then
      for f in "${jobfiles[@]}"; do echo "\\copy bench4 FROM '$f' WITH (FORMAT csv, HEADER)"; done | psql -q >/dev/null
    else
      for f in "${jobfiles[@]}"; do
        echo "LOAD DATA LOCAL INFILE '$f' INTO TABLE bench4 FIELDS TERMINATED BY ',' LINES TERMINATED BY '\r\n' IGNORE 1 LINES;"
      done | maria
    fi
  }
  pgloader_run() {
    cat >"$work/load" <<LOAD
LOAD CSV FROM ALL FILENAMES MATCHING ~/f[0-9]+[.]csv$/ IN DIRECTORY '$work/jobs'
  INTO postgresql://$PGUSER:$PGPASSWORD@$PGHOST:$PGPORT/$PGDATABASE?tablename=bench4 (id, name, amount, note)
  WITH skip header = 1, fields terminated by ',', workers = 4, concurrency = 1;
LOAD
    (cd "$work" && pgloader --quiet "$work/load") >"$work/pgloader.out" 2>&1 || { echo "pgloader failed:" >&2; tail -5 "$work/pgloader.out" >&2; }
  }
  ours() { TEMP=$work "$import" --dsn "$1" --append bench4 --skip-header "${@:2}" "${jobfiles[@]}" >/dev/null 2>&1 || echo "the import into $1 was not clean" >&2; }
  rows() {
    if [[ $1 == "$QB_TEST_SQLITE_DSN" ]]; then sqlite3 "$QB_TEST_SQLITE_DB" 'SELECT COUNT(*) FROM bench4'
    elif [[ $1 == "$QB_TEST_PG_DSN" ]]; then psql -Atq -c 'SELECT COUNT(*) FROM bench4'
    else maria -N -e 'SELECT COUNT(*) FROM bench4'; fi
  }
  printf '%-15s %8s %8s %8s %9s %8s %8s %9s
' driver "auto s" "1 job s" "peer s" "pgloader" "auto/pr" "1/peer" "auto/pgl"
  for dsn in "$QB_TEST_SQLITE_DSN" "$QB_TEST_PG_DSN" "$QB_TEST_MARIADB_DSN"; do
    kinds=(auto one peer)
    [[ $dsn == "$QB_TEST_PG_DSN" ]] && kinds+=(pgloader)
    for kind in "${kinds[@]}"; do : >"$work/$kind.t"; done
    for round in 1 2 3; do
      for kind in "${kinds[@]}"; do
        table "$dsn"
        start=$(date +%s.%N)
        case $kind in
          auto) ours "$dsn" ;;
          one) ours "$dsn" --jobs 1 ;;
          peer) peer "$dsn" ;;
          pgloader) pgloader_run ;;
        esac
        seconds "$start" >>"$work/$kind.t"
        got=$(rows "$dsn")
        [[ $got == $((4 * lines)) ]] || echo "$kind into $dsn stored $got rows of $((4 * lines))" >&2
      done
    done
    t_auto=$(median <"$work/auto.t") t_one=$(median <"$work/one.t") t_peer=$(median <"$work/peer.t") t_pgloader=
    [[ $dsn == "$QB_TEST_PG_DSN" ]] && t_pgloader=$(median <"$work/pgloader.t")
    printf '%-15s %8.2f %8.2f %8.2f %9s %8.2f %8.2f %9s
' "$dsn" "$t_auto" "$t_one" "$t_peer" "${t_pgloader:--}" \
      "$(echo "$t_auto / $t_peer" | bc -l)" "$(echo "$t_one / $t_peer" | bc -l)" \
      "$([[ -n $t_pgloader ]] && printf '%.2f' "$(echo "$t_auto / $t_pgloader" | bc -l)" || echo -)"
  done
  echo "four files of $lines lines appended to one table; auto: the default --jobs, 1 job: --jobs 1; peer: one"
  echo "session loading them one after another (sqlite3 .import, psql \\copy, mariadb LOAD DATA LOCAL INFILE);"
  echo "pgloader: 4 workers. Median of 3 alternated rounds. Targets (PostgreSQL): auto/peer <= 0.7, auto/pgl <= 1.0."
  exit 0
fi

if [[ ${1:-} == --many-files ]]; then
  count=${2:-2000}
  mkdir -p "$work/many"
  for ((i = 1; i <= count; i++)); do generate "$work/many/f$i.csv" 19; done
  sync  # the files written out now, not while the runs are timed
  files=("$work"/many/f*.csv)
  # Tables nobody imports into, so that a run's per-file cost can be held against their number;
  # in batches, since one transaction would need a lock per table.
  fill() {
    local sql
    sql=$(awk 'BEGIN { for (i = 1; i <= 10000; i++) { if (i % 500 == 1) print "BEGIN;";
            print "CREATE TABLE \"Other" i "\"(a TEXT);"; if (i % 500 == 0) print "COMMIT;" } }')
    if [[ $1 == "$QB_TEST_SQLITE_DSN" ]]; then
      sqlite3 "$QB_TEST_SQLITE_DB" <<<"$sql" >/dev/null
    else
      psql -q <<<"$sql" >/dev/null
    fi
  }
  empty() {
    if [[ $1 == "$QB_TEST_SQLITE_DSN" ]]; then
      rm -f "$QB_TEST_SQLITE_DB" "$QB_TEST_SQLITE_DB"-wal "$QB_TEST_SQLITE_DB"-shm
      sqlite3 "$QB_TEST_SQLITE_DB" 'PRAGMA journal_mode=WAL;' >/dev/null
    else
      # In batches too: dropping thousands of tables at once needs a lock for each.
      psql -Atq -c "SELECT format('DROP TABLE %I;', tablename) FROM pg_tables WHERE schemaname = 'public'" |
        awk '{ if (NR % 500 == 1) print "BEGIN;"; print } END { if (NR % 500 != 0) print "COMMIT;" } NR % 500 == 0 { print "COMMIT;" }' |
        psql -q >/dev/null
    fi
  }
  # One peer session importing every file into a table of its own.
  peer() {
    if [[ $1 == "$QB_TEST_SQLITE_DSN" ]]; then
      { echo 'PRAGMA synchronous=NORMAL;'; echo '.mode csv'
        for ((i = 1; i <= count; i++)); do echo ".import $work/many/f$i.csv Peer$i"; done; } |
        sqlite3 "$QB_TEST_SQLITE_DB" >/dev/null
    else
      for ((i = 1; i <= count; i++)); do
        echo "CREATE TABLE \"Peer$i\"(id text, name text, amount text, note text);"
        echo "\\copy \"Peer$i\" FROM '$work/many/f$i.csv' WITH (FORMAT csv, HEADER)"
      done | psql -q >/dev/null
    fi
  }
  import_all() {  # into data source $1, with further options
    TEMP=$work /usr/bin/time -f '%M' -o "$work/mem" "$import" --dsn "$1" "${@:2}" "${files[@]}" >/dev/null 2>&1 || true
    if (( $(tail -1 "$work/mem") > peak )); then peak=$(tail -1 "$work/mem"); fi
  }
  printf '%-15s %9s %9s %9s %11s %11s %11s %9s %8s\n' driver "import s" "peer s" "i/peer" "import 10k" "import 10k/e" \
    "peer 10k/e" "resume/i" "peak MB"
  for dsn in "$QB_TEST_SQLITE_DSN" "$QB_TEST_PG_DSN"; do
    peak=0
    empty "$dsn"; start=$(date +%s.%N); import_all "$dsn"; t_import=$(seconds "$start")
    empty "$dsn"; start=$(date +%s.%N); peer "$dsn"; t_peer=$(seconds "$start")
    empty "$dsn"; fill "$dsn"; start=$(date +%s.%N); import_all "$dsn"; t_full=$(seconds "$start")
    empty "$dsn"; fill "$dsn"; start=$(date +%s.%N); peer "$dsn"; t_peer_full=$(seconds "$start")
    # Remembering against not, the same first run of every file: the best of two each, taken in turns.
    t_plain=$t_import t_resume=
    for round in 1 2; do
      empty "$dsn"; start=$(date +%s.%N); import_all "$dsn" --resume; t=$(seconds "$start")
      t_resume=$(printf '%s\n' "$t" $t_resume | sort -g | head -1)
      empty "$dsn"; start=$(date +%s.%N); import_all "$dsn"; t=$(seconds "$start")
      t_plain=$(printf '%s\n' "$t" "$t_plain" | sort -g | head -1)
    done
    printf '%-15s %9.2f %9.2f %9.2f %11.2f %11.2f %11.2f %9.2f %8d\n' "$dsn" "$t_import" "$t_peer" \
      "$(echo "$t_import / $t_peer" | bc -l)" "$t_full" "$(echo "$t_full / $t_import" | bc -l)" \
      "$(echo "$t_peer_full / $t_peer" | bc -l)" "$(echo "$t_resume / $t_plain" | bc -l)" $((peak / 1024))
  done
  echo "$count files of 20 lines, create mode; peer: one sqlite3 session (synchronous=NORMAL) with one .import"
  echo "per file, or one psql session with one CREATE TABLE and one \\copy per file; 10k/e: into a database"
  echo "holding 10,000 other tables over into an empty one; resume/i: with --resume (best of two) over without"
  echo "(best of three). Targets: i/peer <= 1.0, import 10k/e <= 1.2 x peer 10k/e, resume/i <= 1.15, peak memory under 64 MB."

  # The same files through the main window, offscreen, against the command line, into an emptied SQLite
  # database: the best of two runs each, taken in turns, since one run of so many files varies.
  cli_once() {
    empty "$QB_TEST_SQLITE_DSN"
    local start
    start=$(date +%s.%N)
    TEMP=$work "$import" --dsn "$QB_TEST_SQLITE_DSN" "$@" >/dev/null 2>&1 || true
    seconds "$start"
  }
  least() { printf '%s\n' "$@" | sort -g | head -1; }
  # The command line's files 5001-6000 in one run, from the status line it shows on a terminal every
  # 100 ms: when it reached file 5001 and file 6001 (or ended), each placed between two status lines.
  cli_sixth() {
    empty "$QB_TEST_SQLITE_DSN"
    TEMP=$work python3 - "$import" --dsn "$QB_TEST_SQLITE_DSN" "$@" <<'EOF'
import os, pty, re, sys, time
pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], sys.argv[1:])
seen, text = [], b""
while True:
    try:
        chunk = os.read(fd, 65536)
    except OSError:
        break
    if not chunk:
        break
    now, text, end = time.monotonic(), text + chunk, 0
    for m in re.finditer(rb"File (\d+) of", text):
        seen.append((int(m.group(1)), now))
        end = m.end()
    text = text[end:][-16:]  # a status cut in two by the reads is whole next time
os.waitpid(pid, 0)
seen.append((float("inf"), time.monotonic()))
def reached(k):
    (k0, t0), (k1, t1) = next((a, b) for a, b in zip(seen, seen[1:]) if a[0] <= k < b[0])
    return t0 if k1 == float("inf") else t0 + (t1 - t0) * (k - k0) / (k1 - k0)
if seen[0][0] <= 5001:
    print(reached(6001) - reached(5001))
EOF
  }
  cli_times=()
  for round in 1 2; do
    empty "$QB_TEST_SQLITE_DSN"
    if ! TEMP=$work QT_QPA_PLATFORM=offscreen "$window" "$QB_TEST_SQLITE_DSN" "${files[@]}" >>"$work/window" \
      2>"$work/window.err"; then
      echo "the window's run was not clean:"; cat "$work/window.err"
    fi
    cli_times+=("$(cli_once "${files[@]}")")
  done
  t_window=$(least $(awk '$1 == "seconds" { print $2 }' "$work/window"))
  t_window6=$(least $(awk '$1 == "6th-thousand" { print $2 }' "$work/window"))
  [[ -n $t_window ]] || exit 1
  t_cli=$(least "${cli_times[@]}")
  sixth=(- - -)
  if [[ -n $t_window6 ]]; then
    t_cli6=$(least "$(cli_sixth "${files[@]}")" "$(cli_sixth "${files[@]}")")
    [[ -n $t_cli6 ]] && sixth=("$(printf %.2f "$t_window6")" "$(printf %.2f "$t_cli6")" "$(printf %.2f "$(echo "$t_window6 / $t_cli6" | bc -l)")")
  fi
  printf '%-15s %9s %9s %9s %11s %11s %11s\n' driver "window s" "cli s" "w/cli" "window 6th" "cli 6th" "6th w/cli"
  printf '%-15s %9.2f %9.2f %9.2f %11s %11s %11s\n' "$QB_TEST_SQLITE_DSN" "$t_window" "$t_cli" \
    "$(echo "$t_window / $t_cli" | bc -l)" "${sixth[@]}"
  echo "best of two runs each; window: the main window offscreen, create mode, names from the first line,"
  echo "NewTable[counter], timed from Start Importing to its summary; cli: quillbarrow-import on the same files,"
  echo "the whole process; 6th: files 5001-6000 (N >= 6000), the window's as its table list grows from 5000 to"
  echo "6000 names, the command line's from the status line it shows on a terminal (in 100 ms steps)."
  echo "Targets: w/cli <= 1.2, 6th w/cli <= 1.2."
  exit 0
fi

values_round=""
if [[ ${1:-} == --values ]]; then
  values_round=1
  shift
fi
lines=${1:-200000}
generate "$work/data.csv" "$lines"
# One line in a hundred with a value too many: the database refuses it.
awk 'NR > 1 && NR % 100 == 0 { sub(/\r$/, ""); print $0 ",extra\r"; next } { print }' "$work/data.csv" >"$work/bad.csv"
statements "$work/data.csv" Bench1 "$work/statements.sql"
gzip -c "$work/data.csv" >"$work/data.csv.gz"
rows=$((lines + 1))

best=""
peak=0
# Best of two runs of a command, in seconds, into $best; the highest peak
# memory of any run, in kB, into $peak.
time_best() {
  local t b=999999
  for round in 1 2; do
    "$reset_fn" "$dsn"
    start=$(date +%s.%N)
    if [[ $1 == import_into ]]; then
      TEMP=$work /usr/bin/time -f '%M' -o "$work/mem" "$import" --dsn "$dsn" --table-name Bench1 "${@:2}" \
        >/dev/null 2>&1 || true
    else
      "$@" >/dev/null 2>&1 || true
    fi
    t=$(seconds "$start"); b=$(echo "if ($t < $b) $t else $b" | bc -l)
    if [[ $1 == import_into ]] && (( $(tail -1 "$work/mem") > peak )); then peak=$(tail -1 "$work/mem"); fi
  done
  best=$b
}
sqlite_peer() {
  rm -f "$work/peer.db"*
  sqlite3 "$work/peer.db" 'PRAGMA journal_mode=WAL;' >/dev/null
  sqlite3 "$work/peer.db" -cmd '.mode csv' ".import $work/data.csv Peer"
}
mariadb_peer() {
  mariadb --no-defaults --socket="$QB_TEST_MARIADB_SOCKET" -uroot --local-infile=1 qbtest \
    -e "DROP TABLE IF EXISTS Peer; CREATE TABLE Peer(id TEXT, name TEXT, amount TEXT, note TEXT);
        LOAD DATA LOCAL INFILE '$work/data.csv' INTO TABLE Peer FIELDS TERMINATED BY ',' LINES TERMINATED BY '\r\n'"
}
pg_peer() {
  psql -q -c 'DROP TABLE IF EXISTS "Peer"' -c 'CREATE TABLE "Peer"(id text, name text, amount text, note text)' \
    -c "\\copy \"Peer\" FROM '$work/data.csv' WITH (FORMAT csv)"
}
reset_fn=reset
rate() { echo "$rows / $1" | bc -l; }

# Values as people write them: padded names, NULL markers among numbers and texts, dates not in ISO form.
if [[ -n $values_round ]]; then
  awk -v n="$lines" 'BEGIN {
    print "id,name,amount,day,note\r"
    for (i = 1; i <= n; i++)
      printf "%d, name %d ,%s,%02d.%02d.%d,%s\r\n", i, i, (i % 50 == 0 ? "NA" : sprintf("%d.%02d", i % 1000, i % 100)),
        i % 28 + 1, i % 12 + 1, 2000 + i % 24, (i % 7 == 0 ? "-" : "note " i)
  }' >"$work/values.csv"
  printf '%-15s %9s %9s %12s\n' driver "guess s" "values s" "values/guess"
  for dsn in "$QB_TEST_SQLITE_DSN" "$QB_TEST_PG_DSN"; do
    time_best import_into --types guess "$work/values.csv"; t_plain=$best
    time_best import_into --types guess --null NA --null - --trim "$work/values.csv"; t_values=$best
    printf '%-15s %9.2f %9.2f %12.2f\n' "$dsn" "$t_plain" "$t_values" "$(echo "$t_values / $t_plain" | bc -l)"
  done
  echo "target: values/guess <= 1.15"
  exit 0
fi

printf '%-15s %9s %9s %9s %9s %8s %8s %8s %8s %8s %8s %8s %8s\n' driver batched row-by-row floor peer \
  "b/peer" "rbr/b" "rbr/flr" "bad/b" "guess/b" "gz/b" "res/b" "peak MB"
for dsn in "$QB_TEST_SQLITE_DSN" "$QB_TEST_PG_DSN" "$QB_TEST_MARIADB_DSN"; do
  peak=0
  time_best import_into "$work/data.csv"; t_batched=$best
  time_best import_into --row-by-row "$work/data.csv"; t_rows=$best
  time_best "$floor" "$dsn" "$work/statements.sql"; t_floor=$best
  time_best import_into "$work/bad.csv"; t_bad=$best
  time_best import_into --types guess "$work/data.csv"; t_guess=$best
  time_best import_into "$work/data.csv.gz"; t_gz=$best
  time_best import_into --resume "$work/data.csv"; t_resume=$best
  case $dsn in
    "$QB_TEST_SQLITE_DSN") time_best sqlite_peer ;;
    "$QB_TEST_PG_DSN") time_best pg_peer ;;
    *) time_best mariadb_peer ;;
  esac
  t_peer=$best
  printf '%-15s %9.0f %9.0f %9.0f %9.0f %8.2f %8.2f %8.3f %8.2f %8.2f %8.2f %8.2f %8d\n' "$dsn" "$(rate "$t_batched")" \
    "$(rate "$t_rows")" "$(rate "$t_floor")" "$(rate "$t_peer")" "$(echo "$t_batched / $t_peer" | bc -l)" \
    "$(echo "$t_rows / $t_batched" | bc -l)" "$(echo "$t_rows / $t_floor" | bc -l)" "$(echo "$t_bad / $t_batched" | bc -l)" \
    "$(echo "$t_guess / $t_batched" | bc -l)" "$(echo "$t_gz / $t_batched" | bc -l)" \
    "$(echo "$t_resume / $t_batched" | bc -l)" $((peak / 1024))
done
echo "rows/s; b/peer: batched time over the peer's (sqlite3 .import into WAL, psql \\copy, mariadb LOAD DATA LOCAL INFILE);"
echo "rbr/b: row-by-row time over batched; rbr/flr: row-by-row over the floor; bad/b: one bad line in 100 over clean;"
echo "guess/b: --types guess over batched; gz/b: the same file gzipped over plain; res/b: a first run with"
echo "--resume (the digest, the manifest, each batch's count in its transaction) over batched"
echo "peak MB: the import's highest, batched, row-by-row and with bad lines"
echo "targets: b/peer <= 1.2 (SQLite), <= 1.5 (PostgreSQL, MariaDB); bad/b <= 3; rbr/flr <= 1.10;"
echo "         guess/b <= 1.15; gz/b <= 1.3; res/b <= 1.15; peak memory under 64 MB"

# Appending two lines to a table of a million rows: time and peak memory.
printf 'x,y,z,w\r\n1,2,3,4\r\n' >"$work/two.csv"
printf '%-15s %10s %10s\n' driver "append s" "peak MB"
for dsn in "$QB_TEST_SQLITE_DSN" "$QB_TEST_PG_DSN" "$QB_TEST_MARIADB_DSN"; do
  reset "$dsn"
  if [[ $dsn == "$QB_TEST_MARIADB_DSN" ]]; then
    mariadb --no-defaults --socket="$QB_TEST_MARIADB_SOCKET" -uroot qbtest \
      -e 'CREATE TABLE Bench1(a TEXT, b TEXT, c TEXT, d TEXT); INSERT INTO Bench1 SELECT seq, seq, seq, seq FROM seq_1_to_1000000'
  elif [[ $dsn == "$QB_TEST_SQLITE_DSN" ]]; then
    sqlite3 "$QB_TEST_SQLITE_DB" 'CREATE TABLE "Bench1"(a,b,c,d); INSERT INTO "Bench1" WITH RECURSIVE n(i) AS
      (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000) SELECT i, i, i, i FROM n;'
  else
    psql -q -c 'CREATE TABLE "Bench1"(a text, b text, c text, d text)' \
      -c 'INSERT INTO "Bench1" SELECT i, i, i, i FROM generate_series(1, 1000000) AS i'
  fi
  start=$(date +%s.%N)
  TEMP=$work /usr/bin/time -f '%M' -o "$work/mem" "$import" --dsn "$dsn" --append Bench1 "$work/two.csv" >/dev/null
  printf '%-15s %10.2f %10d\n' "$dsn" "$(seconds "$start")" $(( $(cat "$work/mem") / 1024 ))
done
echo "target: peak memory under 64 MB"
