#pragma once

#include "bulk/BulkLoader.h"

#include <string>

namespace qb {

// Loads through SQLite's own library into the database file the ODBC
// connection has open, with its lock wait and journal settings.
std::unique_ptr<BulkLoader> OpenSqliteLoader(Connection& connection);

// Loads with COPY through libpq, connected with the data source's entries and
// the ODBC session's client encoding. Throws DatabaseError when libpq cannot connect.
std::unique_ptr<BulkLoader> OpenCopyLoader(Connection& connection, const std::string& dataSourceName);

}  // namespace qb
