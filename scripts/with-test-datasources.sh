#!/usr/bin/env bash
# Usage: scripts/with-test-datasources.sh COMMAND [ARGS...]
# Runs COMMAND with ODBC DSNs QbTestSqlite (fresh SQLite file) and QbTestPostgres (throw-away PostgreSQL 15),
# exporting ODBCINI, QB_TEST_SQLITE_DSN, QB_TEST_SQLITE_DB and QB_TEST_PG_DSN; exits with COMMAND's status.
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

work=$(mktemp -d "${TMPDIR:-/tmp}/qb-datasources-XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

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
EOF
: >"$work/sys/odbc.ini"

# psqlodbc picks the client encoding from the locale (UTF8 under a UTF-8 one, SQL_ASCII under C, which
# converts nothing), so UTF-8 bytes of narrow calls reach the UTF8 database unchanged with either
# variant; the Unicode one also serves wide calls.
cat >"$work/odbc.ini" <<EOF
[QbTestSqlite]
Driver=SQLite3
Database=$work/test.sqlite
JournalMode=WAL
Timeout=10000

[QbTestPostgres]
Driver=PostgreSQL Unicode
Servername=${PGHOST:-localhost}
Port=${PGPORT:-5432}
Database=${PGDATABASE:-postgres}
Username=${PGUSER:-postgres}
Password=${PGPASSWORD:-}
EOF

export ODBCSYSINI="$work/sys"
export ODBCINI="$work/odbc.ini"
export QB_TEST_SQLITE_DSN=QbTestSqlite
export QB_TEST_SQLITE_DB="$work/test.sqlite"
export QB_TEST_PG_DSN=QbTestPostgres

status=0
"$@" || status=$?
exit "$status"
