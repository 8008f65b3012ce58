#!/usr/bin/env bash
# Usage: scripts/with-test-datasources.sh COMMAND [ARGS...]
# Runs COMMAND with ODBC DSNs QbTestSqlite (fresh SQLite file), QbTestPostgres (throw-away PostgreSQL 15)
# and QbTestMariadb (throw-away MariaDB on a private socket, no network port), exporting ODBCINI,
# QB_TEST_SQLITE_DSN, QB_TEST_SQLITE_DB, QB_TEST_*_IMPATIENT_DSN (the same databases with short lock waits), QB_TEST_PG_DSN,
# QB_TEST_PG_UNREACHABLE_DSN (entries that reach no server), QB_TEST_PG_STRAY_KEYS_DSN and QB_TEST_PG_ODD_PASSWORD_DSN
# (entries psqlODBC reads its own way), QB_TEST_SQLITE_READONLY_DSN, QB_TEST_MARIADB_DSN and QB_TEST_MARIADB_SOCKET;
# exits with COMMAND's status.
set -euo pipefail

if [[ $# -eq 0 ]]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi

self=$(readlink -f "$0")

# First pass: wrap ourselves in a private PostgreSQL server. -t keeps its files in a temporary folder
# even as root, so nothing lands in /etc/postgresql or collides with another run's cluster.
if [[ -z "${QB_DATASOURCES_INSIDE_PG:-}" ]]; then
    if ! command -v pg_virtualenv >/dev/null; then
        echo "$0: pg_virtualenv not found (install postgresql-common and postgresql-15)" >&2
        exit 2
    fi
    export QB_DATASOURCES_INSIDE_PG=1
    # A UTF-8 cluster so that UTF-8 bytes are stored as they are sent.
    exec pg_virtualenv -t -v 15 -c '--encoding=UTF8 --locale=C.UTF-8' bash "$self" "$@"
fi
unset QB_DATASOURCES_INSIDE_PG

find_driver() {
    local path
    path=$(find /usr/lib /usr/local/lib -maxdepth 3 -name "$1" -print -quit 2>/dev/null || true)
    if [[ -z "$path" ]]; then
        echo "$0: ODBC driver $1 not found (install $2)" >&2
        exit 2
    fi
    echo "$path"
}
sqlite_driver=$(find_driver libsqlite3odbc.so libsqliteodbc)
pg_driver=$(find_driver psqlodbcw.so odbc-postgresql)
mariadb_driver=$(find_driver libmaodbc.so odbc-mariadb)

work=$(mktemp -d "${TMPDIR:-/tmp}/qb-datasources-XXXXXX")
stop_mariadb() {
    if [[ -f "$work/mariadb/pid" ]]; then
        kill "$(cat "$work/mariadb/pid")" 2>/dev/null || true
        for _ in $(seq 100); do [[ -f "$work/mariadb/pid" ]] || break; sleep 0.1; done
    fi
}
trap 'stop_mariadb; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# A throw-away MariaDB: its own data folder and socket, no network port, root without a password (so
# that any user running the tests can reach it), a UTF-8 database.
mkdir -p "$work/mariadb"
mariadb_socket=$work/mariadb/socket
mariadb-install-db --no-defaults --datadir="$work/mariadb/data" --user="$(id -un)" \
    --auth-root-authentication-method=normal --skip-test-db >"$work/mariadb/install.log" 2>&1 || {
    cat "$work/mariadb/install.log" >&2
    exit 2
}
mariadbd --no-defaults --datadir="$work/mariadb/data" --socket="$mariadb_socket" --skip-networking \
    --pid-file="$work/mariadb/pid" --log-error="$work/mariadb/error.log" --user="$(id -un)" \
    --character-set-server=utf8mb4 --collation-server=utf8mb4_bin --innodb-buffer-pool-size=64M --max-allowed-packet=1G &
for _ in $(seq 300); do
    mariadb-admin --no-defaults --socket="$mariadb_socket" -uroot ping >/dev/null 2>&1 && break
    sleep 0.1
done
mariadb --no-defaults --socket="$mariadb_socket" -uroot -e 'CREATE DATABASE qbtest CHARACTER SET utf8mb4' || {
    cat "$work/mariadb/error.log" >&2
    exit 2
}

# Our own driver list and an empty system DSN list: the machine's /etc/odbc*.ini cannot interfere,
# and the machine's driver settings (e.g. CommLog) do not slow or litter the runs.
mkdir "$work/sys"
cat >"$work/sys/odbcinst.ini" <<EOF
[SQLite3]
Description=SQLite3 ODBC Driver
Driver=$sqlite_driver

[PostgreSQL Unicode]
Description=PostgreSQL ODBC driver (Unicode version)
Driver=$pg_driver

[MariaDB Unicode]
Description=MariaDB Connector/ODBC
Driver=$mariadb_driver
EOF
: >"$work/sys/odbc.ini"

# psqlodbc picks the client encoding from the locale (UTF8 under a UTF-8 one, SQL_ASCII under C, which
# converts nothing), so UTF-8 bytes of narrow calls reach the UTF8 database unchanged with either
# variant; the Unicode one also serves wide calls.
sqlite_source() {  # NAME TIMEOUT_MS
    printf '[%s]\nDriver=SQLite3\nDatabase=%s\nJournalMode=WAL\nTimeout=%s\n\n' "$1" "$work/test.sqlite" "$2"
}
postgres_source() {  # NAME [EXTRA LINE]
    printf '[%s]\nDriver=PostgreSQL Unicode\nServername=%s\nPort=%s\nDatabase=%s\nUsername=%s\nPassword=%s\n%s\n' \
        "$1" "${PGHOST:-localhost}" "${PGPORT:-5432}" "${PGDATABASE:-postgres}" "${PGUSER:-postgres}" "${PGPASSWORD:-}" \
        "${2:-}"
}
mariadb_source() {  # NAME [EXTRA LINE]
    printf '[%s]\nDriver=MariaDB Unicode\nSocket=%s\nDatabase=qbtest\nUser=root\nPassword=\nCharSet=utf8mb4\n%s\n' \
        "$1" "$mariadb_socket" "${2:-}"
}
{
    sqlite_source QbTestSqlite 10000
    postgres_source QbTestPostgres
    mariadb_source QbTestMariadb
    # The same databases, giving up on a lock at once: for the busy-database tests.
    sqlite_source QbTestSqliteImpatient 100
    # The same file, opened read-only by its URI.
    printf '[QbTestSqliteReadOnly]\nDriver=SQLite3\nDatabase=file:%s?mode=ro\nTimeout=100\n\n' "$work/test.sqlite"
    # Written as psqlODBC's own setup writes it: URL-encoded.
    postgres_source QbTestPostgresImpatient 'ConnSettings=SET+lock_timeout+%3D+200'
    mariadb_source QbTestMariadbImpatient 'InitStmt=SET SESSION innodb_lock_wait_timeout = 1'
    # Entries that reach no server: for a bulk path that cannot connect beside the driver.
    printf '[QbTestPostgresUnreachable]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=1\nDatabase=none\n\n'
    # Keys psqlODBC ignores (Server, UID): the driver reaches the same server as QbTestPostgres.
    printf '[QbTestPostgresStrayKeys]\nDriver=PostgreSQL Unicode\nServer=127.0.0.2\nUID=qb_odd\nPort=%s\nDatabase=%s\nPassword=%s\n\n' \
        "${PGPORT:-5432}" "${PGDATABASE:-postgres}" "${PGPASSWORD:-}"
    # The role qb_odd (made by the tests) over TCP, its password a%b= c'd"e written as psqlODBC's setup writes it.
    printf '[QbTestPostgresOddPassword]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=%s\nDatabase=%s\nUsername=qb_odd\nPassword=%s\n\n' \
        "${PGPORT:-5432}" "${PGDATABASE:-postgres}" 'a%25b%3d+c%27d%22e'
} >"$work/odbc.ini"

export ODBCSYSINI="$work/sys"
export ODBCINI="$work/odbc.ini"
export QB_TEST_SQLITE_DSN=QbTestSqlite QB_TEST_SQLITE_IMPATIENT_DSN=QbTestSqliteImpatient
export QB_TEST_SQLITE_READONLY_DSN=QbTestSqliteReadOnly
export QB_TEST_PG_IMPATIENT_DSN=QbTestPostgresImpatient QB_TEST_MARIADB_IMPATIENT_DSN=QbTestMariadbImpatient
export QB_TEST_SQLITE_DB="$work/test.sqlite"
export QB_TEST_PG_DSN=QbTestPostgres QB_TEST_PG_UNREACHABLE_DSN=QbTestPostgresUnreachable
export QB_TEST_PG_STRAY_KEYS_DSN=QbTestPostgresStrayKeys QB_TEST_PG_ODD_PASSWORD_DSN=QbTestPostgresOddPassword
export QB_TEST_MARIADB_DSN=QbTestMariadb
export QB_TEST_MARIADB_SOCKET=$mariadb_socket

status=0
"$@" || status=$?
exit "$status"
