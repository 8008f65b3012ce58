#pragma once

namespace qb {

// The database behind a connection, where its kind decides what we send: MySQL counts as MariaDB.
enum class DatabaseKind { Sqlite, Postgres, Mariadb, Other };

}  // namespace qb
