#pragma once

#include "load/BulkLoader.h"

#include <string>

struct sqlite3;

namespace qb {

// Loads over parameter arrays of one prepared INSERT, which MySQL and MariaDB parse once for the whole array.
std::unique_ptr<BulkLoader> OpenArrayLoader(Connection& connection);

// Loads through SQLite's own library into the database file the ODBC
// connection has open, opened as the data source's driver opens it, with its
// lock wait and journal settings. Throws DatabaseError when it cannot be
// opened so, or only read.
std::unique_ptr<BulkLoader> OpenSqliteLoader(Connection& connection, const std::string& dataSourceName);
// The same path on a database opened already, which the loader closes: for the fuzz target.
std::unique_ptr<BulkLoader> SqliteLoaderOn(sqlite3* db);

// Loads with COPY through libpq, connected with the data source's entries as
// psqlODBC reads them and the ODBC session's client encoding. Throws
// DatabaseError when libpq cannot connect, or reaches another server, database
// or user than the ODBC session's.
std::unique_ptr<BulkLoader> OpenCopyLoader(Connection& connection, const std::string& dataSourceName);

}  // namespace qb
